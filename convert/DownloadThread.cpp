#include "convert/DownloadThread.h"

TDownload::~TDownload() {
  Join();
}

bool TDownload::Start(TTarqConvert& convert, TDownloadHost& host) {
  if (convert.DownloadActive.load()) return false;
  Join();
  Convert = &convert;
  Host = &host;
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
  Convert->DownloadEvents(*Host);
}
