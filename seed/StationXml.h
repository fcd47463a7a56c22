#pragma once
// FDSN StationXML 1.2 of networks: its stations and their channels, from plain values.
//
// Each Station holds Latitude, Longitude, Elevation, Site/Name and its Channels; each Channel
// holds Latitude, Longitude, Elevation (the station's, unless the channel has its own
// position), Depth, Azimuth, Dip and SampleRate, then Sensor, DataLogger and Response where
// they are known.
// Numbers are written with std::to_chars (shortest exact form, no locale), times as
// xs:dateTime in UTC. Texts are written as valid UTF-8 whatever their bytes: a byte that is not
// UTF-8 and a character XML 1.0 does not allow become U+FFFD.
//
// The station position can come from the events' GPS fixes: MedianPosition takes the median
// of latitudes, of longitudes and of altitudes separately (with an even count, the mean of the
// two middle values; longitudes are not unwrapped across 180 degrees).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "event/EventValues.h"
#include "seed/Response.h"
#include "seed/SeedTime.h"

struct TEventHeader;

namespace seed {

struct TEquipment {
  std::string Type;
  std::string Description;
  std::string SerialNumber;
};

struct TPositionOverride {
  double Latitude = 0;
  double Longitude = 0;
};

struct TXmlChannel {
  std::string Location;  // may be empty
  std::string Code;      // "DHZ"
  double SampleRate = 0;
  double Azimuth = 0;  // degrees from north
  double Dip = 0;      // degrees down from horizontal (-90: up)
  double Depth = 0;    // metres below the station
  TSeedTime Start;
  TSeedTime End;
  std::optional<TPositionOverride> Position;  // unset: the station's
  std::optional<TEquipment> Sensor;
  std::optional<TEquipment> DataLogger;
  std::optional<TChannelResponse> Response;
};

struct TXmlStation {
  std::string Code;
  std::string SiteName;
  double Latitude = 0;
  double Longitude = 0;
  double Elevation = 0;
  TSeedTime Start;
  TSeedTime End;
  std::vector<TXmlChannel> Channels;
};

struct TXmlNetwork {
  std::string Code;
  std::string Description;  // written when not empty
  TSeedTime Start;
  TSeedTime End;
  std::vector<TXmlStation> Stations;
};

struct TAngles {
  double Azimuth = 0;
  double Dip = 0;
};
// A channel's azimuth and dip by its orientation code: Z 0/-90, N 0/0, E 90/0 (others 0/0).
TAngles OrientationAngles(char orientation);

// The document, UTF-8, indented. `source` fills the Source element, `created` the Created one.
// At least one network.
std::string StationXmlText(const std::vector<TXmlNetwork>& networks, const std::string& source,
                           const TSeedTime& created);

// A GPS fix of an event header: degrees and decimal minutes with a hemisphere letter.
using TGpsFix = TGpsReading;

struct TPosition {
  double Latitude = 0;   // degrees, north positive
  double Longitude = 0;  // degrees, east positive
  double Elevation = 0;  // metres
};

// The position of a header, if it has one: a format-2 header whose position is usable
// (TEventPosition::Usable: letters and ranges checked, not 0 deg 0 min on both axes).
std::optional<TGpsFix> GpsFixOf(const TEventHeader& header);
// The fix as signed degrees (DecimalPosition); nullopt when it fails the checks.
std::optional<TPosition> PositionOf(const TGpsFix& fix);
// The median position of the valid fixes; nullopt when none is valid.
std::optional<TPosition> MedianPosition(const std::vector<TGpsFix>& fixes);

}  // namespace seed
