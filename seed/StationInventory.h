#pragma once
// The codes and the StationXML inventory of recorders, from the station sheet, the network
// option and what the events say (serial, channels, rate, times, GPS fixes).
//
// Codes of a channel: the sheet's row for the serial gives network, station and sensor
// period where it has them; otherwise the network option (when not empty), else XX; the
// serial as station code; a short-period sensor (see SeedCodes.h).
//
// Inventory: one Network per network code, one Station per serial, and per location, channel
// code and sample rate one Channel epoch per run of events (in time) that keep the same gain,
// conversion factor and position, dated from the first start to the last end of its events.
// A position is the same while the sheet gives it, or while an event's GPS fix lies within
// 50 m of the median of the epoch's fixes so far; a channel whose epoch lies more than 50 m
// from its station gets the epoch's own latitude and longitude.
// Depth and angles come from the sheet's row for the channel's sensor; when the sheet
// describes sensors, every channel also gets its Sensor, DataLogger and Response (see
// Response.h), and a station with a channel whose sensor is unknown gets one warning. A station's
// position is the sheet's latitude and longitude where both are given (elevation from the sheet,
// else the median GPS altitude, else 0); otherwise the median of the events' GPS fixes; otherwise
// 0, 0, 0 with a warning.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "event/EventValues.h"
#include "seed/SeedCodes.h"
#include "seed/SeedTime.h"
#include "seed/StationSheet.h"
#include "seed/StationXml.h"

namespace seed {

struct TCodeOptions {
  std::string Network;                   // --network; empty: XX. Checked by Codes*.
  const TStationSheet* Sheet = nullptr;  // --stations; null: no sheet
};

// The sheet's row for a serial, or null.
const TStationRow* SheetRow(const TCodeOptions& options, int64_t serial);
// Throws ESeedError for an invalid network option, a serial that makes no station code, or a
// rate <= 0.
TChannelCodes ChannelCodesFor(const TCodeOptions& options, int64_t serial, double sampleRate,
                              int channelIndex);

// How channel `channelIndex` (from 0) of a recorder stands: the depth of its sensor and the
// azimuth and dip of its component from the sheet's row (row may be null), else 0 m and the
// nominal angles of its orientation code (OrientationAngles).
struct TChannelPlacement {
  double Azimuth = 0;  // degrees clockwise from north
  double Dip = 0;      // degrees down from the horizontal
  double Depth = 0;    // metres
};
TChannelPlacement ChannelPlacementFor(const TStationRow* row, int channelIndex, char orientation);

// What StationXML needs of one event.
struct TEventSummary {
  int64_t Serial = 0;
  int ChannelCount = 0;
  double SampleRate = 0;
  TSeedTime Start;
  TSeedTime End;
  std::optional<TGpsFix> Fix;  // GpsFixOf(header)
  int Gain = 0;                // the header's gain
  double CountsPerVolt = 0;    // its conversion factor
};

struct TInventory {
  std::vector<TXmlNetwork> Networks;  // by network code, stations by code
  std::vector<std::string> Warnings;  // "station 023: no position ..."
};

// Throws ESeedError as ChannelCodesFor does, or when there is no event.
TInventory BuildInventory(const std::vector<TEventSummary>& events, const TCodeOptions& options);

}  // namespace seed
