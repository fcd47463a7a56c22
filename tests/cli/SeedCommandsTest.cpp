// The standard data products from the command line: download --mseed --sds with codes, and
// the stationxml command.

#include <gtest/gtest.h>

#include <cstdlib>

#include "CliRun.h"
#include "base/Utf8Text.h"
#include "ledger/Ledger.h"
#include "platform/Drives.h"
#include "platform/FileSystem.h"
#include "support/CardBuilder.h"
#include "support/MiniSeedReadBack.h"
#include "support/TestSupport.h"

using testing_support::FilesIn;
using testing_support::ReadWholeFile;
using testing_support::TBuiltEvent;
using testing_support::TCardBuilder;
using testing_support::WriteWholeFile;

namespace {

using cli_test::TRun;

class SeedCommandsTest : public ::testing::Test {
 public:
  SeedCommandsTest() {
    TCardBuilder card;
    card.Signature = "TARQP0410";
    for (const char* number : {"001", "002"}) {
      TBuiltEvent event;
      event.Marker = "DEB2";
      event.Channels = "3,47";
      event.RateDuration = "100,1";
      event.FileNumber = number;
      card.Events.push_back(event);
    }
    card.Events[1].Channels = "6,193";
    card.WriteTo(CardDir.Path());
    WriteWholeFile(Sheet(), "serial,network,station,site,latitude,longitude,elevation\n"
                            "47,Z3,BRK01,\"Berck, dune\",50.4012,1.5633,12\n");
  }
  ~SeedCommandsTest() override { platform::SetDriveTable(nullptr); }

  std::string Sheet() const { return Out / "stations.csv"; }

  testing_support::TTempDir CardDir;
  testing_support::TTempDir Out;
};

TEST_F(SeedCommandsTest, DownloadWritesMiniSeedAndTheArchiveWithTheSheetsCodes) {
  const std::string dest = Out / "archive";
  const TRun run = cli_test::RunCaptured(
      {"download", CardDir.Path(), "--to", dest, "--mseed", "--sds", "--record-length", "512",
       "--network", "AB", "--stations", Sheet(), "--probe-date", "2006-06-01"});
  ASSERT_EQ(run.Code, 0) << run.Err;
  EXPECT_EQ(run.Out,
            "05121030.001\t060512_1030_047.001.mseed\n"
            "05121030.002\t060512_1030_193.002.mseed\n");
  // The sheet's codes for serial 47, the option's network for 193.
  const std::vector<TReadRecord> z47 =
      ReadRecords(ReadWholeFile(dest + "/2006/Z3/BRK01/EHZ.D/Z3.BRK01.00.EHZ.D.2006.132"));
  ASSERT_FALSE(z47.empty());
  EXPECT_EQ(z47[0].Length, 512);
  const std::vector<TReadRecord> e193 =
      ReadRecords(ReadWholeFile(dest + "/2006/AB/193/EHE.D/AB.193.01.EHE.D.2006.132"));
  ASSERT_FALSE(e193.empty());
  EXPECT_EQ(FilesIn(dest), (std::vector<std::string>{"060512_1030_047.001.mseed",
                                                     "060512_1030_193.002.mseed", "2006"}));
}

TEST_F(SeedCommandsTest, BadCodesWriteNothing) {
  WriteWholeFile(Out / "bad.csv", "serial,station\n47,BRK-1\n");
  struct TCase {
    std::vector<std::string> Options;
    int Code;
    std::string Message;
  };
  const TCase cases[] = {
      {{"--stations", Out / "bad.csv"}, 1,
       Out / "bad.csv" + " line 2, column station: station code 'BRK-1' holds '-'"},
      {{"--stations", Out / "missing.csv"}, 1, Out / "missing.csv"},
      {{"--network", "ABC"}, 2, "--network needs 1 or 2 letters A-Z or digits, not 'ABC'"},
      {{"--record-length", "1024"}, 2, "--record-length needs 512 or 4096, not '1024'"},
  };
  for (const TCase& test : cases) {
    for (const char* command : {"download", "stationxml"}) {
      SCOPED_TRACE(std::string(command) + " " + test.Options[1]);
      if (std::string(command) == "stationxml" && test.Options[0] == "--record-length") continue;
      std::vector<std::string> args = {command, CardDir.Path()};
      if (std::string(command) == "download") {
        args.insert(args.end(), {"--to", Out / "dest", "--sds"});
      } else {
        args.insert(args.end(), {"--out", Out / "inventory.xml"});
      }
      args.insert(args.end(), test.Options.begin(), test.Options.end());
      const TRun run = cli_test::RunCaptured(args);
      EXPECT_EQ(run.Code, test.Code);
      EXPECT_NE(run.Err.find(test.Message), std::string::npos) << run.Err;
      EXPECT_EQ(FilesIn(Out.Path()), (std::vector<std::string>{"bad.csv", "stations.csv"}));
    }
  }
}

TEST_F(SeedCommandsTest, StationXmlValidatesAgainstTheSchemaAndNeverReplacesAFile) {
  const char* source = std::getenv("READTARQ_SOURCE_DIR");
  if (source == nullptr) GTEST_SKIP() << "READTARQ_SOURCE_DIR is not set (run through ctest)";
  if (std::system("command -v xmllint > /dev/null 2>&1") != 0) GTEST_SKIP() << "no xmllint";
  const std::string file = Out / "inventory.xml";
  const TRun run = cli_test::RunCaptured({"stationxml", CardDir.Path(), "--out", file,
                                          "--stations", Sheet(), "--probe-date", "2006-06-01"});
  ASSERT_EQ(run.Code, 0) << run.Err;
  EXPECT_EQ(run.Out, file + "\n");
  EXPECT_EQ(run.Err, "");  // 193 has the events' GPS fixes, 47 the sheet's position
  const std::string xml = ReadWholeFile(file);
  for (const char* part : {"<Network code=\"Z3\"", "<Network code=\"XX\"",
                           "<Station code=\"BRK01\"", "<Station code=\"193\"",
                           "<Latitude>50.4012</Latitude>", "<Latitude>45.5</Latitude>",
                           "<Channel code=\"EHE\" locationCode=\"01\""}) {
    EXPECT_NE(xml.find(part), std::string::npos) << part;
  }
  const std::string check = "xmllint --noout --schema '" + std::string(source) +
                            "/tests/data/fdsn-station.xsd.gz' '" + file + "' > /dev/null 2>&1";
  EXPECT_EQ(std::system(check.c_str()), 0);

  const TRun again = cli_test::RunCaptured({"stationxml", CardDir.Path(), "--out", file,
                                            "--events", "1"});
  EXPECT_EQ(again.Code, 1);
  EXPECT_EQ(again.Err, file + " exists: it is not replaced\n");
  EXPECT_EQ(ReadWholeFile(file), xml);
}

// A sheet saved as Latin-1 is refused where its first such byte is, and read with
// --sheet-latin1; bytes of a card that are not text never reach the StationXML, report.json or
// report.html as anything but valid UTF-8.
TEST_F(SeedCommandsTest, Latin1SheetOnRequestAndCardBytesThatAreNotText) {
  TCardBuilder card;
  for (const char* number : {"\xE9\x01", "\xFF"}) {
    TBuiltEvent event;
    event.Marker = "DEB2";
    event.Channels = "3,47";
    event.RateDuration = "100,1";
    event.FileNumber = number;
    card.Events.push_back(event);
  }
  testing_support::TTempDir hostile;
  card.WriteTo(hostile.Path());
  const std::string sheet = Out / "latin1.csv";
  WriteWholeFile(sheet, "serial,station,site\n47,BRK01,\"Caf\xE9 du port\"\n");
  const std::string file = Out / "inventory.xml";
  const std::vector<std::string> args = {"stationxml",   hostile.Path(), "--out",
                                         file,           "--stations",   sheet,
                                         "--probe-date", "2006-06-01"};

  const TRun refused = cli_test::RunCaptured(args);
  EXPECT_EQ(refused.Code, 1);
  EXPECT_EQ(refused.Err, sheet +
                             " line 2, column site: not UTF-8 text: byte 0xE9 after 'Caf'; "
                             "save the sheet as UTF-8 or read it as Latin-1\n");
  EXPECT_FALSE(platform::PathExists(file));

  std::vector<std::string> latin1 = args;
  latin1.push_back("--sheet-latin1");
  const TRun run = cli_test::RunCaptured(latin1);
  ASSERT_EQ(run.Code, 0) << run.Err;
  const std::string xml = ReadWholeFile(file);
  EXPECT_NE(xml.find("<Name>Caf\xC3\xA9 du port</Name>"), std::string::npos) << xml;
  EXPECT_EQ(Utf8ErrorOffset(xml), std::string::npos);
  const char* source = std::getenv("READTARQ_SOURCE_DIR");
  if (source != nullptr && std::system("command -v xmllint > /dev/null 2>&1") == 0) {
    const std::string check = "xmllint --noout --schema '" + std::string(source) +
                              "/tests/data/fdsn-station.xsd.gz' '" + file + "' > /dev/null 2>&1";
    EXPECT_EQ(std::system(check.c_str()), 0);
  }

  const TRun report =
      cli_test::RunCaptured({"report", hostile.Path(), "--to", Out / "report", "--stations", sheet,
                             "--sheet-latin1", "--probe-date", "2006-06-01"});
  ASSERT_EQ(report.Code, 0) << report.Err;
  const std::string json = ReadWholeFile(Out / "report/report.json");
  const std::string html = ReadWholeFile(Out / "report/report.html");
  EXPECT_EQ(Utf8ErrorOffset(json), std::string::npos);
  EXPECT_EQ(Utf8ErrorOffset(html), std::string::npos);
  EXPECT_NE(json.find("\"file\": \"05121030.\xEF\xBF\xBD\\u0001\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"file\": \"05121030.\xEF\xBF\xBD\""), std::string::npos);
  EXPECT_NE(html.find(">05121030.\xEF\xBF\xBD?<"), std::string::npos);
}

}  // namespace

namespace {

// Empty when xmllint validates the file and the independent response check passes, else why.
std::string ResponseProblems(const std::string& source, const std::string& file) {
  const std::string schema = "xmllint --noout --schema '" + source +
                             "/tests/data/fdsn-station.xsd.gz' '" + file + "' > /dev/null 2>&1";
  if (std::system(schema.c_str()) != 0) return "not valid";
  const std::string check = "python3 '" + source + "/tests/seed/check_response.py' '" + file +
                            "' --require-sensor > /dev/null";
  return std::system(check.c_str()) == 0 ? "" : "the response check failed";
}

bool CanCheckResponses(const char* source) {
  return source != nullptr && std::system("command -v xmllint > /dev/null 2>&1") == 0 &&
         std::system("command -v python3 > /dev/null 2>&1") == 0;
}

const char* const SensorSheet =
    "serial,network,station,site,latitude,longitude,elevation,instrument,period,sensor,"
    "sensor_type,sensitivity,natural_frequency,damping,depth,n_azimuth,e_azimuth\n"
    "47,Z3,BRK01,\"Berck, dune\",50.4012,1.5633,12,TP-3 #4,short,1,geophone-4.5,,,,1.5,12,102\n"
    "193,Z3,BRK02,Berck lighthouse,50.3968,1.5571,8,TP-3 #9,broad,1,broadband-120,,,,,,\n"
    "193,,,,,,,,,2,,250,2,0.7,0,,\n";

// The sample card with the bundled sheet extended by sensors: a valid document whose every
// channel's response agrees with its sensitivity when read by another program.
TEST(StationXmlResponse, TheSampleCardWithSensorsValidatesAndItsResponsesAgree) {
  const char* source = std::getenv("READTARQ_SOURCE_DIR");
  if (!CanCheckResponses(source)) GTEST_SKIP() << "no xmllint, python3 or READTARQ_SOURCE_DIR";
  testing_support::TTempDir out;
  WriteWholeFile(out / "stations.csv", SensorSheet);
  const std::string file = out / "stations.xml";
  const TRun run = cli_test::RunCaptured(
      {"stationxml", std::string(source) + "/samples/demo-card", "--stations",
       out / "stations.csv", "--probe-date", "2026-12-08", "--out", file});
  ASSERT_EQ(run.Code, 0) << run.Err;
  const std::string xml = ReadWholeFile(file);
  for (const char* part : {"<Depth>1.5</Depth>", "<Azimuth>102</Azimuth>",
                           "<Type>geophone-4.5</Type>", "<SerialNumber>47</SerialNumber>",
                           "<Name>M/S</Name>"}) {
    EXPECT_NE(xml.find(part), std::string::npos) << part;
  }
  EXPECT_EQ(ResponseProblems(source, file), "");
}

// Two cards of one station make one station; its channels' epochs run across both cards
// while the gain stays, and a gain changed on the second card starts a new epoch. The same
// input gives the same document but for its creation time.
TEST_F(SeedCommandsTest, StationXmlOfACampaignMergesEpochsAcrossCards) {
  const char* source = std::getenv("READTARQ_SOURCE_DIR");
  if (!CanCheckResponses(source)) GTEST_SKIP() << "no xmllint, python3 or READTARQ_SOURCE_DIR";
  testing_support::TTempDir first, second;
  auto card = [](const std::string& dir, const std::string& stem,
                 const std::vector<const char*>& gains) {
    TCardBuilder builder;
    builder.Signature = "TARQP0410";
    int number = 1;
    for (const char* gain : gains) {
      TBuiltEvent event;
      event.Marker = "DEB2";
      event.Channels = "3,47";
      event.RateDuration = "100,1";
      event.FileStem = stem + std::to_string(10 + number);
      event.FileNumber = "00" + std::to_string(number++);
      event.Gain = gain;
      builder.Events.push_back(event);
    }
    builder.WriteTo(dir);
  };
  card(first.Path(), "051210", {"2", "2"});
  card(second.Path(), "051310", {"2", "2"});
  WriteWholeFile(Sheet(), SensorSheet);
  auto run = [&](const std::vector<std::string>& cards, const std::string& name) {
    std::vector<std::string> args = {"stationxml"};
    args.insert(args.end(), cards.begin(), cards.end());
    for (const std::string& more : {std::string("--stations"), Sheet(),
                                    std::string("--probe-date"), std::string("2006-06-01"),
                                    std::string("--out"), Out / name}) {
      args.push_back(more);
    }
    const TRun result = cli_test::RunCaptured(args);
    EXPECT_EQ(result.Code, 0) << result.Err;
    return ReadWholeFile(Out / name);
  };
  auto count = [](const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
  };
  auto withoutCreated = [](std::string text) {
    const size_t at = text.find("<Created>");
    return text.erase(at, text.find("</Created>") - at);
  };

  const std::string merged = run({second.Path(), first.Path()}, "merged.xml");
  EXPECT_EQ(count(merged, "<Station "), 1u);
  EXPECT_EQ(count(merged, "<Channel "), 3u);
  EXPECT_NE(merged.find("<Channel code=\"EHE\" locationCode=\"00\" "
                        "startDate=\"2006-05-12T10:11:07.250000Z\" "
                        "endDate=\"2006-05-13T10:13:07.250000Z\">"),
            std::string::npos)
      << merged;
  EXPECT_EQ(ResponseProblems(source, Out / "merged.xml"), "");
  EXPECT_EQ(withoutCreated(run({first.Path(), second.Path()}, "again.xml")),
            withoutCreated(merged));

  card(second.Path(), "051310", {"2", "8"});
  const std::string changed = run({first.Path(), second.Path()}, "changed.xml");
  EXPECT_EQ(count(changed, "<Station "), 1u);
  EXPECT_EQ(count(changed, "<Channel "), 6u);
  EXPECT_NE(changed.find("startDate=\"2006-05-13T10:12:07.250000Z\""), std::string::npos);
  EXPECT_EQ(ResponseProblems(source, Out / "changed.xml"), "");
}

// The events two cards of one station put into an archive give, from the download ledger
// alone, the document the two cards give; a save recorded without header values is left out
// with one warning, and an archive the ledger knows nothing of is refused.
TEST_F(SeedCommandsTest, StationXmlOfAnArchiveIsThatOfItsCards) {
  const char* source = std::getenv("READTARQ_SOURCE_DIR");
  if (!CanCheckResponses(source)) GTEST_SKIP() << "no xmllint, python3 or READTARQ_SOURCE_DIR";
  testing_support::TScopedDataHome home;  // a ledger of its own
  testing_support::TTempDir first, second;
  for (const auto& [dir, stem] : {std::pair{first.Path(), "051210"}, {second.Path(), "051310"}}) {
    TCardBuilder builder;
    builder.Signature = "TARQP0410";
    for (int number : {1, 2}) {
      TBuiltEvent event;
      event.Marker = "DEB2";
      event.Channels = "3,47";
      event.RateDuration = "100,1";
      event.FileStem = std::string(stem) + std::to_string(10 + number);
      event.FileNumber = "00" + std::to_string(number);
      builder.Events.push_back(event);
    }
    builder.WriteTo(dir);
  }
  WriteWholeFile(Sheet(), SensorSheet);
  const std::string archive = Out / "archive";
  const TRun ingest = cli_test::RunCaptured(
      {"ingest", first.Path(), second.Path(), "--archive", archive, "--stations", Sheet()});
  ASSERT_EQ(ingest.Code, 0) << ingest.Err;

  auto run = [&](std::vector<std::string> args, const std::string& name) {
    args.insert(args.begin(), "stationxml");
    for (const std::string& more :
         {std::string("--stations"), Sheet(), std::string("--out"), Out / name}) {
      args.push_back(more);
    }
    return cli_test::RunCaptured(args);
  };
  auto withoutCreated = [](std::string text) {
    const size_t at = text.find("<Created>");
    return at == std::string::npos ? text : text.erase(at, text.find("</Created>") - at);
  };
  const TRun cards = run({first.Path(), second.Path()}, "cards.xml");
  ASSERT_EQ(cards.Code, 0) << cards.Err;
  const std::string expected = withoutCreated(ReadWholeFile(Out / "cards.xml"));
  auto count = [](const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count(expected, "<Station "), 1u);
  EXPECT_EQ(count(expected, "<Channel "), 3u);  // each epoch across both cards
  const TRun fromArchive = run({"--archive", archive + "/"}, "archive.xml");
  ASSERT_EQ(fromArchive.Code, 0) << fromArchive.Err;
  EXPECT_EQ(fromArchive.Err, "");
  EXPECT_EQ(withoutCreated(ReadWholeFile(Out / "archive.xml")), expected);
  EXPECT_EQ(ResponseProblems(source, Out / "archive.xml"), "");

  {
    TLedger ledger;
    ASSERT_EQ(ledger.Open(), std::nullopt);
    TSavedEvent older;
    older.EventIdentity = "saved-by-an-older-version";
    older.OriginalFileName = "05121500.009";
    older.Channels = {{archive, "day", "Z3.BRK01.00.EHZ", {1}, std::string(64, 'a')}};
    ASSERT_EQ(ledger.RecordSavedEvent(older), std::nullopt);
  }
  const TRun partly = run({"--archive", archive}, "partly.xml");
  ASSERT_EQ(partly.Code, 0) << partly.Err;
  EXPECT_EQ(partly.Err,
            "Warning: 1 event of the archive left out: the download ledger recorded it without "
            "the header values StationXML needs (saved by an older version); the stationxml of "
            "its card describes it\n");
  EXPECT_EQ(withoutCreated(ReadWholeFile(Out / "partly.xml")), expected);

  const TRun none = run({"--archive", first.Path()}, "none.xml");
  EXPECT_EQ(none.Code, 1);
  EXPECT_EQ(none.Err, "No event to describe: the download ledger records no event filed into " +
                          first.Path() + "\n");
  EXPECT_FALSE(platform::PathExists(Out / "none.xml"));
  EXPECT_EQ(run({first.Path(), "--archive", archive}, "both.xml").Code, 2);
  EXPECT_EQ(run({}, "neither.xml").Code, 2);
}

}  // namespace
