// SEED codes of a recorder's channels and their checks.

#include <gtest/gtest.h>

#include "seed/SeedCodes.h"
#include "seed/SeedError.h"

using seed::TCodeKind;
using seed::TSensorPeriod;

TEST(SeedCodes, BandCodeFollowsTheRateAndTheSensor) {
  struct TCase {
    double Rate;
    char Short, Broad;
  };
  const TCase cases[] = {
      {4000, 'G', 'F'},  {1000, 'G', 'F'}, {999, 'D', 'C'}, {500, 'D', 'C'}, {250, 'D', 'C'},
      {249.9, 'E', 'H'}, {125, 'E', 'H'},  {80, 'E', 'H'},  {79, 'S', 'B'},  {10, 'S', 'B'},
      {9.5, 'M', 'M'},   {2, 'M', 'M'},    {1.5, 'L', 'L'}, {1, 'L', 'L'},   {0.5, 'V', 'V'},
      {0.1, 'V', 'V'},   {0.05, 'U', 'U'},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Rate);
    EXPECT_EQ(seed::BandCode(c.Rate, TSensorPeriod::Short), c.Short);
    EXPECT_EQ(seed::BandCode(c.Rate, TSensorPeriod::Broad), c.Broad);
  }
  for (const double bad : {0.0, -250.0, std::numeric_limits<double>::quiet_NaN()}) {
    EXPECT_THROW(seed::BandCode(bad, TSensorPeriod::Short), seed::ESeedError);
  }
}

TEST(SeedCodes, SensorsAreThreeConsecutiveChannels) {
  const char* expected[][2] = {{"00", "DHZ"}, {"00", "DHN"}, {"00", "DHE"}, {"01", "DHZ"},
                               {"01", "DHN"}, {"01", "DHE"}, {"02", "DHZ"}};
  for (int channel = 0; channel < 7; ++channel) {
    const seed::TChannelCodes codes =
        seed::DefaultChannelCodes(23, 250, TSensorPeriod::Short, channel);
    EXPECT_EQ(codes, (seed::TChannelCodes{"XX", "023", expected[channel][0], expected[channel][1]}))
        << channel;
  }
  EXPECT_EQ(seed::LocationCode(299), "99");
  EXPECT_THROW(seed::LocationCode(300), seed::ESeedError);
  EXPECT_THROW(seed::LocationCode(-1), seed::ESeedError);
}

TEST(SeedCodes, StationIsTheSerialWithAtLeastThreeDigits) {
  EXPECT_EQ(seed::StationCode(0), "000");
  EXPECT_EQ(seed::StationCode(23), "023");
  EXPECT_EQ(seed::StationCode(193), "193");
  EXPECT_EQ(seed::StationCode(1234), "1234");
  EXPECT_EQ(seed::StationCode(99999), "99999");
  EXPECT_THROW(seed::StationCode(100000), seed::ESeedError);
  EXPECT_THROW(seed::StationCode(-1), seed::ESeedError);
}

TEST(SeedCodes, CodesAreCheckedForLengthAndCharacters) {
  struct TCase {
    TCodeKind Kind;
    const char* Code;
    bool Valid;
  };
  const TCase cases[] = {
      {TCodeKind::Network, "XX", true},      {TCodeKind::Network, "Z3", true},
      {TCodeKind::Network, "X", true},       {TCodeKind::Network, "", false},
      {TCodeKind::Network, "XXX", false},    {TCodeKind::Network, "xx", false},
      {TCodeKind::Station, "BRK01", true},   {TCodeKind::Station, "023", true},
      {TCodeKind::Station, "BRK012", false}, {TCodeKind::Station, "AB-1", false},
      {TCodeKind::Station, "", false},       {TCodeKind::Station, "A B", false},
      {TCodeKind::Location, "", true},       {TCodeKind::Location, "00", true},
      {TCodeKind::Location, "0", false},     {TCodeKind::Location, "000", false},
      {TCodeKind::Channel, "DHZ", true},     {TCodeKind::Channel, "DH", false},
      {TCodeKind::Channel, "DHZ1", false},   {TCodeKind::Channel, "DH\xC3\xA9", false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Code);
    EXPECT_EQ(seed::CodeProblem(c.Kind, c.Code).empty(), c.Valid)
        << seed::CodeProblem(c.Kind, c.Code);
  }
  try {
    seed::CheckCode(TCodeKind::Station, "AB-1");
    FAIL();
  } catch (const seed::ESeedError& error) {
    EXPECT_STREQ(
        error.what(),
        "station code 'AB-1' holds '-': only upper-case letters A-Z and digits are allowed");
  }
}
