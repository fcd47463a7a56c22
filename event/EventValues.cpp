#include "event/EventValues.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/DateTime.h"
#include "base/TextFields.h"

namespace {

// Two digits of a stamp such as MMDDhhmm. A digit that is not decimal ends the number there.
uint16_t StampValue(const std::string& text, int first) {
  int32_t value = 0;
  WUtil::ValInt(WUtil::Chars(text, first, first + 1), value);
  return value < 0 ? 0 : static_cast<uint16_t>(value);
}

// The recorder's full-scale count per rate. Rates a format-1 recorder cannot record have no
// factor.
int32_t FullScaleCount(int eventFormat, int32_t sampleRate) {
  if (eventFormat != 1 && eventFormat != 2) return 0;
  switch (sampleRate) {
    case 50:
      return 1048575;
    case 100:
      return 262143;
    case 125:
      return 131071;
    case 200:
      return 65535;
    case 250:
      return 32767;
    default:
      break;
  }
  if (eventFormat != 2) return 0;
  switch (sampleRate) {
    case 10:
    case 20:
    case 25:
    case 40:
      return 1048575;
    case 60:
      return 524287;
    case 75:
    case 80:
      return 262143;
    case 150:
      return 131071;
    case 300:
      return 16383;
    case 400:
      return 8191;
    case 500:
    case 600:
      return 4095;
    case 750:
      return 2047;
    case 1000:
      return 1023;
    default:
      return 0;
  }
}

}  // namespace

double ConversionFactorOf(int eventFormat, int32_t sampleRate, double dynamicRange) {
  const int32_t count = FullScaleCount(eventFormat, sampleRate);
  // A header that gives 0 volts would divide by zero; such an event has no usable factor.
  if (count == 0 || dynamicRange == 0) return 0;
  return count / dynamicRange;
}

std::string ConversionFactorTextOf(double factor) {
  std::string text = WUtil::FixedText(factor, 0, 8);
  if (text.size() > 10) text.resize(10);
  if (text.find('.') != std::string::npos) {
    while (!text.empty() && text.back() == '0') text.pop_back();
    if (!text.empty() && text.back() == '.') text.pop_back();
  }
  return text;
}

bool TEventPosition::Usable() const {
  return Checked && (Latitude != 0 || Longitude != 0);
}

TEventPosition DecimalPosition(const TGpsReading& r) {
  TEventPosition p;
  // Extended precision, as the SAC header has always computed it: the single-precision
  // values it stores must not move by a bit.
  p.Latitude = r.LatitudeDegrees + r.LatitudeMinutes / 60.0L;
  p.Longitude = r.LongitudeDegrees + r.LongitudeMinutes / 60.0L;
  p.Elevation = r.Altitude;
  const char ns = r.LatitudeHemisphere;
  const char ew = r.LongitudeHemisphere;
  p.Checked = (ns == 'N' || ns == 'S') && (ew == 'E' || ew == 'W') && r.LatitudeDegrees >= 0 &&
              r.LongitudeDegrees >= 0 && r.LatitudeMinutes >= 0 && r.LatitudeMinutes < 60 &&
              r.LongitudeMinutes >= 0 && r.LongitudeMinutes < 60 && p.Latitude <= 90 &&
              p.Longitude <= 180;
  if (ns == 'S') p.Latitude = -p.Latitude;
  if (ew == 'W') p.Longitude = -p.Longitude;
  return p;
}

TGpsReading GpsReadingOf(const TEventHeader& e) {
  return {e.Latitude,         e.LatitudeMinutes,     e.LatitudeHemisphere,           e.Longitude,
          e.LongitudeMinutes, e.LongitudeHemisphere, static_cast<double>(e.Altitude)};
}

bool HasGpsFix(const TEventHeader& header) {
  return header.EventFormat == 2 && header.SatelliteCount > 0 &&
         DecimalPosition(GpsReadingOf(header)).Usable();
}

uint16_t InferYear(uint16_t month, uint16_t day, const TProbeDate& probeDate) {
  const bool later = month > probeDate.Month || (month == probeDate.Month && day > probeDate.Day);
  return static_cast<uint16_t>(later ? probeDate.Year - 1 : probeDate.Year);
}

namespace {

uint16_t Field16(int value) {
  return static_cast<uint16_t>(value);
}

// A recorder's MMDDhhmm stamp with its seconds and milliseconds; the year comes from the
// day the card was read.
TUtcTime ReadStamp(const std::string& stamp, int16_t second, int16_t millisecond,
                   const TProbeDate& probeDate) {
  TUtcTime time;
  const uint16_t month = StampValue(stamp, 1);
  const uint16_t day = StampValue(stamp, 3);
  time.Year = InferYear(month, day, probeDate);
  time.Month = month;
  time.Day = day;
  time.Hour = StampValue(stamp, 5);
  time.Minute = StampValue(stamp, 7);
  time.Second = second;
  time.Microsecond = millisecond * 1000;
  return time;
}

// The seconds of the minute with their fraction, as the texts show them: for a time to the
// millisecond, the second plus the milliseconds times 0.001.
double SecondsOf(const TUtcTime& time) {
  return time.Second + time.Microsecond / 1000 * 0.001 + time.Microsecond % 1000 * 1e-6;
}

// The end of a recording of durationMs from start (a corrupt header's negative duration ends
// it before): every whole day carried into the date, the seconds kept to the microsecond.
TUtcTime EndAfter(const TUtcTime& start, int32_t durationMs) {
  double s = WUtil::HmsToSeconds(Field16(start.Hour), Field16(start.Minute),
                                 SecondsOf(start) + durationMs * 0.001);
  uint16_t day = Field16(start.Day);
  uint16_t month = Field16(start.Month);
  uint16_t year = Field16(start.Year);
  // A recording may last days: every whole day is carried into the date (a negative
  // duration from a corrupt header borrows them the same way).
  const double days = std::floor(s / 86400.0);
  if (days != 0) {
    s -= days * 86400.0;
    const WUtil::TDayNumber first = WUtil::DateToDayNumber(day, month, year);
    WUtil::DayNumberToDate(first + static_cast<WUtil::TDayNumber>(days), day, month, year);
  }
  uint16_t hour = 0;
  uint16_t minute = 0;
  double seconds = 0;
  WUtil::SecondsToHms(s, hour, minute, seconds);
  // Seconds that round to a whole 60 stay 60: the time text carries them as it always has.
  const int64_t micro = std::llround(seconds * 1e6);
  TUtcTime end{year, month, day, hour, minute};
  end.Second = static_cast<int>(micro / MicrosecondsPerSecond);
  end.Microsecond = static_cast<int>(micro % MicrosecondsPerSecond);
  return end;
}

}  // namespace

TUtcTime EventStartOf(const TEventHeader& header, const TProbeDate& probeDate) {
  return ReadStamp(header.FileStem, header.StartSecond, header.StartMillisecond, probeDate);
}

std::string DateTextOf(const TUtcTime& time) {
  return WUtil::DateText(Field16(time.Day), Field16(time.Month), Field16(time.Year));
}

std::string TimeTextOf(const TUtcTime& time) {
  return WUtil::TimeText(Field16(time.Hour), Field16(time.Minute), SecondsOf(time));
}

TEventValues EventValuesOf(const TEventHeader& e, int32_t epromVersion,
                           const TProbeDate& probeDate) {
  TEventValues v;
  v.Start = EventStartOf(e, probeDate);

  v.SerialText = WUtil::IntText(e.StationSerial, 3);
  if (v.SerialText.size() > 4) v.SerialText.resize(4);
  WUtil::ZeroFill(v.SerialText);

  v.SensorCount = (e.ChannelCount - 1) / 3 + 1;
  v.ConversionFactor = ConversionFactorOf(e.EventFormat, e.SampleRate, e.DynamicRange);
  v.ConversionFactorText = ConversionFactorTextOf(v.ConversionFactor);

  if (e.EventFormat != 2) return v;
  v.Position = DecimalPosition(GpsReadingOf(e));
  v.SatelliteCount = e.SatelliteCount;
  v.GpsFix = HasGpsFix(e);
  if (epromVersion >= 410) {
    v.End = EndAfter(v.Start, e.DurationMs);
  } else {
    v.End = ReadStamp(e.EndStamp, e.EndSecond, e.EndMillisecond, probeDate);
  }
  return v;
}

TChannelPlace ChannelPlaceOf(int channel) {
  // Counted from the channel before the first: a number below 1 still names a component.
  const int index = ((channel - 1) % 3 + 3) % 3;
  return {(channel - 1 - index) / 3 + 1, index + 1, "ZNE"[index]};
}

int ChannelsOfSensor(int sensor, int channelCount) {
  return std::min(3, channelCount - 3 * (sensor - 1));
}

std::string SafeFileNamePart(const std::string& text) {
  std::string name = text;
  for (char& c : name) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 32 || u == 127 || std::strchr("/\\:*?\"<>|", c) != nullptr) c = '_';
  }
  for (size_t at = name.find(".."); at != std::string::npos; at = name.find("..", at)) {
    name[at] = '_';
    name[at + 1] = '_';
  }
  // Some file systems drop a final dot or blank, which would give another name than the one
  // checked and reported.
  if (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.back() = '_';
  return name;
}
