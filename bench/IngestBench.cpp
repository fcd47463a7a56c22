// Ingest: four cards of about 64 MB into an empty archive, read at once against one after
// another in the same run, with the peak memory and whether both archives are the same bytes;
// and a campaign of 200 small cards filed one after another into one archive, the time per card
// as the archive grows.

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "base/Sha256.h"
#include "download/Ingest.h"
#include "support/CardBuilder.h"
#include "support/CardDrive.h"
#include "support/TestSupport.h"

namespace {

using testing_support::TBuiltEvent;
using testing_support::TCardBuilder;

struct TBenchCard {
  explicit TBenchCard(char letter) : Drive(letter) { Card.Root = Drive.Root(); }
  testing_support::TCardDrive Drive;
  testing_support::TScriptedMessages Messages;
  TTarqCard Card{Messages, *Drive.Drives};
};

// An event of `serial` starting at day `day` of June, hh:mm, `minutes` long at `rate` Hz.
TBuiltEvent EventOf(int serial, int day, int hour, int minute, int minutes, int rate, int number) {
  auto two = [](int n) { return std::string(n < 10 ? "0" : "") + std::to_string(n); };
  TBuiltEvent event;
  event.Channels = "3," + std::to_string(serial);
  event.FileStem = "06" + two(day) + two(hour) + two(minute);
  event.StartSecond = "00000";
  event.FileNumber = std::string(number < 100 ? "0" : "") + two(number % 100);
  event.RateDuration = std::to_string(rate) + "," + std::to_string(minutes);
  return event;
}

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The peak resident memory since the last ResetPeak, in MB. The peak starts from the memory
// in use: what the allocator kept of memory freed before (the last repetition's tree hashes)
// is given back first, or it would count as the ingest's.
void ResetPeak() {
  ::malloc_trim(0);
  std::ofstream("/proc/self/clear_refs") << "5";
}
double PeakMegabytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) != 0) continue;
    const size_t digits = line.find_first_of("0123456789");
    int64_t kilobytes = 0;
    if (digits == std::string::npos) return -1;
    std::from_chars(line.data() + digits, line.data() + line.size(), kilobytes);
    return static_cast<double>(kilobytes) / 1024.0;
  }
  return -1;
}

// One hash over every file of the tree, by relative path.
std::string TreeHash(const std::string& root) {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) {
      files.push_back(std::filesystem::relative(entry.path(), root).string());
    }
  }
  std::sort(files.begin(), files.end());
  std::string all;
  for (const std::string& file : files) {
    all += file + "\n" + TSha256::HexOf(testing_support::ReadWholeFile(root + "/" + file));
  }
  return TSha256::HexOf(all);
}

TIngestSummary IngestInto(const std::string& archive, const std::vector<TBenchCard*>& cards,
                          int jobs) {
  std::vector<TTarqCard*> held;
  std::vector<std::string> names;
  for (TBenchCard* card : cards) {
    held.push_back(&card->Card);
    names.push_back(card->Drive.Root());
  }
  TIngestOptions options;
  options.Archive = archive;
  options.Jobs = jobs;
  TIngestProgress quiet;
  return IngestCards(held, names, options, quiet);
}

// Four cards, 8 events of an hour at 250 Hz each (65 MB): stations 23 (two successive cards),
// 24 and 25.
void BM_IngestFourCards(benchmark::State& state) {
  std::vector<std::unique_ptr<TBenchCard>> cards;
  const int serials[] = {23, 23, 24, 25};
  for (int c = 0; c < 4; ++c) {
    cards.push_back(std::make_unique<TBenchCard>(static_cast<char>('e' + c)));
    TCardBuilder card;
    for (int e = 0; e < 8; ++e) {
      const int hour = (c == 1 ? 8 : 0) + e;  // the second card of station 23 goes on after the first
      card.Events.push_back(EventOf(serials[c], 14, hour, 0, 60, 250, e + 1));
    }
    cards.back()->Drive.Write(card);
  }
  std::vector<TBenchCard*> all;
  for (auto& card : cards) all.push_back(card.get());
  for (auto _ : state) {
    testing_support::TTempDir one, four;
    auto start = std::chrono::steady_clock::now();
    ResetPeak();
    for (TBenchCard* card : all) IngestInto(one.Path(), {card}, 1);
    const double sequential = Seconds(start);
    const double sequentialPeak = PeakMegabytes();
    start = std::chrono::steady_clock::now();
    ResetPeak();
    const TIngestSummary summary = IngestInto(four.Path(), all, 4);
    const double concurrent = Seconds(start);
    const double concurrentPeak = PeakMegabytes();
    if (!summary.AllSaved()) state.SkipWithError("an event was not saved");
    state.SetIterationTime(concurrent);
    state.counters["one_after_another_s"] = sequential;
    state.counters["at_once_s"] = concurrent;
    state.counters["ratio"] = concurrent / sequential;
    state.counters["peak_MB_one_after_another"] = sequentialPeak;
    state.counters["peak_MB_at_once"] = concurrentPeak;
    state.counters["archives_identical"] = TreeHash(one.Path()) == TreeHash(four.Path()) ? 1 : 0;
  }
}
BENCHMARK(BM_IngestFourCards)->Iterations(1)->Repetitions(3)->UseManualTime()->Unit(
    benchmark::kSecond);

// 200 cards of 2 ten-minute events at 100 Hz from 10 stations, ingested one after another into
// one archive as a campaign brings them back: each station's cards follow each other in time.
void BM_IngestCampaign(benchmark::State& state) {
  constexpr int Cards = 200;
  testing_support::TTempDir cardsDir;
  for (auto _ : state) {
    testing_support::TTempDir archive;
    std::vector<double> seconds;
    for (int c = 0; c < Cards; ++c) {
      TBenchCard card('e');
      TCardBuilder built;
      const int station = c % 10, round = c / 10;  // round r: the station's r-th card
      for (int e = 0; e < 2; ++e) {
        const int minutes = round * 60 + e * 20;
        built.Events.push_back(
            EventOf(100 + station, 1 + minutes / 1440, minutes % 1440 / 60, minutes % 60, 10, 100, e + 1));
      }
      card.Drive.Write(built);
      const auto start = std::chrono::steady_clock::now();
      IngestInto(archive.Path(), {&card}, 1);
      seconds.push_back(Seconds(start));
    }
    // Medians of five cards around the 1st, 50th and 200th.
    auto around = [&](int at) {
      const int from = std::clamp(at - 2, 0, Cards - 5);
      std::vector<double> five(seconds.begin() + from, seconds.begin() + from + 5);
      std::nth_element(five.begin(), five.begin() + 2, five.end());
      return five[2];
    };
    state.counters["card1_ms"] = around(0) * 1e3;
    state.counters["card50_ms"] = around(49) * 1e3;
    state.counters["card200_ms"] = around(199) * 1e3;
    state.counters["card200_vs_card1"] = around(199) / around(0);
  }
}
BENCHMARK(BM_IngestCampaign)->Iterations(1)->Repetitions(3)->Unit(benchmark::kSecond);

}  // namespace
