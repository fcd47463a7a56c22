// Converting a card of more than 256 MiB, each output kind alone and all four together,
// beside a plain copy of the same card file made in the same iteration: MB/s (10^6 bytes) of
// card data, best of the iterations, and the ratio to the copy (the targets: binary 0.5, SAC
// 0.4, record and sensor files 0.2). All four together also give their time as a ratio to the
// sum of the four single-kind times measured before them in the same program (the median of
// their repetitions): vs_singles, at most 0.7 when the writers share the cores well.
//
// The copy is saved as a download's files are (flushed to the medium, file and directory):
// vs_copy compares the two with the same guarantee. Processor time over wall time tells how
// many cores a conversion kept busy (nosync_cores).
//
// The standard data products the same way: the miniSEED file alone (at least 150 MB/s of card
// data) and the SDS archive alone; and the peers' route to the same miniSEED, our SAC files
// converted by Debian's sac2mseed, timed whole (SAC conversion + the tool) beside the median of
// our miniSEED kind: vs_ours, the peers' time over ours (above 1: ours is faster).
//
// Each iteration also converts the card with the flush of the saved files to the medium left
// out: nosync_MB/s beside card_MB/s (which flushes every event, as the programs do).

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "base/Settings.h"
#include "card/TarqCard.h"
#include "download/DownloadHost.h"
#include "download/DownloadRun.h"
#include "platform/Drives.h"
#include "platform/DurableFlush.h"
#include "platform/RecordFile.h"
#include "support/CardBuilder.h"
#include "support/TestSupport.h"
#include "writers/OutputKinds.h"

namespace {

using testing_support::TBuiltEvent;
using testing_support::TCardBuilder;

// 46 events of one hour at 125 Hz, 3 and 6 channels in turn: 279 MB of samples.
struct TBigCard {
  testing_support::TTempDir Dir;
  int Events = 46;
  int64_t Bytes = 0;
  TBigCard() {
    TCardBuilder card;
    card.Signature = "TARQP0410";
    for (int i = 0; i < Events; ++i) {
      TBuiltEvent event;
      event.Marker = "DEB2";
      event.Channels = i % 2 ? "6,23" : "3,23";
      event.RateDuration = "125,60";
      event.FileNumber = std::to_string(100 + i);
      card.Events.push_back(event);
    }
    card.WriteTo(Dir.Path());
    Bytes = card.DataFileSize();
  }
};

TBigCard& BigCard() {
  static TBigCard card;
  return card;
}

class TQuietHost : public TDownloadHost {
 public:
  explicit TQuietHost(int lines) : Lines(lines) {}
  void Deselect(const TConvertedEvent&) override { ++Converted; }
  void ShowFileName(const std::string&) override {}
  void SetProgress(int) override {}
  void RunFinished(bool succeeded, int) override { Succeeded = succeeded; }
  void ShowError(const std::string& text) override { Error = text; }
  int Lines;
  int Converted = 0;
  bool Succeeded = false;
  std::string Error;
};

// Processor time of the whole process so far (every thread, user and system), in seconds.
double ProcessorSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void EmptyDirectory(const std::string& dir) {
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::filesystem::remove_all(entry.path());
  }
}

struct TCopyTimes {
  double Written = -1;  // seconds until the last block was written
  double Saved = -1;    // until the copy and its name were on the medium too
};

// Copies the data file in blocks of 1 MiB, as a file manager would, then saves it.
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

enum TKinds { Record = 1, Sensor = 2, Binary = 4, Sac = 8, All = 15, MiniSeed = 16, Sds = 32 };

// The best time of each repetition, by kinds.
std::map<int, std::vector<double>>& BestSeconds() {
  static std::map<int, std::vector<double>> seconds;
  return seconds;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The sum of the single-kind medians, or 0 when one of them did not run.
double SumOfSingles() {
  double sum = 0;
  for (int kind : {Record, Sensor, Binary, Sac}) {
    const auto found = BestSeconds().find(kind);
    if (found == BestSeconds().end() || found->second.empty()) return 0;
    sum += Median(found->second);
  }
  return sum;
}

// The big card on drive f:, converted in the kinds given into a directory.
class TCardRun {
 public:
  TCardRun(const TBigCard& card, const std::string& out, int kinds)
      : Card(card), Drives(std::make_shared<platform::TMappedDriveTable>()) {
    platform::TMappedDriveTable::TMapping mapping{'f', card.Dir.Path()};
    mapping.Measure = true;
    Drives->Map(mapping);
    platform::SetDriveTable(Drives);
    Settings.DataDir = out;
    const std::pair<int, const char*> names[] = {{Record, "record"}, {Sensor, "sensor"},
                                                 {Binary, "binary"}, {Sac, "sac"},
                                                 {MiniSeed, "mseed"}, {Sds, "sds"}};
    for (const auto& [bit, name] : names) Choose(Settings, OutputKindNamed(name), kinds & bit);
    Tarq.Root = Drives->RootOf('f');
    Tarq.Today = [] { return TProbeDate{2006, 6, 1}; };
    Tarq.ProbeCard();
  }
  ~TCardRun() { platform::SetDriveTable(nullptr); }
  TCardRun(const TCardRun&) = delete;
  TCardRun& operator=(const TCardRun&) = delete;

  // Converts every event. Returns the seconds taken, or -1 with the host's error.
  double ConvertAll(std::string& error) {
    TDownloadRun convert(Tarq);
    TQuietHost host(Card.Events);
    const auto start = std::chrono::steady_clock::now();
    std::vector<int> events(static_cast<size_t>(Card.Events));
    for (int i = 0; i < Card.Events; ++i) events[static_cast<size_t>(i)] = i;
    convert.DownloadEvents(MakeDownloadSnapshot(Settings, events, {}), host);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    error = host.Error;
    return host.Succeeded && host.Converted == Card.Events ? seconds : -1;
  }

 private:
  const TBigCard& Card;
  std::shared_ptr<platform::TMappedDriveTable> Drives;
  TSettings Settings;
  TTarqCard Tarq{Messages(), *Drives};
};

void BM_Convert(benchmark::State& state) {
  TBigCard& card = BigCard();
  const int kinds = static_cast<int>(state.range(0));
  testing_support::TTempDir out;
  TCardRun run(card, out.Path(), kinds);

  // The best time of each: the machine may be busy with other work now and then.
  double copySeconds = 1e9;
  double unflushedCopySeconds = 1e9;
  double convertSeconds = 1e9;
  double unflushedSeconds = 1e9;
  double unflushedCores = 0;  // processor time over wall time, of the best unflushed run
  for (auto _ : state) {
    // Each starts with no written data waiting for the disk.
    ::sync();
    const TCopyTimes copy = CopySeconds(card.Dir / "fichbase.dat", out / "copy.dat");
    EmptyDirectory(out.Path());
    ::sync();
    std::string error;
    const double seconds = run.ConvertAll(error);
    state.SetIterationTime(std::max(seconds, 0.0));
    EmptyDirectory(out.Path());
    double unflushed = -1;
    if (seconds >= 0) {
      ::sync();
      platform::TScopedSyncHook noFlush([](int, const std::string&, bool) { return 0; });
      const double processor = ProcessorSeconds();
      unflushed = run.ConvertAll(error);
      if (unflushed > 0 && unflushed < unflushedSeconds) {
        unflushedCores = (ProcessorSeconds() - processor) / unflushed;
      }
      EmptyDirectory(out.Path());
    }
    if (copy.Saved < 0 || seconds < 0 || unflushed < 0) {
      state.SkipWithError(("the conversion failed: " + error).c_str());
      break;
    }
    copySeconds = std::min(copySeconds, copy.Saved);
    unflushedCopySeconds = std::min(unflushedCopySeconds, copy.Written);
    convertSeconds = std::min(convertSeconds, seconds);
    unflushedSeconds = std::min(unflushedSeconds, unflushed);
  }
  const double megabytes = static_cast<double>(card.Bytes) / 1e6;
  if (state.iterations() > 0 && convertSeconds < 1e9 && copySeconds < 1e9) {
    state.counters["card_MB/s"] = megabytes / convertSeconds;
    state.counters["nosync_MB/s"] = megabytes / unflushedSeconds;
    state.counters["nosync_cores"] = unflushedCores;
    state.counters["copy_MB/s"] = megabytes / copySeconds;
    state.counters["vs_copy"] = copySeconds / convertSeconds;
    state.counters["nosync_vs_copy"] = unflushedCopySeconds / unflushedSeconds;
    BestSeconds()[kinds].push_back(convertSeconds);
    const double singles = SumOfSingles();
    if (kinds == All && singles > 0) state.counters["vs_singles"] = convertSeconds / singles;
  }
}

BENCHMARK(BM_Convert)
    ->ArgName("binary")
    ->Arg(Binary)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Convert)
    ->ArgName("sac")
    ->Arg(Sac)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Convert)
    ->ArgName("record")
    ->Arg(Record)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Convert)
    ->ArgName("sensor")
    ->Arg(Sensor)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Convert)
    ->ArgName("mseed")
    ->Arg(MiniSeed)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Convert)
    ->ArgName("sds")
    ->Arg(Sds)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Convert)
    ->ArgName("all_four")
    ->Arg(All)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The peers' route: SAC files, then sac2mseed over all of them (unscaled counts, 4096-byte
// Steim-2 records, as ours), one process for the whole card.
void BM_PeersRoute(benchmark::State& state) {
  if (std::system("command -v sac2mseed > /dev/null 2>&1") != 0) {
    state.SkipWithError("sac2mseed is not installed");
    return;
  }
  TBigCard& card = BigCard();
  testing_support::TTempDir out;
  TCardRun run(card, out.Path(), Sac);
  double best = 1e9;
  for (auto _ : state) {
    EmptyDirectory(out.Path());
    ::sync();
    const auto start = std::chrono::steady_clock::now();
    std::string error;
    const bool converted = run.ConvertAll(error) >= 0;
    {
      std::ofstream list(out / "sac-files.txt");
      for (const auto& entry : std::filesystem::directory_iterator(out.Path())) {
        if (entry.path().extension() == ".sac") list << entry.path().string() << "\n";
      }
    }
    const std::string command = "sac2mseed -s 1 -r 4096 -n XX -o '" + (out / "all.mseed") +
                                "' '@" + (out / "sac-files.txt") + "' > /dev/null 2>&1";
    const int code = converted ? std::system(command.c_str()) : -1;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(seconds);
    if (code != 0) {
      state.SkipWithError(("the SAC conversion or sac2mseed failed " + error).c_str());
      break;
    }
    best = std::min(best, seconds);
  }
  EmptyDirectory(out.Path());
  if (state.iterations() > 0 && best < 1e9) {
    state.counters["card_MB/s"] = static_cast<double>(card.Bytes) / 1e6 / best;
    const auto ours = BestSeconds().find(MiniSeed);
    if (ours != BestSeconds().end() && !ours->second.empty()) {
      state.counters["vs_ours"] = best / Median(ours->second);
    }
  }
}

BENCHMARK(BM_PeersRoute)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
