// miniSEED packing of card data: 24-bit big-endian samples of 3 interleaved channels at
// 250 Hz (a sine with noise), decoded and packed into Steim-2 records of each channel, beside
// a memcpy of the same card bytes. MB/s (10^6 bytes) of card data, best of the iterations;
// the target is 150 MB/s on one core.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "seed/MiniSeedPacker.h"

namespace {

constexpr int Channels = 3;
constexpr int Rate = 250;
constexpr size_t Frames = static_cast<size_t>(Rate) * 3600;  // one hour: 8.1 MB of card data

const std::vector<uint8_t>& CardBytes() {
  static const std::vector<uint8_t> bytes = [] {
    std::vector<uint8_t> data(Frames * Channels * 3);
    std::mt19937 random(5);
    std::normal_distribution<double> noise(0, 200);
    uint8_t* p = data.data();
    for (size_t f = 0; f < Frames; ++f) {
      for (int c = 0; c < Channels; ++c) {
        const double t = static_cast<double>(f) / Rate;
        const auto value =
            static_cast<int32_t>(300000 * std::sin(2 * 3.14159265 * (1.3 + c) * t) + noise(random));
        const auto raw = static_cast<uint32_t>(value);
        *p++ = static_cast<uint8_t>(raw >> 16);
        *p++ = static_cast<uint8_t>(raw >> 8);
        *p++ = static_cast<uint8_t>(raw);
      }
    }
    return data;
  }();
  return bytes;
}

int32_t Sample(const uint8_t* b) {
  const auto raw = static_cast<uint32_t>(b[0]) << 24 | static_cast<uint32_t>(b[1]) << 16 |
                   static_cast<uint32_t>(b[2]) << 8;
  return static_cast<int32_t>(raw) >> 8;
}

void BM_MiniSeedPack(benchmark::State& state) {
  const std::vector<uint8_t>& card = CardBytes();
  const int recordLength = static_cast<int>(state.range(0));
  std::vector<uint8_t> copy(card.size());
  std::vector<std::string> out(Channels);
  for (std::string& records : out) records.reserve(card.size());
  constexpr size_t Block = 4096;  // frames decoded at a time
  std::vector<int32_t> samples(Block);

  double packSeconds = 1e9;
  double copySeconds = 1e9;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    std::memcpy(copy.data(), card.data(), card.size());
    benchmark::DoNotOptimize(copy.data());
    copySeconds =
        std::min(copySeconds,
                 std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());

    start = std::chrono::steady_clock::now();
    std::vector<std::unique_ptr<seed::TMiniSeedPacker>> packers;
    for (int c = 0; c < Channels; ++c) {
      out[static_cast<size_t>(c)].clear();
      seed::TMiniSeedStream stream;
      stream.Codes = seed::DefaultChannelCodes(23, Rate, seed::TSensorPeriod::Short, c);
      stream.SampleRate = Rate;
      stream.Start = seed::TSeedTime::FromMilliseconds(2026, 6, 14, 10, 23, 47, 123);
      stream.RecordLength = recordLength;
      std::string* sink = &out[static_cast<size_t>(c)];
      packers.push_back(std::make_unique<seed::TMiniSeedPacker>(
          stream, [sink](const char* record, size_t length) { sink->append(record, length); }));
    }
    for (size_t first = 0; first < Frames; first += Block) {
      const size_t frames = std::min(Block, Frames - first);
      for (int c = 0; c < Channels; ++c) {
        const uint8_t* from = card.data() + (first * Channels + static_cast<size_t>(c)) * 3;
        for (size_t f = 0; f < frames; ++f, from += Channels * 3) samples[f] = Sample(from);
        packers[static_cast<size_t>(c)]->Add(samples.data(), frames);
      }
    }
    for (auto& packer : packers) packer->Finish();
    packSeconds =
        std::min(packSeconds,
                 std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  size_t packed = 0;
  for (const std::string& records : out) packed += records.size();
  const double megabytes = static_cast<double>(card.size()) / 1e6;
  state.counters["card_MB/s"] = megabytes / packSeconds;
  state.counters["memcpy_MB/s"] = megabytes / copySeconds;
  state.counters["vs_memcpy"] = copySeconds / packSeconds;
  state.counters["mseed/card"] = static_cast<double>(packed) / static_cast<double>(card.size());
}

BENCHMARK(BM_MiniSeedPack)->Arg(4096)->Arg(512)->Unit(benchmark::kMillisecond)->MinTime(2);

}  // namespace
