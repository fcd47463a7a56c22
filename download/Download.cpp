#include "download/Download.h"

TDownload::~TDownload() {
  Join();
}

bool TDownload::Start(TDownloadRun& run, TDownloadSnapshot snapshot, TDownloadHost& host) {
  if (run.Active()) return false;
  Join();
  Run = &run;
  Host = &host;
  Snapshot = std::move(snapshot);
  run.PrepareRun();
  try {
    Worker = std::thread([this] { Execute(); });
  } catch (...) {
    run.DownloadActive = false;
    throw;
  }
  return true;
}

void TDownload::Join() {
  if (Worker.joinable()) Worker.join();
}

void TDownload::Execute() {
  Run->DownloadEvents(Snapshot, *Host);
}
