#pragma once
// Files that appear whole or not at all. A new file is written under a temporary name beside
// its final one (".NAME.TAG.readtarq-part"), flushed, then given its final name by a rename that
// never replaces what exists; a stop, a failure, a crash or a power cut thus never leaves a
// file under its final name that is not complete.
//
// What a crash leaves under temporary names is removed by the next staging into the same
// directory, and only that: each staging holds an exclusive lock on a lock file of its own in
// every directory it writes into (".TAG.readtarq-lock"), and the cleaning removes the
// temporaries of a tag only when it can take that tag's lock, so a live run writing into the
// same directory keeps its files.

#include <map>
#include <string>
#include <vector>

#include "platform/RecordFile.h"

namespace platform {

class TStaging {
 public:
  TStaging() = default;
  ~TStaging() { Leave(); }
  TStaging(const TStaging&) = delete;
  TStaging& operator=(const TStaging&) = delete;

  // Creates a new file for finalPath under its temporary name (O_EXCL, O_NOFOLLOW). Returns 0,
  // TRecordFile::NameTaken when something already has the final name (a file, a directory, a
  // link, dangling or not), or the run-time layer's code of what failed (the lock file
  // included). The first creation in a directory takes the lock there and cleans it.
  int Create(TRecordFile& file, const std::string& finalPath, int recordSize);
  // The temporary name of finalPath ("" before a creation in its directory).
  std::string StagedPath(const std::string& finalPath) const;
  // Takes the lock in the directory (when not taken yet) and removes what crashed runs left
  // there. Returns 0 or the run-time layer's code.
  int Enter(const std::string& directory);
  // Removes its lock files and lets them go: its temporaries must be published or removed
  // first (one left behind is then any later staging's to remove).
  void Leave();

 private:
  struct TLock {
    std::string Tag;
    int Handle = -1;
  };
  std::map<std::string, TLock> Locks;  // by directory
};

// Gives a staged file its final name without ever replacing what exists (renameat2 with
// RENAME_NOREPLACE; a hard link then the temporary's removal where the file system lacks it).
// Returns 0, TRecordFile::NameTaken, or the run-time layer's code.
int PublishStaged(const std::string& stagedPath, const std::string& finalPath);

// An event's files, written and closed under their temporary names, made saved: each file's
// data flushed, each given its final name, then each directory holding them flushed once. The
// first failure throws EInOutError naming the final path (a name taken since: the code of
// EEXIST); `published` counts the files given their final names, which stay there.
void PublishDurably(const std::vector<std::string>& stagedPaths,
                    const std::vector<std::string>& finalPaths, size_t& published);

// The final path of a temporary one (an error names the file by it); any other path as it is.
std::string FinalPathOf(const std::string& path);

// Removes the temporaries (and lock files) of the stagings in the directory that hold no lock
// any more; those of live ones stay.
void CleanStaleStaging(const std::string& directory);

}  // namespace platform
