// The archive survey: availability of a 30-day archive, the noise spectra of one channel-day
// at 250 Hz (21.6 M samples) and its day plot. Targets on one core: availability < 2 s, PSD
// of a channel-day < 1 s, day plot < 0.5 s. Run with --benchmark_repetitions=3 for medians.
//
// The archives are generated once per process in a temporary directory, removed at exit:
// - Availability: 3 stations x 2 channels x 30 days at 250 Hz, 8640 records per channel-day
//   (10 s each, as many as a 250 Hz channel fills with 4096-byte Steim-2 records). To keep the
//   disk modest each record is 256 bytes: one record packed by the project's packer, copied
//   with its start time moved on by 10 s each time and its sample count set to the 2500
//   samples of 10 s. The survey reads headers only (each record's fixed header, then a skip
//   by its length), so this is the work a real archive of that many records asks; 398 MB.
// - Channel-day: 21.6 M samples of noise packed into 4096-byte Steim-2 records.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "seed/SeedTime.h"
#include "support/ArchiveBuilder.h"
#include "survey/ArchiveIndex.h"
#include "survey/Availability.h"
#include "survey/Helicorder.h"
#include "survey/Psd.h"
#include "survey/RecordSamples.h"
#include "survey/SurveyTime.h"

namespace {

constexpr double Rate = 250;
constexpr int64_t RecordSeconds = 10;
constexpr int Days = 30;

class TBenchDir {
 public:
  TBenchDir() {
    char pattern[] = "/tmp/readtarq-survey-bench-XXXXXX";
    Path = ::mkdtemp(pattern);
  }
  ~TBenchDir() { std::filesystem::remove_all(Path); }
  std::string Path;
};

TBenchDir& Scratch() {
  static TBenchDir dir;
  return dir;
}

void PutBig16(std::string& bytes, size_t at, int value) {
  bytes[at] = static_cast<char>((value >> 8) & 0xff);
  bytes[at + 1] = static_cast<char>(value & 0xff);
}

// Moves a record's start time (its BTime; the packer's records carry no microsecond
// blockette for whole seconds) and sets its sample count.
void Restamp(std::string& record, int64_t time, int samples) {
  const seed::TSeedTime t = seed::TSeedTime::FromEpochMicroseconds(time);
  PutBig16(record, 20, t.Year);
  PutBig16(record, 22, t.DayOfYear());
  record[24] = static_cast<char>(t.Hour);
  record[25] = static_cast<char>(t.Minute);
  record[26] = static_cast<char>(t.Second);
  PutBig16(record, 28, t.Microsecond / 100);
  PutBig16(record, 30, samples);
}

const std::string& AvailabilityArchive() {
  static const std::string root = [] {
    const std::string path = Scratch().Path + "/sds";
    const int64_t first = testing_support::UtcMicroseconds(2026, 5, 1);
    std::vector<int32_t> ramp(100);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<int32_t>(i);
    for (const char* station : {"STA01", "STA02", "STA03"}) {
      for (const char* channel : {"HHZ", "HNZ"}) {
        const std::string id = std::string("XX.") + station + ".00." + channel;
        std::string record =
            testing_support::PackSegment(id, Rate, first, ramp, 256).substr(0, 256);
        for (int day = 0; day < Days; ++day) {
          const int64_t dayStart = first + day * survey::DayMicroseconds;
          std::string file;
          file.reserve(8640 * 256);
          for (int64_t r = 0; r < 86400 / RecordSeconds; ++r) {
            Restamp(record, dayStart + r * RecordSeconds * survey::Microseconds,
                    static_cast<int>(RecordSeconds * Rate));
            file += record;
          }
          std::ofstream(testing_support::DayFilePath(path, id, dayStart), std::ios::binary)
              << file;
        }
      }
    }
    return path;
  }();
  return root;
}

const std::vector<double>& DaySamples() {
  static const std::vector<double> samples = [] {
    std::vector<double> values(static_cast<size_t>(86400 * Rate));
    std::mt19937 random(3);
    std::normal_distribution<double> noise(0, 2000);
    for (double& v : values) v = std::round(noise(random));
    return values;
  }();
  return samples;
}

// The channel-day archived, indexed.
const survey::TArchiveIndex& DayArchive() {
  static const survey::TArchiveIndex index = [] {
    const std::string path = Scratch().Path + "/day";
    std::vector<int32_t> counts(DaySamples().begin(), DaySamples().end());
    testing_support::AddSegment(path, "XX.STA01.00.HHZ", Rate,
                                testing_support::UtcMicroseconds(2026, 6, 14), counts, 4096);
    return survey::IndexArchive(path);
  }();
  return index;
}

void BM_Availability30Days(benchmark::State& state) {
  const std::string& root = AvailabilityArchive();
  int64_t records = 0;
  for (auto _ : state) {
    const survey::TArchiveIndex index = survey::IndexArchive(root);
    const std::vector<survey::TChannelAvailability> channels = survey::ArchiveAvailability(index);
    benchmark::DoNotOptimize(channels.data());
    records = index.RecordCount;
    if (!index.Problems.empty() || channels.size() != 6 || !channels[0].Gaps.empty()) {
      state.SkipWithError("the generated archive did not read back whole");
    }
  }
  state.counters["records"] = static_cast<double>(records);
}
BENCHMARK(BM_Availability30Days)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_ChannelDayPsd(benchmark::State& state) {
  survey::TSampleRun run{testing_support::UtcMicroseconds(2026, 6, 14), Rate, DaySamples()};
  const std::vector<double> grid = survey::ChannelGrid(Rate);
  for (auto _ : state) {
    survey::TPsdCalculator calculator(Rate, nullptr, grid);
    std::vector<survey::TWindowPsd> windows;
    calculator.AddRun(run, windows);
    benchmark::DoNotOptimize(windows.data());
    if (windows.size() != 47) state.SkipWithError("not 47 windows");
  }
}
BENCHMARK(BM_ChannelDayPsd)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_ChannelDayRead(benchmark::State& state) {
  const survey::TArchiveIndex& index = DayArchive();
  const int64_t day = testing_support::UtcMicroseconds(2026, 6, 14);
  for (auto _ : state) {
    const survey::TChannelSamples samples =
        survey::ReadChannelSamples(index, index.Channels[0], day, day + survey::DayMicroseconds);
    if (samples.SampleCount() != static_cast<int64_t>(DaySamples().size())) {
      state.SkipWithError("samples missing");
    }
  }
}
BENCHMARK(BM_ChannelDayRead)->Unit(benchmark::kMillisecond)->Iterations(1);

// The day plot from the archive: the day's records decoded, the plot built and drawn.
void BM_DayPlot(benchmark::State& state) {
  const survey::TArchiveIndex& index = DayArchive();
  const int64_t day = testing_support::UtcMicroseconds(2026, 6, 14);
  for (auto _ : state) {
    const survey::TChannelSamples samples =
        survey::ReadChannelSamples(index, index.Channels[0], day, day + survey::DayMicroseconds);
    const survey::THelicorder plot = survey::BuildHelicorder(
        index.Channels[0].Id, survey::DayOf(day), Rate, samples.Runs);
    const std::string svg = survey::HelicorderSvg(plot);
    benchmark::DoNotOptimize(svg.data());
  }
}
BENCHMARK(BM_DayPlot)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
