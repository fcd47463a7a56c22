// Reading a station sheet of 10,000 and of 100,000 recorders (every column filled, a quoted
// site name with a comma in each line): the time per sheet and lines per second. Doubling the
// lines should about double the time.

#include <benchmark/benchmark.h>

#include <string>

#include "seed/SeedText.h"
#include "seed/StationSheet.h"

namespace {

std::string Sheet(int64_t lines) {
  std::string text = "serial,station,network,site,latitude,longitude,elevation,instrument,period\n";
  for (int64_t serial = 1; serial <= lines; ++serial) {
    text += seed::DecimalText(serial) + ",S" + seed::DecimalText(serial % 10000) +
            ",Z3,\"Berck, dune " + seed::DecimalText(serial % 97) + "\",50.4012,1.5633," +
            seed::DecimalText(serial % 500) + ",TP-3 #4," + (serial % 2 ? "short" : "broad") + "\n";
  }
  return text;
}

void BM_StationSheetParse(benchmark::State& state) {
  const std::string text = Sheet(state.range(0));
  for (auto _ : state) {
    benchmark::DoNotOptimize(seed::TStationSheet::Parse(text, "stations.csv"));
  }
  state.counters["lines/s"] = benchmark::Counter(static_cast<double>(state.range(0)),
                                                 benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_StationSheetParse)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
