#include "CardRun.h"

#include <malloc.h>
#include <sys/resource.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <utility>
#include <vector>

#include "base/Messages.h"
#include "download/DownloadHost.h"
#include "download/DownloadRun.h"
#include "platform/DurableFlush.h"
#include "platform/RecordFile.h"
#include "support/CardBuilder.h"
#include "writers/OutputKinds.h"

namespace bench_support {

namespace {

class TQuietHost : public TDownloadHost {
 public:
  void Deselect(const TConvertedEvent&) override { ++Converted; }
  void ShowFileName(const std::string&) override {}
  void SetProgress(int) override {}
  void RunFinished(bool succeeded, int) override { Succeeded = succeeded; }
  void ShowError(const std::string& text) override { Error = text; }
  int Converted = 0;
  bool Succeeded = false;
  std::string Error;
};

}  // namespace

TBigCard::TBigCard() {
  testing_support::TCardBuilder card;
  card.Signature = "TARQP0410";
  for (int i = 0; i < Events; ++i) {
    testing_support::TBuiltEvent event;
    event.Marker = "DEB2";
    event.Channels = i % 2 ? "6,23" : "3,23";
    event.RateDuration = "125,60";
    event.FileNumber = std::to_string(100 + i);
    // One hour after the other, as a recorder writes them: the archive files every record.
    const int day = 12 + i / 24;
    const int hour = i % 24;
    event.FileStem =
        "05" + std::to_string(day) + (hour < 10 ? "0" : "") + std::to_string(hour) + "30";
    event.Field17 = "3600000";
    card.Events.push_back(event);
  }
  card.WriteTo(Dir.Path());
  Bytes = card.DataFileSize();
}

TBigCard::TBigCard(int events, int rate, int minutes) : Events(events) {
  testing_support::TCardBuilder card;
  card.Signature = "TARQP0410";
  for (int i = 0; i < Events; ++i) {
    testing_support::TBuiltEvent event;
    event.Marker = "DEB2";
    event.Channels = "6,23";
    event.RateDuration = std::to_string(rate) + "," + std::to_string(minutes);
    event.FileNumber = std::to_string(100 + i);
    card.Events.push_back(event);
  }
  card.WriteTo(Dir.Path());
  Bytes = card.DataFileSize();
}

TBigCard& BigCard() {
  static TBigCard card;
  return card;
}

double ProcessorSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool ResetPeakMemory() {
  // From the memory in use: what the allocator kept of memory freed before is given back.
  ::malloc_trim(0);
  // Linux: "5" resets the peak resident set size (VmHWM) to the current one.
  std::ofstream refs("/proc/self/clear_refs");
  refs << "5";
  refs.flush();
  return static_cast<bool>(refs);
}

int64_t PeakMemoryBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) != 0) continue;
    int64_t kilobytes = 0;
    for (char c : line) {
      if (c >= '0' && c <= '9') kilobytes = kilobytes * 10 + (c - '0');
    }
    return kilobytes * 1024;
  }
  return -1;
}

void EmptyDirectory(const std::string& dir) {
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::filesystem::remove_all(entry.path());
  }
}

int64_t DirectoryBytes(const std::string& dir) {
  int64_t bytes = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
    if (entry.is_regular_file()) bytes += static_cast<int64_t>(entry.file_size());
  }
  return bytes;
}

TCopyTimes CopySeconds(const std::string& from, const std::string& to) {
  const auto start = std::chrono::steady_clock::now();
  auto since = [&start] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  platform::TRecordFile in;
  platform::TRecordFile out;
  if (in.Reset(from, 1, platform::TOpenMode::ReadOnly) != 0 || out.Rewrite(to, 1) != 0) {
    return {};
  }
  std::vector<char> block(1 << 20);
  for (;;) {
    const platform::TReadResult read = in.Read(block.data(), static_cast<int64_t>(block.size()));
    if (read.Records > 0) out.Write(block.data(), read.Records);
    if (read.Records < static_cast<int64_t>(block.size())) break;
  }
  out.Close();
  in.Close();
  TCopyTimes times;
  times.Written = since();
  platform::SyncSavedFiles({to});
  times.Saved = since();
  return times;
}

TCardRun::TCardRun(const TBigCard& card, const std::string& out, int kinds)
    : Big(card),
      Drives(std::make_shared<platform::TMappedDriveTable>()),
      Tarq(Messages(), *Drives) {
  platform::TMappedDriveTable::TMapping mapping{'f', card.Dir.Path()};
  mapping.Measure = true;
  Drives->Map(mapping);
  platform::SetDriveTable(Drives);
  Options.DataDir = out;
  const std::pair<int, const char*> names[] = {{Record, "record"}, {Sensor, "sensor"},
                                               {Binary, "binary"}, {Sac, "sac"},
                                               {MiniSeed, "mseed"}, {Sds, "sds"}};
  for (const auto& [bit, name] : names) Choose(Options, OutputKindNamed(name), kinds & bit);
  Tarq.Root = Drives->RootOf('f');
  Tarq.Today = [] { return TProbeDate{2006, 6, 1}; };
  Tarq.ProbeCard();
}

TCardRun::~TCardRun() {
  platform::SetDriveTable(nullptr);
}

double TCardRun::ConvertAll(std::string& error) {
  TDownloadRun convert(Tarq);
  TQuietHost host;
  const auto start = std::chrono::steady_clock::now();
  std::vector<int> events(static_cast<size_t>(Big.Events));
  for (int i = 0; i < Big.Events; ++i) events[static_cast<size_t>(i)] = i;
  convert.DownloadEvents(MakeDownloadSnapshot(Options, events, {}), host);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  error = host.Error;
  return host.Succeeded && host.Converted == Big.Events ? seconds : -1;
}

}  // namespace bench_support
