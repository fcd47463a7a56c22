// Downloading from a slow card: the card's data file is read at a card reader's pace through
// the file layer's fault plan, which only this program's core (the one tests use) holds. For
// each output kind alone and all six together: the time the card alone needs to deliver its
// data file (card_s, read in the run's blocks), the download's wall time (download_s, flushed
// as the programs flush), and their ratio (vs_card; the card is the limit when it is near 1).
// Medians of the iterations. And the ingest of four cards, each in a card reader of its own,
// at once against one after another (IngestCards.h).
//
// The pace: READTARQ_CARD_MBPS MB/s (10^6 bytes; 90 when unset), and each read also waits
// READTARQ_CARD_LATENCY_US microseconds (500 when unset): a USB card reader answers each read
// command after about half a millisecond (the command, the card's access, the status) before
// the data flow, whatever the size asked for; a reader that streamed with no gap would only
// make the card look faster to both sides of the ratio alike.

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "CardRun.h"
#include "IngestCards.h"
#include "download/DownloadRun.h"
#include "platform/RecordFile.h"

namespace {

using namespace bench_support;

int64_t EnvironmentNumber(const char* name, int64_t fallback) {
  const char* text = std::getenv(name);
  if (!text) return fallback;
  const std::string_view view(text);
  int64_t value = 0;
  const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), value);
  return error == std::errc() && end == view.data() + view.size() && value >= 0 ? value : fallback;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Reading the card's data file is slow from now on, until the object ends.
class TSlowCard {
 public:
  TSlowCard() {
    platform::TFaultPlan plan;
    plan.PathContains = "fichbase.dat";
    plan.ReadBytesPerSecond = EnvironmentNumber("READTARQ_CARD_MBPS", 90) * 1'000'000;
    plan.ReadLatencyMicros = EnvironmentNumber("READTARQ_CARD_LATENCY_US", 500);
    platform::SetFaultPlan(plan);
  }
  ~TSlowCard() { platform::ClearFaultPlan(); }
  TSlowCard(const TSlowCard&) = delete;
  TSlowCard& operator=(const TSlowCard&) = delete;
};

// The seconds the slow card takes to deliver its data file in blocks of `blockBytes`
// (-1 when it cannot be read).
double CardReadSeconds(const std::string& path, int64_t blockBytes) {
  platform::TRecordFile file;
  if (file.Reset(path, 1, platform::TOpenMode::ReadOnly) != 0) return -1;
  std::vector<char> block(static_cast<size_t>(blockBytes));
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    const platform::TReadResult read = file.Read(block.data(), blockBytes);
    if (read.Error) return -1;
    if (read.Records < blockBytes) break;
  }
  file.Close();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_SlowCard(benchmark::State& state) {
  TBigCard& card = BigCard();
  const int kinds = static_cast<int>(state.range(0));
  testing_support::TTempDir out;
  TCardRun run(card, out.Path(), kinds);
  // The run's block, whole frames of 3 and 6 channels: within a frame of the same size.
  const int64_t blockBytes = TDownloadRun(run.Card()).ReadBlockSize();
  std::vector<double> cardSeconds;
  std::vector<double> downloadSeconds;
  int64_t peakBytes = 0;
  for (auto _ : state) {
    const TSlowCard slow;
    const double read = CardReadSeconds(card.DataFile(), blockBytes);
    ::sync();
    std::string error;
    const bool peakKnown = ResetPeakMemory();
    const double seconds = run.ConvertAll(error);
    if (peakKnown) peakBytes = std::max(peakBytes, PeakMemoryBytes());
    state.SetIterationTime(std::max(seconds, 0.0));
    EmptyDirectory(out.Path());
    if (read < 0 || seconds < 0) {
      state.SkipWithError(("the card could not be read or converted: " + error).c_str());
      break;
    }
    cardSeconds.push_back(read);
    downloadSeconds.push_back(seconds);
  }
  if (!downloadSeconds.empty()) {
    const double cardTime = Median(cardSeconds);
    const double downloadTime = Median(downloadSeconds);
    state.counters["card_s"] = cardTime;
    state.counters["download_s"] = downloadTime;
    state.counters["vs_card"] = downloadTime / cardTime;
    state.counters["card_MB/s"] = static_cast<double>(card.Bytes) / 1e6 / cardTime;
    if (peakBytes > 0) state.counters["peak_MB"] = static_cast<double>(peakBytes) / 1e6;
  }
}

BENCHMARK(BM_SlowCard)->ArgName("binary")->Arg(Binary)->Iterations(3)->UseManualTime();
BENCHMARK(BM_SlowCard)->ArgName("sac")->Arg(Sac)->Iterations(3)->UseManualTime();
BENCHMARK(BM_SlowCard)->ArgName("record")->Arg(Record)->Iterations(3)->UseManualTime();
BENCHMARK(BM_SlowCard)->ArgName("sensor")->Arg(Sensor)->Iterations(3)->UseManualTime();
BENCHMARK(BM_SlowCard)->ArgName("mseed")->Arg(MiniSeed)->Iterations(3)->UseManualTime();
BENCHMARK(BM_SlowCard)->ArgName("sds")->Arg(Sds)->Iterations(3)->UseManualTime();
BENCHMARK(BM_SlowCard)->ArgName("all_six")->Arg(AllSix)->Iterations(3)->UseManualTime();

// Each card's data file read at the pace above, each card in a reader of its own: the readers
// deliver at the same time, as four readers on four ports would.
void BM_SlowIngestFourCards(benchmark::State& state) {
  const TSlowCard slow;
  IngestFourWays(state, FourIngestCards());
}
BENCHMARK(BM_SlowIngestFourCards)->Iterations(1)->Repetitions(3)->UseManualTime()->Unit(
    benchmark::kSecond);

}  // namespace
