// Listing a card as a refresh does it: probe, scan of the directory, sizes. Listing reads the
// headers only, so events per second must not fall as the samples grow.

#include <benchmark/benchmark.h>

#include <map>
#include <memory>

#include "base/Settings.h"
#include "card/TarqCard.h"
#include "platform/Drives.h"
#include "support/CardBuilder.h"
#include "support/TestSupport.h"

namespace {

using testing_support::TBuiltEvent;
using testing_support::TCardBuilder;

class TNullView : public TDirectoryView {
 public:
  void SetCount(const std::string& text) override { benchmark::DoNotOptimize(text.data()); }
  void AddLine(const std::string& line) override { benchmark::DoNotOptimize(line.data()); }
};

// A card written once per shape and kept for the whole run (sparse samples: the files are
// large but take almost no disk space).
struct TBenchCard {
  testing_support::TTempDir Dir;
  int64_t Events = 0;
  int64_t Bytes = 0;
};

TBenchCard& CardOf(const std::string& key, const TCardBuilder& card) {
  static std::map<std::string, std::unique_ptr<TBenchCard>> cards;
  auto& slot = cards[key];
  if (!slot) {
    slot = std::make_unique<TBenchCard>();
    card.WriteTo(slot->Dir.Path());
    slot->Events = static_cast<int64_t>(card.Events.size());
    slot->Bytes = card.DataFileSize();
  }
  return *slot;
}

void ListCard(benchmark::State& state, TBenchCard& card) {
  auto drives = std::make_shared<platform::TMappedDriveTable>();
  platform::TMappedDriveTable::TMapping mapping{'f', card.Dir.Path()};
  mapping.Total = card.Bytes * 2;
  mapping.Free = card.Bytes;
  drives->Map(mapping);
  platform::SetDriveTable(drives);
  TTarqCard tarq(Messages(), *drives);
  tarq.Root = drives->RootOf('f');
  TNullView view;
  for (auto _ : state) {
    tarq.ProbeCard();
    tarq.ScanDirectory(view);
    benchmark::DoNotOptimize(tarq.CardSizes());
  }
  platform::SetDriveTable(nullptr);
  if (tarq.EventCount != card.Events) state.SkipWithError("the scan did not list every event");
  state.counters["events"] = static_cast<double>(card.Events);
  state.counters["card_MiB"] = static_cast<double>(card.Bytes) / (1 << 20);
  state.counters["events/s"] =
      benchmark::Counter(static_cast<double>(card.Events) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
}

// 10,000 events of 3 channels; the argument is the samples per channel of each event.
void BM_List10000Events(benchmark::State& state) {
  const int64_t samples = state.range(0);
  TCardBuilder card;
  card.Signature = "TARQPR410";
  TBuiltEvent event;
  event.RateDuration = samples == 0 ? "0,1" : std::to_string(samples / 60) + ",1";
  event.SparseSamples = true;
  card.Events.assign(10000, event);
  card.TailZeros = 3000;
  ListCard(state, CardOf("10000/" + std::to_string(samples), card));
}
BENCHMARK(BM_List10000Events)->Arg(0)->Arg(7500)->Arg(15000)->Unit(benchmark::kMillisecond);

// A card of 1.9 GiB: hour-long events of 6 channels at 250 Hz (16 MB each).
void BM_List1_9GiBCard(benchmark::State& state) {
  constexpr int64_t CardBytes = int64_t{19} * (int64_t{1} << 30) / 10;
  TCardBuilder card;
  card.Signature = "TARQPR410";
  TBuiltEvent event;
  event.Marker = "DEB2";
  event.Channels = "6,1047";
  event.RateDuration = "250,60";
  event.SparseSamples = true;
  const int64_t eventBytes = 171 + 250 * 3600 * 6 * 3 + 9;
  card.Events.assign(static_cast<size_t>((CardBytes - 9) / eventBytes), event);
  card.TailZeros = CardBytes - 9 - eventBytes * static_cast<int64_t>(card.Events.size());
  ListCard(state, CardOf("1.9GiB", card));
}
BENCHMARK(BM_List1_9GiBCard)->Unit(benchmark::kMillisecond);

}  // namespace
