#pragma once
// The values an event's header gives once derived: its start and end, the serial as text, its
// sensors and its conversion factor. Computed once per event (EventValuesOf); every output of
// the event reads them from there.

#include <cstdint>
#include <string>

#include "base/UtcTime.h"
#include "card/TarqCard.h"

constexpr int MaxChannels = 18;
constexpr int MaxSensors = 6;

struct TEventValues {
  // As the header gives them: a corrupt header's fields stay as they are (TUtcTime::IsValid).
  TUtcTime Start;
  TUtcTime End;  // format 2 only
  std::string SerialText;
  int SensorCount = 0;
  double ConversionFactor = 0;
  std::string ConversionFactorText;
};

// The values of an event with this header, recorded by a recorder of this software version,
// on a card read on probeDate (which gives the year the card does not hold).
TEventValues EventValuesOf(const TEventHeader& header, int32_t epromVersion,
                           const TProbeDate& probeDate);

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
