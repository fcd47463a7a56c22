// Ingest under faults: killed at any moment (as by kill -9 or a power cut), a disk that fills
// during a day file's rewrite, and a corrupt day file already in the archive. Whatever happens,
// the archive keeps every record it held, the ledger records only events whose records are on
// disk, and the next ingest completes.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>

#include "cli/CliRun.h"
#include "platform/RecordFile.h"
#include "support/CardBuilder.h"
#include "support/TestSupport.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using cli_test::RunCaptured;
using cli_test::TRun;
using testing_support::ReadWholeFile;
using testing_support::TBuiltEvent;
using testing_support::TCardBuilder;

// An event of station `serial` on 12 May (MMDDhhmm "0512hhmm"), 3 channels at 125 Hz.
TBuiltEvent EventAt(const std::string& serial, const std::string& hhmm, const std::string& number,
                    int minutes = 1) {
  TBuiltEvent event;
  event.Channels = "3," + serial;
  event.FileStem = "0512" + hhmm;
  event.FileNumber = number;
  event.StartSecond = "00000";
  event.RateDuration = "125," + std::to_string(minutes);
  return event;
}

// The archive's files under their final names, with their bytes, by relative path.
std::map<std::string, std::string> ArchiveFiles(const std::string& root) {
  std::map<std::string, std::string> files;
  std::error_code error;
  for (const auto& entry : fs::recursive_directory_iterator(root, error)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file() && name[0] != '.') {
      files[fs::relative(entry.path(), root).string()] = ReadWholeFile(entry.path().string());
    }
  }
  return files;
}

// Names of the day files whose bytes differ between two archives, or that only one holds.
std::string Differences(const std::map<std::string, std::string>& a,
                        const std::map<std::string, std::string>& b) {
  std::string text;
  for (const auto& [path, bytes] : a) {
    if (!b.count(path) || b.at(path) != bytes) text += path + "\n";
  }
  for (const auto& [path, bytes] : b) {
    if (!a.count(path)) text += path + "\n";
  }
  return text;
}

class IngestFaults : public ::testing::Test {
 public:
  // Writes the cards into Work/<name>.
  std::vector<std::string> WriteCards(const std::vector<TCardBuilder>& cards) {
    std::vector<std::string> dirs;
    for (size_t i = 0; i < cards.size(); ++i) {
      dirs.push_back(Work / ("card" + std::to_string(i + 1)));
      fs::create_directories(dirs.back());
      cards[i].WriteTo(dirs.back());
    }
    return dirs;
  }

  static std::vector<std::string> IngestArgs(const std::vector<std::string>& cards,
                                             const std::string& archive) {
    std::vector<std::string> args = {"ingest"};
    args.insert(args.end(), cards.begin(), cards.end());
    args.insert(args.end(), {"--archive", archive, "--jobs", "1", "--json"});
    return args;
  }

  static std::string SavedLine(const std::string& card) {
    const std::string out = RunCaptured({"status", card, "--saved"}).Out;
    const size_t at = out.rfind("Saved:");
    return at == std::string::npos ? out : out.substr(at);
  }

  testing_support::TScopedDataHome Home;
  testing_support::TTempDir Work;
};

// Runs the program's ingest (its error output into errFile); `killWhen`, asked again and again
// with the archive's root while it runs, kills it with SIGKILL once it returns true. Returns the
// wait status.
int SpawnIngest(const std::vector<std::string>& ingestArgs, const std::string& errFile,
                const std::function<bool()>& killWhen) {
  std::vector<std::string> args = {READTARQ_CLI_PROGRAM};
  args.insert(args.end(), ingestArgs.begin(), ingestArgs.end());
  return cli_test::RunKilledWhen(args, "/dev/null", errFile, killWhen);
}

// Whether an entry whose name contains `part` is anywhere under root; with `final`, only under
// a name that is no temporary one.
bool AnyNamed(const std::string& root, const std::string& part, bool final = false) {
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(root, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.find(part) != std::string::npos && !(final && name[0] == '.')) return true;
  }
  return false;
}

// Station 12 on two successive cards (the second with an event before the first card's, which
// rewrites the day files at the run's end), station 13 on a third; events of 10 minutes, so
// that the day files take a while to write.
TEST_F(IngestFaults, AKilledIngestLeavesWhatTheNextOneCompletesAndRecordsOnlyWhatIsOnDisk) {
  TCardBuilder first, second, third;
  first.Events = {EventAt("12", "1000", "001", 10), EventAt("12", "1100", "002", 10),
                  EventAt("12", "1200", "003", 10)};
  second.Events = {EventAt("12", "1300", "004", 10), EventAt("12", "0900", "005", 10)};
  third.Events = {EventAt("13", "1000", "001", 10), EventAt("13", "1100", "002", 10)};
  const std::vector<std::string> cards = WriteCards({first, second, third});

  // The uninterrupted run.
  const std::string model = Work / "model";
  {
    testing_support::TScopedDataHome own;
    const TRun run = RunCaptured(IngestArgs(cards, model));
    ASSERT_EQ(run.Code, 0) << run.Err;
  }
  const std::map<std::string, std::string> whole = ArchiveFiles(model);
  ASSERT_EQ(whole.size(), 6u);

  struct TPoint {
    const char* Title;
    std::function<bool(const std::string& archive, const std::string& err)> KillWhen;
  };
  const TPoint points[] = {
      {"as the first day file gets its name",
       [](const std::string& archive, const std::string&) {
         return AnyNamed(archive, ".D.", true);
       }},
      {"once the first card is done",
       [](const std::string&, const std::string& err) {
         return ReadWholeFile(err).find(": done") != std::string::npos;
       }},
      {"while the day files are rewritten",
       [](const std::string& archive, const std::string&) {
         return AnyNamed(archive, ".partial");
       }},
  };
  for (const TPoint& point : points) {
    SCOPED_TRACE(point.Title);
    testing_support::TScopedDataHome home;  // a ledger of its own
    const std::string archive = Work / "killed";
    fs::remove_all(archive);
    const std::string err = Work / "err.txt";
    const int status =
        SpawnIngest(IngestArgs(cards, archive), err, [&] { return point.KillWhen(archive, err); });
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the run ended first";

    // What the ledger holds of the killed run is on disk.
    TRun verify = RunCaptured({"verify", archive});
    EXPECT_EQ(verify.Code, 0) << verify.Out;
    EXPECT_TRUE(verify.Out.ends_with(" intact, 0 changed, 0 missing\n")) << verify.Out;

    // The next ingest completes the archive, with no record twice, and every event counts as
    // saved.
    const TRun again = RunCaptured(IngestArgs(cards, archive));
    EXPECT_EQ(again.Code, 0) << again.Err;
    const nlohmann::json summary = nlohmann::json::parse(again.Out);
    EXPECT_EQ(summary["total"]["not_saved"], 0);
    EXPECT_EQ(summary["total"]["ingested"].get<int>() + summary["total"]["skipped"].get<int>(), 7);
    EXPECT_EQ(Differences(ArchiveFiles(archive), whole), "");
    verify = RunCaptured({"verify", archive});
    EXPECT_EQ(verify.Code, 0) << verify.Out;
    EXPECT_TRUE(verify.Out.ends_with(" intact, 0 changed, 0 missing\n")) << verify.Out;
    EXPECT_EQ(SavedLine(cards[0]), "Saved: 3 of 3 events\n");
    EXPECT_EQ(SavedLine(cards[1]), "Saved: 2 of 2 events\n");
    EXPECT_EQ(SavedLine(cards[2]), "Saved: 2 of 2 events\n");
  }
}

// The station's day files of the archive (relative path and bytes) whose path holds `part`.
std::map<std::string, std::string> FilesWith(const std::map<std::string, std::string>& files,
                                             const std::string& part) {
  std::map<std::string, std::string> chosen;
  for (const auto& [path, bytes] : files) {
    if (path.find(part) != std::string::npos) chosen[path] = bytes;
  }
  return chosen;
}

// Whether anything under root has a temporary name (a hidden one).
bool AnyHidden(const std::string& root) {
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.path().filename().string()[0] == '.') return true;
  }
  return false;
}

// Station 12's event before the one in the archive waits for the rewrite of its day files at
// the run's end, where the disk fills: the station's day files stay as they were, the event is
// not saved nor recorded, and the other card's event is. With room again, the next ingest
// completes.
TEST_F(IngestFaults, ADiskFillingDuringARewriteKeepsTheDayFilesAndLeavesTheEventUnsaved) {
  TCardBuilder filed, earlier, other;
  filed.Events = {EventAt("12", "1100", "001")};
  earlier.Events = {EventAt("12", "1000", "002")};
  other.Events = {EventAt("13", "1000", "001")};
  const std::vector<std::string> cards = WriteCards({filed, earlier, other});
  const std::string archive = Work / "archive";
  ASSERT_EQ(RunCaptured({"ingest", cards[0], "--archive", archive}).Code, 0);
  const std::map<std::string, std::string> before = ArchiveFiles(archive);
  ASSERT_EQ(before.size(), 3u);

  platform::TFaultPlan plan;
  plan.PathContains = "XX.012.00.";
  plan.WriteBytesLeft = 700;
  platform::SetFaultPlan(plan);
  const TRun full = RunCaptured({"ingest", cards[1], cards[2], "--archive", archive});
  platform::ClearFaultPlan();
  EXPECT_EQ(full.Code, 1);
  EXPECT_NE(full.Out.find(cards[1] + ": 0 events ingested, 0 already in the archive, 1 NOT SAVED"),
            std::string::npos)
      << full.Out;
  EXPECT_NE(full.Out.find("  not saved: 05121000.002\n"), std::string::npos) << full.Out;
  EXPECT_NE(full.Out.find(cards[2] + ": 1 event ingested"), std::string::npos) << full.Out;
  EXPECT_EQ(Differences(FilesWith(ArchiveFiles(archive), "/012/"), before), "");
  EXPECT_FALSE(AnyHidden(archive));
  EXPECT_EQ(SavedLine(cards[1]), "Saved: 0 of 1 events\n");
  EXPECT_EQ(SavedLine(cards[2]), "Saved: 1 of 1 events\n");
  TRun verify = RunCaptured({"verify", archive});
  EXPECT_EQ(verify.Code, 0) << verify.Out;
  EXPECT_TRUE(verify.Out.ends_with("\n6 intact, 0 changed, 0 missing\n")) << verify.Out;

  const TRun again = RunCaptured({"ingest", cards[1], cards[2], "--archive", archive});
  EXPECT_EQ(again.Code, 0) << again.Out << again.Err;
  EXPECT_EQ(SavedLine(cards[1]), "Saved: 1 of 1 events\n");
  verify = RunCaptured({"verify", archive});
  EXPECT_TRUE(verify.Out.ends_with("\n9 intact, 0 changed, 0 missing\n")) << verify.Out;
  // Every record the day files held is still there, byte for byte, the new ones before them.
  for (const auto& [path, bytes] : FilesWith(ArchiveFiles(archive), "/012/")) {
    EXPECT_TRUE(bytes.ends_with(before.at(path))) << path;
  }
}

// A day file of the archive that is no series of records: the event that goes into it is
// refused with a message naming the file, which is left byte for byte; the other cards' events
// are saved.
TEST_F(IngestFaults, ACorruptDayFileIsNamedAndLeftAsItIsAndOtherCardsAreSaved) {
  TCardBuilder filed, later, other;
  filed.Events = {EventAt("12", "1000", "001")};
  later.Events = {EventAt("12", "1100", "002")};
  other.Events = {EventAt("13", "1100", "001")};
  const std::vector<std::string> cards = WriteCards({filed, later, other});
  const std::string archive = Work / "archive";
  ASSERT_EQ(RunCaptured({"ingest", cards[0], "--archive", archive}).Code, 0);
  std::map<std::string, std::string> before = ArchiveFiles(archive);
  ASSERT_EQ(before.size(), 3u);
  std::string corrupt;
  for (auto& [path, bytes] : before) {
    if (path.find("EHZ") == std::string::npos) continue;
    corrupt = path;
    bytes.replace(0, 8, "garbage!");  // the first record's sequence number and quality
    testing_support::WriteWholeFile(archive + "/" + path, bytes);
  }
  ASSERT_FALSE(corrupt.empty());

  const TRun run = RunCaptured({"ingest", cards[1], cards[2], "--archive", archive});
  EXPECT_EQ(run.Code, 1);
  EXPECT_NE((run.Out + run.Err).find(archive + "/" + corrupt), std::string::npos)
      << run.Out << run.Err;
  EXPECT_NE(run.Out.find("  not saved: 05121100.002\n"), std::string::npos) << run.Out;
  EXPECT_NE(run.Out.find(cards[2] + ": 1 event ingested"), std::string::npos) << run.Out;
  // Station 12's day files as they were, the corrupt one included.
  EXPECT_EQ(Differences(FilesWith(ArchiveFiles(archive), "/012/"), before), "");
  EXPECT_FALSE(AnyHidden(archive));
  EXPECT_EQ(SavedLine(cards[1]), "Saved: 0 of 1 events\n");
  EXPECT_EQ(SavedLine(cards[2]), "Saved: 1 of 1 events\n");
}

}  // namespace
