#include <algorithm>
#include <cstring>

#include "app/WUtil.h"
#include "convert/TarqConvert.h"

SacUnit::TSacChannelInfo TTarqConvert::SacChannelInfo(int channel) const {
  static const char Letters[] = "ZNE";
  const TEventHeader& e = Card.Event;
  SacUnit::TSacChannelInfo info;
  const int sensor = (channel - 1) / 3 + 1;
  info.StationName = (SerialText + static_cast<char>('0' + sensor)).substr(0, 4);
  info.SampleCount = e.SamplesPerChannel;
  info.SampleRate = e.SampleRate;
  info.StartDate = WUtil::DateText(StartDate.Day, StartDate.Month, StartDate.Year);
  info.StartTime = WUtil::TimeText(StartTime.Hour, StartTime.Minute, StartTime.Seconds);
  info.InstrumentName = "TarqPrbe";
  info.ComponentLetter = Letters[(channel - 1) % 3];
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

void TTarqConvert::ConvertEvent() {
  const TEventHeader& e = Card.Event;
  // The files and buffers are those OpenEventFiles made for this event's channels.
  if (Channels < 1 || Channels > MaxChannels || Channels != e.ChannelCount) return;
  DeriveEventValues();
  WriteTextHeader();
  if (Settings.SacFiles) {
    for (int c = 1; c <= Channels; ++c)
      SacUnit::WriteSacHeader(SacOut[c - 1].File, SacChannelInfo(c));
  }

  const int64_t frames = std::max<int32_t>(e.SamplesPerChannel, 0);
  const int64_t frameRecords = Channels;
  const int64_t frameBytes = 3 * frameRecords;
  // The decoding reads each sample with the byte after it: one byte of the buffer stays free.
  const int64_t blockBytes =
      std::min<int64_t>(ReadBlockBytes, static_cast<int64_t>(TOutputWriter::BufferBytes) - 1);
  const int64_t blockFrames = std::max<int64_t>(1, blockBytes / frameBytes);
  const bool decode = DecodeRecord || DecodeSensors || DecodeSac;
  const bool binary = Settings.BinaryFile && BinaryOut.File.IsOpen();

  int64_t k = 0;
  int64_t nextProgress = 100;
  bool stopped = false;
  bool cutShort = false;
  // The card is read in blocks of whole frames; each frame is still handled on its own:
  // progress every 100 frames, the stop after the frame in hand, padding from the frame
  // where the card could not be read. Formatting text takes longer than reading, so for
  // text outputs the next block is read on the writer's thread while this one is decoded;
  // otherwise the writer has enough to do with the writes, and the block is read here.
  const bool readAhead = DecodeRecord || DecodeSensors;
  TOutputWriter::TBufferPtr readHere;
  platform::TReadResult readHereResult;
  auto startRead = [&](int64_t records) {
    TOutputWriter::TBufferPtr buffer = Writer.Acquire();
    if (readAhead) {
      Writer.StartRead(Card.DataFile, std::move(buffer), records);
    } else {
      readHereResult = Card.DataFile.Read(buffer->Bytes.data(), records);
      readHere = std::move(buffer);
    }
  };
  auto takeRead = [&](platform::TReadResult& result) {
    if (readAhead) return Writer.TakeRead(result);
    result = readHereResult;
    return std::move(readHere);
  };

  int64_t wanted = std::min(blockFrames, frames);
  if (frames > 0) startRead(wanted * frameRecords);
  while (k < frames && !stopped && !cutShort) {
    platform::TReadResult read;
    TOutputWriter::TBufferPtr block = takeRead(read);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(block->Bytes.data());
    const int64_t recordsRead = std::min(read.Records, wanted * frameRecords);
    const int64_t whole = recordsRead / frameRecords;
    const int64_t blockStart = k;
    if (whole == wanted && k + wanted < frames) {
      const int64_t next = std::min(blockFrames, frames - k - wanted);
      startRead(next * frameRecords);
      wanted = next;
    }
    int64_t done = 0;
    while (done < whole && !stopped) {
      // A run of frames up to the next progress point. The stop is polled after each frame;
      // the run then goes to the outputs in one pass per output.
      const int64_t run = std::min(whole - done, nextProgress - k);
      int64_t taken = 0;
      while (taken < run) {
        ++taken;
        if (StopRequested.load(std::memory_order_relaxed)) {
          stopped = true;
          break;
        }
      }
      if (decode) WriteFrames(bytes + done * frameBytes, taken);
      done += taken;
      k += taken;
      if (k == nextProgress) {
        SetProgressFor(SamplesDownloaded + k);
        nextProgress += 100;
      }
    }
    // Frame k + 1 could not be read whole (an input/output error, or a data file that ends
    // inside the event): the binary file keeps the whole samples read of it, the other
    // outputs are padded with zeros.
    cutShort = !stopped && k - blockStart < std::min(blockFrames, frames - blockStart);
    const int64_t binaryRecords = cutShort ? recordsRead : done * frameRecords;
    if (binary && binaryRecords > 0) {
      block->Used = static_cast<size_t>(binaryRecords * 3);
      Writer.Submit(BinaryOut.File, std::move(block));
    } else {
      Writer.Release(std::move(block));
    }
    if (cutShort) PadOutputs(k + 1);
  }
  // A stop leaves the next block's read outstanding: the card is the run's again.
  if (Writer.ReadOutstanding()) {
    platform::TReadResult ignored;
    Writer.Release(Writer.TakeRead(ignored));
  }
  Writer.Release(std::move(readHere));

  if (!stopped && !cutShort) {
    uint8_t trailer[9];
    const platform::TReadResult read = Card.DataFile.Read(trailer, 3);
    if (read.Records == 3 && binary) {
      TOutputWriter::TBufferPtr buffer = Writer.Acquire();
      std::memcpy(buffer->Bytes.data(), trailer, 9);
      buffer->Used = 9;
      Writer.Submit(BinaryOut.File, std::move(buffer));
    }
  }
  SamplesDownloaded += frames;
}
