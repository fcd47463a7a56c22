// Filing a day of events into an empty SDS archive through one session, as a download does:
// 74 events of 10 minutes, 6 channels at 250 Hz, one after another (00:00, 00:10, ...) or
// overlapping (one starting every minute), flushes to the medium included. Wall time of the
// whole run (the batch's write at the end included) and, in milliseconds, of the 1st, 10th,
// 40th and 74th event's filing and of the final write.

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "seed/MiniSeedPacker.h"
#include "seed/SdsArchive.h"
#include "support/TestSupport.h"

namespace {

constexpr int Channels = 6;
constexpr int Rate = 250;
constexpr int EventMinutes = 10;
constexpr int Events = 74;

// The events of a day, `every` minutes from 00:00.
std::vector<std::string> DayEvents(int every) {
  std::vector<std::string> events;
  std::mt19937 random(23);
  std::normal_distribution<double> noise(0, 200);
  std::vector<int32_t> samples(static_cast<size_t>(Rate) * 60 * EventMinutes);
  for (int e = 0; e < Events; ++e) {
    const int minute = every * e;
    std::string bytes;
    for (int c = 0; c < Channels; ++c) {
      seed::TMiniSeedStream stream;
      stream.Codes = seed::DefaultChannelCodes(23, Rate, seed::TSensorPeriod::Short, c);
      stream.SampleRate = Rate;
      stream.Start = seed::TSeedTime::FromMilliseconds(2026, 5, 12, minute / 60, minute % 60, 0, 0);
      seed::TMiniSeedPacker packer(stream, [&](const char* r, size_t n) { bytes.append(r, n); });
      for (size_t i = 0; i < samples.size(); ++i) {
        const double t = static_cast<double>(i) / Rate + 60.0 * minute;
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

double Milliseconds(std::chrono::steady_clock::duration duration) {
  return std::chrono::duration<double, std::milli>(duration).count();
}

// Argument: the minutes from one event's start to the next one's.
void BM_SdsDay(benchmark::State& state) {
  const int every = static_cast<int>(state.range(0));
  static std::vector<std::string> apart = DayEvents(EventMinutes);
  static std::vector<std::string> overlapping = DayEvents(1);
  const std::vector<std::string>& events = every == EventMinutes ? apart : overlapping;
  std::vector<double> eventMs(Events);
  double flushMs = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto root = std::make_unique<testing_support::TTempDir>();
    state.ResumeTiming();
    {
      seed::TSdsSession session(root->Path());
      for (size_t e = 0; e < events.size(); ++e) {
        const auto start = std::chrono::steady_clock::now();
        session.Insert(events[e]);
        eventMs[e] = Milliseconds(std::chrono::steady_clock::now() - start);
      }
      const auto start = std::chrono::steady_clock::now();
      session.Flush();
      flushMs = Milliseconds(std::chrono::steady_clock::now() - start);
    }
    state.PauseTiming();
    root.reset();
    state.ResumeTiming();
  }
  int64_t bytes = 0;
  for (const std::string& event : events) bytes += static_cast<int64_t>(event.size());
  state.SetBytesProcessed(state.iterations() * bytes);
  for (const int e : {1, 10, 40, 74}) {
    state.counters["event" + std::to_string(e) + "_ms"] = eventMs[static_cast<size_t>(e - 1)];
  }
  state.counters["flush_ms"] = flushMs;
}
BENCHMARK(BM_SdsDay)
    ->Arg(EventMinutes)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3);

}  // namespace
