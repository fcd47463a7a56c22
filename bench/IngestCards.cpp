#include "IngestCards.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "CardRun.h"
#include "base/Sha256.h"
#include "download/Ingest.h"
#include "support/CardBuilder.h"

namespace bench_support {

namespace {

using testing_support::TBuiltEvent;
using testing_support::TCardBuilder;

// An event of `serial` starting at day `day` of June, hh:00, an hour long at 250 Hz.
TBuiltEvent HourOf(int serial, int day, int hour, int number) {
  TBuiltEvent event;
  event.Channels = "3," + std::to_string(serial);
  event.FileStem = "06" + Padded(day, 2) + Padded(hour, 2) + "00";
  event.StartSecond = "00000";
  event.FileNumber = Padded(number, 3);
  event.RateDuration = "250,60";
  return event;
}

struct TTimed {
  double Seconds = 0;
  double Processor = 0;
  double PeakMegabytes = -1;
  bool Saved = false;
};

}  // namespace

TIngestSummary IngestInto(const std::string& archive, const std::vector<TIngestCard*>& cards,
                          int jobs) {
  std::vector<TTarqCard*> held;
  std::vector<std::string> names;
  for (TIngestCard* card : cards) {
    held.push_back(&card->Card);
    names.push_back(card->Drive.Root());
  }
  TIngestOptions options;
  options.Archive = archive;
  options.Jobs = jobs;
  TIngestProgress quiet;
  return IngestCards(held, names, options, quiet);
}

namespace {

TTimed TimeIngest(const std::string& archive, const std::vector<TIngestCard*>& cards, int jobs) {
  TTimed timed;
  const bool peakKnown = ResetPeakMemory();
  const double processor = ProcessorSeconds();
  const auto start = std::chrono::steady_clock::now();
  timed.Saved = IngestInto(archive, cards, jobs).AllSaved();
  timed.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  timed.Processor = ProcessorSeconds() - processor;
  if (peakKnown) timed.PeakMegabytes = static_cast<double>(PeakMemoryBytes()) / 1e6;
  return timed;
}

// The cores this process gets now when it asks for two: two threads kept busy for half a
// second. Other programs' work (and the scheduler's share for this session) leave less.
double CoresToBeHad() {
  constexpr double Span = 0.5;
  std::atomic<bool> done{false};
  const auto spin = [&done] {
    uint64_t turns = 0;
    while (!done.load(std::memory_order_relaxed)) benchmark::DoNotOptimize(++turns);
  };
  const double processor = ProcessorSeconds();
  std::thread other(spin);
  std::thread one(spin);
  std::this_thread::sleep_for(std::chrono::duration<double>(Span));
  done = true;
  one.join();
  other.join();
  return (ProcessorSeconds() - processor) / Span;
}

}  // namespace

std::string Padded(int number, size_t digits) {
  std::string text = std::to_string(number);
  if (text.size() < digits) text.insert(0, digits - text.size(), '0');
  return text;
}

const std::vector<TIngestCard*>& FourIngestCards() {
  static std::vector<std::unique_ptr<TIngestCard>> cards;
  static std::vector<TIngestCard*> held;
  if (!held.empty()) return held;
  const int serials[] = {23, 23, 24, 25};
  for (int c = 0; c < 4; ++c) {
    cards.push_back(std::make_unique<TIngestCard>(static_cast<char>('e' + c)));
    TCardBuilder card;
    for (int e = 0; e < 8; ++e) {
      const int hour = (c == 1 ? 8 : 0) + e;  // the second card of station 23 goes on after the first
      card.Events.push_back(HourOf(serials[c], 14, hour, e + 1));
    }
    cards.back()->Drive.Write(card);
    held.push_back(cards.back().get());
  }
  return held;
}

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

void IngestFourWays(benchmark::State& state, const std::vector<TIngestCard*>& cards) {
  for (auto _ : state) {
    testing_support::TTempDir alone, one, four;
    const double cores = CoresToBeHad();
    const TTimed single = TimeIngest(alone.Path(), {cards.front()}, 1);
    TTimed sequential;
    sequential.Saved = true;
    const bool peakKnown = ResetPeakMemory();
    for (TIngestCard* card : cards) {
      const TTimed timed = TimeIngest(one.Path(), {card}, 1);
      sequential.Seconds += timed.Seconds;
      sequential.Processor += timed.Processor;
      sequential.Saved = sequential.Saved && timed.Saved;
    }
    if (peakKnown) sequential.PeakMegabytes = static_cast<double>(PeakMemoryBytes()) / 1e6;
    const TTimed concurrent = TimeIngest(four.Path(), cards, static_cast<int>(cards.size()));
    if (!single.Saved || !sequential.Saved || !concurrent.Saved) {
      state.SkipWithError("an event was not saved");
      break;
    }
    state.SetIterationTime(concurrent.Seconds);
    state.counters["cores_to_be_had"] = cores;
    state.counters["one_card_s"] = single.Seconds;
    state.counters["one_card_cores"] = single.Processor / single.Seconds;
    state.counters["one_after_another_s"] = sequential.Seconds;
    state.counters["one_after_another_cores"] = sequential.Processor / sequential.Seconds;
    state.counters["at_once_s"] = concurrent.Seconds;
    state.counters["at_once_cores"] = concurrent.Processor / concurrent.Seconds;
    state.counters["ratio"] = concurrent.Seconds / sequential.Seconds;
    state.counters["ratio_floor"] = concurrent.Processor / 2 / sequential.Seconds;
    state.counters["peak_MB_one_after_another"] = sequential.PeakMegabytes;
    state.counters["peak_MB_at_once"] = concurrent.PeakMegabytes;
    state.counters["archives_identical"] = TreeHash(one.Path()) == TreeHash(four.Path()) ? 1 : 0;
  }
}

}  // namespace bench_support
