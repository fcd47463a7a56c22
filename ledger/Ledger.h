#pragma once
// The download ledger: what was saved, where, and with which content, kept in an SQLite file
// shared by every ReadTarq process of the user (the window and any number of scripts).
//
// One row per saved event, with the files written for it, the records it put into an SDS
// archive, and the SHA-256 of the event's bytes on the card as the download read them (saves
// recorded before the ledger kept it have none, and prove nothing to the erase guard), and what
// its header says of the recording (TEventHeaderValues; older saves have none). An event
// is recorded once all its files and day files are closed and flushed to stable storage; a
// failed or stopped event records nothing.
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

#include "event/EventValues.h"
#include "ledger/EventIdentity.h"

struct sqlite3;

// One file written for an event.
struct TSavedFile {
  std::string Path;    // absolute
  int64_t Size = 0;    // bytes
  std::string Sha256;  // 64 lower-case hexadecimal digits, of the bytes as written
  std::string Kind;    // output kind: "record", "sensor", "binary" or "sac"
};

// One channel of an event filed into an SDS archive: the records the event wrote into one day
// file. Other events' records share the day file, and a later insertion may rewrite it (an
// earlier event filed in time order) but keeps every record's bytes: the records are found
// again by their codes and start times, and their bytes hashed.
struct TArchivedChannel {
  std::string Root;     // the archive's root directory, absolute
  std::string DayFile;  // relative to Root: 2026/XX/023/DHZ.D/XX.023.00.DHZ.D.2026.165
  std::string Codes;    // NET.STA.LOC.CHA, the location code possibly empty
  // The start times of the records the event wrote, microseconds since 1970, in file order.
  std::vector<int64_t> RecordStarts;
  std::string Sha256;  // of exactly those records' bytes, concatenated in file order

  std::string Path() const { return Root + "/" + DayFile; }
};

// What an event's header says of its recording, as an inventory of stations describes it
// (serial, channels, rate, times, GPS fix, gain, counts per volt): kept with each save, so that
// the events of an archive can be described without their cards.
struct TEventHeaderValues {
  int64_t Serial = 0;
  int ChannelCount = 0;
  double SampleRate = 0;  // Hz
  int64_t Start = 0;      // microseconds since 1970
  int64_t End = 0;        // of the last sample's period, microseconds since 1970
  std::optional<TGpsReading> Fix;
  int Gain = 0;
  double CountsPerVolt = 0;
  friend bool operator==(const TEventHeaderValues&, const TEventHeaderValues&) = default;
};

// What the download run hands over for one saved event.
struct TSavedEvent {
  std::string EventIdentity;  // EventIdentity(...)
  std::string CardSha256;     // TEventContentHash of the bytes the download read
  TCardIdentity Card;
  std::string OriginalFileName;  // as the event list shows it
  std::string Destination;       // the destination directory
  std::vector<TSavedFile> Files;
  std::vector<TArchivedChannel> Channels = {};  // filed into an SDS archive
  // None for an event that cannot be described (no valid start, rate or channels).
  std::optional<TEventHeaderValues> Values = {};
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
  std::vector<TArchivedChannel> Channels;
  // None for a save recorded before the ledger kept them.
  std::optional<TEventHeaderValues> Values;
};

// One event filed into an archive, however many times it was saved there.
struct TArchivedEvent {
  std::string EventIdentity;
  std::string OriginalFileName;
  std::optional<TEventHeaderValues> Values;  // of its latest save that has them
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

// One recorded archive channel checked against its day file.
struct TVerifiedChannel {
  TArchivedChannel Channel;  // as recorded
  TFileState State = TFileState::Missing;
  int64_t RecordsFound = 0;  // of the recorded ones
  std::string Detail;        // why it counts as missing or changed; empty when intact
  std::string EventIdentity;
  std::string OriginalFileName;
  std::string SavedAt;
};

// The miniSEED records of day files, read once for all the channels checked in them. Reads only
// regular files (as CheckSavedFile) and keeps up to 64 MB of them.
class TDayFileReader {
 public:
  TDayFileReader();
  ~TDayFileReader();
  TDayFileReader(const TDayFileReader&) = delete;
  TDayFileReader& operator=(const TDayFileReader&) = delete;

  // Checks one recorded channel: its day file must hold, in file order, a record of its codes
  // for every recorded start time, and those records' bytes must have the recorded SHA-256.
  // Missing: no day file, or none of the records in it; changed: some records not found (a
  // record whose header changed is not found), or other bytes.
  TVerifiedChannel Check(const TArchivedChannel& channel);

 private:
  struct TDayFile;
  const TDayFile& Read(const std::string& path);
  std::vector<std::unique_ptr<TDayFile>> Files;
  size_t KeptBytes = 0;
};

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
  // Relative file paths and archive roots are made absolute. Returns the warning to show when it
  // failed (nothing is then recorded). An event with neither file nor archived channel is
  // refused.
  std::optional<std::string> RecordSavedEvent(const TSavedEvent& event) override;

  // True when at least one recorded save of the event has every one of its files present as a
  // regular file of its recorded size, and the day file of each of its archived channels
  // present as a regular file. Contents are not read (see Verify).
  bool IsSaved(const std::string& eventIdentity);
  // Every recorded save of the event, oldest first, whether or not its files still exist.
  std::vector<TSavedCopy> SavedCopies(const std::string& eventIdentity);
  // Every recorded save, of one card (its Key) or of all, oldest first.
  std::vector<TSavedCopy> List(const std::string& cardKey = "");
  // Every recorded save of these events, oldest first: those of one card, named by the events
  // it holds (two cards of one recorder share their Key).
  std::vector<TSavedCopy> ListEvents(const std::vector<std::string>& eventIdentities);
  // The events whose saves filed channels into the archive at `root` (the path compared as
  // RecordSavedEvent stores roots: absolute, normalised), each once, in the order of their
  // first save.
  std::vector<TArchivedEvent> ArchivedEvents(const std::string& root);
  // Re-reads the files recorded under `directory` (all when empty), the latest record of each
  // path only, in path order: intact, changed (size or SHA-256 differs) or missing.
  std::vector<TVerifiedFile> Verify(const std::string& directory = "");
  // Re-reads the archived channels whose day file lies under `directory` (all when empty), the
  // latest record of each channel's records only, in day file order (TDayFileReader::Check).
  std::vector<TVerifiedChannel> VerifyArchive(const std::string& directory = "");

  // What Relocate found of one recorded file or channel under the old directory.
  struct TRelocated {
    std::string OldPath;
    std::string NewPath;
    TFileState State = TFileState::Missing;  // at the new path
    std::string Detail;
    std::string OriginalFileName;
  };
  // Records that the copies saved under `from` now lie under `to` (moved to a backup disk):
  // every recorded file under `from` (the latest record of each path) and every archived
  // channel whose root lies under `from` is checked at the same place under `to`, and a save
  // whose files and channels there are all intact is recorded at its new place, in one
  // transaction. Nothing is recorded of a save with one of them changed or missing. An empty
  // result with no warning: nothing was recorded under `from`.
  std::optional<std::string> Relocate(const std::string& from, const std::string& to,
                                      std::vector<TRelocated>& found);

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
  // Fills the archived channels and the header values of copies selected (under Lock).
  void SelectChannels(std::vector<TSavedCopy>& copies);
  void SelectValues(std::vector<TSavedCopy>& copies);
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
