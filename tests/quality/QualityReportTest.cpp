// The JSON of the status, list, drives and report against the values they were built from,
// the report's never-replace naming, and the page's handling of hostile card text.

#include <gtest/gtest.h>

#include <charconv>
#include <clocale>
#include <locale>
#include <set>

#include "platform/IoError.h"
#include "quality/EventDigest.h"
#include "quality/QualityReport.h"
#include "support/TestSupport.h"

namespace {

using testing_support::FilesIn;
using testing_support::ReadWholeFile;
using testing_support::TTempDir;
using testing_support::WriteWholeFile;

std::set<std::string> Keys(const nlohmann::ordered_json& object) {
  std::set<std::string> keys;
  for (auto it = object.begin(); it != object.end(); ++it) keys.insert(it.key());
  return keys;
}

TEST(JsonViews, StatusListAndDrives) {
  TCardFacts card{"Card holds data", 3, 5'000'000'000, 8'000'000'000, 512};
  nlohmann::ordered_json status = nlohmann::ordered_json::parse(JsonText(StatusJson(card)));
  EXPECT_EQ(status, nlohmann::ordered_json::parse(R"({"status":"Card holds data","events":3,
      "used_bytes":5000000000,"total_bytes":8000000000,"eprom_version":512})"));

  // No valid card: only the status text.
  status = StatusJson(TCardFacts{"No card", {}, {}, {}, {}});
  EXPECT_EQ(Keys(status), (std::set<std::string>{"status", "events", "used_bytes", "total_bytes",
                                                 "eprom_version"}));
  EXPECT_TRUE(status["eprom_version"].is_null());
  EXPECT_TRUE(status["events"].is_null());

  const std::vector<TListEntry> entries = {
      {1, "12345678.ABC", 250, 10, 4, 1234, 18, {2026, 3, 5, 7, 8, 9, 45'000}, true, 9},
      {2, "X", 0, 0, 1, std::nullopt, 3, {987, 12, 31, 23, 59, 59, 999'000}, false, std::nullopt}};
  const nlohmann::ordered_json list = nlohmann::ordered_json::parse(JsonText(ListJson(entries), -1));
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0], nlohmann::ordered_json::parse(R"({"index":1,"file":"12345678.ABC","sample_rate":250,
      "duration_minutes":10,"gain":4,"station":1234,"channels":18,
      "start":"2026-03-05T07:08:09.045","gps_fix":true,"satellites":9})"));
  EXPECT_TRUE(list[1]["station"].is_null());
  EXPECT_EQ(list[1]["gps_fix"], false);
  EXPECT_TRUE(list[1]["satellites"].is_null());
  EXPECT_EQ(list[1]["start"], "0987-12-31T23:59:59.999");
  EXPECT_TRUE(ListJson({}).is_array());

  const nlohmann::ordered_json drives =
      DrivesJson({{'E', "/media/card", 2'000'000'000, "Card holds data"}, {'c', "/", {}, "No card"}});
  EXPECT_EQ(drives, nlohmann::ordered_json::parse(R"([
      {"letter":"e:","path":"/media/card","size":2000000000,"status":"Card holds data"},
      {"letter":"c:","path":"/","size":null,"status":"No card"}])"));
}

TEST(JsonViews, CardTextThatIsNotUtf8) {
  const struct {
    std::string In, Out;
  } cases[] = {
      {"plain", "plain"},
      {"caf\xC3\xA9", "caf\xC3\xA9"},                    // kept
      {"\xF0\x9F\x8C\x8B", "\xF0\x9F\x8C\x8B"},          // four bytes, kept
      {"caf\xE9", "caf\xEF\xBF\xBD"},                    // a Latin-1 byte
      {"\xC0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD"},          // overlong
      {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // surrogate
      {"a\xE2\x82", "a\xEF\xBF\xBD\xEF\xBF\xBD"},        // cut short
  };
  for (const auto& c : cases) EXPECT_EQ(ValidUtf8(c.In), c.Out) << c.In;
  TListEntry entry;
  entry.File = std::string("A\xFF" "\x00" "B", 4);
  const nlohmann::ordered_json back = nlohmann::ordered_json::parse(JsonText(ListJson({entry})));
  EXPECT_EQ(back[0]["file"], std::string("A\xEF\xBF\xBD\x00" "B", 6));
}

// A real needs a point, whatever the locale of the process.
TEST(JsonViews, NumbersIgnoreTheLocale) {
  const char* previous = std::setlocale(LC_ALL, nullptr);
  const std::string saved = previous ? previous : "C";
  if (!std::setlocale(LC_ALL, "fr_FR.UTF-8")) GTEST_SKIP() << "no fr_FR.UTF-8 locale";
  const std::locale savedGlobal = std::locale::global(std::locale("fr_FR.UTF-8"));
  TQualityReport report;
  TReportEvent event;
  event.ClippedPercent = 1.5;
  event.Position = TReportPosition{45.25, -6.5, 1234.5};
  report.Events.push_back(event);
  const std::string json = JsonText(ReportJson(report), -1);
  const std::string html = ReportHtml(report);
  std::locale::global(savedGlobal);
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_NE(json.find("\"clipped_percent\":1.5"), std::string::npos) << json;
  EXPECT_NE(json.find("\"latitude\":45.25,\"longitude\":-6.5"), std::string::npos) << json;
  EXPECT_NE(html.find("45.25000\xC2\xB0 N, 6.50000\xC2\xB0 W, 1234\xC2\xA0m"), std::string::npos);
}

TReportChannel Channel(int number, const std::vector<int32_t>& samples, int64_t total) {
  TReportChannel c;
  c.Number = number;
  c.Id = "XX.ST01.00.HH" + std::string(1, "ZNE"[(number - 1) % 3]);
  TFiguresAccumulator figures;
  figures.Add(samples.data(), samples.size());
  c.Figures = figures.Figures();
  c.Envelope = TEnvelope(total);
  c.Envelope.Add(samples.data(), samples.size());
  return c;
}

TQualityReport SampleReport() {
  TQualityReport report;
  report.Card = {"Card holds data", 2, 1'000'000, 2'000'000, std::nullopt};
  TReportEvent e;
  e.Index = 1;
  e.File = "00010203.T01";
  e.Station = 1234;
  e.Start = {2026, 12, 8, 14, 5, 0, 250'000};
  e.SampleRate = 100;
  e.SamplesPerChannel = 1000;
  e.Gain = 2;
  e.ClippedPercent = 0.25;
  e.Position = TReportPosition{45.5, 6.25, 812};
  e.GpsFix = true;
  e.Satellites = 7;
  std::vector<int32_t> wave(1000), flat(1000, 17), clipped(1000);
  for (int i = 0; i < 1000; ++i) {
    wave[static_cast<size_t>(i)] = (i % 50 - 25) * 1000;
    clipped[static_cast<size_t>(i)] = i == 500 ? SampleMaximum : i == 501 ? SampleMinimum : i;
  }
  e.Channels = {Channel(1, wave, 1000), Channel(2, flat, 1000), Channel(3, clipped, 1000),
                Channel(4, {}, 0)};
  report.Events.push_back(e);
  e.Index = 2;
  e.Position.reset();
  e.Station.reset();
  e.GpsFix = false;
  e.Satellites.reset();
  e.Channels = {Channel(1, wave, 1000)};
  report.Events.push_back(e);
  return report;
}

TEST(QualityReport, JsonKeysAndValues) {
  const nlohmann::ordered_json json = nlohmann::ordered_json::parse(JsonText(ReportJson(SampleReport())));
  EXPECT_EQ(Keys(json), (std::set<std::string>{"card", "events"}));
  EXPECT_EQ(json["card"], nlohmann::ordered_json::parse(R"({"status":"Card holds data","events":2,
      "used_bytes":1000000,"total_bytes":2000000,"eprom_version":null})"));
  ASSERT_EQ(json["events"].size(), 2u);
  const nlohmann::ordered_json& e = json["events"][0];
  EXPECT_EQ(Keys(e), (std::set<std::string>{"index", "file", "station", "start", "sample_rate",
                                            "samples_per_channel", "gain", "clipped_percent",
                                            "position", "gps_fix", "satellites",
                                            "channels"}));
  EXPECT_EQ(e["index"], 1);
  EXPECT_EQ(e["file"], "00010203.T01");
  EXPECT_EQ(e["station"], 1234);
  EXPECT_EQ(e["start"], "2026-12-08T14:05:00.250");
  EXPECT_EQ(e["sample_rate"], 100);
  EXPECT_EQ(e["samples_per_channel"], 1000);
  EXPECT_EQ(e["gain"], 2);
  EXPECT_EQ(e["clipped_percent"], 0.25);
  EXPECT_EQ(e["position"], nlohmann::ordered_json::parse(R"({"latitude":45.5,"longitude":6.25,"altitude":812.0})"));
  ASSERT_EQ(e["channels"].size(), 4u);
  EXPECT_EQ(e["channels"][0], nlohmann::ordered_json::parse(R"({"number":1,"id":"XX.ST01.00.HHZ",
      "min":-25000,"max":24000,"mean":-500.0,"rms":14430.869689661811,"saturated":0})"));
  EXPECT_EQ(e["channels"][2]["saturated"], 2);
  EXPECT_EQ(e["channels"][2]["min"], SampleMinimum);
  // A channel without samples has no figures.
  EXPECT_TRUE(e["channels"][3]["min"].is_null());
  EXPECT_TRUE(e["channels"][3]["rms"].is_null());
  EXPECT_EQ(e["channels"][3]["saturated"], 0);
  EXPECT_EQ(e["gps_fix"], true);
  EXPECT_EQ(e["satellites"], 7);
  EXPECT_TRUE(json["events"][1]["position"].is_null());
  EXPECT_TRUE(json["events"][1]["station"].is_null());
  EXPECT_EQ(json["events"][1]["gps_fix"], false);
  EXPECT_TRUE(json["events"][1]["satellites"].is_null());
}

TEST(QualityReport, PageShowsTracesAndFlags) {
  const std::string html = ReportHtml(SampleReport());
  const auto count = [&](const std::string& what) {
    size_t n = 0;
    for (size_t at = html.find(what); at != std::string::npos; at = html.find(what, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("<svg"), 2u);
  EXPECT_EQ(count("<path class=\"trace\""), 3u);       // wave (twice) and the clipped channel
  EXPECT_EQ(count("<path class=\"trace dead\""), 1u);  // the flat one
  EXPECT_EQ(count("class=\"sat\""), 2u);                // one mark per clipped end
  EXPECT_EQ(count(">SATURATED \xC3\x97" "2<"), 1u);
  EXPECT_EQ(count(">DEAD<"), 2u);  // flat, and no samples at all
  EXPECT_NE(html.find(">1 Z<"), std::string::npos);
  EXPECT_NE(html.find(">3 E<"), std::string::npos);
  EXPECT_NE(html.find(">XX.ST01.00.HHN<"), std::string::npos);
  EXPECT_NE(html.find("peak 8\xE2\x80\xAF" "388\xE2\x80\xAF" "608<"), std::string::npos);
  EXPECT_NE(html.find("no GPS"), std::string::npos);
  // The second event was recorded without a fix: flagged in the table and in its section.
  EXPECT_EQ(count(">no GPS fix<"), 2u);
  EXPECT_EQ(count("7 satellites \xC2\xB7 time from a GPS fix"), 1u);
  // Self-contained: nothing fetched, nothing run.
  for (const char* outside : {"<script", "<link", "src=", "url(", "@import", "<img"}) {
    EXPECT_EQ(html.find(outside), std::string::npos) << outside;
  }
}

// A corrupt event: a rate of 0 and samples cut short still give a page, flagged.
TEST(QualityReport, CorruptEventIsFlagged) {
  TQualityReport report;
  TReportEvent e;
  e.Index = 7;
  e.SampleRate = 0;
  e.SamplesPerChannel = 1000;
  std::vector<int32_t> part(400, 5);
  part[3] = -9;
  e.Channels = {Channel(1, part, 1000)};
  report.Events.push_back(e);
  const std::string html = ReportHtml(report);
  for (const char* shown : {"sample rate 0", "samples missing", "no time axis", "<path class=\"trace\""}) {
    EXPECT_NE(html.find(shown), std::string::npos) << shown;
  }
  for (const char* wrong : {"nan", ">inf", "-inf", ">?<"}) EXPECT_EQ(html.find(wrong), std::string::npos) << wrong;
  // The trace covers the first 40 % of the plot and no more.
  const size_t path = html.find("<path class=\"trace\" d=\"");
  const std::string d = html.substr(path, html.find('"', path + 27) - path);
  EXPECT_EQ(d.find("Z"), d.size() - 1);  // one run
  double rightmost = 0;
  for (size_t at = d.find_first_of("ML"); at != std::string::npos; at = d.find_first_of("ML", at + 1)) {
    double x = 0;
    std::from_chars(d.data() + at + 1, d.data() + d.size(), x);
    rightmost = std::max(rightmost, x);
  }
  const double plotLeft = 150, plotWidth = 740;
  EXPECT_NEAR(rightmost, plotLeft + 0.4 * plotWidth, 1.5);
}

TEST(QualityReport, CardTextIsEscaped) {
  TQualityReport report = SampleReport();
  const std::string hostile = "<script>alert(\"x\")</script>&'<img src=x onerror=y>\x01\xFF";
  report.Card.Status = hostile;
  report.Events[0].File = hostile;
  report.Events[0].Channels[0].Id = hostile;
  const std::string html = ReportHtml(report);
  EXPECT_EQ(html.find("<script"), std::string::npos);
  EXPECT_EQ(html.find("<img"), std::string::npos);
  EXPECT_EQ(html.find('\x01'), std::string::npos);
  EXPECT_EQ(html.find("\xFF"), std::string::npos);
  const std::string escaped =
      "&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt;&amp;&#39;&lt;img src=x onerror=y&gt;?"
      "\xEF\xBF\xBD";
  EXPECT_EQ(HtmlEscape(hostile), escaped);
  size_t n = 0;
  for (size_t at = html.find(escaped); at != std::string::npos; at = html.find(escaped, at + 1)) ++n;
  EXPECT_EQ(n, 4u);  // the status, the file in the table and the heading, the trace label
}

TEST(QualityReport, NeverReplacesAReport) {
  struct TCase {
    const char* Name;
    std::vector<std::string> Existing;
    std::string Chosen;  // stem; empty: none free
  };
  std::vector<std::string> all;
  for (char c = 'a' - 1; c <= 'z'; ++c) {
    const std::string stem = c < 'a' ? "report" : std::string("report_") + c;
    all.push_back(stem + (c % 2 ? ".json" : ".html"));  // one of each pair is enough
  }
  const TCase cases[] = {
      {"empty directory", {}, "report"},
      {"a report", {"report.json", "report.html"}, "report_a"},
      {"a lone json", {"report.json"}, "report_a"},
      {"a lone html", {"report.html"}, "report_a"},
      {"report_a.html alone blocks report_a.json", {"report.html", "report_a.html"}, "report_b"},
      {"a gap is used", {"report_a.json", "report_a.html"}, "report"},
      {"a directory of that name", {"report.json/"}, "report_a"},
      {"all taken", all, ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TTempDir dir;
    for (const std::string& name : c.Existing) {
      if (name.back() == '/') {
        ASSERT_TRUE(std::filesystem::create_directory(dir / name.substr(0, name.size() - 1)));
      } else {
        WriteWholeFile(dir / name, "old " + name);
      }
    }
    TReportFiles files;
    std::string error;
    try {
      files = WriteReportFiles(dir.Path(), "{}\n", "<html></html>\n");
    } catch (const platform::EFileError& e) {
      error = e.what();
    }
    for (const std::string& name : c.Existing) {
      if (name.back() != '/') {
        EXPECT_EQ(ReadWholeFile(dir / name), "old " + name);
      }
    }
    if (c.Chosen.empty()) {
      EXPECT_NE(error.find("all taken"), std::string::npos) << error;
      EXPECT_EQ(FilesIn(dir.Path()).size(), c.Existing.size());
      continue;
    }
    ASSERT_EQ(error, "");
    EXPECT_EQ(files.JsonPath, dir / (c.Chosen + ".json"));
    EXPECT_EQ(files.HtmlPath, dir / (c.Chosen + ".html"));
    EXPECT_EQ(ReadWholeFile(files.JsonPath), "{}\n");
    EXPECT_EQ(ReadWholeFile(files.HtmlPath), "<html></html>\n");
    EXPECT_EQ(FilesIn(dir.Path()).size(), c.Existing.size() + 2);
  }
}

TEST(QualityReport, SecondReportGetsTheNextNames) {
  TTempDir dir;
  const TQualityReport report = SampleReport();
  const TReportFiles first = WriteQualityReport(dir.Path(), report);
  const TReportFiles second = WriteQualityReport(dir.Path(), report);
  EXPECT_EQ(second.JsonPath, dir / "report_a.json");
  EXPECT_EQ(ReadWholeFile(first.HtmlPath), ReadWholeFile(second.HtmlPath));
  EXPECT_EQ(nlohmann::ordered_json::parse(ReadWholeFile(second.JsonPath)), ReportJson(report));

  try {
    WriteQualityReport(dir / "no-such-directory", report);
    ADD_FAILURE() << "written into a missing directory";
  } catch (const platform::EFileError& error) {
    EXPECT_EQ(error.what(), "Cannot create file " + (dir / "no-such-directory/report.json"));
    EXPECT_EQ(error.FileName(), dir / "no-such-directory/report.json");
  }
}

}  // namespace
