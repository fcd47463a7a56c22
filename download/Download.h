#pragma once
// The worker thread of a download run: it converts the events of the run's snapshot.

#include <thread>

#include "download/DownloadHost.h"
#include "download/DownloadSnapshot.h"
#include "download/DownloadRun.h"

class TDownload {
 public:
  TDownload() = default;
  ~TDownload();  // waits for the worker of the last run
  TDownload(const TDownload&) = delete;
  TDownload& operator=(const TDownload&) = delete;

  // Starts a run of the snapshot on a new worker. The worker of an earlier run has ended its
  // run already (the progress window was modal until then) and is joined first. False when a
  // run is still active.
  bool Start(TDownloadRun& run, TDownloadSnapshot snapshot, TDownloadHost& host);
  // Waits for the worker of the last run; a run still active must have been stopped first.
  void Join();

 private:
  void Execute();
  TDownloadRun* Run = nullptr;
  TDownloadHost* Host = nullptr;
  TDownloadSnapshot Snapshot;
  std::thread Worker;
};
