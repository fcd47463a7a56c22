// The SAC files: one per channel, a header and the samples as 32-bit floats.
//   D/B_sensor_component letter.sac    (060512_1030_023.001_2_3E.sac)

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "base/DateTime.h"
#include "event/SampleDecoder.h"
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
  long double latitude = e.Latitude + e.LatitudeMinutes / 60.0L;
  if (e.LatitudeHemisphere == 'S') latitude = -latitude;
  long double longitude = e.Longitude + e.LongitudeMinutes / 60.0L;
  if (e.LongitudeHemisphere == 'W') longitude = -longitude;
  info.Latitude = static_cast<float>(latitude);
  info.Longitude = static_cast<float>(longitude);
  // A format-1 recorder has no receiver: its events carry no station position.
  info.Elevation = e.EventFormat == 2 ? static_cast<float>(e.Altitude) : 10000.0f;
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
