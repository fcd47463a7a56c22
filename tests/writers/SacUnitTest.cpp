// The SAC header: which words are set, to what, and that every other field stays undefined.

#include <gtest/gtest.h>

#include <map>

#include "support/ConvertFixture.h"
#include "writers/SacUnit.h"

namespace {

std::string Bytes(const SacUnit::THeader& header) {
  return std::string(reinterpret_cast<const char*>(header.data()), header.size());
}

// Every numeric word not listed holds -12345 (as a float in words 0-69), every text field not
// listed "-12345" padded with blanks.
void ExpectHeader(const std::string& bytes, const std::map<int, float>& floats,
                  const std::map<int, int32_t>& ints, const std::map<int, std::string>& texts) {
  ASSERT_GE(bytes.size(), 632u);
  for (int word = 0; word < 70; ++word) {
    auto it = floats.find(word);
    EXPECT_EQ(SacFloat(bytes, word), it == floats.end() ? -12345.0f : it->second) << word;
  }
  for (int word = 70; word < 110; ++word) {
    auto it = ints.find(word);
    EXPECT_EQ(SacInt(bytes, word), it == ints.end() ? -12345 : it->second) << word;
  }
  for (int offset = 440; offset < 632; offset += offset == 448 ? 16 : 8) {
    auto it = texts.find(offset);
    const size_t width = offset == 448 ? 16 : 8;
    std::string expected = it == texts.end() ? "-12345" : it->second;
    expected.resize(width, ' ');
    EXPECT_EQ(bytes.substr(static_cast<size_t>(offset), width), expected) << offset;
  }
}

SacUnit::TSacChannelInfo Info125() {
  SacUnit::TSacChannelInfo info;
  info.StationName = "0231";
  info.SampleCount = 75000;
  info.SampleRate = 125;
  info.StartDate = "12.05.2006";
  info.StartTime = "10:30:07.250";
  info.InstrumentName = "TarqPrbe";
  info.ComponentLetter = 'Z';
  info.Elevation = 10000.0f;
  return info;
}

TEST(SacUnit, TemplateIsAllUndefined) {
  ExpectHeader(Bytes(SacUnit::SacHeaderTemplate()), {}, {}, {});
}

TEST(SacUnit, HeaderOfAChannel) {
  const float delta = 0.008f;
  const float end = static_cast<float>(74999.0L * static_cast<long double>(delta));
  ExpectHeader(Bytes(SacUnit::BuildSacHeader(Info125())),
               {{0, delta}, {4, delta}, {5, 0.0f}, {6, end}},
               {{70, 2006},
                {71, 132},
                {72, 10},
                {73, 30},
                {74, 7},
                {75, 250},
                {76, 6},
                {79, 75000},
                {85, 1},
                {86, 5},
                {105, 1},
                {107, 1}},
               {{440, "0231"}, {600, "  Z"}, {624, "TarqPrbe"}});
}

TEST(SacUnit, StartTimeAndPositionFields) {
  struct TCase {
    std::string Date, Time;
    int32_t JDay, Sec, MSec;
  };
  const TCase cases[] = {
      {"01.01.2006", "00:00:00.000", 1, 0, 0},
      {"31.12.2004", "23:59:59.999", 366, 59, 999},
      // The fraction is rounded to the millisecond, halves to even, and 1000 carries.
      {"12.05.2006", "10:30:7.9996", 132, 8, 0},
      {"12.05.2006", "10:30:7.0625", 132, 7, 62},
      {"12.05.2006", "10:30:7.1875", 132, 7, 188},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Date + " " + c.Time);
    SacUnit::TSacChannelInfo info = Info125();
    info.StartDate = c.Date;
    info.StartTime = c.Time;
    const std::string bytes = Bytes(SacUnit::BuildSacHeader(info));
    EXPECT_EQ(SacInt(bytes, 71), c.JDay);
    EXPECT_EQ(SacInt(bytes, 74), c.Sec);
    EXPECT_EQ(SacInt(bytes, 75), c.MSec);
  }

  SacUnit::TSacChannelInfo info = Info125();
  info.Latitude = -45.5f;
  info.Longitude = -5.25f;
  info.Elevation = 250.0f;
  const std::string placed = Bytes(SacUnit::BuildSacHeader(info));
  EXPECT_EQ(SacFloat(placed, 31), -45.5f);
  EXPECT_EQ(SacFloat(placed, 32), -5.25f);
  EXPECT_EQ(SacFloat(placed, 33), 250.0f);
}

TEST(SacUnit, NoRateLeavesSpacingUndefined) {
  SacUnit::TSacChannelInfo info = Info125();
  info.SampleRate = 0;
  const std::string bytes = Bytes(SacUnit::BuildSacHeader(info));
  EXPECT_EQ(SacFloat(bytes, 0), -12345.0f);
  EXPECT_EQ(SacFloat(bytes, 4), -12345.0f);
  EXPECT_EQ(SacFloat(bytes, 6), -12345.0f);
  EXPECT_EQ(SacFloat(bytes, 5), 0.0f);
}

TEST(SacUnit, AmplitudesAndSwappedWords) {
  SacUnit::TSacChannelInfo info = Info125();
  info.AmplitudesGiven = true;
  info.Minimum = -10;
  info.Maximum = 20;
  info.Mean = 5;
  info.AmplitudeScale = -2.0;
  const std::string plain = Bytes(SacUnit::BuildSacHeader(info));
  EXPECT_EQ(SacFloat(plain, 1), -5.0f);
  EXPECT_EQ(SacFloat(plain, 2), 10.0f);
  EXPECT_EQ(SacFloat(plain, 56), 2.5f);

  info.SwapByteOrder = true;
  const std::string swapped = Bytes(SacUnit::BuildSacHeader(info));
  for (size_t word = 0; word < 110; ++word) {
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(swapped[4 * word + i], plain[4 * word + 3 - i]);
  }
  EXPECT_EQ(swapped.substr(440), plain.substr(440));
}

TEST(SacUnit, PutFixedTextPadsWithBlanks) {
  uint8_t field[8];
  std::memset(field, 'x', sizeof field);
  SacUnit::PutFixedText("ab", field, 6);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(field), 8), "ab    xx");
}

}  // namespace
