// Ingest: four cards of about 64 MB from the page cache into an empty archive, read at once
// against one after another in the same run (IngestCards.h; SlowCardBench reads them at a card
// reader's pace); and a campaign of 200 small cards filed one after another into one archive,
// the time per card as the archive grows.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "IngestCards.h"
#include "download/Ingest.h"
#include "support/CardBuilder.h"
#include "support/TestSupport.h"

namespace {

using testing_support::TBuiltEvent;
using testing_support::TCardBuilder;
using bench_support::FourIngestCards;
using bench_support::IngestFourWays;
using bench_support::IngestInto;
using bench_support::Padded;
using bench_support::TIngestCard;

// An event of `serial` starting at day `day` of June, hh:mm, `minutes` long at `rate` Hz.
TBuiltEvent EventOf(int serial, int day, int hour, int minute, int minutes, int rate, int number) {
  TBuiltEvent event;
  event.Channels = "3," + std::to_string(serial);
  event.FileStem = "06" + Padded(day, 2) + Padded(hour, 2) + Padded(minute, 2);
  event.StartSecond = "00000";
  event.FileNumber = Padded(number, 3);
  event.RateDuration = std::to_string(rate) + "," + std::to_string(minutes);
  return event;
}

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The four cards from the page cache: one alone, one after another, all at once.
void BM_IngestFourCards(benchmark::State& state) {
  IngestFourWays(state, FourIngestCards());
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
      TIngestCard card('e');
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
