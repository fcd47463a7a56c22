#include "seed/StationInventory.h"

#include <algorithm>
#include <map>
#include <tuple>

#include "seed/SeedError.h"
#include "seed/SeedText.h"

namespace seed {

TSeedTime EventStart(const TEventHeader& header, const TEventValues& values) {
  return TSeedTime::FromMilliseconds(
      values.StartDate.Year, values.StartDate.Month, values.StartDate.Day, values.StartTime.Hour,
      values.StartTime.Minute, header.StartSecond, header.StartMillisecond);
}

namespace {

struct TChannelKey {
  std::string Location;
  std::string Code;
  double SampleRate = 0;
  auto Tie() const { return std::tie(Location, Code, SampleRate); }
  bool operator<(const TChannelKey& other) const { return Tie() < other.Tie(); }
};

struct TStationDraft {
  std::string Network;
  int64_t Serial = 0;
  TSeedTime Start;
  TSeedTime End;
  std::vector<TGpsFix> Fixes;
  std::map<TChannelKey, std::pair<TSeedTime, TSeedTime>> Channels;
};

bool Earlier(const TSeedTime& a, const TSeedTime& b) {
  return a.EpochMicroseconds() < b.EpochMicroseconds();
}

void Widen(TSeedTime& start, TSeedTime& end, const TSeedTime& eventStart,
           const TSeedTime& eventEnd) {
  if (Earlier(eventStart, start)) start = eventStart;
  if (Earlier(end, eventEnd)) end = eventEnd;
}

}  // namespace

const TStationRow* SheetRow(const TCodeOptions& options, int64_t serial) {
  return options.Sheet != nullptr ? options.Sheet->Find(serial) : nullptr;
}

TChannelCodes ChannelCodesFor(const TCodeOptions& options, int64_t serial, double sampleRate,
                              int channelIndex) {
  const TStationRow* row = SheetRow(options, serial);
  const TSensorPeriod period = row && row->Period ? *row->Period : TSensorPeriod::Short;
  TChannelCodes codes = DefaultChannelCodes(serial, sampleRate, period, channelIndex);
  if (!options.Network.empty()) {
    CheckCode(TCodeKind::Network, options.Network);
    codes.Network = options.Network;
  }
  if (row && !row->Network.empty()) codes.Network = row->Network;
  if (row && !row->Station.empty()) codes.Station = row->Station;
  return codes;
}

TInventory BuildInventory(const std::vector<TEventSummary>& events, const TCodeOptions& options) {
  if (events.empty()) throw ESeedError("no event to describe");
  std::map<std::pair<std::string, std::string>, TStationDraft> drafts;  // network, station
  for (const TEventSummary& event : events) {
    for (int channel = 0; channel < event.ChannelCount; ++channel) {
      const TChannelCodes codes = ChannelCodesFor(options, event.Serial, event.SampleRate, channel);
      const auto key = std::make_pair(codes.Network, codes.Station);
      auto found = drafts.find(key);
      if (found == drafts.end()) {
        TStationDraft draft;
        draft.Network = codes.Network;
        draft.Serial = event.Serial;
        draft.Start = event.Start;
        draft.End = event.End;
        found = drafts.emplace(key, std::move(draft)).first;
      }
      TStationDraft& draft = found->second;
      if (draft.Serial != event.Serial) {
        throw ESeedError("serials " + DecimalText(draft.Serial) + " and " +
                         DecimalText(event.Serial) + " are both station " + codes.Network + "." +
                         codes.Station);
      }
      Widen(draft.Start, draft.End, event.Start, event.End);
      const TChannelKey channelKey{codes.Location, codes.Channel, event.SampleRate};
      auto [entry, added] = draft.Channels.try_emplace(channelKey, event.Start, event.End);
      if (!added) Widen(entry->second.first, entry->second.second, event.Start, event.End);
    }
    if (event.Fix && event.ChannelCount > 0) {
      const TChannelCodes codes = ChannelCodesFor(options, event.Serial, event.SampleRate, 0);
      drafts[{codes.Network, codes.Station}].Fixes.push_back(*event.Fix);
    }
  }

  TInventory inventory;
  for (auto& [key, draft] : drafts) {
    if (inventory.Networks.empty() || inventory.Networks.back().Code != draft.Network) {
      TXmlNetwork network;
      network.Code = draft.Network;
      network.Start = draft.Start;
      network.End = draft.End;
      inventory.Networks.push_back(std::move(network));
    }
    TXmlNetwork& network = inventory.Networks.back();
    Widen(network.Start, network.End, draft.Start, draft.End);

    TXmlStation station;
    station.Code = key.second;
    station.Start = draft.Start;
    station.End = draft.End;
    const TStationRow* row = SheetRow(options, draft.Serial);
    station.SiteName =
        row && !row->Site.empty() ? row->Site : "Recorder " + DecimalText(draft.Serial);
    const std::optional<TPosition> median = MedianPosition(draft.Fixes);
    if (row && row->Latitude && row->Longitude) {
      station.Latitude = *row->Latitude;
      station.Longitude = *row->Longitude;
      station.Elevation = row->Elevation ? *row->Elevation : median ? median->Elevation : 0;
    } else if (median) {
      station.Latitude = median->Latitude;
      station.Longitude = median->Longitude;
      station.Elevation = row && row->Elevation ? *row->Elevation : median->Elevation;
    } else {
      station.Elevation = row && row->Elevation ? *row->Elevation : 0;
      inventory.Warnings.push_back("station " + network.Code + "." + station.Code +
                                   ": no position in the station sheet nor in the events' GPS "
                                   "fixes; latitude and longitude 0 written");
    }
    for (const auto& [channelKey, period] : draft.Channels) {
      TXmlChannel channel;
      channel.Location = channelKey.Location;
      channel.Code = channelKey.Code;
      channel.SampleRate = channelKey.SampleRate;
      const TAngles angles = OrientationAngles(channelKey.Code.back());
      channel.Azimuth = angles.Azimuth;
      channel.Dip = angles.Dip;
      channel.Start = period.first;
      channel.End = period.second;
      station.Channels.push_back(std::move(channel));
    }
    network.Stations.push_back(std::move(station));
  }
  return inventory;
}

}  // namespace seed
