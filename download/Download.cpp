#include "download/Download.h"

TDownload::~TDownload() {
  Join();
}

bool TDownload::Start(TTarqConvert& convert, TDownloadSnapshot snapshot, TDownloadHost& host) {
  if (convert.DownloadActive.load()) return false;
  Join();
  Convert = &convert;
  Host = &host;
  Snapshot = std::move(snapshot);
  convert.PrepareRun();
  try {
    Worker = std::thread([this] { Execute(); });
  } catch (...) {
    convert.DownloadActive = false;
    throw;
  }
  return true;
}

void TDownload::Join() {
  if (Worker.joinable()) Worker.join();
}

void TDownload::Execute() {
  Convert->DownloadEvents(Snapshot, *Host);
}
