// The erase guard reads every event of the card again and hashes its bytes: MB/s (10^6 bytes)
// of a generated card read from the page cache, so the reading and hashing themselves. A real
// card is read at its reader's rate, far lower: the guard's time on a card is its size over
// that rate.

#include <benchmark/benchmark.h>

#include <memory>

#include "base/Messages.h"
#include "card/TarqCard.h"
#include "ledger/SavedEvents.h"
#include "platform/Drives.h"
#include "support/CardBuilder.h"
#include "support/TestSupport.h"

namespace {

using testing_support::TBuiltEvent;
using testing_support::TCardBuilder;

void BM_EraseGuardCardHash(benchmark::State& state) {
  // Two events of 18 channels at 1000 Hz for 10 minutes: 64.8 MB of samples.
  static testing_support::TTempDir dir;
  static int64_t sampleBytes = 0;
  if (sampleBytes == 0) {
    TCardBuilder card;
    for (const char* number : {"001", "002"}) {
      TBuiltEvent event;
      event.Channels = "18,12";
      event.RateDuration = "1000,10";
      event.FileNumber = number;
      card.Events.push_back(event);
      sampleBytes += event.FrameCount() * 18 * 3;
    }
    card.WriteTo(dir.Path());
  }
  auto drives = std::make_shared<platform::TMappedDriveTable>();
  drives->Map({'f', dir.Path()});
  platform::SetDriveTable(drives);
  TTarqCard tarq(Messages(), *drives);
  tarq.Root = drives->RootOf('f');
  for (auto _ : state) {
    const TCardEvents events = ReadCardEvents(tarq);
    for (const TCardEvent& event : events.Events) {
      benchmark::DoNotOptimize(ReadEventContentHash(events, event));
    }
  }
  platform::SetDriveTable(nullptr);
  state.counters["MB/s"] = benchmark::Counter(static_cast<double>(sampleBytes) / 1e6,
                                              benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_EraseGuardCardHash)->Unit(benchmark::kMillisecond);

}  // namespace
