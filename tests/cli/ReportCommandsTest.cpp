// status --json and list --json against the plain outputs, the drive table with the card of
// each drive, and the quality report of a card: exact figures, corrupt events, the codes of a
// station sheet, names that never replace a report, and a card left as it was.

#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <random>

#include "CliRun.h"
#include "platform/Drives.h"
#include "support/CardBuilder.h"
#include "support/CardDrive.h"
#include "support/TestSupport.h"

using nlohmann::json;
using testing_support::ReadWholeFile;
using testing_support::TBuiltEvent;
using testing_support::TCardBuilder;

namespace {

using cli_test::RunCaptured;
using cli_test::TRun;

// Three events of 3, 6 and 3 channels on a version-410 card (the second with GPS).
TCardBuilder ThreeEvents() {
  TCardBuilder card;
  card.Signature = "TARQPR410";
  for (int i = 0; i < 3; ++i) {
    TBuiltEvent event;
    event.Marker = i == 1 ? "DEB2" : "DEB";
    event.Channels = i == 1 ? "6,1047" : "3,12";
    event.RateDuration = i == 1 ? "100,2" : "1,1";
    event.FileNumber = "00" + std::to_string(i + 1);
    card.Events.push_back(event);
  }
  card.TailZeros = 3000;
  return card;
}

// The line of `text` that starts with `label`, without it.
std::string FieldOf(const std::string& text, const std::string& label) {
  const size_t at = text.find(label);
  if (at == std::string::npos) return "?";
  const size_t start = at + label.size() + (text[at + label.size()] == ' ' ? 1 : 0);
  return text.substr(start, text.find('\n', at) - start);
}

TEST(JsonOutputs, StatusAndListAgreeWithThePlainOutputs) {
  testing_support::TTempDir dir;
  ThreeEvents().WriteTo(dir.Path());
  const TRun plain = RunCaptured({"status", dir.Path()});
  const TRun run = RunCaptured({"status", dir.Path(), "--json"});
  ASSERT_EQ(run.Code, 0) << run.Err;
  const json status = json::parse(run.Out);
  EXPECT_EQ(status["status"], FieldOf(plain.Out, "Status:"));
  EXPECT_EQ(std::to_string(status["events"].get<int>()), FieldOf(plain.Out, "Number of files:"));
  EXPECT_EQ(status["used_bytes"], 217629);
  EXPECT_EQ(status["total_bytes"], 220521);
  EXPECT_EQ(status["eprom_version"], 410);
  EXPECT_EQ(FieldOf(plain.Out, "Used size:"), "217 629 (98.7%)");

  const TRun lines = RunCaptured({"list", dir.Path()});
  const TRun list = RunCaptured({"list", dir.Path(), "--json", "--probe-date", "2026-03-01"});
  ASSERT_EQ(list.Code, 0) << list.Err;
  const json events = json::parse(list.Out);
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(std::count(lines.Out.begin(), lines.Out.end(), '\n'), 3);
  EXPECT_EQ(events[1], json::parse(R"({"index":2,"file":"05121030.002","sample_rate":100,
                            "duration_minutes":2,"gain":1,"station":1047,"channels":6,
                            "start":"2025-05-12T10:30:07.250","gps_fix":true,
                            "satellites":7})"));
  // Format 1: no receiver, so no fix and no satellite count.
  EXPECT_EQ(events[2]["gps_fix"], false);
  EXPECT_TRUE(events[2]["satellites"].is_null());
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_NE(lines.Out.find(events[i]["file"].get<std::string>()), std::string::npos);
  }
  EXPECT_EQ(json::parse(RunCaptured({"list", dir.Path(), "--json", "--restore"}).Out),
            json::array());

  // No card: the status object with nulls, exit code 1; the list fails as the plain one does.
  testing_support::TTempDir empty;
  const TRun none = RunCaptured({"status", empty.Path(), "--json"});
  EXPECT_EQ(none.Code, 1);
  EXPECT_EQ(json::parse(none.Out),
            json::parse(R"({"status":"Invalid or missing flash card","events":null,
                            "used_bytes":null,"total_bytes":null,"eprom_version":null})"));
  const TRun noList = RunCaptured({"list", empty.Path(), "--json"});
  EXPECT_EQ(noList.Code, 1);
  EXPECT_EQ(noList.Out, "");
  EXPECT_EQ(noList.Err, "Invalid or missing flash card\n");
}

TEST(Drives, EachDriveWithItsSizeAndCardStatus) {
  testing_support::TTempDir root;
  auto table = std::make_shared<platform::TMappedDriveTable>();
  auto map = [&](char letter, int64_t total, int64_t free) {
    const std::string dir = root / std::string(1, letter);
    std::filesystem::create_directories(dir);
    testing_support::MapDrive(*table, letter, dir, total, free);
    return dir;
  };
  // The table goes whatever the test's outcome: later tests use the real drives.
  struct TUninstall {
    ~TUninstall() { platform::SetDriveTable(nullptr); }
  } uninstall;
  map('c', 500'000'000, 100'000);
  ThreeEvents().WriteTo(map('e', 64'000'000, 32'000'000));
  map('f', 2'000'000, 2'000'000);  // blank
  map('g', -1, -1);                // size unknown
  platform::SetDriveTable(table);

  const TRun plain = RunCaptured({"drives"});
  const std::string r = root.Path();
  EXPECT_EQ(plain.Code, 0);
  EXPECT_EQ(plain.Out, "c:  " + r + "/c  500 000 000  Invalid or missing flash card\n" +
                           "e:  " + r + "/e   64 000 000  Flash card with data\n" + "f:  " + r +
                           "/f    2 000 000  Flash card not initialized\n" + "g:  " + r +
                           "/g            ?  Invalid or missing flash card\n");
  const json drives = json::parse(RunCaptured({"drives", "--json"}).Out);
  ASSERT_EQ(drives.size(), 4u);
  EXPECT_EQ(drives[1], json({{"letter", "e:"},
                             {"path", r + "/e"},
                             {"size", 64'000'000},
                             {"status", "Flash card with data"}}));
  EXPECT_TRUE(drives[3]["size"].is_null());

  // A card put in a moment ago is listed at once.
  ThreeEvents().WriteTo(map('h', 64'000'000, 1'000));
  const json later = json::parse(RunCaptured({"drives", "--json"}).Out);
  ASSERT_EQ(later.size(), 5u);
  EXPECT_EQ(later[4]["status"], "Flash card with data");
}

// Figures of one channel by brute force.
struct TBrute {
  int64_t Min = INT64_MAX, Max = INT64_MIN, Saturated = 0;
  double Mean = 0, Rms = 0;
};
TBrute BruteForce(const std::vector<int32_t>& samples) {
  TBrute b;
  double sum = 0;
  for (int32_t s : samples) {
    b.Min = std::min<int64_t>(b.Min, s);
    b.Max = std::max<int64_t>(b.Max, s);
    b.Saturated += s == -8388608 || s == 8388607;
    sum += s;
  }
  b.Mean = sum / static_cast<double>(samples.size());
  double squares = 0;
  for (int32_t s : samples) squares += (s - b.Mean) * (s - b.Mean);
  b.Rms = std::sqrt(squares / static_cast<double>(samples.size()));
  return b;
}

void ExpectChannel(const json& channel, const std::vector<int32_t>& samples) {
  const TBrute b = BruteForce(samples);
  EXPECT_EQ(channel["min"], b.Min);
  EXPECT_EQ(channel["max"], b.Max);
  EXPECT_EQ(channel["saturated"], b.Saturated);
  EXPECT_NEAR(channel["mean"].get<double>(), b.Mean, 1e-6);
  EXPECT_NEAR(channel["rms"].get<double>(), b.Rms, 1e-6 * std::max(1.0, b.Rms));
}

TEST(Report, FiguresOfEveryEventCorruptOnesIncluded) {
  testing_support::TTempDir dir;
  TCardBuilder card = ThreeEvents();
  // 4: cut short, two and a half frames of 50 read; 5: a rate of 0; 6: 18 channels of garbage.
  TBuiltEvent cut;
  cut.RateDuration = "50,1";
  cut.FileNumber = "004";
  cut.UseRawSamples = true;
  for (int k = 0; k < 2; ++k) {
    for (int c = 0; c < 3; ++c) cut.RawSamples += testing_support::SampleBytes(100 * k + c + 1);
  }
  cut.RawSamples += testing_support::SampleBytes(-7);
  cut.OmitTrailer = true;
  TBuiltEvent rateZero;
  rateZero.RateDuration = "0,5";
  rateZero.FileNumber = "005";
  TBuiltEvent garbage;
  garbage.Channels = "18,77";
  garbage.RateDuration = "10,1";
  garbage.FileNumber = "006";
  garbage.UseRawSamples = true;
  std::mt19937 random(12);
  for (int i = 0; i < 600 * 54; ++i) garbage.RawSamples += static_cast<char>(random() & 0xFF);
  // Garbage with the extremes in it.
  garbage.RawSamples.replace(0, 3, testing_support::SampleBytes(8388607));
  garbage.RawSamples.replace(54 * 3 + 3, 3, testing_support::SampleBytes(-8388608));
  card.Events.push_back(rateZero);
  card.Events.push_back(garbage);
  card.Events.push_back(cut);  // last: its data file ends inside it
  card.TailZeros = 0;
  std::filesystem::create_directory(dir / "card");
  const std::string dataPath = card.WriteTo(dir / "card");
  const std::string before = ReadWholeFile(dataPath) + ReadWholeFile(dir / "card/secttarq.hex");

  const TRun run =
      RunCaptured({"report", dir / "card", "--to", dir / "out", "--probe-date", "2026-03-01"});
  ASSERT_EQ(run.Code, 0) << run.Err;
  EXPECT_EQ(run.Out, dir / "out/report.json\n" + dir / "out/report.html\n");
  EXPECT_EQ(ReadWholeFile(dataPath) + ReadWholeFile(dir / "card/secttarq.hex"), before);

  const json report = json::parse(ReadWholeFile(dir / "out/report.json"));
  EXPECT_EQ(report["card"]["events"], 6);
  const json& events = report["events"];
  ASSERT_EQ(events.size(), 6u);
  // A generated event, exact.
  const json& second = events[1];
  EXPECT_EQ(second["index"], 2);
  EXPECT_EQ(second["start"], "2025-05-12T10:30:07.250");
  EXPECT_EQ(second["samples_per_channel"], 12000);
  EXPECT_EQ(second["position"]["latitude"], 45.5);
  EXPECT_EQ(second["position"]["longitude"], 6.25);
  EXPECT_TRUE(events[0]["position"].is_null());
  EXPECT_EQ(second["gps_fix"], true);
  EXPECT_EQ(second["satellites"], 7);
  EXPECT_EQ(events[0]["gps_fix"], false);
  ASSERT_EQ(second["channels"].size(), 6u);
  for (int c = 0; c < 6; ++c) {
    SCOPED_TRACE(c);
    std::vector<int32_t> samples;
    for (int64_t k = 0; k < 12000; ++k) samples.push_back(testing_support::GeneratedSample(k, c));
    ExpectChannel(second["channels"][static_cast<size_t>(c)], samples);
  }
  EXPECT_EQ(second["channels"][4]["id"], "XX.1047.01.EHN");
  EXPECT_GT(second["channels"][0]["saturated"].get<int>(), 0);

  // Rate 0: no samples, the figures null.
  EXPECT_EQ(events[3]["samples_per_channel"], 0);
  EXPECT_TRUE(events[3]["channels"][0]["min"].is_null());
  EXPECT_EQ(events[3]["channels"][0]["id"], "");
  // Garbage: every channel decoded as it lies on the card.
  ASSERT_EQ(events[4]["channels"].size(), 18u);
  for (int c = 0; c < 18; c += 17) {
    std::vector<int32_t> samples;
    for (int k = 0; k < 600; ++k) {
      const auto* b = reinterpret_cast<const uint8_t*>(garbage.RawSamples.data()) + k * 54 + c * 3;
      samples.push_back(static_cast<int32_t>((uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) |
                                             (uint32_t{b[2]} << 8)) >>
                        8);
    }
    ExpectChannel(events[4]["channels"][static_cast<size_t>(c)], samples);
  }
  EXPECT_EQ(events[4]["channels"][0]["saturated"], 1);
  EXPECT_EQ(events[4]["channels"][1]["saturated"], 1);
  // Cut short: two whole frames, then zeros as the record file holds them.
  const json& cutChannels = events[5]["channels"];
  ExpectChannel(cutChannels[0], [] {
    std::vector<int32_t> s(3000, 0);
    s[0] = 1;
    s[1] = 101;
    return s;
  }());
  const std::string html = ReadWholeFile(dir / "out/report.html");
  for (const char* shown : {"sample rate 0", "samples missing", "SATURATED"}) {
    EXPECT_NE(html.find(shown), std::string::npos) << shown;
  }

  // A second report keeps the first; a selection; a station sheet's codes.
  testing_support::WriteWholeFile(dir / "stations.csv", "serial,station,network\n1047,BRK01,Z3\n");
  const TRun again = RunCaptured({"report", dir / "card", "--to", dir / "out", "--events", "2",
                                  "--stations", dir / "stations.csv"});
  ASSERT_EQ(again.Code, 0) << again.Err;
  EXPECT_EQ(again.Out, dir / "out/report_a.json\n" + dir / "out/report_a.html\n");
  const json selected = json::parse(ReadWholeFile(dir / "out/report_a.json"));
  ASSERT_EQ(selected["events"].size(), 1u);
  EXPECT_EQ(selected["events"][0]["channels"][5]["id"], "Z3.BRK01.01.EHE");
  EXPECT_EQ(json::parse(ReadWholeFile(dir / "out/report.json")), report);
}

TEST(Report, RefusedCommandLinesAndCards) {
  testing_support::TTempDir dir;
  std::filesystem::create_directory(dir / "card");
  ThreeEvents().WriteTo(dir / "card");
  struct TCase {
    std::vector<std::string> Args;
    int Code;
    std::string Err;  // the start of what is printed
  };
  const TCase cases[] = {
      {{"report", dir / "card", "--to", dir / "out", "--events", "4"},
       2,
       "readtarq-cli report: event 4 is not on the card, which holds 3 events"},
      {{"report", dir / "card", "--to", dir / "out", "--network", "x-1"},
       2,
       "readtarq-cli report: --network"},
      {{"report", dir / "card"}, 2, "readtarq-cli report: --to"},
      {{"report", dir / "nothing", "--to", dir / "out"}, 2, "readtarq-cli report:"},
      {{"report", dir.Path(), "--to", dir / "out"}, 1, "Not a valid flash card\n"},
      {{"report", dir / "card", "--to", dir / "out", "--stations", dir / "none.csv"}, 1, ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Args.back());
    const TRun run = RunCaptured(c.Args);
    EXPECT_EQ(run.Code, c.Code);
    EXPECT_EQ(run.Err.substr(0, c.Err.size()), c.Err) << run.Err;
    EXPECT_EQ(run.Out, "");
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "out/report.json"));
}

TEST(Report, SeveralCardsMakeOneReport) {
  testing_support::TTempDir dir;
  std::filesystem::create_directory(dir / "a");
  std::filesystem::create_directory(dir / "b");
  ThreeEvents().WriteTo(dir / "a");
  TCardBuilder other = ThreeEvents();
  other.Events.resize(1);
  other.WriteTo(dir / "b");
  const std::vector<std::string> dates = {"--probe-date", "2026-03-01"};
  auto report = [&](std::vector<std::string> args) {
    args.insert(args.end(), dates.begin(), dates.end());
    const TRun run = RunCaptured(args);
    EXPECT_EQ(run.Code, 0) << run.Err;
    return run.Out;
  };
  report({"report", dir / "a", "--to", dir / "one-a"});
  report({"report", dir / "b", "--to", dir / "one-b"});
  const std::string out = report({"report", dir / "a", dir / "b", "--to", dir / "both"});
  EXPECT_EQ(out, dir / "both/report.json\n" + dir / "both/report.html\n");

  // Each card's part is its own report, in the order given.
  const json both = json::parse(ReadWholeFile(dir / "both/report.json"));
  ASSERT_EQ(both["cards"].size(), 2u);
  for (const auto& [k, name] : {std::pair{0, "a"}, std::pair{1, "b"}}) {
    const json single =
        json::parse(ReadWholeFile(dir / ("one-" + std::string(name)) + "/report.json"));
    EXPECT_EQ(both["cards"][k]["source"], dir / name);
    EXPECT_EQ(both["cards"][k]["card"], single["card"]);
    EXPECT_EQ(both["cards"][k]["events"], single["events"]);
  }
  // Every event's anchor is its card's: the two first events do not share one.
  const std::string html = ReadWholeFile(dir / "both/report.html");
  EXPECT_NE(html.find("<title>Quality report of 2 cards</title>"), std::string::npos);
  EXPECT_NE(html.find("id=\"card-1-event-1\""), std::string::npos);
  EXPECT_NE(html.find("id=\"card-2-event-1\""), std::string::npos);
  EXPECT_EQ(html.find("id=\"event-1\""), std::string::npos);

  // One card that cannot be read: nothing is written; --events belongs to one card.
  TRun run = RunCaptured({"report", dir / "a", dir.Path(), "--to", dir / "bad"});
  EXPECT_EQ(run.Code, 1);
  EXPECT_NE(run.Err.find(dir.Path() + ": not reported"), std::string::npos) << run.Err;
  EXPECT_FALSE(std::filesystem::exists(dir / "bad"));
  run = RunCaptured({"report", dir / "a", dir / "b", "--to", dir / "bad", "--events", "1"});
  EXPECT_EQ(run.Code, 2);
}

}  // namespace
