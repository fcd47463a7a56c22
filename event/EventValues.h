#pragma once
// The values an event's header gives once derived: its start and end, the serial as text, its
// sensors and its conversion factor. Computed once per event (EventValuesOf); every output of
// the event reads them from there.

#include <cstdint>
#include <optional>
#include <string>

#include "base/UtcTime.h"
#include "card/TarqCard.h"

constexpr int MaxChannels = 18;
constexpr int MaxSensors = 6;

// A GPS receiver's reading as a format-2 header holds it: degrees and decimal minutes with a
// hemisphere letter ('N' or 'S', 'E' or 'W'), and the altitude.
struct TGpsReading {
  int32_t LatitudeDegrees = 0;
  double LatitudeMinutes = 0;
  char LatitudeHemisphere = 'N';
  int32_t LongitudeDegrees = 0;
  double LongitudeMinutes = 0;
  char LongitudeHemisphere = 'E';
  double Altitude = 0;  // metres
  friend bool operator==(const TGpsReading&, const TGpsReading&) = default;
};

// A reading in signed decimal degrees. Kept in extended precision: the SAC header narrows it
// to single precision from there, other outputs to double.
struct TEventPosition {
  long double Latitude = 0;   // north positive
  long double Longitude = 0;  // east positive
  double Elevation = 0;       // metres
  // The reading makes sense: hemisphere letters N or S and E or W, whole degrees not negative,
  // minutes from 0 to below 60, at most 90 degrees of latitude and 180 of longitude.
  bool Checked = false;
  // Checked and not 0 deg 0 min on both axes, which is what a receiver without a position
  // reports.
  bool Usable() const;
};

struct TEventValues {
  // As the header gives them: a corrupt header's fields stay as they are (TUtcTime::IsValid).
  TUtcTime Start;
  TUtcTime End;  // format 2 only
  std::string SerialText;
  int SensorCount = 0;
  double ConversionFactor = 0;
  std::string ConversionFactorText;
  // Format 2 only: the header's position, whether it passed the checks or not (the SAC header
  // carries what the recorder wrote).
  std::optional<TEventPosition> Position;
  int SatelliteCount = 0;  // format 2: the satellites the receiver used
  // The event was recorded with a GPS fix: its time comes from a locked clock (HasGpsFix).
  bool GpsFix = false;
};

// The values of an event with this header, recorded by a recorder of this software version,
// on a card read on probeDate (which gives the year the card does not hold).
TEventValues EventValuesOf(const TEventHeader& header, int32_t epromVersion,
                           const TProbeDate& probeDate);

// degrees + minutes / 60 per axis, negated for S and W, with its checks.
TEventPosition DecimalPosition(const TGpsReading& reading);
// The reading of a header's fields 13-16 (meaningful for format 2 only).
TGpsReading GpsReadingOf(const TEventHeader& header);
// Whether a header holds a GPS fix: format 2, a usable position and at least one satellite in
// use. The recorder writes the receiver's position and the satellites it used when the event
// began; with none in use the position is at best one held from before, and the clock runs
// free.
bool HasGpsFix(const TEventHeader& header);

// The factor in counts per volt: the full-scale count of the rate and format over the
// dynamic range; 0 where the recorder has no such rate, or for a dynamic range of 0.
double ConversionFactorOf(int eventFormat, int32_t sampleRate, double dynamicRange);
// Fixed point with 8 decimals cut to 10 characters, trailing zeros and point removed.
std::string ConversionFactorTextOf(double factor);
// The year of a month and day recorded without one: the probe's year, or the year before
// when the day comes after the probe's day in the year.
uint16_t InferYear(uint16_t month, uint16_t day, const TProbeDate& probeDate);
// The start of an event from its stamp and its seconds field, the year inferred as above; the
// Start of its values.
TUtcTime EventStartOf(const TEventHeader& header, const TProbeDate& probeDate);
// The texts of the event's outputs: dd.mm.yyyy, and hh:mm:ss.sss (WUtil::TimeText).
std::string DateTextOf(const TUtcTime& time);
std::string TimeTextOf(const TUtcTime& time);
// Where channel c (1-based) of an event lies: channels 1, 2 and 3 are the Z, N and E
// components of sensor 1, channels 4 to 6 those of sensor 2, and so on.
struct TChannelPlace {
  int Sensor = 1;
  int Component = 1;  // 1 to 3
  char Letter = 'Z';  // Z, N or E
};
TChannelPlace ChannelPlaceOf(int channel);
// The channels of sensor s (1-based) of an event: 3, or fewer for the last sensor.
int ChannelsOfSensor(int sensor, int channelCount);
// Card text made safe as part of a file name: separators, "..", control characters and
// characters that common file systems refuse become "_".
std::string SafeFileNamePart(const std::string& text);
