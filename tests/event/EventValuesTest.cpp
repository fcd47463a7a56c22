// The values derived per event: dates with their inferred year, end times, serial text,
// sensors and the conversion factor.

#include <gtest/gtest.h>

#include <cmath>

#include "base/DateTime.h"
#include "event/EventValues.h"

namespace {

struct TValues {
  TProbeDate Probe;
  int Version;
  TEventHeader Event;
  TEventValues Derived;

  TValues(TProbeDate probe, int version) : Probe(probe), Version(version) {
    Event.EventFormat = 2;
    Event.ChannelCount = 3;
  }
  void Derive() { Derived = EventValuesOf(Event, Version, Probe); }
  std::string Start() const {
    return DateTextOf(Derived.Start) + " " + TimeTextOf(Derived.Start);
  }
  std::string End() const {
    return DateTextOf(Derived.End) + " " + TimeTextOf(Derived.End);
  }
};

TEST(EventValues, StartAndEndAcrossMidnightAndTheYear) {
  struct TCase {
    TProbeDate Probe;
    int Version;
    std::string FileStem;
    int16_t Second, Millisecond;
    int32_t DurationMs;
    std::string EndStamp;
    int16_t EndSecond, EndMillisecond;
    std::string Start, End;
  };
  const TCase cases[] = {
      // The card holds no year: later in the year than the probe means the year before.
      {{2006, 6, 1},
       410,
       "05121030",
       7,
       250,
       600000,
       "",
       0,
       0,
       "12.05.2006 10:30:07.250",
       "12.05.2006 10:40:07.250"},
      {{2006, 6, 1},
       410,
       "06011030",
       0,
       0,
       0,
       "",
       0,
       0,
       "01.06.2006 10:30:00.000",
       "01.06.2006 10:30:00.000"},
      {{2006, 6, 1},
       410,
       "06021030",
       0,
       0,
       0,
       "",
       0,
       0,
       "02.06.2005 10:30:00.000",
       "02.06.2005 10:30:00.000"},
      {{2007, 1, 2},
       410,
       "12312359",
       30,
       0,
       60000,
       "",
       0,
       0,
       "31.12.2006 23:59:30.000",
       "01.01.2007 00:00:30.000"},
      {{2006, 12, 31},
       410,
       "01010000",
       0,
       0,
       0,
       "",
       0,
       0,
       "01.01.2006 00:00:00.000",
       "01.01.2006 00:00:00.000"},
      {{2006, 6, 1},
       410,
       "05122350",
       0,
       0,
       1200500,
       "",
       0,
       0,
       "12.05.2006 23:50:00.000",
       "13.05.2006 00:10:00.500"},
      // Three days and a second: every whole day is carried.
      {{2006, 6, 1},
       410,
       "02271200",
       0,
       0,
       3 * 86400000 + 1000,
       "",
       0,
       0,
       "27.02.2006 12:00:00.000",
       "02.03.2006 12:00:01.000"},
      // Before version 410 the end comes from its own stamp, its year inferred alike.
      {{2007, 1, 2},
       300,
       "12312359",
       0,
       0,
       999999,
       "01010001",
       5,
       125,
       "31.12.2006 23:59:00.000",
       "01.01.2007 00:01:05.125"},
      {{2006, 6, 1},
       409,
       "05121030",
       0,
       0,
       999999,
       "05121045",
       59,
       999,
       "12.05.2006 10:30:00.000",
       "12.05.2006 10:45:59.999"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.FileStem + " v" + std::to_string(c.Version));
    TValues v(c.Probe, c.Version);
    TEventHeader& e = v.Event;
    e.FileStem = c.FileStem;
    e.StartSecond = c.Second;
    e.StartMillisecond = c.Millisecond;
    e.DurationMs = c.DurationMs;
    e.EndStamp = c.EndStamp;
    e.EndSecond = c.EndSecond;
    e.EndMillisecond = c.EndMillisecond;
    v.Derive();
    EXPECT_EQ(v.Start(), c.Start);
    EXPECT_EQ(v.End(), c.End);
  }
}

TEST(EventValues, SerialSensorsAndConversionFactor) {
  struct TCase {
    int Format;
    int32_t Rate;
    double Range;
    int32_t Serial;
    int32_t Channels;
    std::string Serialtext;
    int Sensors;
    std::string Factor;
  };
  const TCase cases[] = {
      {1, 50, 5.0, 23, 3, "023", 1, "209715"},
      {2, 100, 5.0, 4567, 4, "4567", 2, "52428.6"},
      {2, 1000, 5.0, 7, 5, "007", 2, "204.6"},
      {1, 150, 5.0, 12, 6, "012", 2, "0"},
      {2, 150, 5.0, 12, 7, "012", 3, "26214.2"},
      {1, 125, 5.0, 12345, 18, "1234", 6, "26214.2"},
      {2, 125, 2.5, 1, 1, "001", 1, "52428.4"},
      {2, 60, 5.0, 1, 2, "001", 1, "104857.4"},
      {2, 10, 0.001, 1, 3, "001", 1, "1048575000"},
      // A header that gives 0 volts has no factor rather than an infinite one.
      {2, 125, 0.0, 1, 3, "001", 1, "0"},
      {2, 33, 5.0, 1, 3, "001", 1, "0"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.Format) + "/" + std::to_string(c.Rate));
    TValues v({2006, 6, 1}, 508);
    TEventHeader& e = v.Event;
    e.EventFormat = c.Format;
    e.SampleRate = c.Rate;
    e.DynamicRange = c.Range;
    e.StationSerial = c.Serial;
    e.ChannelCount = c.Channels;
    e.FileStem = "05121030";
    v.Derive();
    EXPECT_EQ(v.Derived.SerialText, c.Serialtext);
    EXPECT_EQ(v.Derived.SensorCount, c.Sensors);
    EXPECT_EQ(v.Derived.ConversionFactorText, c.Factor);
  }
}

TEST(EventValues, SafeFileNames) {
  EXPECT_EQ(SafeFileNamePart("060512_1030_023.001"), "060512_1030_023.001");
  EXPECT_EQ(SafeFileNamePart("06../x_1.../"), "06___x_1__._");
  EXPECT_EQ(SafeFileNamePart("a\\b:c*d?e\"f<g>h|i\tj\x7f"), "a_b_c_d_e_f_g_h_i_j_");
  EXPECT_EQ(SafeFileNamePart("0605_1030."), "0605_1030_");
}

// The SAC names, their headers and the report's labels all place a channel this way.
TEST(EventValues, ChannelsAreComponentsOfSensorsInThrees) {
  struct TCase {
    int Channel, Sensor, Component;
    char Letter;
  };
  const TCase cases[] = {{1, 1, 1, 'Z'}, {2, 1, 2, 'N'}, {3, 1, 3, 'E'},  {4, 2, 1, 'Z'},
                         {6, 2, 3, 'E'}, {7, 3, 1, 'Z'}, {17, 6, 2, 'N'}, {18, 6, 3, 'E'},
                         {0, 0, 3, 'E'}, {-2, 0, 1, 'Z'}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Channel);
    const TChannelPlace place = ChannelPlaceOf(c.Channel);
    EXPECT_EQ(place.Sensor, c.Sensor);
    EXPECT_EQ(place.Component, c.Component);
    EXPECT_EQ(place.Letter, c.Letter);
  }
}

// Degrees and decimal minutes become signed degrees once; the checks decide what the
// inventory, the report and the clock flag may use, while SAC keeps what was recorded.
TEST(EventValues, GpsPositionInDecimalDegreesAndItsChecks) {
  struct TCase {
    const char* Title;
    TGpsReading Reading;
    double Latitude, Longitude;
    bool Checked, Usable;
  };
  const TCase cases[] = {
      {"south and west", {45, 30, 'S', 5, 15, 'W', 250}, -45.5, -5.25, true, true},
      {"north and east", {50, 24.075, 'N', 1, 33.798, 'E', 12}, 50.40125, 1.5633, true, true},
      {"the poles' edges", {90, 0, 'S', 180, 0, 'W', 0}, -90, -180, true, true},
      {"60 minutes", {45, 60, 'N', 6, 0, 'E', 0}, 46, 6, false, false},
      {"longitude minutes past 60", {45, 0, 'N', 6, 75, 'E', 0}, 45, 7.25, false, false},
      {"negative minutes", {45, -0.5, 'N', 6, 0, 'E', 0}, 45 - 0.5 / 60, 6, false, false},
      {"negative degrees", {-45, 30, 'N', 6, 0, 'E', 0}, -44.5, 6, false, false},
      {"latitude past 90", {90, 0.5, 'N', 6, 0, 'E', 0}, 90 + 0.5 / 60, 6, false, false},
      {"longitude past 180", {45, 0, 'N', 180, 1, 'E', 0}, 45, 180 + 1 / 60.0, false, false},
      {"blank hemispheres", {45, 30, ' ', 6, 15, ' ', 0}, 45.5, 6.25, false, false},
      {"lower-case letters", {45, 30, 's', 6, 15, 'w', 0}, 45.5, 6.25, false, false},
      {"swapped letters", {45, 30, 'E', 6, 15, 'N', 0}, 45.5, 6.25, false, false},
      {"no position", {0, 0, 'N', 0, 0, 'E', 0}, 0, 0, true, false},
      {"on the equator", {0, 0, 'N', 6, 15, 'E', 0}, 0, 6.25, true, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Title);
    const TEventPosition p = DecimalPosition(c.Reading);
    EXPECT_DOUBLE_EQ(static_cast<double>(p.Latitude), c.Latitude);
    EXPECT_DOUBLE_EQ(static_cast<double>(p.Longitude), c.Longitude);
    EXPECT_EQ(p.Elevation, c.Reading.Altitude);
    EXPECT_EQ(p.Checked, c.Checked);
    EXPECT_EQ(p.Usable(), c.Usable);
  }
  TGpsReading notANumber{45, 30, 'N', 6, 0, 'E', 0};
  notANumber.LatitudeMinutes = std::nan("");
  EXPECT_FALSE(DecimalPosition(notANumber).Checked);
}

// A fix needs a format-2 header, a usable position and a satellite in use.
TEST(EventValues, GpsFixOfAnEvent) {
  struct TCase {
    const char* Title;
    int Format;
    char LatitudeHemisphere;
    int32_t Latitude;
    int32_t Satellites;
    bool Position, Fix;
  };
  const TCase cases[] = {
      {"fix", 2, 'N', 45, 7, true, true},
      {"no satellite", 2, 'N', 45, 0, true, false},
      {"no position", 2, ' ', 0, 0, true, false},
      {"position out of range", 2, 'N', 91, 7, true, false},
      {"format 1 keeps the last format-2 values", 1, 'N', 45, 7, false, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Title);
    TValues v({2006, 6, 1}, 410);
    TEventHeader& e = v.Event;
    e.EventFormat = c.Format;
    e.FileStem = "05121030";
    e.Latitude = c.Latitude;
    e.LatitudeHemisphere = c.LatitudeHemisphere;
    e.Longitude = c.LatitudeHemisphere == ' ' ? 0 : 6;
    e.LongitudeHemisphere = c.LatitudeHemisphere == ' ' ? ' ' : 'E';
    e.SatelliteCount = c.Satellites;
    e.Altitude = 250;
    v.Derive();
    EXPECT_EQ(HasGpsFix(e), c.Fix);
    EXPECT_EQ(v.Derived.GpsFix, c.Fix);
    EXPECT_EQ(v.Derived.Position.has_value(), c.Position);
    EXPECT_EQ(v.Derived.SatelliteCount, c.Format == 2 ? c.Satellites : 0);
  }
}

}  // namespace
