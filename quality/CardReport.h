#pragma once
// What scripts and the quality report read of a card: its status facts, per event the list
// entry and the SEED code of each channel, and the figures and envelopes of
// its channels read off the card (read-only).

#include <atomic>
#include <cstdint>
#include <string>

#include "card/TarqCard.h"
#include "quality/EventDigestRead.h"
#include "quality/JsonViews.h"
#include "quality/QualityReport.h"
#include "seed/StationInventory.h"

// The status command's fields of a card; the counts, sizes and version only when the probe
// found a valid card, the version only when the card shows one.
TCardFacts CardFactsOf(const TCardSummary& summary);

TListEntry ListEntryOf(const TEventEntry& entry, const TProbeDate& probeDate);

// "NET.STA.LOC.CHA" of channel `channel` (1-based) of a recorder, from the station sheet of
// `codes` or by default; empty when the event gives no valid code (a rate of 0, a serial that
// makes no station code).
std::string ChannelSeedId(const seed::TCodeOptions& codes, int64_t serial, int sampleRate,
                          int channel);

// Where the frames of an event lie in the card's data file, with the channels that can be read
// of it: its channel count, or none for a count no recorder writes (below 1 or above 18).
TEventFrames EventFramesOf(const TEventEntry& entry, const std::string& dataFilePath);

// The channels of an event's digest: SEED code, figures and envelope of each.
std::vector<TReportChannel> ChannelsOfDigest(const TEventDigest& digest,
                                             const seed::TCodeOptions& codes, int64_t serial,
                                             int sampleRate);

// The report's event: header values, position, and the channels read off the card's data
// file. Returns false when `cancel` stopped the reading.
bool ReadReportEvent(const TEventEntry& entry, const std::string& dataFilePath,
                     const TProbeDate& probeDate, const seed::TCodeOptions& codes,
                     TReportEvent& out, const std::atomic<bool>* cancel = nullptr);
