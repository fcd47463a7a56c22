#pragma once
// An SDS archive: miniSEED records filed by channel and day under a root directory,
//
//   ROOT/YEAR/NET/STA/CHA.D/NET.STA.LOC.CHA.D.YEAR.DDD     (DDD: day of the year, 001-366)
//
// Insert files records into their day files (the day of each record's start time; a
// record should not span midnight, as TMiniSeedPacker's never do):
// - A record already in the day file is not written again, so inserting the same records
//   twice leaves the archive byte for byte as it was. Two records are the same when they have
//   the same network, station, location and channel codes, the same start time to the
//   microsecond and the same sample count (their sequence numbers, quality flags and bytes are
//   not compared).
// - A day file stays in time order of record start times. New records that all start at or
//   after the file's last record are appended to it; otherwise the merged file is written
//   beside it under a temporary name (".NAME.partial"), flushed to the medium and renamed
//   over it, so a full disk or a crash leaves the old file whole. A new day file is written
//   the same way; an appended one is flushed too.
// - Existing records are never altered; records are kept byte for byte.
// - One insertion is filed whole or not at all: when a write or flush fails, every day file
//   it touched is as it was before (appends cut back, the old files of rewritten ones in
//   place), no temporary file is left and the station directories it created are removed. So an
//   event inserted in one call is in the archive on all its channels or on none. The failure
//   throws platform::EInOutError; records that libmseed cannot read throw ESeedError.
// - Writers of one station's day files, threads or processes, take turns (TSdsLock): each
//   reads and writes them alone, so none reads half a record and every writer's records end up
//   in the archive once, whatever their order. Files that a writer killed half-way left beside the
//   day files it touches (".NAME.partial", ".NAME.previous") are removed by the next one, and
//   a day file it was appending to (".NAME.append" holds its size before) is cut back to that
//   size first: neither half a record nor part of an insertion stays after a kill.
// - Below the root, the archive follows no symbolic link: a directory, a day file or a
//   temporary name that is one throws ESeedError naming it, and the insertion is taken back. The
//   root itself is the destination its user chose, and is taken as it resolves.
// - A day file that is no series of miniSEED records is refused with its name (ESeedError) and
//   left as it is; the insertion is taken back.
//
// A session (TSdsSession) files the events of one run. It learns what a day file holds (its
// records' codes, times, offsets and lengths, from their headers) once, keeps that up to date
// as it writes, and learns it again when the file changed under another writer between two of
// its calls (its inode, size, modification or change time differ). Records that go after a
// day file's last record are appended at once. An insertion with records that go before a day
// file's last record waits, whole, in the session's batch, and all waiting insertions are
// written together by Flush (at the end of the run): so a day file is rewritten once in a run
// whatever the order of the events, instead of once per event. Waiting records are spooled to
// an unnamed file beside the archive (O_TMPFILE, which vanishes with the process), so that
// the memory a session takes is that of its indexes (about 40 bytes a record) whatever the
// card's size; where the file system has no unnamed files they wait in memory and the batch
// is written whenever it passes 16 MB. An inserted event counts as saved once it is durable:
// at once for an appended one, at the Flush for a waiting one (TakeFiled).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/UnnamedFile.h"
#include "seed/SeedCodes.h"

namespace seed {

// Where an insertion's new records overlap in time records of the same channel already in
// the archive (or waiting in the session's batch) that are other records: both are kept.
struct TSdsOverlap {
  TChannelCodes Codes;
  int64_t Start = 0;  // microseconds since 1970
  double Seconds = 0;
};

// What an insertion wrote into one day file: what the archive's ledger keeps of an event to
// find and check its records later (CheckFiled). The records' bytes are never altered by a
// later rewrite of the day file, so the hash stays true.
struct TSdsFiledChannel {
  std::string DayFile;  // relative to the root (TSdsArchive::DayFilePath)
  TChannelCodes Codes;
  std::vector<int64_t> RecordStarts;  // microseconds since 1970, in file order
  int RecordCount = 0;
  std::string Sha256;  // hex, of the records' bytes concatenated in file order
  // Whether the insertion wrote records into the day file. When some or all of its records
  // were there already (filed by an earlier run), they are its copy too: in RecordStarts and
  // Sha256, hashed as the day file holds them.
  bool Wrote = true;
};

struct TSdsInsertResult {
  int RecordsWritten = 0;
  int RecordsPresent = 0;  // already in their day files: not written again
  int FilesWritten = 0;    // day files created, appended to or rewritten
  int64_t Id = 0;          // the insertion's number in its session, from 1
  // On the medium: false while the insertion waits in the session's batch, when the counts
  // above are what it will write, and Channels is empty.
  bool Durable = true;
  std::vector<TSdsOverlap> Overlaps;      // in the order of the channels' day files and times
  // One per day file written into or holding its records already (when all of the insertion
  // is on the medium), in path order.
  std::vector<TSdsFiledChannel> Channels;
};

enum class TSdsRecordState { Intact, Changed, Missing };

// The records of one insertion, gathered as they are packed: in memory up to MemoryBytes,
// past that spooled to an unnamed file (O_TMPFILE, gone with the process) in the archive's
// root, or in the nearest directory above it that exists, so that an event of any length takes
// the same memory. Where the file system has no unnamed files they stay in memory.
class TSdsRecords {
 public:
  static constexpr size_t MemoryBytes = 1 << 20;

  explicit TSdsRecords(std::string root);
  ~TSdsRecords();
  TSdsRecords(const TSdsRecords&) = delete;
  TSdsRecords& operator=(const TSdsRecords&) = delete;

  // Throws platform::EInOutError, naming the spool's directory, when the spool cannot be written.
  void Append(const char* bytes, size_t length);
  void Clear();
  int64_t Size() const { return File.Size() + static_cast<int64_t>(Memory.size()); }
  // Whether records went to the unnamed file.
  bool InFile() const { return File.IsOpen() && File.Size() > 0; }

 private:
  friend class TSdsSession;
  void Spool();  // what is in memory to the file, when there is one

  std::string Root;
  platform::TUnnamedFile File;  // where the records go past MemoryBytes
  bool NoFile = false;          // none can be made: everything stays in memory
  std::string Memory;           // the bytes after those in the file
};

class TSdsSession {
 public:
  explicit TSdsSession(std::string root);
  ~TSdsSession();  // what still waits is dropped: call Flush first
  TSdsSession(const TSdsSession&) = delete;
  TSdsSession& operator=(const TSdsSession&) = delete;

  // Files concatenated miniSEED records (any channels, days and record lengths), creating
  // directories as needed: at once, or into the batch (the result is then not Durable).
  TSdsInsertResult Insert(std::string_view records);
  // The same for records gathered in `records` (spooled or not); they stay there.
  TSdsInsertResult Insert(TSdsRecords& records);
  // Writes every waiting insertion, all of them or (throwing) none: those then no longer wait
  // and are not in the archive.
  void Flush();
  // The results of the insertions that became durable in a Flush since the last call.
  std::vector<TSdsInsertResult> TakeFiled();
  // Whether insertions wait in the batch.
  bool Waiting() const;

 private:
  struct TState;
  std::unique_ptr<TState> State;
};

class TSdsArchive {
 public:
  explicit TSdsArchive(std::string root);

  // The day file's path relative to the root:
  // "2026/XX/023/DHZ.D/XX.023.00.DHZ.D.2026.165".
  static std::string DayFilePath(const TChannelCodes& codes, int year, int dayOfYear);

  // Files concatenated miniSEED records (any channels, days and record lengths) into the
  // archive, creating directories as needed; durable when it returns.
  TSdsInsertResult Insert(std::string_view records);

  // Reads the day file again and finds the records of `filed`: Intact when they are all there
  // with the same bytes, Changed when their bytes differ or only some are found (or the day
  // file is no longer readable as records), Missing when none is (or no day file).
  static TSdsRecordState CheckFiled(const std::string& root, const TSdsFiledChannel& filed);

 private:
  TSdsSession Session;
};

}  // namespace seed
