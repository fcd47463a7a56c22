#include "seed/StationInventory.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

#include "seed/SeedError.h"
#include "seed/SeedText.h"

namespace seed {

TChannelPlacement ChannelPlacementFor(const TStationRow* row, int channelIndex, char orientation) {
  const TSensorRow* sensor = row ? row->Sensor(channelIndex / 3 + 1) : nullptr;
  const TAngles angles = OrientationAngles(orientation);
  // The component by the channel's place on its sensor, as the codes name it.
  const auto component = static_cast<size_t>(channelIndex % 3);
  TChannelPlacement placement;
  placement.Azimuth =
      sensor && sensor->Azimuth[component] ? *sensor->Azimuth[component] : angles.Azimuth;
  placement.Dip = sensor && sensor->Dip[component] ? *sensor->Dip[component] : angles.Dip;
  placement.Depth = sensor && sensor->Depth ? *sensor->Depth : 0;
  return placement;
}

namespace {

struct TChannelKey {
  std::string Location;
  std::string Code;
  double SampleRate = 0;
  auto Tie() const { return std::tie(Location, Code, SampleRate); }
  bool operator<(const TChannelKey& other) const { return Tie() < other.Tie(); }
};

// One event as a channel saw it.
struct TChannelEvent {
  TSeedTime Start;
  TSeedTime End;
  int Gain = 0;
  double CountsPerVolt = 0;
  std::optional<TGpsFix> Fix;
};

struct TStationDraft {
  std::string Network;
  int64_t Serial = 0;
  TSeedTime Start;
  TSeedTime End;
  std::vector<TGpsFix> Fixes;
  std::map<TChannelKey, std::vector<TChannelEvent>> Channels;
  std::map<TChannelKey, int> ChannelIndex;  // the channel's number on the recorder, from 0
};

// A run of a channel's events that an epoch describes.
struct TEpoch {
  TSeedTime Start;
  TSeedTime End;
  int Gain = 0;
  double CountsPerVolt = 0;
  std::vector<TGpsFix> Fixes;
};

// Metres between two positions (an equirectangular approximation: exact enough at 50 m).
double Distance(const TPosition& a, const TPosition& b) {
  constexpr double MetresPerDegree = 6371000.0 * 3.14159265358979323846 / 180;
  const double midLatitude = (a.Latitude + b.Latitude) / 2 * 3.14159265358979323846 / 180;
  const double dx = (a.Longitude - b.Longitude) * std::cos(midLatitude) * MetresPerDegree;
  const double dy = (a.Latitude - b.Latitude) * MetresPerDegree;
  return std::hypot(dx, dy);
}

constexpr double SamePlaceMetres = 50;

// The channel's events in time, cut into epochs where the gain, the conversion factor or
// (without a position from the sheet) the position changes.
std::vector<TEpoch> Epochs(std::vector<TChannelEvent> events, bool fixedPosition) {
  std::sort(events.begin(), events.end(), [](const TChannelEvent& a, const TChannelEvent& b) {
    return a.Start.EpochMicroseconds() < b.Start.EpochMicroseconds();
  });
  std::vector<TEpoch> epochs;
  for (const TChannelEvent& event : events) {
    bool same = !epochs.empty() && epochs.back().Gain == event.Gain &&
                epochs.back().CountsPerVolt == event.CountsPerVolt;
    if (same && !fixedPosition && event.Fix) {
      const std::optional<TPosition> here = PositionOf(*event.Fix);
      const std::optional<TPosition> median = MedianPosition(epochs.back().Fixes);
      if (here && median && Distance(*here, *median) > SamePlaceMetres) same = false;
    }
    if (!same) {
      epochs.push_back(TEpoch{event.Start, event.End, event.Gain, event.CountsPerVolt, {}});
    }
    TEpoch& epoch = epochs.back();
    if (epoch.End.EpochMicroseconds() < event.End.EpochMicroseconds()) epoch.End = event.End;
    if (event.Fix) epoch.Fixes.push_back(*event.Fix);
  }
  return epochs;
}

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
      draft.Channels[channelKey].push_back(
          TChannelEvent{event.Start, event.End, event.Gain, event.CountsPerVolt, event.Fix});
      draft.ChannelIndex[channelKey] = channel;
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
    const bool fixedPosition = row && row->Latitude && row->Longitude;
    const TPosition stationPosition{station.Latitude, station.Longitude, station.Elevation};
    const bool withResponse = options.Sheet != nullptr && options.Sheet->DescribesSensors();
    bool incomplete = false;
    for (const auto& [channelKey, channelEvents] : draft.Channels) {
      const int index = draft.ChannelIndex.at(channelKey);
      const TSensorRow* sensor = row ? row->Sensor(index / 3 + 1) : nullptr;
      const std::optional<TSensorModel> model =
          sensor ? sensor->Model() : std::optional<TSensorModel>();
      for (const TEpoch& epoch : Epochs(channelEvents, fixedPosition)) {
        TXmlChannel channel;
        channel.Location = channelKey.Location;
        channel.Code = channelKey.Code;
        channel.SampleRate = channelKey.SampleRate;
        const TChannelPlacement placement = ChannelPlacementFor(row, index, channelKey.Code.back());
        channel.Azimuth = placement.Azimuth;
        channel.Dip = placement.Dip;
        channel.Depth = placement.Depth;
        channel.Start = epoch.Start;
        channel.End = epoch.End;
        if (!fixedPosition) {
          const std::optional<TPosition> where = MedianPosition(epoch.Fixes);
          if (where && Distance(*where, stationPosition) > SamePlaceMetres) {
            channel.Position = TPositionOverride{where->Latitude, where->Longitude};
          }
        }
        if (withResponse) {
          if (model) {
            channel.Sensor = TEquipment{model->Name.empty() ? "Moving-coil sensor" : model->Name,
                                        model->Description, ""};
          }
          channel.DataLogger =
              TEquipment{"Recorder", row ? row->Instrument : "", DecimalText(draft.Serial)};
          channel.Response = ChannelResponse(model ? &*model : nullptr, epoch.Gain,
                                             epoch.CountsPerVolt, channel.SampleRate);
          if (!model || !channel.Response) incomplete = true;
        }
        station.Channels.push_back(std::move(channel));
      }
    }
    if (incomplete) {
      inventory.Warnings.push_back(
          "station " + network.Code + "." + station.Code +
          ": the response of some channels is incomplete (no sensor in the station sheet: "
          "volts to counts only; or no gain or conversion factor in the events: none)");
    }
    network.Stations.push_back(std::move(station));
  }
  return inventory;
}

}  // namespace seed
