#include "support/CardBuilder.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace testing_support {

std::string Field(const std::string& text) {
  std::string field = text.substr(0, 9);
  field.resize(9, ' ');
  return field;
}

std::string SampleBytes(int32_t value) {
  uint32_t v = static_cast<uint32_t>(value) & 0xFFFFFFu;
  return std::string{static_cast<char>(v >> 16), static_cast<char>((v >> 8) & 0xFF),
                     static_cast<char>(v & 0xFF)};
}

int32_t GeneratedSample(int64_t frame, int channel) {
  if ((frame + channel) % 997 == 5) return -8388608;
  if ((frame + channel) % 991 == 7) return 8388607;
  int64_t v = (frame * 7919 + channel * 104729 + frame * frame % 65521) % 2000001 - 1000000;
  return static_cast<int32_t>(v);
}

int TBuiltEvent::Channels_() const {
  if (ChannelCount >= 0) return ChannelCount;
  return std::atoi(Channels.substr(0, Channels.find(',')).c_str());
}

int64_t TBuiltEvent::FrameCount() const {
  if (Frames >= 0) return Frames;
  size_t comma = RateDuration.find(',');
  if (comma == std::string::npos) return 0;
  int64_t rate = std::atoll(RateDuration.substr(0, comma).c_str());
  int64_t minutes = std::atoll(RateDuration.substr(comma + 1).c_str());
  return rate * minutes * 60;
}

std::string TBuiltEvent::HeaderBytes() const {
  std::string h = Field(Marker) + Field(Channels) + Field(Field3) + Field(FileStem) +
                  Field(StartSecond) + Field(FileNumber) + Field(Field7) + Field(RateDuration) +
                  Field(Gain) + Field(Clipped) + Field(FullScale) + Field(MaxAmplitude);
  if (IsFormat2()) {
    h += Field(Position) + Field(LatMinutes) + Field(LonMinutes) + Field(SatAltitude) +
         Field(Field17) + Field(Field18);
  }
  return h + Field(HeaderEnd);
}

namespace {

// Streams the data file to a sink: bytes, or holes of zeros.
void EmitDataFile(const TCardBuilder& card, const std::function<void(const std::string&)>& bytes,
                  const std::function<void(int64_t)>& hole) {
  bytes(Field(card.Signature));
  for (const TBuiltEvent& e : card.Events) {
    bytes(e.HeaderBytes());
    if (e.UseRawSamples) {
      bytes(e.RawSamples);
    } else if (e.SparseSamples) {
      hole(e.FrameCount() * e.Channels_() * 3);
    } else {
      const int channels = e.Channels_();
      const int64_t frames = e.FrameCount();
      std::string chunk;
      chunk.reserve(1 << 16);
      for (int64_t k = 0; k < frames; ++k) {
        for (int c = 0; c < channels; ++c) chunk += SampleBytes(GeneratedSample(k, c));
        if (chunk.size() >= (1 << 16) - 64) {
          bytes(chunk);
          chunk.clear();
        }
      }
      bytes(chunk);
    }
    if (!e.OmitTrailer) bytes(Field(e.Trailer));
  }
  bytes(card.Tail);
  hole(card.TailZeros);
}

}  // namespace

std::string TCardBuilder::DataFileBytes() const {
  std::string out;
  EmitDataFile(
      *this, [&](const std::string& b) { out += b; },
      [&](int64_t n) { out.append(static_cast<size_t>(n), '\0'); });
  return out;
}

int64_t TCardBuilder::DataFileSize() const {
  int64_t size = 0;
  EmitDataFile(
      *this, [&](const std::string& b) { size += static_cast<int64_t>(b.size()); },
      [&](int64_t n) { size += n; });
  return size;
}

TBuiltEvent SmallEvent(const std::string& marker, const std::string& channels,
                       const std::string& fileNumber) {
  TBuiltEvent event;
  event.Marker = marker;
  event.Channels = channels;
  event.RateDuration = "1,1";
  event.FileNumber = fileNumber;
  return event;
}

int64_t TCardBuilder::EventOffset(size_t index) const {
  TCardBuilder prefix = *this;
  prefix.Events.resize(index);
  prefix.Tail.clear();
  prefix.TailZeros = 0;
  return prefix.DataFileSize();
}

std::string TCardBuilder::SectorFileBytes() const {
  if (!SectorBytes.empty()) return SectorBytes;
  std::string label = Label.substr(0, 24);
  label.resize(24, ' ');
  std::string hex = DataEndHex;
  if (hex.empty()) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%08llX",
                  static_cast<unsigned long long>(static_cast<uint32_t>(DataFileSize() - 3)));
    hex = buffer;
  }
  hex.resize(8, ' ');
  std::string block = label + hex;
  block.resize(2048, '\0');
  return block;
}

std::string TCardBuilder::WriteTo(const std::string& directory) const {
  const std::string dataPath = directory + "/" + DataFileName;
  std::ofstream out(dataPath, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + dataPath);
  int64_t position = 0;
  int64_t pendingHole = 0;
  EmitDataFile(
      *this,
      [&](const std::string& b) {
        if (b.empty()) return;
        if (pendingHole) {
          out.seekp(position);
          pendingHole = 0;
        }
        out.write(b.data(), static_cast<std::streamsize>(b.size()));
        position += static_cast<int64_t>(b.size());
      },
      [&](int64_t n) {
        position += n;
        if (n) pendingHole = n;
      });
  out.close();
  if (pendingHole) {
    // The file ends in a hole: give it its full length.
    if (::truncate(dataPath.c_str(), static_cast<off_t>(position)) != 0) {
      throw std::runtime_error("cannot extend " + dataPath);
    }
  }
  if (SectorFile) {
    std::ofstream sector(directory + "/" + SectorFileName, std::ios::binary | std::ios::trunc);
    std::string bytes = SectorFileBytes();
    sector.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  return dataPath;
}

}  // namespace testing_support
