#pragma once
// Builds card files of any shape for tests, fuzz seeds, benchmarks and the sample card.
//
// The data file is the 9-byte signature, then each event: its header fields (9 bytes each,
// blank-padded: 12 for format 1, 18 for format 2), the 9-byte header end, the samples
// (frames of ChannelCount 3-byte big-endian samples) and the 9-byte trailer; then any tail.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testing_support {

// A 9-byte header field: the text blank-padded, or cut to 9.
std::string Field(const std::string& text);

// The 3 bytes of a 24-bit two's-complement sample, most significant first.
std::string SampleBytes(int32_t value);

// The sample that generated events hold in frame k (0-based) of channel c (0-based): varied,
// both signs, and now and then the extremes -8388608 and 8388607.
int32_t GeneratedSample(int64_t frame, int channel);

struct TBuiltEvent {
  std::string Marker = "DEB";  // DEB, DEB2, ERASED, ERASED2 or anything else
  // Fields 2-18 as stored (before padding). Defaults: 3 channels of station 12, started
  // 12 May 10:30:07.250, file 001, 125 Hz for 1 minute, gain 1.
  std::string Channels = "3,12";  // field 2: channels,serial
  std::string Field3 = "";
  std::string FileStem = "05121030";  // field 4: MMDDhhmm
  std::string StartSecond = "07250";  // field 5: ss then mmm
  std::string FileNumber = "001";     // field 6
  std::string Field7 = "";
  std::string RateDuration = "125,1";  // field 8: rate,minutes
  std::string Gain = "1";              // field 9: gain[,dynamic range]
  std::string Clipped = "0.00";        // field 10
  std::string FullScale = "8388607";   // field 11
  std::string MaxAmplitude = "5120";   // field 12
  // Format 2 only (Marker DEB2 / ERASED2):
  std::string Position = "45N,006E";  // field 13
  std::string LatMinutes = "30.000";  // field 14
  std::string LonMinutes = "15.000";  // field 15
  std::string SatAltitude = "7,250";  // field 16: satellites,altitude
  std::string Field17 = "60000";      // DurationMs (version >= 410) or EndStamp MMDDhhmm
  std::string Field18 = "";           // EndSecond/EndMillisecond ss mmm (version < 410)
  std::string HeaderEnd = "HDREND";   // 9 bytes
  std::string Trailer = "TRAILER";    // 9 bytes

  // The sample bytes. When RawSamples is set it is used as is (any length: a cut event);
  // otherwise Frames frames of Channels channels are generated, Frames -1 meaning
  // rate x minutes x 60 from the fields.
  bool UseRawSamples = false;
  std::string RawSamples;
  int64_t Frames = -1;
  int ChannelCount = -1;  // channels of the generated frames; -1: from field 2
  // Samples written as a hole (zero bytes, a sparse file): for very large cards.
  bool SparseSamples = false;
  // Leaves the trailer out (an event cut right after its samples).
  bool OmitTrailer = false;

  bool IsFormat2() const { return Marker.rfind("DEB2", 0) == 0 || Marker.rfind("ERASED2", 0) == 0; }
  std::string HeaderBytes() const;  // fields and header end, 117 or 171 bytes
  int64_t FrameCount() const;
  int Channels_() const;
};

// A small consistent event: 1 Hz for one minute, 60 generated frames, with the marker, field 2
// (channels,serial) and field 6 (the file number) given.
TBuiltEvent SmallEvent(const std::string& marker = "DEB", const std::string& channels = "3,12",
                       const std::string& fileNumber = "001");

struct TCardBuilder {
  std::string Signature = "TARQPROBE";  // 9 bytes as stored (cut or blank-padded)
  std::vector<TBuiltEvent> Events;
  std::string Tail;                 // bytes after the last event
  int64_t TailZeros = 0;            // then this many zero bytes (a hole)
  bool SectorFile = true;           // write secttarq.hex
  std::string Label = "USED CARD";  // CardLabel, blank-padded to 24
  std::string DataEndHex;           // 8 characters; empty: computed from the data file's size
  std::string SectorBytes;          // when not empty, the whole sector file as is
  std::string DataFileName = "fichbase.dat";
  std::string SectorFileName = "secttarq.hex";

  static std::string NewCardLabel() { return "CARTE FLASH NEUVE       "; }

  // Bytes of the data file (sparse parts as zeros: only for small cards).
  std::string DataFileBytes() const;
  int64_t DataFileSize() const;
  std::string SectorFileBytes() const;
  // Writes the card files into a directory. Returns the data file's path.
  std::string WriteTo(const std::string& directory) const;
  // Byte offset of event i's header in the data file.
  int64_t EventOffset(size_t index) const;
};

}  // namespace testing_support
