// The survey of generated archives: gaps and overlaps exactly as generated, records of both
// miniSEED versions, damaged files reported and skipped, and the archive command's files.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

#include "cli/Cli.h"
#include "support/ArchiveBuilder.h"
#include "support/TestSupport.h"
#include "survey/ArchiveReport.h"
#include "survey/ArchiveSurvey.h"
#include "survey/RecordSamples.h"

namespace {

using testing_support::AddSegment;
using testing_support::TTempDir;
using testing_support::UtcMicroseconds;

constexpr int64_t Second = 1'000'000;

std::vector<int32_t> Ramp(size_t count, int32_t first = 0) {
  std::vector<int32_t> samples(count);
  for (size_t i = 0; i < count; ++i) samples[i] = first + static_cast<int32_t>(i % 1000) - 500;
  return samples;
}

void Append(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::app) << bytes;
}

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const survey::TChannelAvailability& Channel(const survey::TArchiveSurvey& result,
                                            const std::string& id) {
  for (const auto& channel : result.Channels) {
    if (channel.Id == id) return channel;
  }
  throw std::runtime_error("no channel " + id);
}

TEST(ArchiveSurveyTest, GapsAndOverlapsAreReportedAsGenerated) {
  TTempDir dir;
  const std::string id = "XX.STA1.00.HHZ";
  const int64_t day = UtcMicroseconds(2026, 6, 14);
  struct TSegment {
    int64_t Start;
    size_t Samples;
  };
  // At 100 Hz: a 10 s gap; a start 1.4 periods late (no gap); a gap of 2 periods; an overlap
  // of 3 s; a record inside the data before it (an overlap of its whole second); a gap over
  // midnight to a quarter of the next day.
  const std::vector<TSegment> segments = {
      {day, 360000},
      {day + 3610 * Second, 180000},
      {day + 5410 * Second + 14000, 60000},
      {day + 6010 * Second + 34000, 120000},
      {day + 7207 * Second + 34000, 60000},
      {day + 7500 * Second, 100},
      {day + 30 * 3600 * Second, 2160000}};
  for (const TSegment& segment : segments) {
    AddSegment(dir.Path(), id, 100, segment.Start, Ramp(segment.Samples));
  }
  const survey::TArchiveSurvey result = survey::SurveyArchive(dir.Path(), {.Noise = false});
  ASSERT_TRUE(result.Problems.empty()) << result.Problems[0].File << result.Problems[0].Text;
  const survey::TChannelAvailability& channel = Channel(result, id);

  const std::vector<survey::TDataBreak> gaps = {
      {day + 3600 * Second, 10 * Second},
      {day + 6010 * Second + 14000, 20000},
      {day + 7807 * Second + 34000, 30 * 3600 * Second - 7807 * Second - 34000}};
  const std::vector<survey::TDataBreak> overlaps = {{day + 7207 * Second + 34000, 3 * Second},
                                                    {day + 7500 * Second, Second}};
  EXPECT_EQ(channel.Gaps, gaps);
  EXPECT_EQ(channel.Overlaps, overlaps);
  const std::vector<survey::TTimeSpan> spans = {
      {day, day + 3600 * Second},
      {day + 3610 * Second, day + 6010 * Second + 14000},
      {day + 6010 * Second + 34000, day + 7807 * Second + 34000},
      {day + 30 * 3600 * Second, day + 36 * 3600 * Second}};
  EXPECT_EQ(channel.Spans, spans);
  ASSERT_EQ(channel.Days.size(), 2u);
  EXPECT_NEAR(channel.Days[0].Percent, 100.0 * (3600 + 2400.014 + 1797.0) / 86400, 1e-9);
  EXPECT_NEAR(channel.Days[1].Percent, 25.0, 1e-9);

  // The same in archive.json, times to the microsecond.
  const nlohmann::json json = nlohmann::json::parse(survey::ArchiveJson(result).dump());
  const nlohmann::json& out = json["channels"][0];
  EXPECT_EQ(out["id"], id);
  EXPECT_EQ(out["gaps"][0]["start"], "2026-06-14T01:00:00.000000Z");
  EXPECT_DOUBLE_EQ(out["gaps"][0]["seconds"].get<double>(), 10.0);
  EXPECT_EQ(out["gaps"][1]["start"], "2026-06-14T01:40:10.014000Z");
  EXPECT_DOUBLE_EQ(out["gaps"][1]["seconds"].get<double>(), 0.02);
  EXPECT_EQ(out["overlaps"][0]["start"], "2026-06-14T02:00:07.034000Z");
  EXPECT_EQ(out["spans"][3]["end"], "2026-06-15T12:00:00.000000Z");
  EXPECT_EQ(out["days"][1]["day"], "2026-06-15");
}

TEST(ArchiveSurveyTest, VersionThreeRecordsAreIndexedAndDecoded) {
  TTempDir dir;
  const std::string id = "XX.STA2..HHZ";
  const int64_t start = UtcMicroseconds(2026, 6, 14, 10, 0, 0, 250000);
  const std::vector<int32_t> first = Ramp(1000, 7), second = Ramp(500, -90000);
  const std::string path = testing_support::DayFilePath(dir.Path(), id, start);
  Append(path, testing_support::Version3Record(id, 50, start, first));
  // 1 s missing after the first record (20 s at 50 Hz).
  Append(path, testing_support::Version3Record(id, 50, start + 21 * Second, second));

  const survey::TArchiveIndex index = survey::IndexArchive(dir.Path());
  ASSERT_TRUE(index.Problems.empty()) << index.Problems[0].Text;
  ASSERT_EQ(index.Channels.size(), 1u);
  EXPECT_EQ(index.Channels[0].Id, id);
  const survey::TChannelAvailability channel =
      survey::ChannelAvailability(index.Channels[0], survey::CampaignDays(index));
  EXPECT_EQ(channel.Gaps, (std::vector<survey::TDataBreak>{{start + 20 * Second, Second}}));

  const survey::TChannelSamples samples =
      survey::ReadChannelSamples(index, index.Channels[0], start, start + 60 * Second);
  ASSERT_TRUE(samples.Problems.empty()) << samples.Problems[0].Text;
  ASSERT_EQ(samples.Runs.size(), 2u);
  EXPECT_EQ(samples.Runs[0].Start, start);
  EXPECT_EQ(samples.Runs[1].Start, start + 21 * Second);
  EXPECT_EQ(samples.Runs[0].Samples, std::vector<double>(first.begin(), first.end()));
  EXPECT_EQ(samples.Runs[1].Samples, std::vector<double>(second.begin(), second.end()));
}

TEST(ArchiveSurveyTest, DamagedFilesAreNamedAndSkippedAndTheRestIsSurveyed) {
  TTempDir dir;
  const int64_t day = UtcMicroseconds(2026, 6, 14);
  const std::string good = "XX.GOOD.00.HHZ";
  AddSegment(dir.Path(), good, 100, day, Ramp(100000));

  // Each damaged channel: its records, then the damage done to its day file.
  auto records = [&](const std::string& id) {
    return testing_support::PackSegment(id, 100, day, Ramp(20000));
  };
  const std::string truncated = testing_support::DayFilePath(dir.Path(), "XX.TRUNC.00.HHZ", day);
  std::string bytes = records("XX.TRUNC.00.HHZ");
  Append(truncated, bytes.substr(0, bytes.size() - 100));

  const std::string corrupt = testing_support::DayFilePath(dir.Path(), "XX.CORR.00.HHZ", day);
  bytes = records("XX.CORR.00.HHZ");
  bytes.replace(512 * 3, 512, std::string(512, 'Z'));
  Append(corrupt, bytes);

  const std::string rate = testing_support::DayFilePath(dir.Path(), "XX.RATE.00.HHZ", day);
  bytes = records("XX.RATE.00.HHZ");
  bytes[512 * 2 + 32] = bytes[512 * 2 + 33] = 0;  // rate factor 0
  Append(rate, bytes);

  const std::string time = testing_support::DayFilePath(dir.Path(), "XX.TIME.00.HHZ", day);
  bytes = records("XX.TIME.00.HHZ");
  bytes[512 + 24] = 25;  // hour 25
  Append(time, bytes);

  const std::string other = testing_support::DayFilePath(dir.Path(), "XX.OTHER.00.HHZ", day);
  Append(other, "<html>not a record at all, but long enough to hold a header or two</html>");
  const std::string readme = dir / "README.txt";
  Append(readme, "notes");
  const std::string loop = dir / "2026/XX/GOOD/loop";
  ASSERT_EQ(::symlink("..", loop.c_str()), 0);
  const std::string selfLink = dir / "2026/XX/GOOD/XX.SELF.00.HHZ.D.2026.165";
  ASSERT_EQ(::symlink(selfLink.c_str(), selfLink.c_str()), 0);
  const std::string fifo = dir / "2026/XX/GOOD/XX.FIFO.00.HHZ.D.2026.165";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

  const survey::TArchiveSurvey result = survey::SurveyArchive(dir.Path(), {.Noise = false});
  std::map<std::string, std::string> problems;
  for (const auto& problem : result.Problems) problems[problem.File] += problem.Text + "|";
  const std::vector<std::pair<std::string, std::string>> expected = {
      {truncated, "truncated record"},
      {corrupt, "skipped to the record at byte 2048"},
      {rate, "byte 1024: impossible sample rate 0 Hz"},
      {time, "byte 512: impossible start time"},
      {other, "not a miniSEED file"},
      {readme, "not a day file"},
      {loop, "symbolic link loop"},
      {selfLink, "symbolic link loop"},
      {fifo, "not a regular file"}};
  for (const auto& [file, text] : expected) {
    EXPECT_NE(problems[file].find(text), std::string::npos) << file << ": " << problems[file];
  }
  EXPECT_EQ(result.Problems.size(), expected.size());

  // The good records of every file are surveyed: the damaged record alone is missing.
  EXPECT_TRUE(Channel(result, good).Gaps.empty());
  const int64_t whole = Channel(result, good).Records;
  const int64_t perFile = static_cast<int64_t>(records("X.Y.00.HHZ").size() / 512);
  EXPECT_GT(whole, 0);
  EXPECT_EQ(Channel(result, "XX.TRUNC.00.HHZ").Records, perFile - 1);
  for (const char* id : {"XX.CORR.00.HHZ", "XX.RATE.00.HHZ", "XX.TIME.00.HHZ"}) {
    EXPECT_EQ(Channel(result, id).Records, perFile - 1) << id;
    EXPECT_EQ(Channel(result, id).Gaps.size(), 1u) << id;
  }
}

TEST(ArchiveSurveyTest, ArchiveCommandWritesBothFilesAndReplacesThem) {
  TTempDir dir;
  const int64_t day = UtcMicroseconds(2026, 6, 14);
  AddSegment(dir / "sds", "XX.STA1.00.HHZ", 20, day, Ramp(20 * 7200));
  AddSegment(dir / "sds", "XX.STA1.00.HHZ", 20, day + 3 * 3600 * Second, Ramp(20 * 3600));
  const std::string out = dir / "out";
  for (int run = 0; run < 2; ++run) {
    std::ostringstream output, errors;
    const int code = RunCli({"archive", dir / "sds", "--to", out, "--day", "2026-06-1?",
                             "--json"},
                            output, errors);
    ASSERT_EQ(code, 0) << errors.str();
    const nlohmann::json summary = nlohmann::json::parse(output.str());
    EXPECT_EQ(summary["gaps"], 1);
    EXPECT_EQ(summary["day_plots"], 1);
  }
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(out)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"archive.html", "archive.json"}));
  const nlohmann::json json = nlohmann::json::parse(Contents(out + "/archive.json"));
  EXPECT_EQ(json["channels"][0]["psd"]["unit"], "counts^2/Hz");
  EXPECT_EQ(json["channels"][0]["psd"]["windows"], 4);  // 2 h: 3 windows; 1 h: 1
  const std::string html = Contents(out + "/archive.html");
  size_t drawings = 0;
  for (size_t at = html.find("<svg"); at != std::string::npos; at = html.find("<svg", at + 1)) {
    ++drawings;
  }
  EXPECT_EQ(drawings, 3u);  // availability, one day plot, one noise plot

  std::ostringstream output, errors;
  EXPECT_EQ(RunCli({"archive", dir / "missing", "--to", out}, output, errors), 1);
  EXPECT_NE(errors.str().find(dir / "missing"), std::string::npos);
}

}  // namespace
