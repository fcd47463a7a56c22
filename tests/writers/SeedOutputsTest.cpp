// The miniSEED file and the SDS archive as a download writes them: every record read back
// by libmseed against the record file's samples, refused events, names and the archive.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "support/ConvertFixture.h"
#include "support/MiniSeedReadBack.h"
#include "seed/SdsArchive.h"
#include "seed/SeedTime.h"

namespace {

namespace fs = std::filesystem;
using testing_support::TCardBuilder;
using TTree = std::map<std::string, std::string>;  // relative path -> bytes

class SeedOutputs : public TConvertFixture {
 public:
  SeedOutputs() {
    Settings.Kinds = KindSet({"record", "mseed"});
  }
};

// The sample lines of a record file: channel by channel.
std::vector<std::vector<int32_t>> RecordFileSamples(const std::string& text, int channels) {
  std::vector<std::vector<int32_t>> samples(static_cast<size_t>(channels));
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find("\r\n", at);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(at, end - at);
    at = end + 2;
    if (line.empty() || line.find_first_not_of("-0123456789\t") != std::string::npos) continue;
    size_t from = 0;
    for (int c = 0; c < channels; ++c) {
      const size_t tab = line.find('\t', from);
      samples[static_cast<size_t>(c)].push_back(std::stoi(line.substr(from, tab - from)));
      from = tab + 1;
    }
  }
  return samples;
}

struct TStream {
  std::vector<TReadRecord> Records;
  std::vector<int32_t> Samples;
};

// The records of a miniSEED file by NET.STA.LOC.CHA.
std::map<std::string, TStream> Streams(const std::string& bytes) {
  std::map<std::string, TStream> streams;
  for (TReadRecord& record : ReadRecords(bytes)) {
    TStream& stream = streams[record.Network + "." + record.Station + "." + record.Location + "." +
                              record.Channel];
    stream.Samples.insert(stream.Samples.end(), record.Samples.begin(), record.Samples.end());
    stream.Records.push_back(std::move(record));
  }
  return streams;
}

bool HoldsSaturated(const TReadRecord& record) {
  return std::any_of(record.Samples.begin(), record.Samples.end(),
                     [](int32_t s) { return s == -8388608 || s == 8388607; });
}

TTree Archive(const std::string& root) {
  TTree tree;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string relative = fs::relative(entry.path(), root).string();
    if (entry.is_regular_file() && relative.find('/') != std::string::npos) {
      tree[relative] = testing_support::ReadWholeFile(entry.path().string());
    }
  }
  return tree;
}

TEST_F(SeedOutputs, EveryRecordHoldsTheRecordFilesSamplesWithItsCodesStartAndRate) {
  struct TCase {
    const char* Title;
    std::string Channels;
    std::string Clipped;
    std::string Sheet;    // station sheet text; empty: none
    std::string Network;  // the network option
    int RecordLength;
    int64_t CutFrames;    // the data ends after this many frames (-1: whole)
    std::vector<std::string> Expected;  // first channel's NET.STA.LOC.CHA, then the fourth's
  };
  const TCase cases[] = {
      {"defaults, two sensors", "6,47", "0.00", "", "", 4096, -1, {"XX.047.00.EHZ", "XX.047.01.EHZ"}},
      {"clipped, network option, small records", "3,193", "0.50", "", "Z3", 512, -1,
       {"Z3.193.00.EHZ"}},
      {"sheet codes beat the option", "4,47", "0.00",
       "serial,network,station,period\n47,YY,BRK01,broad\n", "Z3", 4096, -1,
       {"YY.BRK01.00.HHZ", "YY.BRK01.01.HHZ"}},
      {"a cut event padded with zeros", "3,47", "0.00", "", "", 512, 2500, {"XX.047.00.EHZ"}},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Title);
    testing_support::TTempDir out;
    Settings.DataDir = out.Path();
    Settings.Network = test.Network;
    Settings.RecordLength = test.RecordLength;
    Settings.StationSheet.clear();
    if (!test.Sheet.empty()) {
      Settings.StationSheet = out / "stations.csv";
      testing_support::WriteWholeFile(Settings.StationSheet, test.Sheet);
    }
    Host = TScriptedHost();
    TCardBuilder card;
    testing_support::TBuiltEvent event = SmallEvent("DEB", test.Channels);
    event.RateDuration = "100,1";  // 6000 frames
    event.Clipped = test.Clipped;
    if (test.CutFrames >= 0) {
      const int channels = std::stoi(test.Channels.substr(0, 1));
      event.UseRawSamples = true;
      for (int64_t k = 0; k < test.CutFrames; ++k) {
        for (int c = 0; c < channels; ++c) {
          event.RawSamples += testing_support::SampleBytes(testing_support::GeneratedSample(k, c));
        }
      }
      event.OmitTrailer = true;
    }
    card.Events = {event};
    Insert(card);
    Download(1, {0});
    ASSERT_TRUE(Host.Succeeded) << testing::PrintToString(Host.Errors);

    const std::string base = Convert.OutputNames().at(0);  // the record file
    const int channels = std::stoi(test.Channels.substr(0, 1));
    const auto expected = RecordFileSamples(testing_support::ReadWholeFile(out / base), channels);
    ASSERT_EQ(expected[0].size(), 6000u);
    const auto streams = Streams(testing_support::ReadWholeFile(out / (base + ".mseed")));
    ASSERT_EQ(streams.size(), static_cast<size_t>(channels));
    EXPECT_TRUE(streams.count(test.Expected[0]));
    if (test.Expected.size() > 1) {
      EXPECT_TRUE(streams.count(test.Expected[1]));
    }

    const int64_t start = seed::TSeedTime{2006, 5, 12, 10, 30, 7, 250000}.EpochMicroseconds();
    int channel = 0;
    for (const auto& [codes, stream] : streams) {
      SCOPED_TRACE(codes);
      // Streams sort by location then channel code: Z, N, E within a sensor sorts E, N, Z.
      const int sensor = std::stoi(stream.Records[0].Location);
      const char orientation = stream.Records[0].Channel[2];
      const int c = 3 * sensor + (orientation == 'Z' ? 0 : orientation == 'N' ? 1 : 2);
      ASSERT_LT(c, channels);
      EXPECT_EQ(stream.Samples, expected[static_cast<size_t>(c)]);
      size_t index = 0;
      for (const TReadRecord& record : stream.Records) {
        EXPECT_EQ(record.Start, start + static_cast<int64_t>(index) * 10'000);
        EXPECT_EQ(record.Rate, 100.0);
        EXPECT_EQ(record.Length, test.RecordLength);
        EXPECT_EQ(record.Quality, 'D');
        // Saturation by the record's own samples, whatever the header's clipped percentage.
        EXPECT_EQ(record.QualityFlags & 1, HoldsSaturated(record) ? 1 : 0);
        EXPECT_EQ(record.IoFlags, 0);  // format 1: no receiver, no locked clock
        index += record.Samples.size();
      }
      ++channel;
    }
    EXPECT_EQ(channel, channels);
  }
}

// One saturated sample on one channel flags that channel's record that holds it, and no other
// record; the records of an event recorded with a GPS fix say that the clock was locked.
TEST_F(SeedOutputs, SaturationIsFlaggedPerRecordAndAFixLocksTheClockOfEveryRecord) {
  Settings.Kinds = KindSet({"mseed", "sds"});
  Settings.RecordLength = 512;
  struct TEventCase {
    const char* Marker;
    std::string Channels;
    std::string SatAltitude;
    bool Locked;
  };
  const TEventCase events[] = {{"DEB2", "3,47", "7,250", true},
                               {"DEB2", "3,48", "0,250", false},  // no satellite in use
                               {"DEB", "3,49", "", false}};
  constexpr int64_t SaturatedFrame = 3000;
  TCardBuilder card;
  for (const TEventCase& e : events) {
    testing_support::TBuiltEvent event = SmallEvent(e.Marker, e.Channels);
    event.RateDuration = "100,1";  // 6000 frames
    if (!e.SatAltitude.empty()) event.SatAltitude = e.SatAltitude;
    event.Clipped = "0.01";
    event.UseRawSamples = true;
    for (int64_t k = 0; k < 6000; ++k) {
      for (int c = 0; c < 3; ++c) {
        const bool saturated = e.Locked && c == 1 && k == SaturatedFrame;
        event.RawSamples += testing_support::SampleBytes(
            saturated ? 8388607 : static_cast<int32_t>((k * 37 + c * 1000) % 20001 - 10000));
      }
    }
    card.Events.push_back(event);
  }
  Insert(card);
  Download(3, {0, 1, 2});
  ASSERT_TRUE(Host.Succeeded) << testing::PrintToString(Host.Errors);

  std::string archived;
  for (const auto& [path, bytes] : Archive(Out.Path())) archived += bytes;
  const auto fromArchive = Streams(archived);
  for (const TEventCase& e : events) {
    const std::string serial = "0" + e.Channels.substr(2);
    SCOPED_TRACE(serial);
    const auto streams = Streams(Output("060512_1030_" + serial + ".001.mseed"));
    ASSERT_EQ(streams.size(), 3u);
    for (const auto& [codes, stream] : streams) {
      SCOPED_TRACE(codes);
      ASSERT_TRUE(fromArchive.count(codes));
      const std::vector<TReadRecord>& filed = fromArchive.at(codes).Records;
      ASSERT_EQ(filed.size(), stream.Records.size());
      int64_t first = 0;
      for (size_t r = 0; r < stream.Records.size(); ++r) {
        const TReadRecord& record = stream.Records[r];
        const auto last = first + static_cast<int64_t>(record.Samples.size());
        const bool holds = e.Locked && codes.back() == 'N' && first <= SaturatedFrame &&
                           SaturatedFrame < last;
        EXPECT_EQ(record.QualityFlags, holds ? 0x01 : 0x00) << "record " << r;
        EXPECT_EQ(record.IoFlags, e.Locked ? 0x20 : 0x00) << "record " << r;
        EXPECT_EQ(filed[r].QualityFlags, record.QualityFlags) << "record " << r;
        EXPECT_EQ(filed[r].IoFlags, record.IoFlags) << "record " << r;
        first = last;
      }
    }
  }
}

TEST_F(SeedOutputs, AnEventWithoutValidRecordsIsRefusedForMiniSeedAloneAndTheRunGoesOn) {
  struct TCase {
    const char* Title;
    std::string FileStem;
    std::string RateDuration;
    std::string Reason;
  };
  const TCase cases[] = {
      {"rate 0", "05121030", "0,1", "sample rate 0 Hz: it must be above 0"},
      {"month 13", "13121030", "1,1", "start time 2005-13-12 10:30:07.250 does not exist"},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Title);
    testing_support::TTempDir out;
    Settings.DataDir = out.Path();
    Choose(Settings, OutputKindNamed("sds"), true);
    Host = TScriptedHost();
    TCardBuilder card;
    card.Events = {SmallEvent("DEB", "3,23"), SmallEvent("DEB", "3,23")};
    card.Events[0].FileStem = test.FileStem;
    card.Events[0].RateDuration = test.RateDuration;
    card.Events[1].FileNumber = "002";
    Insert(card);
    Download(2, {0, 1});
    // One message for both products; the record file is written; the next event whole.
    ASSERT_EQ(Host.Errors.size(), 1u);
    EXPECT_NE(Host.Errors[0].find(test.Reason), std::string::npos) << Host.Errors[0];
    EXPECT_EQ(Host.Errors[0].rfind("Cannot write " + test.FileStem + ".001 as miniSEED: ", 0), 0u)
        << Host.Errors[0];
    EXPECT_FALSE(Host.Succeeded);
    EXPECT_EQ(Host.NotConverted, 1);
    EXPECT_EQ(Host.Selected, (std::vector<bool>{false, false}));
    const std::vector<std::string> files = testing_support::FilesIn(out.Path());
    const std::string first = test.FileStem == "13121030" ? "051312_1030_023.001" : "060512_1030_023.001";
    EXPECT_EQ(files, (std::vector<std::string>{first, "060512_1030_023.002",
                                               "060512_1030_023.002.mseed", "2006"}));
    EXPECT_EQ(Archive(out.Path()).size(), 3u);  // the second event's three channels
  }
  // With the miniSEED file alone, the event is refused whole.
  testing_support::TTempDir out;
  Settings.DataDir = out.Path();
  Choose(Settings, OutputKindNamed("record"), false);
  Choose(Settings, OutputKindNamed("sds"), false);
  Host = TScriptedHost();
  TCardBuilder card;
  card.Events = {SmallEvent("DEB", "3,23")};
  card.Events[0].RateDuration = "0,1";
  Insert(card);
  Download(1, {0});
  EXPECT_EQ(Host.Errors.size(), 1u);
  EXPECT_EQ(Host.Selected, std::vector<bool>{true});
  EXPECT_TRUE(testing_support::FilesIn(out.Path()).empty());
}

TEST_F(SeedOutputs, TheMiniSeedFileJoinsTheEventsNamesAndABadSheetWritesNothing) {
  testing_support::WriteWholeFile(Out / "060512_1030_023.001.mseed", "earlier");
  TCardBuilder card;
  card.Events = {SmallEvent("DEB", "3,23")};
  Insert(card);
  Download(1, {0});
  EXPECT_EQ(Output("060512_1030_023.001.mseed"), "earlier");
  EXPECT_EQ(OutputFiles(), (std::vector<std::string>{"060512_1030_023.001.mseed",
                                                     "060512_1030_023_a.001",
                                                     "060512_1030_023_a.001.mseed"}));

  testing_support::TTempDir out;
  Settings.DataDir = out.Path();
  Settings.StationSheet = out / "stations.csv";
  testing_support::WriteWholeFile(Settings.StationSheet, "serial,latitude\n23,north\n");
  Host = TScriptedHost();
  Download(1, {0});
  EXPECT_EQ(Host.Errors, std::vector<std::string>{Settings.StationSheet +
                                                  " line 2, column latitude: not a number: 'north'"});
  EXPECT_FALSE(Host.Succeeded);
  EXPECT_EQ(testing_support::FilesIn(out.Path()), std::vector<std::string>{"stations.csv"});
}

TEST_F(SeedOutputs, TheArchiveSplitsAtTheNewYearTakesAnEventOnceAndKeepsDayFilesInOrder) {
  Settings.Kinds = KindSet({"sds"});
  Settings.RecordLength = 512;
  TCardBuilder card;
  // 31 December 23:59:30 for two minutes at 1 Hz (the year before the probe's), then an
  // event later on 1 January and one earlier that day.
  card.Events = {SmallEvent("DEB", "3,23"), SmallEvent("DEB", "3,23"), SmallEvent("DEB", "3,23")};
  card.Events[0].FileStem = "12312359";
  card.Events[0].StartSecond = "30000";
  card.Events[0].RateDuration = "1,2";
  card.Events[1].FileStem = "01010500";
  card.Events[1].FileNumber = "002";
  card.Events[2].FileStem = "01010100";
  card.Events[2].FileNumber = "003";
  Insert(card);
  Download(3, {0, 1});
  ASSERT_TRUE(Host.Succeeded) << testing::PrintToString(Host.Errors);
  const TTree first = Archive(Out.Path());
  const std::string z2005 = "2005/XX/023/LHZ.D/XX.023.00.LHZ.D.2005.365";
  const std::string z2006 = "2006/XX/023/LHZ.D/XX.023.00.LHZ.D.2006.001";
  ASSERT_EQ(first.size(), 6u);
  ASSERT_TRUE(first.count(z2005) && first.count(z2006));
  ASSERT_EQ(ReadRecords(first.at(z2006)).size(), 2u);
  const std::vector<TReadRecord> old = ReadRecords(first.at(z2005));
  ASSERT_EQ(old.size(), 1u);
  EXPECT_EQ(old[0].Samples.size(), 30u);  // 23:59:30 to 23:59:59
  EXPECT_EQ(ReadRecords(first.at(z2006))[0].Samples.size(), 90u);

  // The same events again: nothing changes.
  Host = TScriptedHost();
  Download(3, {0, 1});
  EXPECT_EQ(Archive(Out.Path()), first);

  // An event between the two goes between them; their records stay byte for byte.
  Host = TScriptedHost();
  Download(3, {2});
  const TTree after = Archive(Out.Path());
  const std::vector<TReadRecord> day = ReadRecords(after.at(z2006));
  ASSERT_EQ(day.size(), 3u);
  EXPECT_LT(day[0].Start, day[1].Start);
  EXPECT_LT(day[1].Start, day[2].Start);
  EXPECT_EQ(after.at(z2006).substr(0, 512), first.at(z2006).substr(0, 512));
  EXPECT_EQ(after.at(z2006).substr(1024), first.at(z2006).substr(512));
}

TEST_F(SeedOutputs, ADiskFillingUpDuringAnArchiveWriteLeavesEveryEarlierFileWhole) {
  Settings.Kinds = KindSet({"sds"});
  Settings.RecordLength = 512;
  TCardBuilder card;
  card.Events = {SmallEvent("DEB", "3,23"), SmallEvent("DEB", "3,23")};
  card.Events[0].FileStem = "05121100";
  card.Events[1].FileNumber = "002";  // earlier the same day: the day files are rewritten
  Insert(card);
  Download(2, {0});
  const TTree before = Archive(Out.Path());
  ASSERT_EQ(before.size(), 3u);

  // The disk fills up in the first day file's rewrite, or in the second one's: the event's
  // channels are filed together, so no channel of it is.
  const int64_t rewrite = static_cast<int64_t>(2 * before.begin()->second.size());
  for (const int64_t room : {int64_t{700}, rewrite + 700}) {
    SCOPED_TRACE(room);
    platform::TFaultPlan plan;
    plan.PathContains = "XX.023.00.LH";
    plan.WriteBytesLeft = room;
    platform::SetFaultPlan(plan);
    Host = TScriptedHost();
    Download(2, {1});
    platform::ClearFaultPlan();
    EXPECT_EQ(Host.Errors, std::vector<std::string>{"Disque plein."});
    EXPECT_FALSE(Host.Succeeded);
    EXPECT_EQ(Archive(Out.Path()), before);
    EXPECT_EQ(Host.Selected, (std::vector<bool>{false, true}));
  }
}

// An event filed before records already in the archive waits in the run's batch: its line is
// deselected only once the batch is written at the run's end, and stays selected when that
// write fails, while the event appended before it is saved.
TEST_F(SeedOutputs, AnEventWaitingInTheArchivesBatchCountsAsSavedOnlyOnceWritten) {
  Settings.Kinds = KindSet({"sds"});
  Settings.RecordLength = 512;
  TCardBuilder card;
  card.Events = {SmallEvent("DEB", "3,23"), SmallEvent("DEB", "3,23")};
  card.Events[0].FileStem = "05121100";
  card.Events[1].FileNumber = "002";  // earlier the same day: it waits for the batch
  Insert(card);
  Download(2, {0});
  const TTree first = Archive(Out.Path());
  ASSERT_EQ(first.size(), 3u);
  fs::remove_all(Out / "2006");

  // Room for the first event's day files, not for their rewrite with the second.
  platform::TFaultPlan plan;
  plan.PathContains = "XX.023.00.LH";
  int64_t firstBytes = 0;
  for (const auto& [path, bytes] : first) firstBytes += static_cast<int64_t>(bytes.size());
  plan.WriteBytesLeft = firstBytes + 700;
  platform::SetFaultPlan(plan);
  Host = TScriptedHost();
  Download(2, {0, 1});
  platform::ClearFaultPlan();
  EXPECT_EQ(Host.Errors, std::vector<std::string>{"Disque plein."});
  EXPECT_EQ(Host.Selected, (std::vector<bool>{false, true}));
  EXPECT_EQ(Archive(Out.Path()), first);

  Host = TScriptedHost();
  Download(2, {0, 1});
  EXPECT_TRUE(Host.Succeeded) << testing::PrintToString(Host.Errors);
  EXPECT_EQ(Host.Selected, (std::vector<bool>{false, false}));
  const TTree both = Archive(Out.Path());
  ASSERT_EQ(both.size(), 3u);
  EXPECT_EQ(ReadRecords(both.begin()->second).size(), 2 * ReadRecords(first.begin()->second).size());
}

// With both kinds chosen, the archive's day files hold exactly the miniSEED files' records,
// each channel's by day in time order: over midnight, for an event long enough that its
// records wait in a file rather than in memory, and for one filed before them (the batch).
TEST_F(SeedOutputs, TheArchiveFilesTheMiniSeedFilesRecordsByteForByte) {
  Settings.Kinds = KindSet({"mseed", "sds"});
  TCardBuilder card;
  card.Events = {SmallEvent("DEB", "6,23"), SmallEvent("DEB", "6,23"), SmallEvent("DEB", "6,23")};
  const char* stems[] = {"05122355", "05130100", "05122000"};
  const char* durations[] = {"250,10", "250,1", "250,1"};
  for (size_t e = 0; e < 3; ++e) {
    card.Events[e].FileStem = stems[e];
    card.Events[e].RateDuration = durations[e];
    card.Events[e].FileNumber = "00" + std::to_string(e + 1);
  }
  Insert(card);
  Download(3, {0, 1, 2});
  ASSERT_TRUE(Host.Succeeded) << testing::PrintToString(Host.Errors);

  std::map<std::string, std::map<int64_t, std::string>> expected;  // day file -> records by start
  int64_t longest = 0;
  for (const std::string& name : OutputFiles()) {
    if (!name.ends_with(".mseed")) continue;
    const std::string bytes = testing_support::ReadWholeFile(Out / name);
    longest = std::max(longest, static_cast<int64_t>(bytes.size()));
    size_t at = 0;
    for (const TReadRecord& record : ReadRecords(bytes)) {
      const seed::TSeedTime start = seed::TSeedTime::FromEpochMicroseconds(record.Start);
      const std::string path = seed::TSdsArchive::DayFilePath(
          {record.Network, record.Station, record.Location, record.Channel}, start.Year,
          start.DayOfYear());
      expected[path][record.Start] = bytes.substr(at, static_cast<size_t>(record.Length));
      at += static_cast<size_t>(record.Length);
    }
  }
  ASSERT_GT(longest, static_cast<int64_t>(seed::TSdsRecords::MemoryBytes));
  TTree files;
  for (const auto& [path, records] : expected) {
    for (const auto& [start, bytes] : records) files[path] += bytes;
  }
  EXPECT_EQ(files.size(), 12u);  // 6 channels, 2 days
  EXPECT_TRUE(Archive(Out.Path()) == files);
}

// Debian's mseed2sac reads our records back into SAC files with our SAC files' samples.
TEST_F(SeedOutputs, MSeed2SacGivesTheSamplesOfOurSacFiles) {
  if (std::system("command -v mseed2sac > /dev/null 2>&1") != 0) GTEST_SKIP() << "no mseed2sac";
  Choose(Settings, OutputKindNamed("sac"), true);
  TCardBuilder card;
  card.Events = {SmallEvent("DEB", "3,23")};
  card.Events[0].RateDuration = "100,2";
  Insert(card);
  Download(1, {0});
  ASSERT_TRUE(Host.Succeeded);
  testing_support::TTempDir converted;
  const std::string command = "cd '" + converted.Path() + "' && mseed2sac '" +
                              (Out / "060512_1030_023.001.mseed") + "' > /dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::vector<std::string> files = testing_support::FilesIn(converted.Path());
  ASSERT_EQ(files.size(), 3u);
  for (const std::string& name : files) {
    SCOPED_TRACE(name);
    // NET.STA.LOC.CHA.Q.YYYY.DDD.HHMMSS.SAC: the channel's orientation gives our SAC file.
    const char orientation = name.at(name.find(".EH") + 3);
    const std::string ours =
        std::string("060512_1030_023.001_1_") +
        (orientation == 'Z' ? "1Z" : orientation == 'N' ? "2N" : "3E") + ".sac";
    const std::vector<float> theirs =
        SacSamples(testing_support::ReadWholeFile(converted / name));
    EXPECT_EQ(theirs, SacSamples(Output(ours)));
    EXPECT_EQ(theirs.size(), 12000u);
  }
}

}  // namespace
