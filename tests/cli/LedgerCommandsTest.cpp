// The download ledger seen from the command line: the erase guard, status --saved, verify and
// ledger, and a ledger that cannot be used.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <nlohmann/json.hpp>
#include <thread>

#include "ledger/Ledger.h"

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
  EXPECT_NE(run.Err.find("2 events have no saved copy:\n  05121030.001 (saved copy missing: " +
                         Out.Path() + "/"),
            std::string::npos)
      << run.Err;
  EXPECT_NE(run.Err.find(")\n  05121030.003\n"), std::string::npos) << run.Err;

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

// Runs `body` while a watchdog opens `fifo` for writing whenever a reader waits on it, so that
// a read blocked there comes back; true when one had to be rescued.
bool RescuedFromFifo(const std::string& fifo, const std::function<void()>& body) {
  std::atomic<bool> done{false};
  std::atomic<bool> rescued{false};
  std::thread watchdog([&] {
    for (int waited = 0; !done && waited < 300; ++waited) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    struct stat info;
    while (!done && ::lstat(fifo.c_str(), &info) == 0 && S_ISFIFO(info.st_mode)) {
      const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
      if (writer >= 0) {
        rescued = true;
        ::close(writer);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  body();
  done = true;
  watchdog.join();
  return rescued;
}

TEST_F(LedgerCommandsTest, EraseNeedsCopiesThatStillHoldWhatTheCardHolds) {
  // Each way a copy of event 001 can stop being one, or the card stop being the card saved.
  // The size of every file stays what was recorded.
  struct TCase {
    const char* Name;
    std::function<void(const std::string& file)> Spoil;
    const char* Why;
  };
  const std::string dataFile = CardDir / "fichbase.dat";
  const std::vector<TCase> cases = {
      {"a byte overwritten",
       [](const std::string& file) {
         std::string bytes = ReadWholeFile(file);
         bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x40);
         WriteWholeFile(file, bytes);
       },
       "SHA-256 differs"},
      {"a sparse file of zeros",
       [](const std::string& file) {
         const auto size = std::filesystem::file_size(file);
         std::filesystem::remove(file);
         WriteWholeFile(file, "");
         std::filesystem::resize_file(file, size);
       },
       "SHA-256 differs"},
      {"a link to other data",
       [this](const std::string& file) {
         const std::string other = Out / "other-data";
         WriteWholeFile(other, std::string(std::filesystem::file_size(file), 'x'));
         std::filesystem::remove(file);
         std::filesystem::create_symlink(other, file);
       },
       "not a regular file"},
      {"a FIFO",
       [](const std::string& file) {
         std::filesystem::remove(file);
         ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
       },
       "not a regular file"},
      {"a card of equal headers with other samples",
       [&](const std::string&) {
         // Another recorder of the same configuration, or the card used again.
         std::string bytes = ReadWholeFile(dataFile);
         const size_t sample =
             static_cast<size_t>(Card.EventOffset(0)) + Card.Events[0].HeaderBytes().size() + 30;
         bytes[sample] = static_cast<char>(bytes[sample] ^ 1);
         WriteWholeFile(dataFile, bytes);
       },
       "the card holds other samples than those saved"},
  };
  for (const TCase& spoiled : cases) {
    SCOPED_TRACE(spoiled.Name);
    testing_support::TScopedDataHome home;
    std::filesystem::remove_all(Out.Path());
    std::filesystem::create_directory(Out.Path());
    Card.WriteTo(CardDir.Path());
    ASSERT_EQ(Download("1-3").Code, 0);
    const std::string file = Out / FilesIn(Out.Path())[1];
    ASSERT_NE(file.find(".001_"), std::string::npos) << file;
    spoiled.Spoil(file);
    const std::string card = ReadWholeFile(dataFile);

    const TRun erase = RunCaptured({"erase", CardDir.Path(), "--yes"});
    EXPECT_EQ(erase.Code, 1);
    EXPECT_TRUE(
        erase.Err.starts_with("readtarq-cli erase: 1 event has no saved copy:\n"
                              "  05121030.001 ("))
        << erase.Err;
    EXPECT_NE(erase.Err.find(spoiled.Why), std::string::npos) << erase.Err;
    EXPECT_TRUE(ReadWholeFile(dataFile) == card) << "the card was erased";

    // verify reads only regular files: nothing at a path makes it wait.
    TRun verify;
    EXPECT_FALSE(RescuedFromFifo(file, [&] { verify = RunCaptured({"verify", Out.Path()}); }));
    if (std::string_view(spoiled.Why) != "the card holds other samples than those saved") {
      EXPECT_EQ(verify.Code, 1);
      EXPECT_NE(verify.Out.find(file + "\t" + spoiled.Why), std::string::npos) << verify.Out;
    }
  }
}

TEST_F(LedgerCommandsTest, ReadingCommandsWorkOnALedgerThatCannotBeWritten) {
  const std::string place = Out / "home";
  ASSERT_TRUE(std::filesystem::create_directory(place));
  const bool mounted = ::mount("tmpfs", place.c_str(), "tmpfs", 0, "size=4m") == 0;
  struct TUnmount {
    std::string Path;
    bool Mounted;
    ~TUnmount() {
      if (Mounted) ::umount2(Path.c_str(), MNT_DETACH);
    }
  } unmount{place, mounted};
  if (!mounted && ::geteuid() == 0) GTEST_SKIP() << "root, and no file system can be mounted";
  testing_support::TScopedDataHome home(place);
  ASSERT_EQ(Download("2").Code, 0);
  if (mounted) {
    ASSERT_EQ(::mount(nullptr, place.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
  } else {
    ::chmod((place + "/readtarq/ledger.sqlite").c_str(), 0444);
    ::chmod((place + "/readtarq").c_str(), 0555);
  }
  const TRun ledger = RunCaptured({"ledger"});
  EXPECT_EQ(ledger.Code, 0) << ledger.Err;
  EXPECT_NE(ledger.Out.find("\t05121030.002\t"), std::string::npos) << ledger.Out;
  const TRun verify = RunCaptured({"verify"});
  EXPECT_EQ(verify.Code, 0) << verify.Err;
  EXPECT_EQ(verify.Out.substr(verify.Out.rfind('\n', verify.Out.size() - 2) + 1),
            "3 intact, 0 changed, 0 missing\n");
  EXPECT_EQ(SavedLine(), "Saved: 1 of 3 events\n");
  if (!mounted) ::chmod((place + "/readtarq").c_str(), 0755);
}

TEST_F(LedgerCommandsTest, ALedgerLockedByAnotherProgramIsWaitedForThenSaid) {
  ASSERT_EQ(Download("1").Code, 0);  // the ledger exists
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(TLedger::DefaultPath().c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  const int timeout = TLedger::BusyTimeoutMs;
  TLedger::BusyTimeoutMs = 1500;
  const TRun locked = Download("2-3");
  TLedger::BusyTimeoutMs = timeout;
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);

  EXPECT_EQ(locked.Code, 3);
  EXPECT_EQ(FilesIn(Out.Path()).size(), 9u);  // the files are saved all the same
  EXPECT_NE(locked.Err.find("another program is using it; waiting for it (up to 2 s)"),
            std::string::npos)
      << locked.Err;
  EXPECT_TRUE(locked.Err.ends_with(
      "readtarq-cli download: 2 events were saved but not recorded in the download ledger; an "
      "erase counts them as not saved:\n  05121030.002\n  05121030.003\n"))
      << locked.Err;
  EXPECT_EQ(SavedLine(), "Saved: 1 of 3 events\n");

  // Once free, the ledger records again.
  EXPECT_EQ(Download("2-3").Code, 0);
  EXPECT_EQ(SavedLine(), "Saved: 3 of 3 events\n");
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
  // The bytes escaped beside it give the real path back.
  auto unescaped = [](const std::string& text) {
    std::string bytes;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '%' && i + 2 < text.size()) {
        bytes += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
        i += 2;
      } else {
        bytes += text[i];
      }
    }
    return bytes;
  };
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"ledger", "--card", otherDir.Path(), "--json"},
        std::vector<std::string>{"verify", latin1, "--json"}}) {
    run = RunCaptured(command);
    EXPECT_EQ(run.Code, 0) << command[0];
    EXPECT_NE(run.Out.find("r\xef\xbf\xbdsultats"), std::string::npos) << run.Out;
    ASSERT_TRUE(nlohmann::json::accept(run.Out)) << run.Out;
    const nlohmann::json parsed = nlohmann::json::parse(run.Out);
    const nlohmann::json& file =
        command[0] == "ledger" ? parsed.back()["files"][0] : parsed["files"][0];
    const std::string path = unescaped(file.value("path_escaped", ""));
    EXPECT_TRUE(path.starts_with(latin1 + "/")) << file;
    EXPECT_TRUE(std::filesystem::is_regular_file(path)) << path;
    if (command[0] == "ledger") {
      EXPECT_EQ(unescaped(parsed.back().value("destination_escaped", "")), latin1);
      EXPECT_FALSE(parsed[0]["files"][0].contains("path_escaped"));  // UTF-8 as it is
    }
  }
}

TEST_F(LedgerCommandsTest, TwoCardsOfOneRecorderAreTwoCards) {
  // The recorder's next card: the same signature, size and label, other events.
  TCardBuilder next = Card;
  for (TBuiltEvent& event : next.Events) event.FileStem = "06141200";
  testing_support::TTempDir nextDir;
  next.WriteTo(nextDir.Path());
  ASSERT_EQ(Download("1-2").Code, 0);
  ASSERT_EQ(
      RunCaptured({"download", nextDir.Path(), "--to", Out.Path(), "--sac", "--events", "3"}).Code,
      0);
  const nlohmann::json all = nlohmann::json::parse(RunCaptured({"ledger", "--json"}).Out);
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0]["card"], all[2]["card"]);  // nothing in the card's files tells them apart

  auto names = [](const std::string& card) {
    std::vector<std::string> list;
    for (const auto& copy :
         nlohmann::json::parse(RunCaptured({"ledger", "--card", card, "--json"}).Out)) {
      list.push_back(copy["original_file_name"]);
    }
    return list;
  };
  EXPECT_EQ(names(CardDir.Path()), (std::vector<std::string>{"05121030.001", "05121030.002"}));
  EXPECT_EQ(names(nextDir.Path()), (std::vector<std::string>{"06141200.003"}));
  EXPECT_EQ(SavedLine(), "Saved: 2 of 3 events\n");
  EXPECT_TRUE(
      RunCaptured({"status", nextDir.Path(), "--saved"}).Out.ends_with("Saved: 1 of 3 events\n"));
  // An erased card still holds its events: they stay its own.
  ASSERT_EQ(RunCaptured({"erase", CardDir.Path(), "--yes", "--force"}).Code, 0);
  EXPECT_EQ(names(CardDir.Path()), (std::vector<std::string>{"05121030.001", "05121030.002"}));
}

TEST_F(LedgerCommandsTest, RelocateFollowsCopiesMovedToABackupDisk) {
  ASSERT_EQ(Download("1-3").Code, 0);
  const std::string backup = CardDir / "backup";
  std::filesystem::rename(Out.Path(), backup);
  EXPECT_EQ(SavedLine(), "Saved: 0 of 3 events\n");
  EXPECT_EQ(RunCaptured({"erase", CardDir.Path(), "--yes"}).Code, 1);

  // One file changed on the way: its event keeps its old place, the others count again.
  const std::vector<std::string> files = FilesIn(backup);
  ASSERT_EQ(files.size(), 9u);
  std::string bytes = ReadWholeFile(backup + "/" + files[0]);
  bytes.back() ^= 1;
  WriteWholeFile(backup + "/" + files[0], bytes);
  TRun run = RunCaptured({"relocate", Out.Path(), backup});
  EXPECT_EQ(run.Code, 1);
  EXPECT_NE(run.Out.find("changed\t" + backup + "/" + files[0] + "\tSHA-256 differs\n"),
            std::string::npos)
      << run.Out;
  EXPECT_TRUE(run.Out.ends_with("8 found intact, 1 not\n")) << run.Out;
  EXPECT_EQ(SavedLine(), "Saved: 2 of 3 events\n");
  EXPECT_TRUE(RunCaptured({"verify", backup}).Out.ends_with("\n6 intact, 0 changed, 0 missing\n"));

  // Put right, the last one moves too, and the card may be erased.
  bytes.back() ^= 1;
  WriteWholeFile(backup + "/" + files[0], bytes);
  run = RunCaptured({"relocate", Out.Path(), backup});
  EXPECT_EQ(run.Code, 0) << run.Err;
  EXPECT_EQ(run.Out.substr(run.Out.rfind('\n', run.Out.size() - 2) + 1), "3 found intact, 0 not\n");
  EXPECT_EQ(RunCaptured({"erase", CardDir.Path(), "--yes"}).Code, 0);
  run = RunCaptured({"relocate", Out.Path(), backup});
  EXPECT_EQ(run.Code, 1);
  EXPECT_NE(run.Err.find("nothing saved is recorded under " + Out.Path()), std::string::npos);
}

TEST_F(LedgerCommandsTest, VerifyNamesTheEventOfArchivedRecords) {
  {
    TLedger ledger;
    ASSERT_EQ(ledger.Open(TLedger::DefaultPath()), std::nullopt);
    TSavedEvent event;
    event.EventIdentity = "ev";
    event.OriginalFileName = "05121030.001";
    event.Destination = Out.Path();
    event.Channels = {{Out.Path(),
                       "2026/XX/ST1/HHZ.D/XX.ST1.00.HHZ.D.2026.165",
                       "XX.ST1.00.HHZ",
                       {1, 2},
                       std::string(64, 'a')}};
    ASSERT_EQ(ledger.RecordSavedEvent(event), std::nullopt);
  }
  const TRun run = RunCaptured({"verify", Out.Path()});
  EXPECT_EQ(run.Code, 1);
  const std::string path = Out / "2026/XX/ST1/HHZ.D/XX.ST1.00.HHZ.D.2026.165";
  EXPECT_TRUE(
      run.Out.starts_with("missing\t" + path + "\tXX.ST1.00.HHZ, 2 records of 05121030.001: "))
      << run.Out;
  EXPECT_TRUE(run.Out.ends_with("0 intact, 0 changed, 1 missing\n")) << run.Out;
  const nlohmann::json json = nlohmann::json::parse(RunCaptured({"verify", "--json"}).Out);
  EXPECT_EQ(json["missing"], 1);
  EXPECT_EQ(json["archived"][0]["path"], path);
  EXPECT_EQ(json["archived"][0]["record_count"], 2);
  EXPECT_EQ(json["archived"][0]["original_file_name"], "05121030.001");
  EXPECT_EQ(RunCaptured({"ledger"}).Out.substr(20),
            "\t05121030.001\t\t" + Out.Path() + "\t0 files, 1 channel archived\n");
}

TEST_F(LedgerCommandsTest, AnUnusableLedgerWarnsAndNothingCountsAsSaved) {
  // A ledger cut short cannot be read: the saved count says so.
  ASSERT_EQ(Download("1").Code, 0);
  const std::string cut = TLedger::DefaultPath();
  std::filesystem::resize_file(cut, std::filesystem::file_size(cut) / 2);
  const TRun count = RunCaptured({"status", CardDir.Path(), "--saved"});
  EXPECT_EQ(count.Code, 1);
  EXPECT_TRUE(count.Out.ends_with("Saved: unknown, the download ledger cannot be read\n"))
      << count.Out;

  // The data home is a file: no ledger can be made there, whoever runs the test.
  WriteWholeFile(Out / "not-a-directory", "");
  testing_support::TScopedDataHome home(Out / "not-a-directory");
  testing_support::TTempDir to;
  const TRun run = RunCaptured({"download", CardDir.Path(), "--to", to.Path()});
  EXPECT_EQ(run.Code, 3);  // converted, not recorded
  EXPECT_EQ(FilesIn(to.Path()).size(), 3u);
  EXPECT_TRUE(run.Err.starts_with("readtarq-cli download: warning: ")) << run.Err;
  EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 1) << run.Err;

  // The saved count cannot be given: it says so, and fails.
  const TRun status = RunCaptured({"status", CardDir.Path(), "--saved"});
  EXPECT_EQ(status.Code, 1);
  EXPECT_TRUE(status.Out.ends_with("Saved: unknown, the download ledger cannot be read\n"))
      << status.Out;
  EXPECT_TRUE(status.Err.starts_with("readtarq-cli status: warning: Download ledger "))
      << status.Err;
  const TRun erase = RunCaptured({"erase", CardDir.Path(), "--yes"});
  EXPECT_EQ(erase.Code, 1);
  EXPECT_NE(erase.Err.find("3 events have no saved copy (the download ledger is off):\n"),
            std::string::npos)
      << erase.Err;
  EXPECT_EQ(RunCaptured({"verify"}).Code, 1);
}

}  // namespace
