// The SAC files: one per channel, a header and the samples as 32-bit floats; with a station
// sheet or a network code, the header also names the channel by its SEED codes and places it.
//   D/B_sensor_component letter.sac    (060512_1030_023.001_2_3E.sac)

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "base/DateTime.h"
#include "event/SampleDecoder.h"
#include "seed/SeedError.h"
#include "seed/StationInventory.h"
#include "writers/EventWriter.h"
#include "writers/SacUnit.h"

namespace {

// Frames of samples gathered per channel before they are written.
constexpr int64_t SacChunkFrames = 64 * 1024;
static_assert(SacChunkFrames * 4 <= TOutputWriter::BufferBytes);

std::string SacName(int channel, const std::string& base) {
  const TChannelPlace place = ChannelPlaceOf(channel);
  return base + "_" + std::to_string(place.Sensor) + "_" + std::to_string(place.Component) +
         place.Letter + ".sac";
}

// The SEED codes and placement of channel `channel` (1-based), when the run names its stations
// (a station sheet or a network code). The position is the sheet's, else the event's GPS
// position where it passes the checks. A channel that has no codes (a serial of more than five
// digits) keeps the plain header.
std::optional<SacUnit::TSacStationFields> SacStationFields(const TEventSetup& event, int channel) {
  const TProductOptions& products = event.Products;
  if (products.Network.empty() && !products.Sheet) return std::nullopt;
  const TEventHeader& e = event.Header;
  const seed::TCodeOptions options{products.Network, products.Sheet.get()};
  SacUnit::TSacStationFields fields;
  try {
    const seed::TChannelCodes codes =
        seed::ChannelCodesFor(options, e.StationSerial, e.SampleRate, channel - 1);
    fields.Network = codes.Network;
    fields.Station = codes.Station;
    fields.Location = codes.Location;
    fields.Channel = codes.Channel;
  } catch (const seed::ESeedError&) {
    return std::nullopt;
  }
  const seed::TStationRow* row = seed::SheetRow(options, e.StationSerial);
  const std::optional<TEventPosition>& gps = event.Values.Position;
  const bool gpsUsable = gps && gps->Usable();
  if (row && row->Latitude && row->Longitude) {
    fields.Latitude = static_cast<float>(*row->Latitude);
    fields.Longitude = static_cast<float>(*row->Longitude);
  } else if (gpsUsable) {
    fields.Latitude = static_cast<float>(gps->Latitude);
    fields.Longitude = static_cast<float>(gps->Longitude);
  }
  if (row && row->Elevation) {
    fields.Elevation = static_cast<float>(*row->Elevation);
  } else if (gpsUsable) {
    fields.Elevation = static_cast<float>(gps->Elevation);
  }
  const seed::TChannelPlacement placement =
      seed::ChannelPlacementFor(row, channel - 1, fields.Channel.back());
  fields.Depth = static_cast<float>(placement.Depth);
  fields.Azimuth = static_cast<float>(placement.Azimuth);
  // SAC measures a component's inclination from the vertical (up 0), SEED its dip from the
  // horizontal (down positive): up is dip -90, inclination 0.
  fields.Inclination = static_cast<float>(placement.Dip + 90);
  return fields;
}

// The SAC header of channel `channel` (1-based).
SacUnit::TSacChannelInfo SacChannelInfo(const TEventSetup& event, int channel) {
  const TEventHeader& e = event.Header;
  const TEventValues& v = event.Values;
  SacUnit::TSacChannelInfo info;
  const TChannelPlace place = ChannelPlaceOf(channel);
  info.StationName = (v.SerialText + static_cast<char>('0' + place.Sensor)).substr(0, 4);
  info.SampleCount = e.SamplesPerChannel;
  info.SampleRate = e.SampleRate;
  info.StartDate = DateTextOf(v.Start);
  info.StartTime = TimeTextOf(v.Start);
  info.InstrumentName = "TarqPrbe";
  info.ComponentLetter = place.Letter;
  // A format-1 recorder has no receiver: its events carry no station position.
  if (v.Position) {
    info.Latitude = static_cast<float>(v.Position->Latitude);
    info.Longitude = static_cast<float>(v.Position->Longitude);
    info.Elevation = static_cast<float>(v.Position->Elevation);
  } else {
    info.Elevation = 10000.0f;
  }
  info.Station = SacStationFields(event, channel);
  return info;
}

class TSacWriter : public TEventWriter {
 public:
  explicit TSacWriter(TOutputWriter& shared) : TEventWriter(shared, true) {}

 private:
  std::vector<std::string> DoNames(const std::string& baseName, int channels) const override {
    std::vector<std::string> names;
    for (int c = 1; c <= channels; ++c) names.push_back(SacName(c, baseName));
    return names;
  }
  std::string DoCreate(const TEventSetup& event) override {
    Channels = 0;
    for (int c = 1; c <= event.Channels; ++c) {
      const std::string name = SacName(c, event.BaseName);
      if (!CreateFile(Sac[c - 1], event, name, 4)) return event.Directory + name;
      Channels = c;
    }
    return {};
  }
  void DoWriteHeader(const TEventSetup& event) override {
    for (int c = 1; c <= Channels; ++c) {
      SacUnit::WriteSacHeader(Sac[c - 1].File, SacChannelInfo(event, c));
    }
  }
  void DoWriteFrames(const uint8_t* frames, int64_t count) override {
    const size_t frameBytes = 3 * static_cast<size_t>(Channels);
    while (count > 0) {
      if (PendingFrames == SacChunkFrames) Flush();
      if (PendingFrames == 0) {
        for (int c = 0; c < Channels; ++c) {
          if (!Pending[c]) Pending[c] = Writer.Acquire();
        }
      }
      const int64_t n = std::min(count, SacChunkFrames - PendingFrames);
      for (int c = 0; c < Channels; ++c) {
        char* to = Pending[c]->Bytes.data() + 4 * PendingFrames;
        const uint8_t* from = frames + 3 * c;
        for (int64_t i = 0; i < n; ++i, from += frameBytes, to += 4) {
          // Counts below 2^24 in magnitude are exact in single precision.
          const float sample = static_cast<float>(SampleDecoder::DecodeWithSlack(from));
          std::memcpy(to, &sample, 4);
        }
      }
      PendingFrames += n;
      frames += static_cast<size_t>(n) * frameBytes;
      count -= n;
    }
  }
  void DoPad(int64_t frames) override {
    if (Zeros.empty()) Zeros.assign(PadChunkFrames, 0.0f);
    for (int c = 0; c < Channels; ++c) Sac[c].File.Write(Zeros.data(), frames);
  }
  void DoFlush() override {
    const int64_t frames = PendingFrames;
    PendingFrames = 0;
    if (frames == 0) return;
    for (int c = 0; c < Channels; ++c) {
      TOutputWriter::TBuffer& buffer = *Pending[c];
      buffer.Used = static_cast<size_t>(frames) * 4;
      if constexpr (std::endian::native == std::endian::big) {
        for (size_t at = 0; at < buffer.Used; at += 4) {
          std::swap(buffer.Bytes[at], buffer.Bytes[at + 3]);
          std::swap(buffer.Bytes[at + 1], buffer.Bytes[at + 2]);
        }
      }
      Writer.Submit(Sac[c].File, std::move(Pending[c]));
    }
  }
  void DoRelease() override {
    for (auto& buffer : Pending) Writer.Release(std::move(buffer));
    PendingFrames = 0;
  }

  void Closed() override { Channels = 0; }

  std::array<TOutput, MaxChannels> Sac;
  int Channels = 0;  // the channels of the event in hand
  // Samples not yet handed to the files, channel by channel.
  std::array<TOutputWriter::TBufferPtr, MaxChannels> Pending;
  int64_t PendingFrames = 0;
  std::vector<float> Zeros;
};

}  // namespace

std::unique_ptr<TEventWriter> NewSacWriter(TOutputWriter& writer) {
  return std::make_unique<TSacWriter>(writer);
}
