#pragma once
// Flushing to stable storage. A file counts as saved once its data have reached the medium
// (fdatasync of the file) and its name has too (fsync of the directory that holds it); until
// then a power cut can lose either, whatever write() and close() returned.
//
// A failing flush throws EInOutError with the run-time layer's code for the system error
// (a full disk is "Disque plein.", a failing medium "Erreur E/S 23.").

#include <string>
#include <vector>

namespace platform {

// Opens the file read-only, flushes its data and closes it.
void SyncFile(const std::string& path);
// fsync of a directory, so that the entries created or renamed in it are on the medium.
void SyncDirectory(const std::string& path);
// What makes an event's files saved: each file's data flushed, then each directory holding
// them once, in the order first met. The first failure throws; nothing after it is flushed.
void SyncSavedFiles(const std::vector<std::string>& paths);
// The directory part of a path ("." for a bare name): the directory to flush after a file.
std::string ParentDirectory(const std::string& path);

// The test seam: every flush goes through SyncHook, which returns 0 or an errno value.
// `directory` tells a directory's fsync from a file's fdatasync. Tests replace the hook (see
// TScopedSyncHook) to make chosen flushes fail; the program never changes it.
using TSyncHook = int (*)(int handle, const std::string& path, bool directory);
extern TSyncHook SyncHook;
// The hook the program runs with: fdatasync or fsync, retried when interrupted.
int SystemSync(int handle, const std::string& path, bool directory);

// Installs a hook for the life of the object, then puts back the one before.
class TScopedSyncHook {
 public:
  explicit TScopedSyncHook(TSyncHook hook) : Previous(SyncHook) { SyncHook = hook; }
  ~TScopedSyncHook() { SyncHook = Previous; }
  TScopedSyncHook(const TScopedSyncHook&) = delete;
  TScopedSyncHook& operator=(const TScopedSyncHook&) = delete;

 private:
  TSyncHook Previous;
};

}  // namespace platform
