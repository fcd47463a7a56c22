#pragma once
// SAC files (header version 6): one file per channel, a 632-byte header and the samples as
// 4-byte floats, everything little-endian.
//
//   byte 0     70 float words (SAC words 0-69)
//   byte 280   40 integer words (SAC words 70-109; logical fields hold 1 for true)
//   byte 440   KSTNM (8), KEVNM (16), then 21 fields of 8 characters: KHOLE, KO, KA, KT0-KT9,
//              KF, KUSER0-KUSER2, KCMPNM (byte 600), KNETWK, KDATRD, KINST (byte 624)
//   byte 632   the samples, one float each
//
// Words set here (byte offset = 4 x word): DELTA 0, DEPMIN 1, DEPMAX 2, ODELTA 4, B 5, E 6,
// STLA 31, STLO 32, STEL 33, DEPMEN 56, NZYEAR 70, NZJDAY 71, NZHOUR 72, NZMIN 73, NZSEC 74,
// NZMSEC 75, NVHDR 76, NPTS 79, IFTYPE 85, IDEP 86, LEVEN 105, LOVROK 107. Every other field
// keeps the SAC value for "undefined": -12345.0, -12345 or "-12345". With a channel's station
// fields (a run with a station sheet or a network code) also KNETWK, KHOLE, STDP 34, CMPAZ 57
// and CMPINC 58, and KSTNM, KCMPNM and the position from them.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/RecordFile.h"

namespace SacUnit {

constexpr int HeaderBytes = 632;
constexpr int HeaderWords = 110;  // the float and integer words
using THeader = std::array<uint8_t, HeaderBytes>;

constexpr float UndefinedFloat = -12345.0f;
constexpr int32_t UndefinedInt = -12345;

enum : int {
  WordDelta = 0,
  WordDepMin = 1,
  WordDepMax = 2,
  WordODelta = 4,
  WordB = 5,
  WordE = 6,
  WordStla = 31,
  WordStlo = 32,
  WordStel = 33,
  WordStdp = 34,
  WordDepMen = 56,
  WordCmpAz = 57,
  WordCmpInc = 58,
  WordNzYear = 70,
  WordNzJDay = 71,
  WordNzHour = 72,
  WordNzMin = 73,
  WordNzSec = 74,
  WordNzMSec = 75,
  WordNvHdr = 76,
  WordNpts = 79,
  WordIfType = 85,
  WordIDep = 86,
  WordLEven = 105,
  WordLOvrOk = 107,
};
constexpr int OffsetKstnm = 440;
constexpr int OffsetKhole = 464;
constexpr int OffsetKcmpnm = 600;
constexpr int OffsetKnetwk = 608;
constexpr int OffsetKinst = 624;

// A channel's SEED codes and placement. An unset value stays undefined.
struct TSacStationFields {
  std::string Network;             // KNETWK
  std::string Station;             // KSTNM, in place of the station name
  std::string Location;            // KHOLE; empty: blanks
  std::string Channel;             // KCMPNM, in place of the component letter
  std::optional<float> Latitude;   // STLA, degrees north
  std::optional<float> Longitude;  // STLO, degrees east
  std::optional<float> Elevation;  // STEL, metres
  float Depth = 0;                 // STDP, metres below the surface
  float Azimuth = 0;               // CMPAZ, degrees clockwise from north
  float Inclination = 0;           // CMPINC, degrees from the vertical, up 0
};

// The values of one channel's header.
struct TSacChannelInfo {
  std::string StationName;     // at most 4 characters
  int32_t SampleCount = 0;     // NPTS
  double SampleRate = 0;       // Hz
  std::string StartDate;       // dd.mm.yyyy
  std::string StartTime;       // hh:mm:ss.sss
  std::string InstrumentName;  // at most 8 characters
  char ComponentLetter = 'Z';
  bool AmplitudesGiven = false;
  int32_t Minimum = 0;
  int32_t Maximum = 0;
  int32_t Mean = 0;
  double AmplitudeScale = 1.0;
  bool SwapByteOrder = false;
  float Latitude = 0;
  float Longitude = 0;
  float Elevation = 0;  // 9999 or more: the station position stays undefined
  // When set, these replace the station name, the component letter and the position above.
  std::optional<TSacStationFields> Station;
};

// Every field undefined.
const THeader& SacHeaderTemplate();

// The header of a channel as WriteSacHeader writes it.
THeader BuildSacHeader(const TSacChannelInfo& info);
// Writes the header at the start of a file opened with record size 4. A failing write raises
// EInOutError.
void WriteSacHeader(platform::TRecordFile& file, const TSacChannelInfo& info);

// Copies text into a field of `width` characters, filling the rest with blanks (no zero).
void PutFixedText(const std::string& text, uint8_t* field, int width);
// Reverses the byte order of each of the 110 numeric words; the character fields stay.
void SwapHeaderWords(THeader& header);

// Little-endian words.
void PutFloat(THeader& header, int word, float value);
void PutInt(THeader& header, int word, int32_t value);
float GetFloat(const THeader& header, int word);
int32_t GetInt(const THeader& header, int word);

}  // namespace SacUnit
