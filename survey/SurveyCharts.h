#pragma once
// The survey's charts as SVG: the availability of every channel across the campaign's days,
// and a channel's noise (the probability density of its spectra, with percentiles and, in
// ground acceleration, the low and high noise models).

#include <string>
#include <vector>

#include "survey/Availability.h"
#include "survey/NoiseSummary.h"

namespace survey {

// One bar per channel across the days; covered time green, holes red, each day's share in
// its tooltip.
std::string AvailabilitySvg(const std::vector<TChannelAvailability>& channels,
                            const TCampaignDays& days);
// What the noise chart spans: the grid's periods out to whole decades, and in dB the range of
// the noise models (ground acceleration) or the densities' 10th to 90th percentiles widened by
// 20 dB (counts).
struct TNoiseRange {
  double LowPeriod = 0.01, HighPeriod = 1000;  // s
  double LowDb = -200, HighDb = -50;
};
TNoiseRange NoiseChartRange(const TNoiseSummary& noise);

// The density as drawn: per grid period and 1 dB bin with a share of the windows, a cell
// reaching halfway to the neighbouring periods, from `Db` to `Db` + 1, its share relative to
// the period's most common bin (0 to 1). Only the bins within [lowDb, highDb].
struct TDensityCell {
  double ShortPeriod = 0;
  double LongPeriod = 0;
  double Db = 0;
  double Share = 0;
};
std::vector<TDensityCell> DensityCells(const TNoiseSummary& noise, double lowDb, double highDb);

// Period (s, logarithmic) across, dB up.
std::string NoiseSvg(const std::string& id, const TNoiseSummary& noise);

}  // namespace survey
