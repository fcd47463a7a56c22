// Converting a card of more than 256 MiB, each output kind alone and all four together,
// beside a plain copy of the same card file made in the same iteration: MB/s (10^6 bytes) of
// card data, best of the iterations, and the ratio to the copy (the targets: binary 0.5, SAC
// 0.4, record and sensor files 0.2). All four together also give their time as a ratio to the
// sum of the four single-kind times measured before them in the same program (the median of
// their repetitions): vs_singles, at most 0.7 when the writers share the cores well.
//
// The standard data products the same way: the miniSEED file alone (at least 150 MB/s of card
// data) and the SDS archive alone; and the peers' route to the same miniSEED, our SAC files
// converted by Debian's sac2mseed, timed whole (SAC conversion + the tool) beside the median of
// our miniSEED kind: vs_ours, the peers' time over ours (above 1: ours is faster).

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <vector>

#include "app/Settings.h"
#include "card/TarqCard.h"
#include "convert/DownloadHost.h"
#include "convert/TarqConvert.h"
#include "platform/Drives.h"
#include "platform/RecordFile.h"
#include "support/CardBuilder.h"
#include "support/TestSupport.h"

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
  void Deselect(int) override { ++Converted; }
  void ShowFileName(const std::string&) override {}
  void SetProgress(int) override {}
  void RunFinished(bool succeeded, int) override { Succeeded = succeeded; }
  void ShowError(const std::string& text) override { Error = text; }
  int Lines;
  int Converted = 0;
  bool Succeeded = false;
  std::string Error;
};

void EmptyDirectory(const std::string& dir) {
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::filesystem::remove_all(entry.path());
  }
}

// Copies the data file in blocks of 1 MiB, as a file manager would. Returns seconds.
double CopySeconds(const std::string& from, const std::string& to) {
  const auto start = std::chrono::steady_clock::now();
  platform::TRecordFile in;
  platform::TRecordFile out;
  if (in.Reset(from, 1, platform::TOpenMode::ReadOnly) != 0 || out.Rewrite(to, 1) != 0) {
    return -1;
  }
  std::vector<char> block(1 << 20);
  for (;;) {
    const platform::TReadResult read = in.Read(block.data(), static_cast<int64_t>(block.size()));
    if (read.Records > 0) out.Write(block.data(), read.Records);
    if (read.Records < static_cast<int64_t>(block.size())) break;
  }
  out.Close();
  in.Close();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
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

void BM_Convert(benchmark::State& state) {
  TBigCard& card = BigCard();
  const int kinds = static_cast<int>(state.range(0));
  testing_support::TTempDir out;
  auto drives = std::make_shared<platform::TMappedDriveTable>();
  platform::TMappedDriveTable::TMapping mapping{'f', card.Dir.Path()};
  mapping.Measure = true;
  drives->Map(mapping);
  platform::SetDriveTable(drives);

  TSettings settings;
  settings.DataDir = out.Path();
  settings.RecordFile = kinds & Record;
  settings.SensorFiles = kinds & Sensor;
  settings.BinaryFile = kinds & Binary;
  settings.SacFiles = kinds & Sac;
  settings.MiniSeedFile = kinds & MiniSeed;
  settings.SdsArchive = kinds & Sds;
  TTarqCard tarq(Messages(), *drives);
  tarq.Root = drives->RootOf('f');
  tarq.Today = [] { return TProbeDate{2006, 6, 1}; };
  tarq.ProbeCard();

  // The best time of each: the machine may be busy with other work now and then.
  double copySeconds = 1e9;
  double convertSeconds = 1e9;
  for (auto _ : state) {
    // Both start with no written data waiting for the disk.
    ::sync();
    const double copy = CopySeconds(card.Dir / "fichbase.dat", out / "copy.dat");
    EmptyDirectory(out.Path());
    ::sync();
    TTarqConvert convert(tarq, settings);
    TQuietHost host(card.Events);
    const auto start = std::chrono::steady_clock::now();
    std::vector<int> events(static_cast<size_t>(card.Events));
    for (int i = 0; i < card.Events; ++i) events[static_cast<size_t>(i)] = i;
    convert.DownloadEvents(MakeDownloadSnapshot(settings, events, {}), host);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(seconds);
    if (copy < 0 || !host.Succeeded || host.Converted != card.Events) {
      state.SkipWithError(("the conversion failed: " + host.Error).c_str());
      break;
    }
    copySeconds = std::min(copySeconds, copy);
    convertSeconds = std::min(convertSeconds, seconds);
    EmptyDirectory(out.Path());
  }
  platform::SetDriveTable(nullptr);
  const double megabytes = static_cast<double>(card.Bytes) / 1e6;
  if (state.iterations() > 0 && convertSeconds < 1e9 && copySeconds < 1e9) {
    state.counters["card_MB/s"] = megabytes / convertSeconds;
    state.counters["copy_MB/s"] = megabytes / copySeconds;
    state.counters["vs_copy"] = copySeconds / convertSeconds;
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
  auto drives = std::make_shared<platform::TMappedDriveTable>();
  platform::TMappedDriveTable::TMapping mapping{'f', card.Dir.Path()};
  mapping.Measure = true;
  drives->Map(mapping);
  platform::SetDriveTable(drives);
  TSettings settings;
  settings.FlashUnit = 'f';
  settings.DataDir = out.Path();
  settings.RecordFile = false;
  settings.SacFiles = true;
  TTarqCard tarq(settings);
  tarq.Today = [] { return TProbeDate{2006, 6, 1}; };
  tarq.ProbeCard();

  double best = 1e9;
  for (auto _ : state) {
    EmptyDirectory(out.Path());
    ::sync();
    TTarqConvert convert(tarq, settings);
    TQuietHost host(card.Events);
    std::vector<int> events(static_cast<size_t>(card.Events));
    for (int i = 0; i < card.Events; ++i) events[static_cast<size_t>(i)] = i;
    const auto start = std::chrono::steady_clock::now();
    convert.DownloadEvents(MakeDownloadSnapshot(settings, events, {}), host);
    {
      std::ofstream list(out / "sac-files.txt");
      for (const auto& entry : std::filesystem::directory_iterator(out.Path())) {
        if (entry.path().extension() == ".sac") list << entry.path().string() << "\n";
      }
    }
    const std::string command = "sac2mseed -s 1 -r 4096 -n XX -o '" + (out / "all.mseed") +
                                "' '@" + (out / "sac-files.txt") + "' > /dev/null 2>&1";
    const int code = std::system(command.c_str());
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(seconds);
    if (!host.Succeeded || code != 0) {
      state.SkipWithError("the SAC conversion or sac2mseed failed");
      break;
    }
    best = std::min(best, seconds);
  }
  EmptyDirectory(out.Path());
  platform::SetDriveTable(nullptr);
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
