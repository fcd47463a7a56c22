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
//   day files it touches (".NAME.partial", ".NAME.previous") are removed by the next one.
// - Below the root, the archive follows no symbolic link: a directory, a day file or a
//   temporary name that is one throws ESeedError naming it, and the insertion is taken back. The
//   root itself is the destination its user chose, and is taken as it resolves.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "seed/SeedCodes.h"

namespace seed {

struct TSdsInsertResult {
  int RecordsWritten = 0;
  int RecordsPresent = 0;  // already in their day files: not written again
  int FilesWritten = 0;    // day files created, appended to or rewritten
};

class TSdsArchive {
 public:
  explicit TSdsArchive(std::string root) : Root(std::move(root)) {}

  // The day file's path relative to the root:
  // "2026/XX/023/DHZ.D/XX.023.00.DHZ.D.2026.165".
  static std::string DayFilePath(const TChannelCodes& codes, int year, int dayOfYear);

  // Files concatenated miniSEED records (any channels, days and record lengths) into the
  // archive, creating directories as needed.
  TSdsInsertResult Insert(std::string_view records);

 private:
  std::string Root;
};

}  // namespace seed
