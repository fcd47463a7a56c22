#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "app/Messages.h"
#include "app/WUtil.h"
#include "convert/TarqConvert.h"
#include "platform/FileSystem.h"

using WUtil::Chars;

namespace {

// The longest sample line: 18 values of at most 8 characters, their tabs and CR LF, and the
// bytes that AppendSample may write past its text.
constexpr size_t LineMax = MaxChannels * 9 + 2 + 3;
// Text lines and SAC samples are gathered and handed to the writer in pieces large enough to
// go to the system without another copy.
constexpr size_t TextChunk = 256 * 1024;
static_assert(TextChunk + LineMax <= TOutputWriter::BufferBytes);
// Frames of SAC samples gathered per channel before they are written.
constexpr int64_t SacChunkFrames = 64 * 1024;
static_assert(SacChunkFrames * 4 <= TOutputWriter::BufferBytes);
// Frames of zeros written at a time when outputs are padded.
constexpr int64_t PadChunkFrames = 4096;

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

// The sample at b, read with the byte after it in one load: the frame buffers keep at least
// one byte after their frames.
inline int32_t DecodeSample(const uint8_t* b) {
  uint32_t raw;
  std::memcpy(&raw, b, 4);
  if constexpr (std::endian::native == std::endian::little) {
    raw = (raw >> 24) | ((raw >> 8) & 0xFF00u) | ((raw << 8) & 0xFF0000u) | (raw << 24);
  }
  return static_cast<int32_t>(raw) >> 8;  // drops the extra byte, sign-extends the sample
}

// "0", tab, "0", ..., CR LF: the line of a frame that could not be read.
std::string ZeroLine(int values) {
  std::string line;
  for (int i = 0; i < values; ++i) line += i + 1 < values ? "0\t" : "0\r\n";
  return line;
}

}  // namespace

int ChannelsOfSensor(int sensor, int channelCount) {
  return std::min(3, channelCount - 3 * (sensor - 1));
}

std::string SafeFileNamePart(const std::string& text) {
  std::string name = text;
  for (char& c : name) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 32 || u == 127 || std::strchr("/\\:*?\"<>|", c) != nullptr) c = '_';
  }
  for (size_t at = name.find(".."); at != std::string::npos; at = name.find("..", at)) {
    name[at] = '_';
    name[at + 1] = '_';
  }
  // Some file systems drop a final dot or blank, which would give another name than the one
  // checked and reported.
  if (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.back() = '_';
  return name;
}

std::string TTarqConvert::OutputPath(const std::string& name) const {
  std::string dir = WUtil::WithTrailingBackslash(Settings.DataDir);
  if (dir.back() != platform::PathDelim) dir += platform::PathDelim;
  return dir + name;
}

namespace {

std::string SensorName(int sensor, const std::string& base) {
  return "Capt_" + std::to_string(sensor) + "_" + base;
}

std::string SacName(int channel, const std::string& base) {
  static const char Letters[] = "ZNE";
  const int sensor = (channel - 1) / 3 + 1;
  const int component = (channel - 1) % 3 + 1;
  return base + "_" + std::to_string(sensor) + "_" + std::to_string(component) +
         Letters[component - 1] + ".sac";
}

}  // namespace

bool TTarqConvert::AnyNameTaken(const std::string& baseName) const {
  if (Settings.RecordFile && platform::PathExists(OutputPath(baseName))) return true;
  if (Settings.SensorFiles) {
    for (int s = 1; s <= MaxSensors; ++s) {
      if (platform::PathExists(OutputPath(SensorName(s, baseName)))) return true;
    }
  }
  if (Settings.BinaryFile && platform::PathExists(OutputPath("Bin_" + baseName))) return true;
  if (Settings.SacFiles) {
    for (int c = 1; c <= Card.Event.ChannelCount; ++c) {
      if (platform::PathExists(OutputPath(SacName(c, baseName)))) return true;
    }
  }
  return false;
}

bool TTarqConvert::CreateOutput(TOutput& output, const std::string& path, int recordSize) {
  if (!WUtil::OpenForWriting(output.File, path, recordSize)) return false;
  output.Path = path;
  return true;
}

void TTarqConvert::ShowError(const std::string& text) {
  if (Host) {
    Host->ShowError(text);
  } else {
    Messages().Error(text);
  }
}

TTarqConvert::TOpenResult TTarqConvert::OpenEventFiles() {
  DiscardEventFiles();
  LastOutputNames.clear();
  DeriveEventValues();
  const TEventHeader& e = Card.Event;
  if (e.ChannelCount < 1 || e.ChannelCount > MaxChannels) {
    ShowError("Cannot convert " + e.OriginalFileName + ": it has " +
              std::to_string(e.ChannelCount) + " channels (1 to 18 can be converted)");
    return TOpenResult::Refused;
  }
  if (e.SamplesPerChannel < 0) {
    ShowError("Cannot convert " + e.OriginalFileName + ": its header gives " +
              std::to_string(e.SamplesPerChannel) + " samples per channel");
    return TOpenResult::Refused;
  }

  std::string yearText = WUtil::IntText(StartDate.Year, 4);
  WUtil::ZeroFill(yearText);
  NameStem = Chars(yearText, 3, 4) + Chars(e.FileStem, 1, 4) + "_" + Chars(e.FileStem, 5, 8);
  if (Settings.SerialNr) {
    NameStem += "_" + SerialText;
    if (NameStem.size() > 15) NameStem.resize(15);
  }
  const std::string ext = Chars(e.OriginalFileName, 9, 12);

  EventBaseName.clear();
  std::string first;
  std::string candidate;
  for (int letter = 0; letter <= 26; ++letter) {
    candidate = SafeFileNamePart(
        letter == 0 ? NameStem + ext : NameStem + "_" + static_cast<char>('a' + letter - 1) + ext);
    if (letter == 0) first = candidate;
    if (!AnyNameTaken(candidate)) {
      EventBaseName = candidate;
      break;
    }
  }
  if (EventBaseName.empty()) {
    // Replacing the files of an earlier download would lose data the user may still need.
    ShowError("Cannot convert " + e.OriginalFileName + ": the names " + first + " to " + candidate +
              " are all taken in " + Settings.DataDir);
    return TOpenResult::Refused;
  }

  Channels = e.ChannelCount;
  DecodeRecord = Settings.RecordFile;
  DecodeSensors = Settings.SensorFiles;
  DecodeSac = Settings.SacFiles;

  std::vector<std::pair<TOutput*, std::pair<std::string, int>>> plan;
  if (Settings.RecordFile) plan.push_back({&RecordOut.Out, {EventBaseName, 0}});
  if (Settings.SensorFiles) {
    for (int s = 1; s <= SensorCount; ++s) {
      plan.push_back({&SensorOut[s - 1].Out, {SensorName(s, EventBaseName), 0}});
    }
  }
  if (Settings.BinaryFile) plan.push_back({&BinaryOut, {"Bin_" + EventBaseName, 3}});
  if (Settings.SacFiles) {
    for (int c = 1; c <= Channels; ++c) {
      plan.push_back({&SacOut[c - 1], {SacName(c, EventBaseName), 4}});
    }
  }
  for (auto& [output, what] : plan) {
    const std::string path = OutputPath(what.first);
    if (!CreateOutput(*output, path, what.second)) {
      ShowError("Cannot create file " + path);
      StopRequested = true;
      DiscardEventFiles();
      return TOpenResult::Failed;
    }
    LastOutputNames.push_back(what.first);
  }

  SacPendingFrames = 0;
  return TOpenResult::Opened;
}

std::vector<std::string> TTarqConvert::OutputNames() const {
  return LastOutputNames;
}

std::vector<std::string> TTarqConvert::TextHeaderLines(int sensor) const {
  const TEventHeader& e = Card.Event;
  const bool format2 = e.EventFormat == 2;
  std::vector<std::string> lines;
  lines.push_back("Original file name: " + e.OriginalFileName);
  lines.push_back("Transformed into: " +
                  (sensor == 0 ? EventBaseName : SensorName(sensor, EventBaseName)));
  if (!Comment.empty()) {
    lines.push_back("Comment:");
    for (const std::string& line : Comment) lines.push_back("# " + line);
  }
  lines.push_back("ReadTarq version: 3.3");
  lines.push_back("Station serial number: " + SerialText);
  std::string version = WUtil::IntText(Card.EpromVersion, 4);
  if (version.size() > 4) version.resize(4);
  WUtil::ZeroFill(version);
  lines.push_back("Station software version: " + version);
  int channels = e.ChannelCount;
  if (sensor > 0) channels = sensor < SensorCount ? 3 : (e.ChannelCount - 1) % 3 + 1;
  lines.push_back("Channel number: " + Chars(std::to_string(channels), 1, 2));
  lines.push_back("Starting date: " +
                  WUtil::DateText(StartDate.Day, StartDate.Month, StartDate.Year));
  lines.push_back("Starting time: " +
                  WUtil::TimeText(StartTime.Hour, StartTime.Minute, StartTime.Seconds));
  if (format2) {
    lines.push_back("Ending date: " + WUtil::DateText(EndDate.Day, EndDate.Month, EndDate.Year));
    lines.push_back("Ending time: " +
                    WUtil::TimeText(EndTime.Hour, EndTime.Minute, EndTime.Seconds));
  }
  lines.push_back("Sample rate: " + std::to_string(e.SampleRate) + " Hz");
  lines.push_back("Sample number: " + std::to_string(e.SamplesPerChannel));
  lines.push_back("Recording duration: " + std::to_string(e.DurationMinutes) + " mn");
  lines.push_back("Conversion factor: " + ConversionFactorText);
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

namespace {

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

void TTarqConvert::WriteTextHeader() {
  if (Settings.RecordFile && RecordOut.Out.File.IsOpen()) {
    WriteHeaderLines(RecordOut.Out.File, TextHeaderLines(0));
  }
  if (Settings.SensorFiles) {
    for (int s = 1; s <= SensorCount && s <= MaxSensors; ++s) {
      if (SensorOut[s - 1].Out.File.IsOpen()) {
        WriteHeaderLines(SensorOut[s - 1].Out.File, TextHeaderLines(s));
      }
    }
  }
}

void TTarqConvert::FlushText(TTextOutput& output) {
  if (!output.Pending) return;
  if (output.Pending->Used == 0) return;
  Writer.Submit(output.Out.File, std::move(output.Pending));
}

void TTarqConvert::FlushSac() {
  const int64_t frames = SacPendingFrames;
  SacPendingFrames = 0;
  if (frames == 0) return;
  for (int c = 0; c < Channels; ++c) {
    TOutputWriter::TBuffer& buffer = *SacPending[c];
    buffer.Used = static_cast<size_t>(frames) * 4;
    if constexpr (std::endian::native == std::endian::big) {
      for (size_t at = 0; at < buffer.Used; at += 4) {
        std::swap(buffer.Bytes[at], buffer.Bytes[at + 3]);
        std::swap(buffer.Bytes[at + 1], buffer.Bytes[at + 2]);
      }
    }
    Writer.Submit(SacOut[c].File, std::move(SacPending[c]));
  }
}

void TTarqConvert::FlushPending() {
  if (DecodeRecord) FlushText(RecordOut);
  if (DecodeSensors) {
    for (int s = 0; s < SensorCount; ++s) FlushText(SensorOut[s]);
  }
  if (DecodeSac) FlushSac();
}

void TTarqConvert::ReleasePending() {
  Writer.Release(std::move(RecordOut.Pending));
  for (TTextOutput& out : SensorOut) Writer.Release(std::move(out.Pending));
  for (auto& buffer : SacPending) Writer.Release(std::move(buffer));
  SacPendingFrames = 0;
}

void TTarqConvert::WriteFrame(const uint8_t* frame) {
  uint8_t padded[3 * MaxChannels + 1] = {};
  std::memcpy(padded, frame, 3 * static_cast<size_t>(Channels));
  WriteFrames(padded, 1);
}

void TTarqConvert::WriteTextLines(TTextOutput& out, const uint8_t* frames, int64_t count,
                                  int firstChannel, int channels) {
  const size_t frameBytes = 3 * static_cast<size_t>(Channels);
  const uint8_t* frame = frames + 3 * firstChannel;
  if (!out.Pending) out.Pending = Writer.Acquire();
  for (int64_t i = 0; i < count; ++i, frame += frameBytes) {
    if (out.Pending->Used > TextChunk) {
      FlushText(out);
      out.Pending = Writer.Acquire();
    }
    char* p = out.Pending->Bytes.data() + out.Pending->Used;
    for (int c = 0; c < channels; ++c) {
      p = AppendSample(p, DecodeSample(frame + 3 * c));
      *p++ = '\t';
    }
    p[-1] = '\r';
    *p++ = '\n';
    out.Pending->Used = static_cast<size_t>(p - out.Pending->Bytes.data());
  }
}

void TTarqConvert::WriteFrames(const uint8_t* frames, int64_t count) {
  // One pass over the frames per output: each loop stays small and predictable.
  if (DecodeRecord) WriteTextLines(RecordOut, frames, count, 0, Channels);
  if (DecodeSensors) {
    for (int s = 0; s < SensorCount; ++s) {
      WriteTextLines(SensorOut[s], frames, count, 3 * s, ChannelsOfSensor(s + 1, Channels));
    }
  }
  if (DecodeSac) {
    const size_t frameBytes = 3 * static_cast<size_t>(Channels);
    while (count > 0) {
      if (SacPendingFrames == SacChunkFrames) FlushSac();
      if (SacPendingFrames == 0) {
        for (int c = 0; c < Channels; ++c) {
          if (!SacPending[c]) SacPending[c] = Writer.Acquire();
        }
      }
      const int64_t n = std::min(count, SacChunkFrames - SacPendingFrames);
      for (int c = 0; c < Channels; ++c) {
        char* to = SacPending[c]->Bytes.data() + 4 * SacPendingFrames;
        const uint8_t* from = frames + 3 * c;
        for (int64_t i = 0; i < n; ++i, from += frameBytes, to += 4) {
          // Counts below 2^24 in magnitude are exact in single precision.
          const float sample = static_cast<float>(DecodeSample(from));
          std::memcpy(to, &sample, 4);
        }
      }
      SacPendingFrames += n;
      frames += static_cast<size_t>(n) * frameBytes;
      count -= n;
    }
  }
}

void TTarqConvert::PadOutputs(int64_t firstMissingFrame) {
  const int64_t total = Card.Event.SamplesPerChannel;
  int64_t missing = total - firstMissingFrame + 1;
  if (missing <= 0) return;
  FlushPending();
  Writer.Drain();

  std::string recordBlock;
  if (DecodeRecord) {
    const std::string line = ZeroLine(Channels);
    for (int64_t i = 0; i < PadChunkFrames; ++i) recordBlock += line;
  }
  std::array<std::string, MaxSensors> sensorBlocks;
  if (DecodeSensors) {
    for (int s = 1; s <= SensorCount; ++s) {
      const std::string line = ZeroLine(ChannelsOfSensor(s, Channels));
      for (int64_t i = 0; i < PadChunkFrames; ++i) sensorBlocks[s - 1] += line;
    }
  }
  const std::vector<float> zeros(DecodeSac ? PadChunkFrames : 0, 0.0f);

  // A corrupt header may promise far more frames than the card holds: a stop ends the
  // padding too (the files are then deleted).
  while (missing > 0 && !StopRequested.load(std::memory_order_relaxed)) {
    const int64_t n = std::min(missing, PadChunkFrames);
    if (DecodeRecord) {
      RecordOut.Out.File.WriteText(
          std::string_view(recordBlock).substr(0, recordBlock.size() / PadChunkFrames * n));
    }
    if (DecodeSensors) {
      for (int s = 0; s < SensorCount; ++s) {
        const std::string& block = sensorBlocks[s];
        SensorOut[s].Out.File.WriteText(
            std::string_view(block).substr(0, block.size() / PadChunkFrames * n));
      }
    }
    if (DecodeSac) {
      for (int c = 0; c < Channels; ++c) SacOut[c].File.Write(zeros.data(), n);
    }
    missing -= n;
  }
}

void TTarqConvert::CloseEventFiles() {
  const bool deleting = StopRequested.load();
  if (deleting) {
    ReleasePending();
    Writer.Abandon();
  } else {
    FlushPending();
    Writer.Drain();
  }
  std::vector<TOutput*> outputs;
  if (Settings.RecordFile) outputs.push_back(&RecordOut.Out);
  if (Settings.SensorFiles) {
    for (int s = 0; s < SensorCount && s < MaxSensors; ++s) outputs.push_back(&SensorOut[s].Out);
  }
  if (Settings.BinaryFile) outputs.push_back(&BinaryOut);
  if (Settings.SacFiles) {
    for (int c = 0; c < Channels; ++c) outputs.push_back(&SacOut[c]);
  }
  for (TOutput* output : outputs) {
    if (!output->File.IsOpen()) continue;
    WUtil::CloseChecked(output->File);
    if (deleting) platform::TRecordFile::Erase(output->Path);
  }
  // Every file is complete (or gone): none belongs to an event in hand any more.
  for (TOutput* output : outputs) output->Path.clear();
  if (deleting) LastOutputNames.clear();
}

void TTarqConvert::DiscardEventFiles() {
  ReleasePending();
  Writer.Abandon();
  auto discard = [](TOutput& output) {
    if (output.File.IsOpen()) {
      try {
        output.File.Close();
      } catch (const platform::EInOutError&) {
      }
    }
    if (!output.Path.empty()) {
      try {
        platform::TRecordFile::Erase(output.Path);
      } catch (const platform::EInOutError&) {
      }
      output.Path.clear();
    }
  };
  discard(RecordOut.Out);
  for (TTextOutput& out : SensorOut) discard(out.Out);
  discard(BinaryOut);
  for (TOutput& out : SacOut) discard(out);
  LastOutputNames.clear();
}
