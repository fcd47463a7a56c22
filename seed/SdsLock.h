#pragma once
// The lock of an SDS archive: writers of one archive, threads of one process or other
// processes (the window and a script, several card readers of a campaign), hold it around
// everything they read and write in the archive, so that none reads a day file another is
// writing and none writes a day file from a reading another has made stale.
//
// One lock for each station of the archive: the day files of a station are all in its
// directories, an event's channels (and both days of an event over midnight) are all of one
// station and are filed together, all of them or none, and whatever learns a station's day
// files (their records' codes, times and offsets) learns them under its lock. Writers of
// different stations, as in a campaign, do not wait for each other: two cards of two stations
// were filed 1.9 times as fast as under one lock for the whole archive, whose flushes to the
// medium then take turns. A writer of several stations takes their locks in the order of their
// codes, so that no two writers wait for each other.
//
// It is an advisory lock (flock) on ROOT/.sds.NET.STA.lock, a file held open by the holder
// alone: the holder removes it as it lets go, so that the archive holds no trace of it
// between writes; a waiter that finds, once it holds the lock, that the name no longer leads
// to its file starts again. A crash lets go of the lock with the process and may leave the
// empty file, which the next writer takes over.

#include <string>

namespace seed {

class TSdsLock {
 public:
  // Waits until the station's part of the archive rooted at `root` (an existing directory) is
  // held. A lock file that is a symbolic link throws ESeedError naming it; another failure
  // throws platform::EInOutError.
  TSdsLock(const std::string& root, const std::string& network, const std::string& station);
  ~TSdsLock();
  TSdsLock(const TSdsLock&) = delete;
  TSdsLock& operator=(const TSdsLock&) = delete;

 private:
  std::string Path;
  int Handle = -1;
};

}  // namespace seed
