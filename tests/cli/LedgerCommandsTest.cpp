// The download ledger seen from the command line: the erase guard, status --saved, verify and
// ledger, and a ledger that cannot be used.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "CliRun.h"
#include "platform/Drives.h"
#include "support/CardBuilder.h"
#include "support/TestSupport.h"

using testing_support::FilesIn;
using testing_support::ReadWholeFile;
using testing_support::TBuiltEvent;
using testing_support::TCardBuilder;
using testing_support::WriteWholeFile;

namespace {

using cli_test::RunCaptured;
using cli_test::TRun;

class LedgerCommandsTest : public ::testing::Test {
 public:
  LedgerCommandsTest() {
    Card.Signature = "TARQPR410";
    for (const char* number : {"001", "002", "003"}) {
      TBuiltEvent event;
      event.Channels = "3,12";
      event.RateDuration = "1,1";
      event.FileNumber = number;
      Card.Events.push_back(event);
    }
    Card.WriteTo(CardDir.Path());
  }
  ~LedgerCommandsTest() override { platform::SetDriveTable(nullptr); }

  TRun Download(const std::string& events) {
    return RunCaptured(
        {"download", CardDir.Path(), "--to", Out.Path(), "--sac", "--events", events});
  }
  std::string SavedLine() {
    const std::string out = RunCaptured({"status", CardDir.Path(), "--saved"}).Out;
    return out.substr(out.rfind("Saved:"));
  }

  testing_support::TScopedDataHome Home;
  TCardBuilder Card;
  testing_support::TTempDir CardDir;
  testing_support::TTempDir Out;
};

TEST_F(LedgerCommandsTest, EraseIsRefusedWhileALiveEventHasNoSavedCopy) {
  const std::string before = ReadWholeFile(CardDir / "fichbase.dat");
  EXPECT_EQ(SavedLine(), "Saved: 0 of 3 events\n");
  ASSERT_EQ(Download("1-2").Code, 0);
  EXPECT_EQ(SavedLine(), "Saved: 2 of 3 events\n");

  TRun run = RunCaptured({"erase", CardDir.Path(), "--yes"});
  EXPECT_EQ(run.Code, 1);
  EXPECT_EQ(run.Out, "");
  EXPECT_EQ(run.Err,
            "readtarq-cli erase: 1 event has no saved copy:\n"
            "  05121030.003\n"
            "readtarq-cli erase: download them first, or add --force to erase anyway\n");
  EXPECT_EQ(ReadWholeFile(CardDir / "fichbase.dat"), before);

  // A saved copy whose file is gone is no copy.
  std::filesystem::remove(Out / FilesIn(Out.Path())[0]);
  EXPECT_EQ(SavedLine(), "Saved: 1 of 3 events\n");
  run = RunCaptured({"erase", CardDir.Path(), "--yes"});
  EXPECT_EQ(run.Code, 1);
  EXPECT_NE(run.Err.find("2 events have no saved copy:\n  05121030.001\n  05121030.003\n"),
            std::string::npos)
      << run.Err;

  // All saved: the erase goes on as it always did.
  ASSERT_EQ(Download("1,3").Code, 0);
  EXPECT_EQ(SavedLine(), "Saved: 3 of 3 events\n");
  run = RunCaptured({"erase", CardDir.Path(), "--yes"});
  EXPECT_EQ(run.Code, 0);
  EXPECT_EQ(run.Err, "Erase flash card: yes\n");
  EXPECT_EQ(run.Out, "Status: Erased flash card\n");
  // The erased events are still the saved ones.
  const std::string restored = RunCaptured({"status", CardDir.Path(), "--saved", "--restore"}).Out;
  EXPECT_TRUE(restored.ends_with("Saved: 3 of 3 events\n")) << restored;
}

TEST_F(LedgerCommandsTest, ForceErasesUnsavedEvents) {
  const TRun run = RunCaptured({"erase", CardDir.Path(), "--yes", "--force"});
  EXPECT_EQ(run.Code, 0);
  EXPECT_EQ(run.Out, "Status: Erased flash card\n");
  EXPECT_NE(run.Err.find("3 events have no saved copy:\n  05121030.001\n"), std::string::npos);
}

TEST_F(LedgerCommandsTest, VerifyCatchesAChangedByteAndAMissingFile) {
  ASSERT_EQ(Download("1-3").Code, 0);
  const std::vector<std::string> files = FilesIn(Out.Path());
  ASSERT_EQ(files.size(), 9u);
  TRun run = RunCaptured({"verify", Out.Path()});
  EXPECT_EQ(run.Code, 0) << run.Err;
  EXPECT_TRUE(run.Out.ends_with("\n9 intact, 0 changed, 0 missing\n")) << run.Out;

  // One byte changed, the size kept; one file deleted.
  std::string bytes = ReadWholeFile(Out / files[4]);
  bytes[700] = static_cast<char>(bytes[700] ^ 1);
  WriteWholeFile(Out / files[4], bytes);
  std::filesystem::remove(Out / files[7]);
  run = RunCaptured({"verify", Out.Path()});
  EXPECT_EQ(run.Code, 1);
  EXPECT_NE(run.Out.find("changed\t" + Out / files[4] + "\tSHA-256 differs\n"), std::string::npos)
      << run.Out;
  EXPECT_NE(run.Out.find("missing\t" + Out / files[7] + "\t"), std::string::npos);
  EXPECT_TRUE(run.Out.ends_with("\n7 intact, 1 changed, 1 missing\n")) << run.Out;

  run = RunCaptured({"verify", "--json"});
  EXPECT_EQ(run.Code, 1);
  const nlohmann::json json = nlohmann::json::parse(run.Out);
  EXPECT_EQ(json["intact"], 7);
  EXPECT_EQ(json["changed"], 1);
  EXPECT_EQ(json["missing"], 1);
  EXPECT_EQ(json["files"].size(), 9u);

  // Another directory holds nothing the ledger knows.
  testing_support::TTempDir elsewhere;
  run = RunCaptured({"verify", elsewhere.Path()});
  EXPECT_EQ(run.Code, 0);
  EXPECT_EQ(run.Out, "0 intact, 0 changed, 0 missing\n");
}

TEST_F(LedgerCommandsTest, LedgerListsTheSavesOfACard) {
  ASSERT_EQ(Download("2").Code, 0);
  // The same card's events saved again into another directory, and another card's event.
  TCardBuilder other = Card;
  other.Signature = "TARQPR508";
  testing_support::TTempDir otherDir;
  other.WriteTo(otherDir.Path());
  ASSERT_EQ(RunCaptured({"download", otherDir.Path(), "--to", Out.Path(), "--events", "1"}).Code,
            0);

  TRun run = RunCaptured({"ledger"});
  EXPECT_EQ(run.Code, 0);
  EXPECT_EQ(std::count(run.Out.begin(), run.Out.end(), '\n'), 2);
  run = RunCaptured({"ledger", "--card", CardDir.Path()});
  EXPECT_EQ(run.Code, 0);
  EXPECT_NE(run.Out.find("\t05121030.002\tUSED CARD\t" + Out.Path() + "\t3 files\n"),
            std::string::npos)
      << run.Out;
  EXPECT_EQ(std::count(run.Out.begin(), run.Out.end(), '\n'), 1);
  // The same card read elsewhere (another reader, a copy) is the same card.
  testing_support::TTempDir copy;
  Card.WriteTo(copy.Path());
  EXPECT_EQ(RunCaptured({"ledger", "--card", copy.Path()}).Out, run.Out);
  const std::string status = RunCaptured({"status", copy.Path(), "--saved"}).Out;
  EXPECT_TRUE(status.ends_with("Saved: 1 of 3 events\n")) << status;

  run = RunCaptured({"ledger", "--card", otherDir.Path(), "--json"});
  const nlohmann::json json = nlohmann::json::parse(run.Out);
  ASSERT_EQ(json.size(), 1u);
  EXPECT_EQ(json[0]["original_file_name"], "05121030.001");
  EXPECT_EQ(json[0]["card"]["signature"], "TARQPR508");
  EXPECT_EQ(json[0]["files"][0]["kind"], "record");

  // A destination whose name is not UTF-8 (an ISO 8859-1 folder name): still JSON, the byte
  // replaced.
  const std::string latin1 = Out / "r\xe9sultats";
  std::filesystem::create_directory(latin1);
  ASSERT_EQ(RunCaptured({"download", otherDir.Path(), "--to", latin1, "--events", "1"}).Code, 0);
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"ledger", "--card", otherDir.Path(), "--json"},
        std::vector<std::string>{"verify", latin1, "--json"}}) {
    run = RunCaptured(command);
    EXPECT_EQ(run.Code, 0) << command[0];
    EXPECT_NE(run.Out.find("r\xef\xbf\xbdsultats"), std::string::npos) << run.Out;
    EXPECT_TRUE(nlohmann::json::accept(run.Out)) << run.Out;
  }
}

TEST_F(LedgerCommandsTest, AnUnusableLedgerWarnsAndNothingCountsAsSaved) {
  // The data home is a file: no ledger can be made there, whoever runs the test.
  WriteWholeFile(Out / "not-a-directory", "");
  testing_support::TScopedDataHome home(Out / "not-a-directory");
  testing_support::TTempDir to;
  const TRun run = RunCaptured({"download", CardDir.Path(), "--to", to.Path()});
  EXPECT_EQ(run.Code, 0);
  EXPECT_EQ(FilesIn(to.Path()).size(), 3u);
  EXPECT_TRUE(run.Err.starts_with("readtarq-cli download: warning: ")) << run.Err;
  EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 1) << run.Err;

  EXPECT_EQ(SavedLine(), "Saved: 0 of 3 events\n");
  const TRun erase = RunCaptured({"erase", CardDir.Path(), "--yes"});
  EXPECT_EQ(erase.Code, 1);
  EXPECT_NE(erase.Err.find("3 events have no saved copy (the download ledger is off):\n"),
            std::string::npos)
      << erase.Err;
  EXPECT_EQ(RunCaptured({"verify"}).Code, 1);
}

}  // namespace
