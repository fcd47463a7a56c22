#pragma once
// The default SEED code of a channel, NET.STA.LOC.CHA, for a recorder without a station
// sheet: network XX, the station serial with at least three digits (047), one location per
// three-component sensor (00, 01, ...), and the channel's band code for a short-period sensor
// at the event's rate, H and the component (Z, N, E).

#include <cstdint>
#include <string>

// The band code of a short-period sensor sampled at `sampleRate` Hz: G from 1000, D 250-999,
// E 80-249, S 10-79, M 2-9, L below.
char ShortPeriodBandCode(int64_t sampleRate);

// "XX.047.00.EHZ" for channel 1 (1-based) of station 47 at 100 Hz. A negative serial counts
// as 0.
std::string DefaultSeedId(int64_t stationSerial, int channel, int64_t sampleRate);
