// Filing events into the SDS archive, flushes to the medium included: taking and letting go
// of the archive's lock alone, and 6-channel events of 10 minutes at 100 Hz (two stations,
// interleaved on one day) filed by one writer, by two writers into one archive, and by two
// writers into two archives (who never wait for each other). Events per second, wall time.

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "seed/MiniSeedPacker.h"
#include "seed/SdsArchive.h"
#include "seed/SdsLock.h"
#include "support/TestSupport.h"

namespace {

constexpr int Channels = 6;
constexpr int Rate = 100;
constexpr int EventMinutes = 10;
constexpr int EventsEach = 12;

// The events of one station's card, every 20 minutes from 00:00 (`offset` minutes later).
std::vector<std::string> CardEvents(int serial, int offset) {
  std::vector<std::string> events;
  std::mt19937 random(static_cast<unsigned>(serial));
  std::normal_distribution<double> noise(0, 200);
  for (int e = 0; e < EventsEach; ++e) {
    const int minute = 20 * e + offset;
    std::string bytes;
    for (int c = 0; c < Channels; ++c) {
      seed::TMiniSeedStream stream;
      stream.Codes = seed::DefaultChannelCodes(serial, Rate, seed::TSensorPeriod::Short, c);
      stream.SampleRate = Rate;
      stream.Start = seed::TSeedTime::FromMilliseconds(2026, 5, 12, minute / 60, minute % 60, 0, 0);
      stream.RecordLength = 4096;
      seed::TMiniSeedPacker packer(stream, [&](const char* r, size_t n) { bytes.append(r, n); });
      std::vector<int32_t> samples(static_cast<size_t>(Rate) * 60 * EventMinutes);
      for (size_t i = 0; i < samples.size(); ++i) {
        const double t = static_cast<double>(i) / Rate;
        samples[i] =
            static_cast<int32_t>(30000 * std::sin(2 * 3.14159265 * (1.3 + c) * t) + noise(random));
      }
      packer.Add(samples.data(), samples.size());
      packer.Finish();
    }
    events.push_back(std::move(bytes));
  }
  return events;
}

void BM_SdsLock(benchmark::State& state) {
  testing_support::TTempDir root;
  for (auto _ : state) {
    const seed::TSdsLock lock(root.Path(), "XX", "023");
  }
}
BENCHMARK(BM_SdsLock)->Unit(benchmark::kMicrosecond);

// Arguments: writers, and whether each has an archive of its own.
void BM_SdsWriters(benchmark::State& state) {
  static const std::vector<std::vector<std::string>> cards = {CardEvents(23, 0),
                                                              CardEvents(47, 10)};
  const int writers = static_cast<int>(state.range(0));
  const bool separate = state.range(1) != 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<std::unique_ptr<testing_support::TTempDir>> roots;
    for (int w = 0; w < (separate ? writers : 1); ++w) {
      roots.push_back(std::make_unique<testing_support::TTempDir>());
    }
    state.ResumeTiming();
    std::vector<std::thread> threads;
    for (int w = 0; w < writers; ++w) {
      threads.emplace_back([&, w] {
        seed::TSdsArchive archive(roots[separate ? static_cast<size_t>(w) : 0]->Path());
        for (const std::string& event : cards[static_cast<size_t>(w)]) archive.Insert(event);
      });
    }
    for (std::thread& thread : threads) thread.join();
    state.PauseTiming();
    roots.clear();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * writers * EventsEach);
}
BENCHMARK(BM_SdsWriters)
    ->Args({1, 0})
    ->Args({2, 0})
    ->Args({2, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace
