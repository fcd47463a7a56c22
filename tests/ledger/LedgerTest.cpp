#include "ledger/Ledger.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "base/Sha256.h"
#include "support/TestSupport.h"

using testing_support::ReadWholeFile;
using testing_support::TTempDir;
using testing_support::WriteWholeFile;

namespace {

class LedgerTest : public ::testing::Test {
 protected:
  TTempDir Dir;
  std::string LedgerPath() const { return Dir / "data/readtarq/ledger.sqlite"; }

  // Writes a file of the destination and returns it as the run would record it.
  TSavedFile Write(const std::string& path, const std::string& bytes, const std::string& kind) {
    WriteWholeFile(path, bytes);
    return {path, static_cast<int64_t>(bytes.size()), TSha256::HexOf(bytes), kind};
  }

  TSavedEvent Event(const std::string& id, const std::string& name, const std::string& to,
                    std::vector<TSavedFile> files, const std::string& cardKey = "card-1") {
    TSavedEvent event;
    event.EventIdentity = id;
    event.Card.Key = cardKey;
    event.Card.Signature = "TARQP0410";
    event.Card.Label = "STATION 12";
    event.Card.DataFileSize = 3'000'009;
    event.Card.UsedSize = 1200;
    event.OriginalFileName = name;
    event.Destination = to;
    event.Files = std::move(files);
    return event;
  }
};

TEST_F(LedgerTest, RecordsAndReadsBackSavedEvents) {
  TLedger ledger;
  ASSERT_EQ(ledger.Open(LedgerPath()), std::nullopt);  // its directories are created
  ledger.Now = [] { return std::string("2026-12-08T14:05:09Z"); };
  const std::string out = Dir.Path();
  ASSERT_EQ(ledger.RecordSavedEvent(Event("ev-a", "05121030.001", out,
                                          {Write(out + "/a.rec", "record", "record"),
                                           Write(out + "/a.bin", "binary!", "binary")})),
            std::nullopt);
  ASSERT_EQ(ledger.RecordSavedEvent(
                Event("ev-b", "05121031.002", out, {Write(out + "/b.sac", "s", "sac")}, "card-2")),
            std::nullopt);
  EXPECT_TRUE(ledger.RecordSavedEvent(Event("ev-c", "none", out, {})).has_value());

  // A second process's view: a fresh connection.
  TLedger reader;
  ASSERT_EQ(reader.Open(LedgerPath()), std::nullopt);
  const auto copies = reader.SavedCopies("ev-a");
  ASSERT_EQ(copies.size(), 1u);
  const TSavedCopy& copy = copies[0];
  EXPECT_EQ(copy.OriginalFileName, "05121030.001");
  EXPECT_EQ(copy.Destination, out);
  EXPECT_EQ(copy.SavedAt, "2026-12-08T14:05:09Z");
  EXPECT_EQ(copy.ProgramVersion, READTARQ_VERSION_TEXT);
  EXPECT_EQ(copy.Card.Key, "card-1");
  EXPECT_EQ(copy.Card.Label, "STATION 12");
  EXPECT_EQ(copy.Card.DataFileSize, 3'000'009);
  ASSERT_EQ(copy.Files.size(), 2u);
  EXPECT_EQ(copy.Files[0].Path, out + "/a.rec");
  EXPECT_EQ(copy.Files[0].Size, 6);
  EXPECT_EQ(copy.Files[0].Sha256, TSha256::HexOf("record"));
  EXPECT_EQ(copy.Files[1].Kind, "binary");

  EXPECT_EQ(reader.List().size(), 2u);
  const auto second = reader.List("card-2");
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(second[0].EventIdentity, "ev-b");
  EXPECT_TRUE(reader.List("card-3").empty());
  EXPECT_TRUE(reader.SavedCopies("ev-c").empty());

  // The time of a record is UTC ISO 8601 by default.
  const std::string now = UtcNowText();
  EXPECT_EQ(now.size(), 20u);
  EXPECT_EQ(now[10], 'T');
  EXPECT_EQ(now.back(), 'Z');
}

TEST_F(LedgerTest, SavedOnlyWhileOneCopyHasAllItsFilesAtTheirSize) {
  TLedger ledger;
  ASSERT_EQ(ledger.Open(LedgerPath()), std::nullopt);
  const std::string first = Dir / "first";
  const std::string second = Dir / "second";
  ASSERT_TRUE(std::filesystem::create_directory(first));
  ASSERT_TRUE(std::filesystem::create_directory(second));
  ledger.RecordSavedEvent(Event(
      "ev", "E.001", first,
      {Write(first + "/e.rec", "12345", "record"), Write(first + "/e.bin", "abc", "binary")}));
  EXPECT_TRUE(ledger.IsSaved("ev"));
  EXPECT_FALSE(ledger.IsSaved("other"));

  WriteWholeFile(first + "/e.bin", "abcd");  // another size
  EXPECT_FALSE(ledger.IsSaved("ev"));
  WriteWholeFile(first + "/e.bin", "xyz");  // same size: counts, contents are for verify
  EXPECT_TRUE(ledger.IsSaved("ev"));
  std::filesystem::remove(first + "/e.rec");
  EXPECT_FALSE(ledger.IsSaved("ev"));
  std::filesystem::create_directory(first + "/e.rec");  // not a file
  EXPECT_FALSE(ledger.IsSaved("ev"));

  // A second download of the event elsewhere saves it again; the broken first copy stays
  // recorded.
  ledger.RecordSavedEvent(Event("ev", "E.001", second, {Write(second + "/e.sac", "s", "sac")}));
  EXPECT_TRUE(ledger.IsSaved("ev"));
  EXPECT_EQ(ledger.SavedCopies("ev").size(), 2u);
}

TEST_F(LedgerTest, VerifyFindsChangedAndMissingFilesUnderADirectory) {
  TLedger ledger;
  ASSERT_EQ(ledger.Open(LedgerPath()), std::nullopt);
  const std::string out = Dir / "out";
  const std::string sibling = Dir / "out2";  // shares the name's beginning, not the directory
  std::filesystem::create_directories(out + "/sub");
  std::filesystem::create_directories(sibling);
  ledger.RecordSavedEvent(Event("ev-1", "A.001", out,
                                {Write(out + "/a.rec", "intact", "record"),
                                 Write(out + "/a.bin", "one byte changes", "binary"),
                                 Write(out + "/sub/a.sac", "goes away", "sac"),
                                 Write(out + "/grows.rec", "short", "record")}));
  ledger.RecordSavedEvent(
      Event("ev-2", "B.001", sibling, {Write(sibling + "/b.rec", "b", "record")}));
  // The same name written again later (the first file had been deleted): the latest counts.
  ledger.RecordSavedEvent(Event("ev-3", "C.001", out, {Write(out + "/a.rec", "again", "record")}));

  WriteWholeFile(out + "/a.bin", "one byte chAnges");
  std::filesystem::remove(out + "/sub/a.sac");
  WriteWholeFile(out + "/grows.rec", "shorter");

  const auto files = ledger.Verify(out + "/");
  ASSERT_EQ(files.size(), 4u);  // sorted by path, the sibling directory left out
  EXPECT_EQ(files[0].File.Path, out + "/a.bin");
  EXPECT_EQ(files[0].State, TFileState::Changed);
  EXPECT_EQ(files[0].Detail, "SHA-256 differs");
  EXPECT_EQ(files[1].File.Path, out + "/a.rec");
  EXPECT_EQ(files[1].State, TFileState::Intact);
  EXPECT_EQ(files[1].EventIdentity, "ev-3");
  EXPECT_EQ(files[2].File.Path, out + "/grows.rec");
  EXPECT_EQ(files[2].State, TFileState::Changed);
  EXPECT_EQ(files[2].ActualSize, 7);
  EXPECT_EQ(files[3].File.Path, out + "/sub/a.sac");
  EXPECT_EQ(files[3].State, TFileState::Missing);
  EXPECT_EQ(files[3].OriginalFileName, "A.001");
  EXPECT_STREQ(FileStateText(files[3].State), "missing");

  EXPECT_EQ(ledger.Verify().size(), 5u);
  const auto subdir = ledger.Verify(out + "/sub");
  ASSERT_EQ(subdir.size(), 1u);
  EXPECT_EQ(subdir[0].State, TFileState::Missing);
}

TEST_F(LedgerTest, TwoProcessesWritingAtOnceKeepItWhole) {
  // Both writers open a ledger that does not exist yet, then record at the same time.
  constexpr int PerWriter = 150;
  const std::string out = Dir.Path();
  WriteWholeFile(out + "/f", "x");
  pid_t writers[2];
  for (int w = 0; w < 2; ++w) {
    writers[w] = fork();
    ASSERT_GE(writers[w], 0);
    if (writers[w] == 0) {
      TLedger ledger;
      if (ledger.Open(LedgerPath())) _exit(2);
      for (int i = 0; i < PerWriter; ++i) {
        const std::string id = std::to_string(w) + "-" + std::to_string(i);
        TSavedEvent event = Event(id, "E." + id, out,
                                  {{out + "/f", 1, TSha256::HexOf("x"), "record"},
                                   {out + "/f" + id, 1, TSha256::HexOf("x"), "sac"}});
        if (ledger.RecordSavedEvent(event)) _exit(3);
      }
      _exit(0);
    }
  }
  for (pid_t writer : writers) {
    int status = 0;
    ASSERT_EQ(waitpid(writer, &status, 0), writer);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }

  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(LedgerPath().c_str(), &db), SQLITE_OK);
  std::string check;
  sqlite3_exec(
      db, "PRAGMA integrity_check",
      [](void* text, int, char** values, char**) {
        *static_cast<std::string*>(text) += values[0];
        return 0;
      },
      &check, nullptr);
  sqlite3_close(db);
  EXPECT_EQ(check, "ok");

  TLedger ledger;
  ASSERT_EQ(ledger.Open(LedgerPath()), std::nullopt);
  const auto saves = ledger.List();
  ASSERT_EQ(saves.size(), 2u * PerWriter);
  for (const TSavedCopy& save : saves) EXPECT_EQ(save.Files.size(), 2u) << save.EventIdentity;
  EXPECT_EQ(ledger.SavedCopies("1-" + std::to_string(PerWriter - 1)).size(), 1u);
}

TEST_F(LedgerTest, ACorruptLedgerGivesAWarningAndAnEmptyAnswer) {
  const std::string garbage = Dir / "garbage.sqlite";
  WriteWholeFile(garbage, std::string(8192, '\x5a'));
  TLedger ledger;
  const auto warning = ledger.Open(garbage);
  ASSERT_TRUE(warning.has_value());
  EXPECT_NE(warning->find(garbage), std::string::npos) << *warning;
  EXPECT_NE(warning->find("not a database"), std::string::npos) << *warning;
  EXPECT_NE(warning->find("The ledger is off"), std::string::npos) << *warning;
  EXPECT_FALSE(ledger.IsOpen());
  EXPECT_FALSE(ledger.IsSaved("ev"));
  EXPECT_TRUE(ledger.List().empty());
  EXPECT_TRUE(ledger.Verify().empty());
  EXPECT_TRUE(ledger.RecordSavedEvent(Event("ev", "E", Dir.Path(), {})).has_value());
  EXPECT_EQ(ReadWholeFile(garbage), std::string(8192, '\x5a'));  // left as it was

  // A ledger of a later, unknown layout is left alone.
  const std::string later = Dir / "later.sqlite";
  ASSERT_EQ(TLedger().Open(later), std::nullopt);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(later.c_str(), &db), SQLITE_OK);
  sqlite3_exec(db, "PRAGMA user_version = 5", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  for (const TLedger::TAccess access : {TLedger::TAccess::ReadWrite, TLedger::TAccess::ReadOnly}) {
    const auto unknown = TLedger().Open(later, access);
    ASSERT_TRUE(unknown.has_value());
    EXPECT_NE(unknown->find("unknown ledger version 5"), std::string::npos) << *unknown;
  }

  // A real ledger whose pages were overwritten after its header.
  {
    TLedger good;
    ASSERT_EQ(good.Open(LedgerPath()), std::nullopt);
    for (int i = 0; i < 200; ++i) {
      good.RecordSavedEvent(Event("ev" + std::to_string(i), "E", Dir.Path(),
                                  {{Dir / "f", 1, std::string(64, 'a'), "record"}}));
    }
  }
  std::string bytes = ReadWholeFile(LedgerPath());
  ASSERT_GT(bytes.size(), 8192u);
  for (size_t i = 4096 + 100; i < bytes.size(); i += 7) bytes[i] = '\x5a';
  WriteWholeFile(LedgerPath(), bytes);
  const auto damaged = TLedger().Open(LedgerPath());
  ASSERT_TRUE(damaged.has_value());
  EXPECT_NE(damaged->find("The ledger is off"), std::string::npos) << *damaged;
}

TEST_F(LedgerTest, ALedgerOfTheFirstLayoutIsReadAndBroughtUpToDate) {
  // The first layout: no content hash of the events on the card.
  std::filesystem::create_directories(Dir / "data/readtarq");
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(LedgerPath().c_str(), &db), SQLITE_OK);
  const std::string out = Dir.Path();
  Write(out + "/old.rec", "old", "record");
  const std::string first =
      "PRAGMA journal_mode=WAL;"
      "CREATE TABLE saves(id INTEGER PRIMARY KEY, event_id TEXT NOT NULL, card_key TEXT NOT "
      "NULL, card_signature TEXT NOT NULL, card_label TEXT NOT NULL, card_data_size INTEGER NOT "
      "NULL, card_used_size INTEGER NOT NULL, original_name TEXT NOT NULL, destination TEXT NOT "
      "NULL, saved_at TEXT NOT NULL, program_version TEXT NOT NULL);"
      "CREATE TABLE files(id INTEGER PRIMARY KEY, save_id INTEGER NOT NULL REFERENCES saves(id) "
      "ON DELETE CASCADE, path TEXT NOT NULL, size INTEGER NOT NULL, sha256 TEXT NOT NULL, kind "
      "TEXT NOT NULL);"
      "INSERT INTO saves VALUES(1, 'ev', 'card-1', 'TARQP0410', 'L', 9, 3, 'E.001', '" +
      out + "', '2025-01-02T03:04:05Z', '1.0');" + "INSERT INTO files VALUES(1, 1, '" + out +
      "/old.rec', 3, '" + TSha256::HexOf("old") + "', 'record');" + "PRAGMA user_version = 1;";
  ASSERT_EQ(sqlite3_exec(db, first.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);

  // Read as it is, then brought up to date by a writer; the old save keeps no content hash.
  for (const TLedger::TAccess access : {TLedger::TAccess::ReadOnly, TLedger::TAccess::ReadWrite}) {
    TLedger ledger;
    ASSERT_EQ(ledger.Open(LedgerPath(), access), std::nullopt);
    const auto copies = ledger.SavedCopies("ev");
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(copies[0].CardSha256, "");
    EXPECT_EQ(copies[0].Files[0].Path, out + "/old.rec");
    EXPECT_TRUE(ledger.IsSaved("ev"));
  }
  TLedger ledger;
  ASSERT_EQ(ledger.Open(LedgerPath()), std::nullopt);
  TSavedEvent event = Event("ev2", "E.002", out, {Write(out + "/new.rec", "new", "record")});
  event.CardSha256 = std::string(64, 'c');
  ASSERT_EQ(ledger.RecordSavedEvent(event), std::nullopt);
  EXPECT_EQ(ledger.SavedCopies("ev2")[0].CardSha256, std::string(64, 'c'));

  // A reader with no ledger at all has an empty one, and makes none.
  TLedger none;
  ASSERT_EQ(none.Open(Dir / "nowhere/ledger.sqlite", TLedger::TAccess::ReadOnly), std::nullopt);
  EXPECT_TRUE(none.List().empty());
  EXPECT_FALSE(std::filesystem::exists(Dir / "nowhere"));
}

TEST_F(LedgerTest, APlaceThatCannotHoldItGivesAWarning) {
  // A path through a regular file fails even for root.
  WriteWholeFile(Dir / "file", "x");
  for (const std::string& path :
       {std::string("/dev/null/ledger.sqlite"), Dir / "file/readtarq/ledger.sqlite", Dir.Path()}) {
    TLedger ledger;
    const auto warning = ledger.Open(path);
    ASSERT_TRUE(warning.has_value()) << path;
    EXPECT_NE(warning->find(path), std::string::npos) << *warning;
    EXPECT_FALSE(ledger.IsOpen());
  }
}

TEST_F(LedgerTest, AReadOnlyHomeOrLedgerGivesAWarning) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only directories";
  const std::string home = Dir / "home";
  std::filesystem::create_directory(home);
  ::chmod(home.c_str(), 0500);
  EXPECT_TRUE(TLedger().Open(home + "/.local/share/readtarq/ledger.sqlite").has_value());
  ::chmod(home.c_str(), 0700);

  // An existing ledger that may not be written.
  ASSERT_EQ(TLedger().Open(LedgerPath()), std::nullopt);
  ::chmod(LedgerPath().c_str(), 0400);
  const auto warning = TLedger().Open(LedgerPath());
  ASSERT_TRUE(warning.has_value());
  EXPECT_NE(warning->find("cannot be written"), std::string::npos) << *warning;
}

TEST(LedgerPlace, FollowsXdgDataHomeElseTheHomeDirectory) {
  const char* savedXdg = std::getenv("XDG_DATA_HOME");
  const std::string xdg = savedXdg ? savedXdg : "";
  setenv("XDG_DATA_HOME", "/data/home", 1);
  EXPECT_EQ(TLedger::DefaultPath(), "/data/home/readtarq/ledger.sqlite");
  unsetenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  if (home && *home) {
    EXPECT_EQ(TLedger::DefaultPath(), std::string(home) + "/.local/share/readtarq/ledger.sqlite");
  }
  if (savedXdg) setenv("XDG_DATA_HOME", xdg.c_str(), 1);
}

}  // namespace
