#pragma once
// The four cards of the ingest benchmarks (about 64 MB each, stations 23, 23, 24 and 25) and
// their ingest timed three ways in one run: one card alone, the four one after another, the four
// at once; with the processor time each took (every thread, user and system), so that how many
// cores a run kept busy shows whether the machine or the run itself is the limit.

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "card/TarqCard.h"
#include "download/Ingest.h"
#include "support/CardDrive.h"
#include "support/TestSupport.h"

namespace bench_support {

struct TIngestCard {
  explicit TIngestCard(char letter) : Drive(letter) { Card.Root = Drive.Root(); }
  testing_support::TCardDrive Drive;
  testing_support::TScriptedMessages Messages;
  TTarqCard Card{Messages, *Drive.Drives};
};

// Four cards, 8 events of an hour at 250 Hz each (65 MB): stations 23 (two successive cards),
// 24 and 25. Built once per program.
const std::vector<TIngestCard*>& FourIngestCards();

// `number` in decimal with leading zeros to `digits` digits, as the cards' file names have it.
std::string Padded(int number, size_t digits);

// The cards ingested into `archive` by `jobs` readers, quietly.
TIngestSummary IngestInto(const std::string& archive, const std::vector<TIngestCard*>& cards,
                          int jobs);

// One hash over every file of the tree, by relative path.
std::string TreeHash(const std::string& root);

// Ingests the cards into an empty archive three ways and sets the state's counters: the cores
// the process could get just before (two threads kept busy: on a shared machine, less than two
// bounds what reading the cards at once can gain); per way its
// wall time (_s) and the cores it kept busy (processor time / wall time, _cores); `ratio`, at
// once / one after another; `ratio_floor`, the least ratio two cores allow for the processor
// time the four took at once; the peak memory of both ways; and whether both ways' archives are
// the same bytes. The iteration's time is that of the four at once.
void IngestFourWays(benchmark::State& state, const std::vector<TIngestCard*>& cards);

}  // namespace bench_support
