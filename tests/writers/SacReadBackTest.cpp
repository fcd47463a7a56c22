// The SAC files read back by an independent reader: sac2mseed turns them into miniSEED
// records of 32-bit floats, whose start time, rate, codes and samples are checked here.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "support/ConvertFixture.h"

namespace {

uint16_t Be16(const std::string& b, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) << 8 | static_cast<uint8_t>(b[at + 1]));
}

float BeFloat(const std::string& b, size_t at) {
  uint32_t bits = 0;
  for (size_t i = 0; i < 4; ++i) bits = bits << 8 | static_cast<uint8_t>(b[at + i]);
  float value;
  std::memcpy(&value, &bits, 4);
  return value;
}

struct TTrace {
  std::string Station, Location, Channel, Network;
  int Year = 0, Day = 0, Hour = 0, Minute = 0, Second = 0, TenThousandths = 0;
  int RateFactor = 0;
  std::vector<float> Samples;
};

// Fixed header: station at 8, location at 13, channel at 15, network at 18, start time at 20,
// sample count at 30, rate factor at 32, data offset at 44; big-endian floats (blockette 1000
// encoding 4).
TTrace ReadMiniSeed(const std::string& bytes, size_t recordLength) {
  TTrace trace;
  for (size_t at = 0; at + recordLength <= bytes.size(); at += recordLength) {
    const std::string record = bytes.substr(at, recordLength);
    if (at == 0) {
      trace.Station = record.substr(8, 5);
      trace.Location = record.substr(13, 2);
      trace.Channel = record.substr(15, 3);
      trace.Network = record.substr(18, 2);
      trace.Year = Be16(record, 20);
      trace.Day = Be16(record, 22);
      trace.Hour = static_cast<uint8_t>(record[24]);
      trace.Minute = static_cast<uint8_t>(record[25]);
      trace.Second = static_cast<uint8_t>(record[26]);
      trace.TenThousandths = Be16(record, 28);
      trace.RateFactor = Be16(record, 32);
    }
    const size_t count = Be16(record, 30);
    const size_t data = Be16(record, 44);
    for (size_t i = 0; i < count; ++i) trace.Samples.push_back(BeFloat(record, data + 4 * i));
  }
  return trace;
}

class SacReadBack : public TConvertFixture {};

// A word of a SAC header, read here rather than by our writer's helpers.
float SacFloat(const std::string& file, int word) {
  uint32_t bits = 0;
  for (int i = 3; i >= 0; --i) bits = bits << 8 | static_cast<uint8_t>(file[4 * word + i]);
  float value;
  std::memcpy(&value, &bits, 4);
  return value;
}

TEST_F(SacReadBack, Sac2MseedReadsWhatWasWritten) {
  if (std::system("command -v sac2mseed >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "sac2mseed is not installed";
  }
  Settings.Kinds = KindSet({"sac"});
  testing_support::TCardBuilder card;
  card.Events = {SmallEvent("DEB2", "4,23")};
  card.Events[0].RateDuration = "125,1";
  Insert(card);
  Download(1, {0});
  ASSERT_TRUE(Host.Succeeded);

  const char* names[] = {"060512_1030_023.001_1_1Z.sac", "060512_1030_023.001_1_2N.sac",
                         "060512_1030_023.001_1_3E.sac", "060512_1030_023.001_2_1Z.sac"};
  for (int channel = 0; channel < 4; ++channel) {
    SCOPED_TRACE(names[channel]);
    const std::string sac = Out / names[channel];
    const std::string mseed = Out / ("channel" + std::to_string(channel) + ".mseed");
    const std::string command =
        "sac2mseed -e 4 -r 4096 -o '" + mseed + "' '" + sac + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const TTrace trace = ReadMiniSeed(testing_support::ReadWholeFile(mseed), 4096);
    EXPECT_EQ(trace.Station, channel < 3 ? "0231 " : "0232 ");
    EXPECT_EQ(trace.Channel, std::string(1, "ZNEZ"[channel]) + "  ");
    EXPECT_EQ(trace.Year, 2006);
    EXPECT_EQ(trace.Day, 132);
    EXPECT_EQ(trace.Hour, 10);
    EXPECT_EQ(trace.Minute, 30);
    EXPECT_EQ(trace.Second, 7);
    EXPECT_EQ(trace.TenThousandths, 2500);
    EXPECT_EQ(trace.RateFactor, 125);
    ASSERT_EQ(trace.Samples.size(), 7500u);
    for (int k = 0; k < 7500; ++k) {
      ASSERT_EQ(trace.Samples[static_cast<size_t>(k)],
                static_cast<float>(testing_support::GeneratedSample(k, channel)))
          << k;
    }
  }
}

// With a station sheet or a network code the headers name each channel by its SEED codes
// and place it: the sheet's position, depth and angles, else the event's GPS position when it
// passes the checks; SAC's inclination counts from the vertical.
TEST_F(SacReadBack, WithASheetOrANetworkTheHeadersCarryTheCodesAndThePlace) {
  const bool withSac2Mseed = std::system("command -v sac2mseed >/dev/null 2>&1") == 0;
  Settings.Kinds = KindSet({"sac"});
  constexpr float Undefined = -12345.0f;
  struct TChannel {
    std::string Codes;  // NET STA LOC CHA, as 2 + 5 + 2 + 3 characters
    float Depth, Azimuth, Inclination;
  };
  struct TCase {
    const char* Title;
    std::string Sheet;
    std::string Network;
    std::string GpsPosition;  // field 13 of the event
    float Latitude, Longitude, Elevation;
    TChannel Channels[4];
  };
  const TCase cases[] = {
      {"sheet",
       "serial,network,station,latitude,longitude,elevation,sensor,depth,n_azimuth,e_azimuth\n"
       "23,Z3,BRK01,50.4012,1.5633,12,1,1.5,12,102\n",
       "",
       "45N,006E",
       50.4012f,
       1.5633f,
       12.0f,
       {{"Z3BRK0100EHZ", 1.5f, 0, 0},
        {"Z3BRK0100EHN", 1.5f, 12, 90},
        {"Z3BRK0100EHE", 1.5f, 102, 90},
        {"Z3BRK0101EHZ", 0, 0, 0}}},
      {"network code, GPS position",
       "",
       "Z3",
       "45N,006E",
       45.5f,
       6.25f,
       250.0f,
       {{"Z3023  00EHZ", 0, 0, 0},
        {"Z3023  00EHN", 0, 0, 90},
        {"Z3023  00EHE", 0, 90, 90},
        {"Z3023  01EHZ", 0, 0, 0}}},
      {"network code, no GPS position",
       "",
       "Z3",
       ",",
       Undefined,
       Undefined,
       Undefined,
       {{"Z3023  00EHZ", 0, 0, 0},
        {"Z3023  00EHN", 0, 0, 90},
        {"Z3023  00EHE", 0, 90, 90},
        {"Z3023  01EHZ", 0, 0, 0}}},
  };
  const char* names[] = {"060512_1030_023.001_1_1Z.sac", "060512_1030_023.001_1_2N.sac",
                         "060512_1030_023.001_1_3E.sac", "060512_1030_023.001_2_1Z.sac"};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Title);
    testing_support::TTempDir out;
    Settings.DataDir = out.Path();
    Settings.Network = c.Network;
    Settings.StationSheet.clear();
    if (!c.Sheet.empty()) {
      Settings.StationSheet = out / "stations.csv";
      testing_support::WriteWholeFile(Settings.StationSheet, c.Sheet);
    }
    Host = TScriptedHost();
    testing_support::TCardBuilder card;
    card.Events = {SmallEvent("DEB2", "4,23")};
    card.Events[0].RateDuration = "125,1";
    card.Events[0].Position = c.GpsPosition;
    Insert(card);
    Download(1, {0});
    ASSERT_TRUE(Host.Succeeded) << testing::PrintToString(Host.Errors);
    for (int channel = 0; channel < 4; ++channel) {
      SCOPED_TRACE(names[channel]);
      const TChannel& expected = c.Channels[channel];
      const std::string sac = testing_support::ReadWholeFile(out / names[channel]);
      ASSERT_GE(sac.size(), 632u);
      const std::string codes = expected.Codes;
      EXPECT_EQ(sac.substr(608, 8), codes.substr(0, 2) + "      ");  // KNETWK
      EXPECT_EQ(sac.substr(440, 8), codes.substr(2, 5) + "   ");     // KSTNM
      EXPECT_EQ(sac.substr(464, 8), codes.substr(7, 2) + "      ");  // KHOLE
      EXPECT_EQ(sac.substr(600, 8), codes.substr(9, 3) + "     ");   // KCMPNM
      EXPECT_EQ(SacFloat(sac, 31), c.Latitude);
      EXPECT_EQ(SacFloat(sac, 32), c.Longitude);
      EXPECT_EQ(SacFloat(sac, 33), c.Elevation);
      EXPECT_EQ(SacFloat(sac, 34), expected.Depth);
      EXPECT_EQ(SacFloat(sac, 57), expected.Azimuth);
      EXPECT_EQ(SacFloat(sac, 58), expected.Inclination);
      if (!withSac2Mseed) continue;
      const std::string mseed = out / ("channel" + std::to_string(channel) + ".mseed");
      const std::string command = "sac2mseed -e 4 -r 4096 -o '" + mseed + "' '" +
                                  (out / names[channel]) + "' >/dev/null 2>&1";
      ASSERT_EQ(std::system(command.c_str()), 0);
      const TTrace trace = ReadMiniSeed(testing_support::ReadWholeFile(mseed), 4096);
      EXPECT_EQ(trace.Network + trace.Station + trace.Location + trace.Channel, codes);
    }
  }
}

// Without a sheet or a network code the codes and placement fields stay undefined.
TEST_F(SacReadBack, WithoutCodesTheHeaderKeepsItsStationNameAndLetter) {
  Settings.Kinds = KindSet({"sac"});
  testing_support::TCardBuilder card;
  card.Events = {SmallEvent("DEB2", "3,23")};
  Insert(card);
  Download(1, {0});
  ASSERT_TRUE(Host.Succeeded);
  const std::string sac = Output("060512_1030_023.001_1_2N.sac");
  ASSERT_GE(sac.size(), 632u);
  EXPECT_EQ(sac.substr(440, 8), "0231    ");
  EXPECT_EQ(sac.substr(600, 8), "  N     ");
  EXPECT_EQ(sac.substr(608, 8), "-12345  ");
  EXPECT_EQ(sac.substr(464, 8), "-12345  ");
  EXPECT_EQ(SacFloat(sac, 31), 45.5f);
  for (const int word : {34, 57, 58}) EXPECT_EQ(SacFloat(sac, word), -12345.0f) << word;
}

}  // namespace
