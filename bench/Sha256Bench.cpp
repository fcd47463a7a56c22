// SHA-256 of the bytes a download writes: MB/s (10^6 bytes) on one core, fed in the 64 KiB
// pieces a writer hands over (the target: 200 MB/s), with the processor's SHA instructions when
// it has them (argument 0) and with the portable code (argument 1).

#include <benchmark/benchmark.h>

#include <string>

#include "base/Sha256.h"

namespace {

void BM_Sha256(benchmark::State& state) {
  const std::string piece(64 * 1024, '\x5a');
  constexpr int Pieces = 256;  // 16 MiB
  for (auto _ : state) {
    TSha256 hash(state.range(0) ? TSha256::TEngine::Portable : TSha256::TEngine::Auto);
    for (int i = 0; i < Pieces; ++i) hash.Update(piece.data(), piece.size());
    benchmark::DoNotOptimize(hash.Final());
  }
  const double bytes = static_cast<double>(piece.size()) * Pieces;
  state.counters["MB/s"] =
      benchmark::Counter(bytes / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Sha256)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
