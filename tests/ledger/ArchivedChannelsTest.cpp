// What the ledger keeps of events filed into an SDS archive: per channel the records they wrote
// into a day file, found again by codes and start times among other events' records, through
// rewrites of the day file, and moved with the archive to another disk.

#include <gtest/gtest.h>
#include <libmseed.h>
#include <sqlite3.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "base/Sha256.h"
#include "ledger/Ledger.h"
#include "ledger/SavedEvents.h"
#include "support/ConvertFixture.h"
#include "support/TestSupport.h"

using testing_support::ReadWholeFile;
using testing_support::TTempDir;
using testing_support::WriteWholeFile;

namespace {

constexpr int64_t Second = 1'000'000;
// 2026-06-14T00:00:00Z in microseconds.
constexpr int64_t Day = 1'781'395'200 * Second;

void Collect(char* record, int length, void* into) {
  static_cast<std::string*>(into)->append(record, static_cast<size_t>(length));
}

// One 512-byte miniSEED record of 50 samples at 100 Hz from `start`, its values from `seed`.
std::string Record(const std::string& channel, int64_t start, int32_t seed) {
  std::vector<int32_t> samples(50);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = seed + static_cast<int32_t>(i);
  MSRecord* msr = msr_init(nullptr);
  std::strcpy(msr->network, "XX");
  std::strcpy(msr->station, "ST1");
  std::strcpy(msr->location, "00");
  std::strcpy(msr->channel, channel.c_str());
  msr->starttime = start;
  msr->samprate = 100;
  msr->reclen = 512;
  msr->encoding = DE_INT32;
  msr->byteorder = 1;
  msr->dataquality = 'D';
  msr->datasamples = samples.data();
  msr->numsamples = static_cast<int64_t>(samples.size());
  msr->sampletype = 'i';
  std::string bytes;
  int64_t packed = 0;
  msr_pack(msr, &Collect, &bytes, &packed, 1, 0);
  msr->datasamples = nullptr;
  msr_free(&msr);
  EXPECT_EQ(bytes.size(), 512u);
  return bytes;
}

// An event's records of one channel: `count` records a second apart from `start`.
struct TChannelRecords {
  std::vector<std::string> Records;
  TArchivedChannel Archived;
};

TChannelRecords Records(const std::string& root, const std::string& channel, int64_t start,
                        int count, int32_t seed) {
  TChannelRecords result;
  std::string all;
  for (int i = 0; i < count; ++i) {
    result.Records.push_back(Record(channel, start + i * Second, seed + i));
    result.Archived.RecordStarts.push_back(start + i * Second);
    all += result.Records.back();
  }
  result.Archived.Root = root;
  result.Archived.DayFile = "2026/XX/ST1/" + channel + ".D/XX.ST1.00." + channel + ".D.2026.165";
  result.Archived.Codes = "XX.ST1.00." + channel;
  result.Archived.Sha256 = TSha256::HexOf(all);
  return result;
}

std::string Joined(const std::vector<std::string>& records) {
  std::string all;
  for (const std::string& record : records) all += record;
  return all;
}

class ArchivedChannels : public ::testing::Test {
 protected:
  void SetUp() override {
    // Event a: 3 records on HHZ and HHN at 10:00; event b: 2 records on HHZ at 11:00, in the
    // same day file as a's.
    A = Records(Root(), "HHZ", Day + 10 * 3600 * Second, 3, 100);
    AN = Records(Root(), "HHN", Day + 10 * 3600 * Second, 3, 500);
    B = Records(Root(), "HHZ", Day + 11 * 3600 * Second, 2, 900);
    WriteDayFiles(Joined(A.Records) + Joined(B.Records));
    ASSERT_EQ(Ledger.Open(Dir / "ledger.sqlite"), std::nullopt);
    ASSERT_EQ(Ledger.RecordSavedEvent(Event("ev-a", "A.001", {A.Archived, AN.Archived})),
              std::nullopt);
    ASSERT_EQ(Ledger.RecordSavedEvent(Event("ev-b", "B.002", {B.Archived})), std::nullopt);
  }

  std::string Root() const { return Dir / "archive"; }
  void WriteDayFiles(const std::string& z) {
    std::filesystem::create_directories(Root() + "/2026/XX/ST1/HHZ.D");
    std::filesystem::create_directories(Root() + "/2026/XX/ST1/HHN.D");
    WriteWholeFile(A.Archived.Path(), z);
    WriteWholeFile(AN.Archived.Path(), Joined(AN.Records));
  }
  TSavedEvent Event(const std::string& id, const std::string& name,
                    std::vector<TArchivedChannel> channels) {
    TSavedEvent event;
    event.EventIdentity = id;
    event.CardSha256 = std::string(64, 'c');
    event.Card.Key = "card-1";
    event.OriginalFileName = name;
    event.Destination = Root();
    event.Channels = std::move(channels);
    return event;
  }
  // The states VerifyArchive gives, as "event codes state detail" lines.
  std::vector<std::string> States(const std::string& under = "") {
    std::vector<std::string> lines;
    for (const TVerifiedChannel& channel : Ledger.VerifyArchive(under)) {
      lines.push_back(channel.OriginalFileName + " " + channel.Channel.Codes + " " +
                      FileStateText(channel.State) + " " + channel.Detail);
    }
    return lines;
  }

  TTempDir Dir;
  TChannelRecords A, AN, B;
  TLedger Ledger;
};

TEST_F(ArchivedChannels, RecordedAndReadBackWithTheSaves) {
  const std::vector<TSavedCopy> copies = Ledger.SavedCopies("ev-a");
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_TRUE(copies[0].Files.empty());
  ASSERT_EQ(copies[0].Channels.size(), 2u);
  const TArchivedChannel& z = copies[0].Channels[0];
  EXPECT_EQ(z.Root, Root());
  EXPECT_EQ(z.DayFile, A.Archived.DayFile);
  EXPECT_EQ(z.Codes, "XX.ST1.00.HHZ");
  EXPECT_EQ(z.RecordStarts, A.Archived.RecordStarts);
  EXPECT_EQ(z.Sha256, A.Archived.Sha256);
  EXPECT_EQ(Ledger.List().size(), 2u);
  // Present while its day files are.
  EXPECT_TRUE(Ledger.IsSaved("ev-a"));
  std::filesystem::remove(AN.Archived.Path());
  EXPECT_FALSE(Ledger.IsSaved("ev-a"));
  EXPECT_TRUE(Ledger.IsSaved("ev-b"));
}

TEST_F(ArchivedChannels, VerifyFindsEachEventsRecordsAmongOthers) {
  const std::vector<std::string> intact = {
      "A.001 XX.ST1.00.HHN intact ", "A.001 XX.ST1.00.HHZ intact ", "B.002 XX.ST1.00.HHZ intact "};
  EXPECT_EQ(States(), intact);
  // A later insertion rewrote the day file with an earlier event's records before them: the
  // records are the same bytes, so the events stay intact.
  const std::string early = Record("HHZ", Day + 3600 * Second, 7) + Record("HHE", Day, 7);
  const std::string z = Joined(A.Records) + Joined(B.Records);
  WriteDayFiles(early + z);
  EXPECT_EQ(States(), intact);

  struct TCase {
    const char* What;
    std::string DayFile;  // HHZ's
    std::vector<std::string> States;
  };
  std::string flipped = z;
  flipped[512 + 200] ^= 1;  // a sample of a's second record
  std::string moved = z;
  moved[2 * 512 + 26] ^= 1;  // the seconds of the start time of a's third record
  const TCase cases[] = {
      {"a sample changed",
       flipped,
       {"A.001 XX.ST1.00.HHN intact ", "A.001 XX.ST1.00.HHZ changed SHA-256 differs",
        "B.002 XX.ST1.00.HHZ intact "}},
      {"a record's start changed",
       moved,
       {"A.001 XX.ST1.00.HHN intact ", "A.001 XX.ST1.00.HHZ changed 2 of 3 records found",
        "B.002 XX.ST1.00.HHZ intact "}},
      {"a's records gone",
       Joined(B.Records),
       {"A.001 XX.ST1.00.HHN intact ", "A.001 XX.ST1.00.HHZ missing 0 of 3 records found",
        "B.002 XX.ST1.00.HHZ intact "}},
      {"garbage after a's records",
       Joined(A.Records) + std::string(512, 'x'),
       {"A.001 XX.ST1.00.HHN intact ", "A.001 XX.ST1.00.HHZ intact ",
        "B.002 XX.ST1.00.HHZ missing 0 of 2 records found (no miniSEED record at byte 1536)"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    WriteDayFiles(c.DayFile);
    EXPECT_EQ(States(), c.States);
  }

  // A day file gone is missing; only the channels under a directory are read.
  WriteDayFiles(z);
  std::filesystem::remove(AN.Archived.Path());
  const std::vector<std::string> states = States();
  ASSERT_EQ(states.size(), 3u);
  EXPECT_TRUE(states[0].starts_with("A.001 XX.ST1.00.HHN missing ")) << states[0];
  EXPECT_EQ(
      States(Root() + "/2026/XX/ST1/HHZ.D"),
      (std::vector<std::string>{"A.001 XX.ST1.00.HHZ intact ", "B.002 XX.ST1.00.HHZ intact "}));
  EXPECT_TRUE(States(Dir / "elsewhere").empty());
}

TEST_F(ArchivedChannels, RelocateRecordsTheCopiesFoundIntactAtTheirNewPlace) {
  // A file saved beside the archive, then everything copied to the backup disk, where a's
  // HHN day file differs.
  const std::string file = Root() + "/extra.rec";
  WriteWholeFile(file, "record");
  TSavedEvent withFile = Event("ev-c", "C.003", {});
  withFile.Files = {{file, 6, TSha256::HexOf("record"), "record"}};
  ASSERT_EQ(Ledger.RecordSavedEvent(withFile), std::nullopt);
  const std::string backup = Dir / "backup";
  std::filesystem::create_directories(backup + "/archive");
  std::filesystem::copy(Root(), backup + "/archive", std::filesystem::copy_options::recursive);
  const std::string moved = backup + "/archive/" + AN.Archived.DayFile;
  std::string changed = ReadWholeFile(moved);
  changed[100] ^= 1;
  WriteWholeFile(moved, changed);
  std::filesystem::remove_all(Root());

  std::vector<TLedger::TRelocated> found;
  ASSERT_EQ(Ledger.Relocate(Dir.Path(), backup, found), std::nullopt);
  ASSERT_EQ(found.size(), 4u);  // one file, three channels
  int intact = 0;
  for (const TLedger::TRelocated& place : found) {
    EXPECT_TRUE(place.NewPath.starts_with(backup + "/archive/")) << place.NewPath;
    intact += place.State == TFileState::Intact ? 1 : 0;
  }
  EXPECT_EQ(intact, 3);

  // b and c are at their new place; a, whose HHN differs, keeps its old one.
  const std::vector<TSavedCopy> a = Ledger.SavedCopies("ev-a");
  const std::vector<TSavedCopy> b = Ledger.SavedCopies("ev-b");
  const std::vector<TSavedCopy> c = Ledger.SavedCopies("ev-c");
  ASSERT_EQ(a.size() + b.size() + c.size(), 3u);
  ASSERT_EQ(b[0].Channels.size(), 1u);
  EXPECT_EQ(b[0].Channels[0].Root, backup + "/archive");
  EXPECT_EQ(b[0].Destination, backup + "/archive");
  ASSERT_EQ(c[0].Files.size(), 1u);
  EXPECT_EQ(c[0].Files[0].Path, backup + "/archive/extra.rec");
  for (const TArchivedChannel& channel : a[0].Channels) EXPECT_EQ(channel.Root, Root());
  EXPECT_TRUE(Ledger.IsSaved("ev-b"));
  EXPECT_TRUE(Ledger.IsSaved("ev-c"));
  EXPECT_FALSE(Ledger.IsSaved("ev-a"));
  for (const TVerifiedFile& verified : Ledger.Verify(backup)) {
    EXPECT_EQ(verified.State, TFileState::Intact) << verified.File.Path;
  }

  // Nothing recorded there: an empty answer; the same place: a warning.
  EXPECT_EQ(Ledger.Relocate(Dir / "nothing", backup, found), std::nullopt);
  EXPECT_TRUE(found.empty());
  EXPECT_TRUE(Ledger.Relocate(backup, backup + "/", found).has_value());
}

TEST(ArchivedChannelsLayout, ALedgerOfTheSecondLayoutIsReadAndBroughtUpToDate) {
  TTempDir dir;
  const std::string path = dir / "ledger.sqlite";
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  WriteWholeFile(dir / "old.rec", "old");
  const std::string second =
      "PRAGMA journal_mode=WAL;"
      "CREATE TABLE saves(id INTEGER PRIMARY KEY, event_id TEXT NOT NULL, card_key TEXT NOT "
      "NULL, card_signature TEXT NOT NULL, card_label TEXT NOT NULL, card_data_size INTEGER NOT "
      "NULL, card_used_size INTEGER NOT NULL, original_name TEXT NOT NULL, destination TEXT NOT "
      "NULL, saved_at TEXT NOT NULL, program_version TEXT NOT NULL, card_sha256 TEXT NOT NULL "
      "DEFAULT '');"
      "CREATE TABLE files(id INTEGER PRIMARY KEY, save_id INTEGER NOT NULL REFERENCES saves(id) "
      "ON DELETE CASCADE, path TEXT NOT NULL, size INTEGER NOT NULL, sha256 TEXT NOT NULL, kind "
      "TEXT NOT NULL);"
      "INSERT INTO saves VALUES(1, 'ev', 'card-1', 'TARQP0410', 'L', 9, 3, 'E.001', '" +
      dir.Path() + "', '2025-01-02T03:04:05Z', '1.0', '" + std::string(64, 'c') +
      "');INSERT INTO files VALUES(1, 1, '" + dir.Path() + "/old.rec', 3, '" +
      TSha256::HexOf("old") + "', 'record');PRAGMA user_version = 2;";
  ASSERT_EQ(sqlite3_exec(db, second.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  const std::string before = ReadWholeFile(path);

  // A reader leaves it as it is; a writer adds what the archive needs.
  {
    TLedger reader;
    ASSERT_EQ(reader.Open(path, TLedger::TAccess::ReadOnly), std::nullopt);
    ASSERT_EQ(reader.SavedCopies("ev").size(), 1u);
    EXPECT_TRUE(reader.IsSaved("ev"));
    EXPECT_TRUE(reader.VerifyArchive().empty());
  }
  EXPECT_EQ(ReadWholeFile(path), before);
  TLedger ledger;
  ASSERT_EQ(ledger.Open(path), std::nullopt);
  TSavedEvent event;
  event.EventIdentity = "ev2";
  event.OriginalFileName = "E.002";
  event.Channels = {{dir / "archive", "day", "XX.ST1.00.HHZ", {1, 2}, std::string(64, 'a')}};
  ASSERT_EQ(ledger.RecordSavedEvent(event), std::nullopt);
  EXPECT_EQ(ledger.SavedCopies("ev2")[0].Channels[0].RecordStarts, (std::vector<int64_t>{1, 2}));
  EXPECT_EQ(ledger.SavedCopies("ev")[0].Files[0].Path, dir / "old.rec");
}

// A ledger of the third layout keeps its saves, which have no header values, and takes values
// with the saves recorded after; the events of an archive are found by its root however it is
// written, each once, with the values of its latest save that has them.
TEST(ArchivedChannelsLayout, ALedgerOfTheThirdLayoutTakesHeaderValues) {
  TTempDir dir;
  const std::string path = dir / "ledger.sqlite";
  const std::string archive = dir / "archive";
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  const std::string third =
      "PRAGMA journal_mode=WAL;"
      "CREATE TABLE saves(id INTEGER PRIMARY KEY, event_id TEXT NOT NULL, card_key TEXT NOT "
      "NULL, card_signature TEXT NOT NULL, card_label TEXT NOT NULL, card_data_size INTEGER NOT "
      "NULL, card_used_size INTEGER NOT NULL, original_name TEXT NOT NULL, destination TEXT NOT "
      "NULL, saved_at TEXT NOT NULL, program_version TEXT NOT NULL, card_sha256 TEXT NOT NULL "
      "DEFAULT '');"
      "CREATE TABLE files(id INTEGER PRIMARY KEY, save_id INTEGER NOT NULL REFERENCES saves(id) "
      "ON DELETE CASCADE, path TEXT NOT NULL, size INTEGER NOT NULL, sha256 TEXT NOT NULL, kind "
      "TEXT NOT NULL);"
      "CREATE TABLE channels(id INTEGER PRIMARY KEY, save_id INTEGER NOT NULL REFERENCES "
      "saves(id) ON DELETE CASCADE, root TEXT NOT NULL, day_file TEXT NOT NULL, codes TEXT NOT "
      "NULL, record_starts TEXT NOT NULL, record_count INTEGER NOT NULL, sha256 TEXT NOT NULL);"
      "INSERT INTO saves VALUES(1, 'old', 'card-1', 'TARQP0410', 'L', 9, 3, 'E.001', '" +
      dir.Path() +
      "', '2025-01-02T03:04:05Z', '1.0', '');"
      "INSERT INTO channels VALUES(1, 1, '" +
      archive + "', 'day', 'XX.012..HHZ', '5', 1, '" + std::string(64, 'a') +
      "');PRAGMA user_version = 3;";
  ASSERT_EQ(sqlite3_exec(db, third.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  const std::string before = ReadWholeFile(path);
  {
    TLedger reader;
    ASSERT_EQ(reader.Open(path, TLedger::TAccess::ReadOnly), std::nullopt);
    const std::vector<TArchivedEvent> events = reader.ArchivedEvents(archive);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].OriginalFileName, "E.001");
    EXPECT_FALSE(events[0].Values.has_value());
  }
  EXPECT_EQ(ReadWholeFile(path), before);

  TLedger ledger;
  ASSERT_EQ(ledger.Open(path), std::nullopt);
  ASSERT_EQ(ledger.SavedCopies("old").size(), 1u);
  EXPECT_FALSE(ledger.SavedCopies("old")[0].Values.has_value());
  TEventHeaderValues values;
  values.Serial = 12;
  values.ChannelCount = 6;
  values.SampleRate = 250;
  values.Start = 1'147'428'667'250'000;
  values.End = values.Start + 60'000'000;
  values.Fix = TGpsReading{50, 24.072, 'N', 1, 33.798, 'W', 12.5};
  values.Gain = 8;
  values.CountsPerVolt = 1.0 / 3;  // kept to the last bit
  auto save = [&](const std::string& id, const std::string& root,
                  std::optional<TEventHeaderValues> with) {
    TSavedEvent event;
    event.EventIdentity = id;
    event.OriginalFileName = id + ".rec";
    event.Channels = {{root, "day", "XX.012..HHZ", {1, 2}, std::string(64, 'a')}};
    event.Values = with;
    return ledger.RecordSavedEvent(event);
  };
  TEventHeaderValues withoutFix = values;
  withoutFix.Fix.reset();
  withoutFix.Serial = 13;
  ASSERT_EQ(save("new", dir.Path() + "/./archive/", values), std::nullopt);
  ASSERT_EQ(save("old", archive, withoutFix), std::nullopt);  // saved again, with values
  ASSERT_EQ(save("other", dir / "elsewhere", values), std::nullopt);
  TEventHeaderValues corrupt = values;
  corrupt.SampleRate = std::nan("");  // refused by the column: the save is kept without it
  ASSERT_EQ(save("nan", archive, corrupt), std::nullopt);
  EXPECT_EQ(ledger.SavedCopies("new")[0].Values, values);

  const std::vector<TArchivedEvent> events = ledger.ArchivedEvents(archive + "/");
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0].EventIdentity, "old");
  EXPECT_EQ(events[0].Values, withoutFix);
  EXPECT_EQ(events[1].EventIdentity, "new");
  EXPECT_EQ(events[1].Values, values);
  EXPECT_EQ(events[2].EventIdentity, "nan");
  EXPECT_FALSE(events[2].Values.has_value());
}

// The erase guard counts an event saved in the archive alone once its records are found and
// hashed again.
class ArchiveForTheGuard : public TConvertFixture {};

TEST_F(ArchiveForTheGuard, AnEventIsSavedWhileItsRecordsAreFoundUnchanged) {
  testing_support::TCardBuilder card;
  card.Events = {SmallEvent(), SmallEvent("DEB", "3,12", "002")};
  Insert(card);
  const TCardEvents live = ReadCardEvents(Card);
  ASSERT_EQ(live.Events.size(), 2u);
  TTempDir dir;
  TLedger ledger;
  ASSERT_EQ(ledger.Open(dir / "ledger.sqlite"), std::nullopt);
  const TChannelRecords z = Records(dir / "archive", "HHZ", Day, 3, 1);
  std::filesystem::create_directories(dir / "archive/2026/XX/ST1/HHZ.D");
  const std::string records = Joined(z.Records);
  WriteWholeFile(z.Archived.Path(), records);
  TSavedEvent event;
  event.EventIdentity = live.Events[0].Identity;
  event.CardSha256 = ReadEventContentHash(live, live.Events[0]);
  event.Card = live.Card;
  event.OriginalFileName = live.Events[0].OriginalFileName;
  event.Destination = dir / "archive";
  event.Channels = {z.Archived};
  ASSERT_EQ(ledger.RecordSavedEvent(event), std::nullopt);

  std::vector<TCardEvent> unsaved = UnsavedEvents(live, &ledger, TSavedCheck::Content);
  ASSERT_EQ(unsaved.size(), 1u);
  EXPECT_EQ(unsaved[0].OriginalFileName, "05121030.002");

  std::string changed = records;
  changed[512 + 100] ^= 1;
  WriteWholeFile(z.Archived.Path(), changed);
  unsaved = UnsavedEvents(live, &ledger, TSavedCheck::Content);
  ASSERT_EQ(unsaved.size(), 2u);
  EXPECT_EQ(unsaved[0].Why, "archived records changed: " + z.Archived.Path() + ", SHA-256 differs");
  EXPECT_EQ(UnsavedEvents(live, &ledger).size(), 1u);  // its day file is there

  std::filesystem::remove(z.Archived.Path());
  EXPECT_EQ(UnsavedEvents(live, &ledger).size(), 2u);
  unsaved = UnsavedEvents(live, &ledger, TSavedCheck::Content);
  ASSERT_EQ(unsaved.size(), 2u);
  EXPECT_TRUE(unsaved[0].Why.starts_with("archived records missing: " + z.Archived.Path()))
      << unsaved[0].Why;
}

}  // namespace
