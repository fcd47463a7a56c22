// The files of converted events, byte for byte, and how they are named.

#include <gtest/gtest.h>

#include "support/ConvertFixture.h"

namespace {

using testing_support::Field;
using testing_support::GeneratedSample;
using testing_support::SampleBytes;
using testing_support::TBuiltEvent;
using testing_support::TCardBuilder;

std::string SacFileName(const std::string& base, int channel) {
  return base + "_" + std::to_string((channel - 1) / 3 + 1) + "_" +
         std::to_string((channel - 1) % 3 + 1) + "ZNE"[(channel - 1) % 3] + ".sac";
}

std::string SampleLines(const std::string& file, size_t headerLines) {
  size_t at = 0;
  for (size_t i = 0; i < headerLines; ++i) at = file.find("\r\n", at) + 2;
  return file.substr(at);
}

class EventOutputs : public TConvertFixture {};

TEST_F(EventOutputs, TextHeaders) {
  struct TCase {
    std::string Signature;
    TBuiltEvent Event;
    std::vector<std::string> Comment;
    std::string File;
    std::vector<std::string> Header;
  };
  TBuiltEvent format1 = SmallEvent("DEB", "3,23");
  format1.RateDuration = "125,1";
  format1.Clipped = "0.35";
  TBuiltEvent format2 = SmallEvent("DEB2", "5,23");
  format2.RateDuration = "125,1";
  format2.Gain = "2,2.5";
  format2.Position = "45S,005W";
  TBuiltEvent before410 = SmallEvent("DEB2", "3,23");
  before410.RateDuration = "125,1";
  before410.Field17 = "05121045";
  before410.Field18 = "59999";
  const TCase cases[] = {
      {"TARQP0410",
       format1,
       // UTF-8 from the hosts, ISO 8859-1 in the file: a character beyond it as "?".
       {"quarry blast test", "d\xC3\xA9j\xC3\xA0 vu \xE2\x9C\x93"},
       "060512_1030_023.001",
       {"Original file name: 05121030.001", "Transformed into: 060512_1030_023.001",
        "Comment:", "# quarry blast test", "# d\xE9j\xE0 vu ?", "ReadTarq version: 3.3",
        "Station serial number: 023", "Station software version: 0410", "Channel number: 3",
        "Starting date: 12.05.2006", "Starting time: 10:30:07.250", "Sample rate: 125 Hz",
        "Sample number: 7500", "Recording duration: 1 mn", "Conversion factor: 26214.2", "Gain: 1",
        "Clipped samples: 0.35%", "Maximum amplitude: 5120 / 8388608"}},
      {"TARQP0508",
       format2,
       {},
       "Capt_2_060512_1030_023.001",
       {"Original file name: 05121030.001",
        "Transformed into: Capt_2_060512_1030_023.001",
        "ReadTarq version: 3.3",
        "Station serial number: 023",
        "Station software version: 0508",
        "Channel number: 2",
        "Starting date: 12.05.2006",
        "Starting time: 10:30:07.250",
        "Ending date: 12.05.2006",
        "Ending time: 10:31:07.250",
        "Sample rate: 125 Hz",
        "Sample number: 7500",
        "Recording duration: 1 mn",
        "Conversion factor: 52428.4",
        "Gain: 2",
        "Dynamic range: 2 V",
        "Clipped samples: 0.00%",
        "Latitude :  45 30.000 S",
        "Longitude:   5 15.000 W",
        "Altitude : 250 m",
        "No. satellites: 7",
        "Maximum amplitude: 5120 / 8388608"}},
      {"TARQP0300",
       before410,
       {"first", "second"},
       "060512_1030_023.001",
       {"Original file name: 05121030.001",
        "Transformed into: 060512_1030_023.001",
        "Comment:",
        "# first",
        "# second",
        "ReadTarq version: 3.3",
        "Station serial number: 023",
        "Station software version: 0300",
        "Channel number: 3",
        "Starting date: 12.05.2006",
        "Starting time: 10:30:07.250",
        "Ending date: 12.05.2006",
        "Ending time: 10:45:59.999",
        "Sample rate: 125 Hz",
        "Sample number: 7500",
        "Recording duration: 1 mn",
        "Conversion factor: 26214.2",
        "Gain: 1",
        "Dynamic range: 5 V",
        "Clipped samples: 0.00%",
        "Latitude :  45 30.000 N",
        "Longitude:   6 15.000 E",
        "Altitude : 250 m",
        "No. satellites: 7",
        "Maximum amplitude: 5120 / 8388608"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Signature);
    testing_support::TTempDir out;
    Settings.DataDir = out.Path();
    Choose(Settings, OutputKindNamed("sensor"), true);
    TCardBuilder card;
    card.Signature = c.Signature;
    card.Events = {c.Event};
    Insert(card);
    Host.Comment = c.Comment;
    Download(1, {0});
    const std::string file = testing_support::ReadWholeFile(out / c.File);
    EXPECT_EQ(file.substr(0, Lines(c.Header).size()), Lines(c.Header));
  }
}

TEST_F(EventOutputs, EveryKindByteForByte) {
  struct TCase {
    std::string Marker;
    int Channels;
  };
  for (const TCase& c : {TCase{"DEB", 3}, TCase{"DEB2", 4}, TCase{"DEB2", 5}, TCase{"DEB", 6}}) {
    SCOPED_TRACE(c.Marker + " " + std::to_string(c.Channels));
    testing_support::TTempDir out;
    Settings.DataDir = out.Path();
    AllKinds();
    TCardBuilder card;
    card.Signature = "TARQP0410";
    // A format-2 event first: a format-1 copy must not take its position fields.
    card.Events = {SmallEvent("DEB2", "3,9"),
                   SmallEvent(c.Marker, std::to_string(c.Channels) + ",23")};
    card.Events[0].FileStem = "05111030";
    card.Events[0].Position = "12N,034E";
    const TBuiltEvent& e = card.Events[1];
    Insert(card);
    Download(2, {1});

    const int sensors = (c.Channels + 2) / 3;
    const std::string base = "060512_1030_023.001";
    std::vector<std::string> expectedNames = {base, "Bin_" + base};
    for (int s = 1; s <= sensors; ++s)
      expectedNames.push_back("Capt_" + std::to_string(s) + "_" + base);
    for (int ch = 1; ch <= c.Channels; ++ch) expectedNames.push_back(SacFileName(base, ch));
    std::sort(expectedNames.begin(), expectedNames.end());
    EXPECT_EQ(testing_support::FilesIn(out.Path()), expectedNames);

    const size_t headerLines = c.Marker == "DEB2" ? 22 : 15;
    const std::string record = testing_support::ReadWholeFile(out / base);
    EXPECT_NE(record.find("Channel number: " + std::to_string(c.Channels) + "\r\n"),
              std::string::npos);
    EXPECT_EQ(SampleLines(record, headerLines), GeneratedLines(60, 0, c.Channels - 1));
    for (int s = 1; s <= sensors; ++s) {
      const int last = std::min(3 * s, c.Channels);
      const std::string sensor =
          testing_support::ReadWholeFile(out / ("Capt_" + std::to_string(s) + "_" + base));
      EXPECT_NE(sensor.find("Channel number: " + std::to_string(last - 3 * s + 3) + "\r\n"),
                std::string::npos);
      EXPECT_EQ(SampleLines(sensor, headerLines), GeneratedLines(60, 3 * s - 3, last - 1));
    }

    const std::string header = e.HeaderBytes();
    std::string binary = Field("TARQP0410") + header.substr(0, 108);
    binary += c.Marker == "DEB2" ? header.substr(108, 54) : std::string(54, ' ');
    binary += Field(e.HeaderEnd);
    for (int k = 0; k < 60; ++k) {
      for (int ch = 0; ch < c.Channels; ++ch) binary += SampleBytes(GeneratedSample(k, ch));
    }
    binary += Field(e.Trailer);
    EXPECT_EQ(testing_support::ReadWholeFile(out / ("Bin_" + base)), binary);

    for (int ch = 1; ch <= c.Channels; ++ch) {
      const std::string sac = testing_support::ReadWholeFile(out / SacFileName(base, ch));
      ASSERT_EQ(sac.size(), 632u + 60 * 4);
      EXPECT_EQ(SacInt(sac, 79), 60);
      EXPECT_EQ(SacFloat(sac, 0), 1.0f);
      EXPECT_EQ(SacFloat(sac, 6), 59.0f);
      EXPECT_EQ(sac.substr(440, 8), "023" + std::to_string((ch - 1) / 3 + 1) + "    ");
      EXPECT_EQ(sac.substr(600, 8), std::string("  ") + "ZNE"[(ch - 1) % 3] + "     ");
      const bool placed = c.Marker == "DEB2";
      EXPECT_EQ(SacFloat(sac, 31), placed ? 45.5f : -12345.0f);
      EXPECT_EQ(SacFloat(sac, 32), placed ? 6.25f : -12345.0f);
      EXPECT_EQ(SacFloat(sac, 33), placed ? 250.0f : -12345.0f);
      const std::vector<float> samples = SacSamples(sac);
      for (int k = 0; k < 60; ++k) {
        ASSERT_EQ(samples[static_cast<size_t>(k)], static_cast<float>(GeneratedSample(k, ch - 1)))
            << k;
      }
    }
    EXPECT_TRUE(Host.Succeeded);
  }
}

// The desktop program runs under the user's locale, often one with a decimal comma: the files
// must not change with it (times, factors, percentages, positions, the SAC start time).
TEST_F(EventOutputs, EveryKindIsTheSameUnderACommaDecimalLocale) {
  AllKinds();
  TCardBuilder card;
  card.Signature = "TARQP0410";
  TBuiltEvent e = SmallEvent("DEB2", "3,23");
  e.Gain = "2,2.5";
  e.Clipped = "0.35";
  e.LatMinutes = "30.125";
  card.Events = {e};
  auto convert = [&](const std::string& dir) {
    Settings.DataDir = dir;
    Insert(card);
    Download(1, {0});
    EXPECT_TRUE(Host.Succeeded);
  };
  testing_support::TTempDir plain;
  testing_support::TTempDir comma;
  convert(plain.Path());
  {
    testing_support::TCommaDecimalLocale locale;
    ASSERT_TRUE(locale.Active()) << "fr_FR.UTF-8 is missing: scripts/install-deps makes it";
    convert(comma.Path());
  }
  const std::vector<std::string> names = testing_support::FilesIn(plain.Path());
  ASSERT_EQ(names.size(), 6u);
  EXPECT_EQ(testing_support::FilesIn(comma.Path()), names);
  for (const std::string& name : names) {
    EXPECT_EQ(testing_support::ReadWholeFile(comma / name),
              testing_support::ReadWholeFile(plain / name))
        << name;
  }
  EXPECT_NE(testing_support::ReadWholeFile(plain / "060512_1030_023.001")
                .find("Starting time: 10:30:07.250\r\nEnding date"),
            std::string::npos);
}

TEST_F(EventOutputs, SamplesOfEveryLengthAndSign) {
  Choose(Settings, OutputKindNamed("sac"), true);
  std::vector<int32_t> values;
  for (int32_t magnitude = 1; magnitude <= 1000000; magnitude *= 10) {
    for (int32_t v : {magnitude - 1, magnitude, magnitude + 1}) {
      values.push_back(v);
      values.push_back(-v);
    }
  }
  for (int32_t v : {8388607, -8388608, -8388607, 1234567, -7654321, 4194304, -65536}) {
    values.push_back(v);
  }
  TCardBuilder card;
  card.Events = {SmallEvent("DEB", "3,23")};
  card.Events[0].UseRawSamples = true;
  std::string lines;
  std::vector<int32_t> channel2;
  for (size_t k = 0; k < 60; ++k) {
    for (size_t c = 0; c < 3; ++c) {
      const int32_t v = values[(3 * k + c) % values.size()];
      card.Events[0].RawSamples += SampleBytes(v);
      lines += std::to_string(v) + (c < 2 ? "\t" : "\r\n");
      if (c == 1) channel2.push_back(v);
    }
  }
  Insert(card);
  Download(1, {0});
  EXPECT_EQ(SampleLines(Output("060512_1030_023.001"), 15), lines);
  const std::vector<float> samples = SacSamples(Output("060512_1030_023.001_1_2N.sac"));
  ASSERT_EQ(samples.size(), 60u);
  for (size_t k = 0; k < 60; ++k) EXPECT_EQ(samples[k], static_cast<float>(channel2[k]));
}

TEST_F(EventOutputs, NamesMoveToAFreeLetter) {
  struct TCase {
    std::string Title;
    bool Serial, Sensors, Binary, Sac;
    std::string Channels;
    std::vector<std::string> Existing;
    std::string Expected;  // the name of the record file made
  };
  const TCase cases[] = {
      {"serial off", false, false, false, false, "3,23", {}, "060512_1030.001"},
      {"second download",
       true,
       false,
       false,
       false,
       "3,23",
       {"060512_1030_023.001"},
       "060512_1030_023_a.001"},
      {"third download",
       true,
       false,
       false,
       false,
       "3,23",
       {"060512_1030_023.001", "060512_1030_023_a.001"},
       "060512_1030_023_b.001"},
      {"sensor file 4 of a 3-channel event",
       true,
       true,
       false,
       false,
       "3,23",
       {"Capt_4_060512_1030_023.001"},
       "060512_1030_023_a.001"},
      {"SAC file of channel 5",
       true,
       false,
       false,
       true,
       "5,23",
       {"060512_1030_023.001_2_2N.sac"},
       "060512_1030_023_a.001"},
      {"a kind not chosen",
       true,
       false,
       false,
       false,
       "3,23",
       {"Bin_060512_1030_023.001"},
       "060512_1030_023.001"},
      {"four-digit serial", true, false, true, false, "3,1234", {}, "060512_1030_123.001"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Title);
    testing_support::TTempDir out;
    Settings.DataDir = out.Path();
    Settings.SerialNr = c.Serial;
    Choose(Settings, OutputKindNamed("sensor"), c.Sensors);
    Choose(Settings, OutputKindNamed("binary"), c.Binary);
    Choose(Settings, OutputKindNamed("sac"), c.Sac);
    for (const std::string& name : c.Existing) testing_support::WriteWholeFile(out / name, "old");
    TCardBuilder card;
    card.Events = {SmallEvent("DEB", c.Channels)};
    Insert(card);
    Download(1, {0});
    EXPECT_TRUE(Host.Errors.empty());
    EXPECT_NE(
        testing_support::ReadWholeFile(out / c.Expected).find("Transformed into: " + c.Expected),
        std::string::npos);
    for (const std::string& name : c.Existing) {
      EXPECT_EQ(testing_support::ReadWholeFile(out / name), "old");
    }
  }
}

TEST_F(EventOutputs, EventsThatCannotBeConvertedAreRefusedAndTheRunGoesOn) {
  std::string base = "060512_1030_023";
  testing_support::WriteWholeFile(Out / (base + ".001"), "old");
  for (char letter = 'a'; letter <= 'z'; ++letter) {
    testing_support::WriteWholeFile(Out / (base + "_" + letter + ".001"), "old");
  }
  TCardBuilder card;
  card.Events = {SmallEvent("DEB", "3,23"), SmallEvent("DEB", "0,23"), SmallEvent("DEB", "19,23"),
                 SmallEvent("DEB", "3,23")};
  for (size_t i = 1; i < card.Events.size(); ++i)
    card.Events[i].FileNumber = "00" + std::to_string(i + 1);
  Insert(card);
  Download(4, {0, 1, 2, 3});

  ASSERT_EQ(Host.Errors.size(), 3u);
  EXPECT_EQ(Host.Errors[0],
            "Cannot convert 05121030.001: the names 060512_1030_023.001 to "
            "060512_1030_023_z.001 are all taken in " +
                Out.Path());
  EXPECT_EQ(Host.Errors[1],
            "Cannot convert 05121030.002: it has 0 channels (1 to 18 can be converted)");
  EXPECT_EQ(Host.Errors[2],
            "Cannot convert 05121030.003: it has 19 channels (1 to 18 can be converted)");
  EXPECT_EQ(Host.Selected, (std::vector<bool>{true, true, true, false}));
  EXPECT_EQ(Output(base + ".001"), "old");
  EXPECT_EQ(SampleLines(Output(base + ".004"), 15), GeneratedLines(60, 0, 2));
  EXPECT_FALSE(Host.Succeeded);
  // Not a failed run: the result counts the refused events.
  EXPECT_EQ(Host.NotConverted, 3);
  EXPECT_EQ(DownloadResultText(Host.Succeeded, Host.NotConverted),
            "Download finished: 3 event(s) not converted");
}

TEST_F(EventOutputs, ARefusedEventInARunThatIsStoppedLeavesAFailedRun) {
  TCardBuilder card;
  card.Events = {SmallEvent("DEB", "0,23"), SmallEvent("DEB", "3,23")};
  card.Events[1].FileNumber = "002";
  Insert(card);
  Host.OnShowFileName = [&](int shown) {
    if (shown == 1) Convert.RequestStop();
  };
  Download(2, {0, 1});
  EXPECT_EQ(Host.Errors.size(), 1u);
  EXPECT_FALSE(Host.Succeeded);
  EXPECT_EQ(Host.NotConverted, 0);
  EXPECT_EQ(DownloadResultText(Host.Succeeded, Host.NotConverted), "Download failed");
}

TEST_F(EventOutputs, CardTextNeverLeavesTheDestination) {
  const std::string dest = Out / "dest";
  ASSERT_TRUE(platform::MakeDirectory(dest));
  Settings.DataDir = dest;
  AllKinds();
  TCardBuilder card;
  card.Events = {SmallEvent("DEB", "3,23"), SmallEvent("DEB", "3,23")};
  card.Events[0].FileStem = "../../../";
  card.Events[0].FileNumber = "/../../..";
  card.Events[1].FileStem = "05\\1:*?<>";
  card.Events[1].FileNumber = "\r\n|\"\t";
  Insert(card);
  Download(2, {0, 1});
  EXPECT_TRUE(Host.Errors.empty());
  EXPECT_EQ(OutputFiles(), std::vector<std::string>{"dest"});
  const std::vector<std::string> made = testing_support::FilesIn(dest);
  EXPECT_EQ(made.size(), 2u * (1 + 1 + 1 + 3));
  for (const std::string& name : made) EXPECT_EQ(name.find(".."), std::string::npos) << name;
  // Nor does it break a header line in two.
  int records = 0;
  for (const std::string& name : made) {
    const std::string text = testing_support::ReadWholeFile(dest + "/" + name);
    if (text.rfind("Original file name: 05\\1:*?<>.??\r\n", 0) != 0) continue;
    ++records;
    EXPECT_EQ(SampleLines(text, 15), GeneratedLines(60, 0, 2)) << name;
  }
  EXPECT_EQ(records, 2);  // the record file and the sensor file
}

}  // namespace
