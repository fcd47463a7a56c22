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
// Period (s, logarithmic) across, dB up.
std::string NoiseSvg(const std::string& id, const TNoiseSummary& noise);

}  // namespace survey
