// Converting a card of more than 256 MiB from the page cache, each output kind alone, all four
// original kinds and all six together, beside a plain copy of the same card file made in the
// same iteration: MB/s (10^6 bytes) of card data, median of the iterations, and the ratio to the
// copy (the targets: binary 0.5, SAC 0.4, record and sensor files 0.2). All four together also give
// their time as a ratio to the sum of the four single-kind times measured before them in the same
// program (the median of their repetitions): vs_singles, at most 0.7 when the writers share the
// cores well.
//
// The copy is saved as a download's files are (flushed to the medium, file and directory):
// vs_copy compares the two with the same guarantee. Processor time over wall time tells how
// many cores a conversion kept busy (cores, nosync_cores); peak_MB is the most memory the
// process held during a flushed conversion (the card's samples are never all in memory).
//
// The standard data products the same way: the miniSEED file alone (at least 150 MB/s of card
// data) and the SDS archive alone; and the peers' route to the same miniSEED, our SAC files
// converted by Debian's sac2mseed, timed whole (SAC conversion + the tool) beside the median of
// our miniSEED kind: vs_ours, the peers' time over ours (above 1: ours is faster).
//
// Each iteration also converts the card with the flush of the saved files to the medium left
// out: nosync_MB/s beside card_MB/s (which flushes every event, as the programs do).

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <vector>

#include "CardRun.h"
#include "platform/DurableFlush.h"

namespace {

using namespace bench_support;

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
  TCardRun run(card, out.Path(), kinds);

  // The median of each: the machine may be busy with other work now and then.
  std::vector<double> copySeconds;
  std::vector<double> unflushedCopySeconds;
  std::vector<double> convertSeconds;
  std::vector<double> unflushedSeconds;
  std::vector<double> cores;  // processor time over wall time
  std::vector<double> unflushedCores;
  int64_t peakBytes = 0;
  int64_t writtenBytes = 0;
  for (auto _ : state) {
    // Each starts with no written data waiting for the disk.
    ::sync();
    const TCopyTimes copy = CopySeconds(card.DataFile(), out / "copy.dat");
    EmptyDirectory(out.Path());
    ::sync();
    std::string error;
    const bool peakKnown = ResetPeakMemory();
    double processor = ProcessorSeconds();
    const double seconds = run.ConvertAll(error);
    if (seconds > 0) cores.push_back((ProcessorSeconds() - processor) / seconds);
    if (peakKnown) peakBytes = std::max(peakBytes, PeakMemoryBytes());
    state.SetIterationTime(std::max(seconds, 0.0));
    writtenBytes = DirectoryBytes(out.Path());
    EmptyDirectory(out.Path());
    double unflushed = -1;
    if (seconds >= 0) {
      ::sync();
      platform::TScopedSyncHook noFlush([](int, const std::string&, bool) { return 0; });
      processor = ProcessorSeconds();
      unflushed = run.ConvertAll(error);
      if (unflushed > 0) unflushedCores.push_back((ProcessorSeconds() - processor) / unflushed);
      EmptyDirectory(out.Path());
    }
    if (copy.Saved < 0 || seconds < 0 || unflushed < 0) {
      state.SkipWithError(("the conversion failed: " + error).c_str());
      break;
    }
    copySeconds.push_back(copy.Saved);
    unflushedCopySeconds.push_back(copy.Written);
    convertSeconds.push_back(seconds);
    unflushedSeconds.push_back(unflushed);
  }
  const double megabytes = static_cast<double>(card.Bytes) / 1e6;
  if (!convertSeconds.empty() && !cores.empty() && !unflushedCores.empty()) {
    const double converted = Median(convertSeconds);
    const double unflushed = Median(unflushedSeconds);
    const double copied = Median(copySeconds);
    state.counters["card_MB/s"] = megabytes / converted;
    state.counters["cores"] = Median(cores);
    state.counters["nosync_MB/s"] = megabytes / unflushed;
    state.counters["nosync_cores"] = Median(unflushedCores);
    state.counters["copy_MB/s"] = megabytes / copied;
    state.counters["vs_copy"] = copied / converted;
    state.counters["nosync_vs_copy"] = Median(unflushedCopySeconds) / unflushed;
    if (peakBytes > 0) state.counters["peak_MB"] = static_cast<double>(peakBytes) / 1e6;
    // What the disk had to take: the outputs' bytes per card byte, and at what rate they were
    // written and flushed (to set beside the plain copy's rate).
    state.counters["out_per_card"] = static_cast<double>(writtenBytes) / 1e6 / megabytes;
    state.counters["out_MB/s"] = static_cast<double>(writtenBytes) / 1e6 / converted;
    BestSeconds()[kinds].push_back(converted);
    const double singles = SumOfSingles();
    if (kinds == All && singles > 0) state.counters["vs_singles"] = converted / singles;
  }
}

BENCHMARK(BM_Convert)
    ->ArgName("binary")
    ->Arg(Binary)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Convert)
    ->ArgName("sac")
    ->Arg(Sac)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Convert)
    ->ArgName("record")
    ->Arg(Record)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Convert)
    ->ArgName("sensor")
    ->Arg(Sensor)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Convert)
    ->ArgName("mseed")
    ->Arg(MiniSeed)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Convert)
    ->ArgName("sds")
    ->Arg(Sds)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Convert)
    ->ArgName("all_four")
    ->Arg(All)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Convert)
    ->ArgName("all_six")
    ->Arg(AllSix)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// One event of 6 channels, an hour at 250 Hz or three hours at 500 Hz (16 or 97 MB of card), in
// all six kinds from the page cache, flushed: the peak memory must not grow with the event.
void BM_LongEvent(benchmark::State& state) {
  const int minutes = static_cast<int>(state.range(0));
  const TBigCard card(1, static_cast<int>(state.range(1)), minutes);
  testing_support::TTempDir out;
  TCardRun run(card, out.Path(), AllSix);
  std::vector<double> seconds;
  int64_t peakBytes = 0;
  for (auto _ : state) {
    ::sync();
    std::string error;
    const bool peakKnown = ResetPeakMemory();
    const double converted = run.ConvertAll(error);
    if (peakKnown) peakBytes = std::max(peakBytes, PeakMemoryBytes());
    state.SetIterationTime(std::max(converted, 0.0));
    EmptyDirectory(out.Path());
    if (converted < 0) {
      state.SkipWithError(("the conversion failed: " + error).c_str());
      break;
    }
    seconds.push_back(converted);
  }
  if (!seconds.empty()) {
    state.counters["card_MB/s"] = static_cast<double>(card.Bytes) / 1e6 / Median(seconds);
    if (peakBytes > 0) state.counters["peak_MB"] = static_cast<double>(peakBytes) / 1e6;
  }
}

BENCHMARK(BM_LongEvent)
    ->ArgNames({"minutes", "Hz"})
    ->Args({60, 250})
    ->Args({180, 500})
    ->Iterations(1)
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
    const std::string command = "sac2mseed -s 1 -r 4096 -n XX -o '" + (out / "all.mseed") + "' '@" +
                                (out / "sac-files.txt") + "' > /dev/null 2>&1";
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
