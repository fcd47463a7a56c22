// The SAC files read back by an independent reader: sac2mseed turns them into miniSEED
// records of 32-bit floats, whose start time, rate, codes and samples are checked here.

#include <gtest/gtest.h>

#include <cstdlib>

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
  std::string Station, Channel;
  int Year = 0, Day = 0, Hour = 0, Minute = 0, Second = 0, TenThousandths = 0;
  int RateFactor = 0;
  std::vector<float> Samples;
};

// Fixed header: station at 8, channel at 15, start time at 20, sample count at 30, rate factor
// at 32, data offset at 44; big-endian floats (blockette 1000 encoding 4).
TTrace ReadMiniSeed(const std::string& bytes, size_t recordLength) {
  TTrace trace;
  for (size_t at = 0; at + recordLength <= bytes.size(); at += recordLength) {
    const std::string record = bytes.substr(at, recordLength);
    if (at == 0) {
      trace.Station = record.substr(8, 5);
      trace.Channel = record.substr(15, 3);
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

}  // namespace
