#include "writers/TextWriter.h"

#include <cmath>
#include <cstring>
#include <string_view>

#include "base/DateTime.h"
#include "base/TextFields.h"
#include "event/SampleDecoder.h"

using WUtil::Chars;

namespace {

// The longest sample line: 18 values of at most 8 characters, their tabs and CR LF, and the
// bytes that AppendSample may write past its text.
constexpr size_t LineMax = MaxChannels * 9 + 2 + 3;
// Lines are gathered and handed to the output writer in pieces large enough to go to the
// system without another copy.
constexpr size_t TextChunk = 256 * 1024;
static_assert(TextChunk + LineMax <= TOutputWriter::BufferBytes);

// The four digits of 0000 to 9999, and how many of them a number below 10000 needs.
struct TDigitGroups {
  char Text[4 * 10000 + 4];
  uint8_t Length[10000];
  constexpr TDigitGroups() : Text(), Length() {
    for (int i = 0; i < 10000; ++i) {
      Text[4 * i] = static_cast<char>('0' + i / 1000);
      Text[4 * i + 1] = static_cast<char>('0' + i / 100 % 10);
      Text[4 * i + 2] = static_cast<char>('0' + i / 10 % 10);
      Text[4 * i + 3] = static_cast<char>('0' + i % 10);
      Length[i] = static_cast<uint8_t>(i >= 1000 ? 4 : i >= 100 ? 3 : i >= 10 ? 2 : 1);
    }
  }
};
constexpr TDigitGroups DigitGroups;

// Writes the decimal text of a 24-bit sample at p and returns the end. It runs for every
// sample of the text files, so it copies whole groups of four digits from a table, with no
// library call. It may write up to 3 bytes past the end.
inline char* AppendSample(char* p, int32_t value) {
  uint32_t u = static_cast<uint32_t>(value);
  if (value < 0) {
    *p++ = '-';
    u = 0u - u;
  }
  if (u >= 10000) {
    const uint32_t high = u / 10000;  // below 839
    const uint32_t low = u % 10000;
    const int length = DigitGroups.Length[high];
    std::memcpy(p, DigitGroups.Text + 4 * high + 4 - length, 4);
    p += length;
    std::memcpy(p, DigitGroups.Text + 4 * low, 4);
    return p + 4;
  }
  const int length = DigitGroups.Length[u];
  std::memcpy(p, DigitGroups.Text + 4 * u + 4 - length, 4);
  return p + length;
}

// "0", tab, "0", ..., CR LF: the line of a frame that could not be read.
std::string ZeroLine(int values) {
  std::string line;
  for (int i = 0; i < values; ++i) line += i + 1 < values ? "0\t" : "0\r\n";
  return line;
}

// A header line stays one line: a corrupt card's name field may hold line breaks.
void WriteHeaderLines(platform::TRecordFile& file, std::vector<std::string> lines) {
  for (std::string& line : lines) {
    for (char& c : line) {
      if (c == '\r' || c == '\n') c = '?';
    }
    file.WriteLine(line);
  }
}

}  // namespace

bool TTextWriter::CreateText(TTextFile& text, const TEventSetup& event, const std::string& name,
                             int headerSensor, int first, int count) {
  if (!CreateFile(text.Out, event, name, 0)) return false;
  text.First = first;
  text.Count = count;
  text.HeaderSensor = headerSensor;
  text.ZeroBlock.clear();
  Texts.push_back(&text);
  Channels = event.Channels;
  return true;
}

std::vector<std::string> TextHeaderLines(const TEventSetup& event, int sensor) {
  const TEventHeader& e = event.Header;
  const TEventValues& v = event.Values;
  const bool format2 = e.EventFormat == 2;
  std::vector<std::string> lines;
  lines.push_back("Original file name: " + e.OriginalFileName);
  lines.push_back("Transformed into: " +
                  (sensor == 0 ? event.BaseName : SensorFileName(sensor, event.BaseName)));
  if (!event.Comment.empty()) {
    lines.push_back("Comment:");
    for (const std::string& line : event.Comment) lines.push_back("# " + line);
  }
  lines.push_back("ReadTarq version: 3.3");
  lines.push_back("Station serial number: " + v.SerialText);
  std::string version = WUtil::IntText(event.EpromVersion, 4);
  if (version.size() > 4) version.resize(4);
  WUtil::ZeroFill(version);
  lines.push_back("Station software version: " + version);
  int channels = e.ChannelCount;
  if (sensor > 0) channels = sensor < v.SensorCount ? 3 : (e.ChannelCount - 1) % 3 + 1;
  lines.push_back("Channel number: " + Chars(std::to_string(channels), 1, 2));
  lines.push_back("Starting date: " + DateTextOf(v.Start));
  lines.push_back("Starting time: " + TimeTextOf(v.Start));
  if (format2) {
    lines.push_back("Ending date: " + DateTextOf(v.End));
    lines.push_back("Ending time: " + TimeTextOf(v.End));
  }
  lines.push_back("Sample rate: " + std::to_string(e.SampleRate) + " Hz");
  lines.push_back("Sample number: " + std::to_string(e.SamplesPerChannel));
  lines.push_back("Recording duration: " + std::to_string(e.DurationMinutes) + " mn");
  lines.push_back("Conversion factor: " + v.ConversionFactorText);
  lines.push_back("Gain: " + std::to_string(e.Gain));
  if (format2) {
    // Default rounding mode: halves go to the even neighbour.
    double range = std::nearbyint(e.DynamicRange);
    if (range == 0) range = 0;  // no "-0"
    lines.push_back("Dynamic range: " + WUtil::FixedText(range, 0, 0) + " V");
  }
  lines.push_back("Clipped samples: " + WUtil::FixedText(e.ClippedSamples, 0, 2) + "%");
  if (format2) {
    lines.push_back("Latitude : " + WUtil::IntText(e.Latitude, 3) + " " +
                    WUtil::FixedText(e.LatitudeMinutes, 6, 3) + " " +
                    std::string(1, e.LatitudeHemisphere));
    lines.push_back("Longitude: " + WUtil::IntText(e.Longitude, 3) + " " +
                    WUtil::FixedText(e.LongitudeMinutes, 6, 3) + " " +
                    std::string(1, e.LongitudeHemisphere));
    lines.push_back("Altitude : " + std::to_string(e.Altitude) + " m");
    lines.push_back("No. satellites: " + std::to_string(e.SatelliteCount));
  }
  lines.push_back("Maximum amplitude: " + std::to_string(e.MaxAmplitude) + " / " +
                  std::to_string(static_cast<int64_t>(e.FullScale) + 1));
  return lines;
}

void TTextWriter::DoWriteHeader(const TEventSetup& event) {
  for (TTextFile* text : Texts) {
    if (text->Out.File.IsOpen()) {
      WriteHeaderLines(text->Out.File, TextHeaderLines(event, text->HeaderSensor));
    }
  }
}

void TTextWriter::FlushText(TTextFile& text) {
  if (!text.Pending || text.Pending->Used == 0) return;
  Writer.Submit(text.Out.File, std::move(text.Pending));
}

void TTextWriter::DoFlush() {
  for (TTextFile* text : Texts) FlushText(*text);
}

void TTextWriter::DoRelease() {
  for (TTextFile* text : Texts) Writer.Release(std::move(text->Pending));
}

void TTextWriter::WriteLines(TTextFile& text, const uint8_t* frames, int64_t count) {
  const size_t frameBytes = 3 * static_cast<size_t>(Channels);
  const uint8_t* frame = frames + 3 * text.First;
  const int channels = text.Count;
  if (!text.Pending) text.Pending = Writer.Acquire();
  for (int64_t i = 0; i < count; ++i, frame += frameBytes) {
    if (text.Pending->Used > TextChunk) {
      FlushText(text);
      text.Pending = Writer.Acquire();
    }
    char* p = text.Pending->Bytes.data() + text.Pending->Used;
    for (int c = 0; c < channels; ++c) {
      p = AppendSample(p, SampleDecoder::DecodeWithSlack(frame + 3 * c));
      *p++ = '\t';
    }
    p[-1] = '\r';
    *p++ = '\n';
    text.Pending->Used = static_cast<size_t>(p - text.Pending->Bytes.data());
  }
}

void TTextWriter::DoWriteFrames(const uint8_t* frames, int64_t count) {
  // One pass over the frames per file: each loop stays small and predictable.
  for (TTextFile* text : Texts) WriteLines(*text, frames, count);
}

void TTextWriter::DoPad(int64_t frames) {
  for (TTextFile* text : Texts) {
    if (text->ZeroBlock.empty()) {
      const std::string line = ZeroLine(text->Count);
      for (int64_t i = 0; i < PadChunkFrames; ++i) text->ZeroBlock += line;
    }
    const std::string_view block(text->ZeroBlock);
    text->Out.File.WriteText(block.substr(0, block.size() / PadChunkFrames * frames));
  }
}
