#pragma once
// The download ledger: what was saved, where, and with which content, kept in an SQLite file
// shared by every ReadTarq process of the user (the window and any number of scripts).
//
// One row per saved event, with the files written for it and the SHA-256 of the event's bytes
// on the card as the download read them (saves recorded before the ledger kept it have none,
// and prove nothing to the erase guard). An event is recorded once all its
// files are closed and flushed to stable storage; a failed or stopped event records nothing.
// Each record is one transaction (BEGIN IMMEDIATE), the file runs in WAL mode and waits for
// other writers (up to 15 s, said through OnBusy after a second), so concurrent processes never
// corrupt it. Commands that only read open it read-only: they work on a ledger they may not
// write.
//
// The ledger never stands in a download's way: opening or writing it returns a warning text
// instead of throwing, and the caller carries on without it (but then cannot prove a card
// safe to erase).
//
// The structures below are plain data, shaped for the command-line tool's JSON output.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ledger/EventIdentity.h"

struct sqlite3;

// One file written for an event.
struct TSavedFile {
  std::string Path;    // absolute
  int64_t Size = 0;    // bytes
  std::string Sha256;  // 64 lower-case hexadecimal digits, of the bytes as written
  std::string Kind;    // output kind: "record", "sensor", "binary" or "sac"
};

// What the download run hands over for one saved event.
struct TSavedEvent {
  std::string EventIdentity;  // EventIdentity(...)
  std::string CardSha256;     // TEventContentHash of the bytes the download read
  TCardIdentity Card;
  std::string OriginalFileName;  // as the event list shows it
  std::string Destination;       // the destination directory
  std::vector<TSavedFile> Files;
};

// One recorded save, as read back.
struct TSavedCopy {
  int64_t Id = 0;
  std::string EventIdentity;
  std::string CardSha256;  // empty for a save recorded before the ledger kept it
  TCardIdentity Card;
  std::string OriginalFileName;
  std::string Destination;
  std::string SavedAt;  // UTC, ISO 8601: 2026-12-08T14:05:09Z
  std::string ProgramVersion;
  std::vector<TSavedFile> Files;
};

enum class TFileState { Intact, Changed, Missing };
// "intact", "changed", "missing".
const char* FileStateText(TFileState state);

// One recorded file checked against the disk.
struct TVerifiedFile {
  TSavedFile File;  // as recorded
  TFileState State = TFileState::Missing;
  int64_t ActualSize = -1;  // -1 when missing
  std::string Detail;       // why a file counts as missing or changed; empty when intact
  std::string EventIdentity;
  std::string OriginalFileName;
  std::string SavedAt;
};

// Checks one recorded file against the disk: only a regular file at the path is read (a FIFO,
// a device, a socket or a symbolic link is "not a regular file", never opened or followed), and
// it must hold its recorded size and SHA-256. Never blocks on what the path holds.
TVerifiedFile CheckSavedFile(const TSavedFile& file);

// Where a download run records the events it saved: the ledger, or what a test puts there.
class TSaveRecorder {
 public:
  virtual ~TSaveRecorder() = default;
  // Records one saved event; returns the warning to show when it could not be recorded. A
  // warning, not an error: the event's files are saved already and the run goes on.
  virtual std::optional<std::string> RecordSavedEvent(const TSavedEvent& event) = 0;
};

class TLedger : public TSaveRecorder {
 public:
  TLedger();
  ~TLedger() override;
  TLedger(const TLedger&) = delete;
  TLedger& operator=(const TLedger&) = delete;

  // $XDG_DATA_HOME/readtarq/ledger.sqlite, else ~/.local/share/readtarq/ledger.sqlite.
  static std::string DefaultPath();

  enum class TAccess {
    ReadWrite,  // created with its directories when missing, an older layout brought up to date
    ReadOnly,   // never written: a missing ledger is an empty one
  };

  // Opens the ledger and checks it. Returns the warning to show when it cannot be used
  // (unwritable, corrupt, not a ledger); the ledger is then closed and every query below
  // answers as an empty ledger would. A warning, not an error: the download and the erase go
  // on without the ledger, and the warning is said once with what that means (LedgerOffText).
  std::optional<std::string> Open(const std::string& path = DefaultPath(),
                                  TAccess access = TAccess::ReadWrite);
  bool IsOpen() const { return Db != nullptr; }
  const std::string& Path() const { return FilePath; }
  void Close();

  // Records one saved event in one transaction, with the time and the program's version.
  // Relative file paths are made absolute. Returns the warning to show when it failed (nothing
  // is then recorded). An event with no file is refused.
  std::optional<std::string> RecordSavedEvent(const TSavedEvent& event) override;

  // True when at least one recorded save of the event has every one of its files present as a
  // regular file of its recorded size. Contents are not read (see Verify).
  bool IsSaved(const std::string& eventIdentity);
  // Every recorded save of the event, oldest first, whether or not its files still exist.
  std::vector<TSavedCopy> SavedCopies(const std::string& eventIdentity);
  // Every recorded save, of one card (its Key) or of all, oldest first.
  std::vector<TSavedCopy> List(const std::string& cardKey = "");
  // Re-reads the files recorded under `directory` (all when empty), the latest record of each
  // path only, in path order: intact, changed (size or SHA-256 differs) or missing.
  std::vector<TVerifiedFile> Verify(const std::string& directory = "");

  // The clock of the records; tests replace it. Returns UTC ISO 8601 text.
  std::function<std::string()> Now;
  // Told, once per wait, when another program has kept the ledger busy for a second; called on
  // the thread that waits.
  std::function<void(const std::string&)> OnBusy;
  // How long a statement waits for another program's transaction before it gives up (tests
  // shorten it).
  static inline std::atomic<int> BusyTimeoutMs{15000};

 private:
  std::vector<TSavedCopy> Select(const std::string& where, const std::string& key);
  std::string Warning(const std::string& what) const;
  static int BusyWait(void* self, int count);
  sqlite3* Db = nullptr;
  std::string FilePath;
  int64_t Version = 0;  // of the open file's layout
  // The wait in hand began then; after a wait that gave up, the next ones are short, so that a
  // download is not held back at every event by a ledger that stays locked.
  int64_t BusySinceMs = 0;
  bool BusyNoticed = false;
  bool GaveUpWaiting = false;
  std::mutex Lock;  // one statement sequence at a time: the download thread and the window
};

// The current time, UTC, ISO 8601 to the second.
std::string UtcNowText();
