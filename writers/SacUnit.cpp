#include "writers/SacUnit.h"

#include <cmath>
#include <cstring>
#include <utility>

#include "base/DateTime.h"

namespace SacUnit {

namespace {

void PutWord(THeader& header, int word, uint32_t bits) {
  uint8_t* p = header.data() + 4 * word;
  p[0] = static_cast<uint8_t>(bits);
  p[1] = static_cast<uint8_t>(bits >> 8);
  p[2] = static_cast<uint8_t>(bits >> 16);
  p[3] = static_cast<uint8_t>(bits >> 24);
}

uint32_t GetWord(const THeader& header, int word) {
  const uint8_t* p = header.data() + 4 * word;
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

THeader MakeTemplate() {
  THeader header{};
  for (int word = 0; word < 70; ++word) PutFloat(header, word, UndefinedFloat);
  for (int word = 70; word < HeaderWords; ++word) PutInt(header, word, UndefinedInt);
  PutFixedText("-12345", header.data() + OffsetKstnm, 8);
  PutFixedText("-12345", header.data() + OffsetKstnm + 8, 16);
  for (int field = 0; field < 21; ++field) {
    PutFixedText("-12345", header.data() + OffsetKstnm + 24 + 8 * field, 8);
  }
  return header;
}

}  // namespace

void PutFloat(THeader& header, int word, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  PutWord(header, word, bits);
}

void PutInt(THeader& header, int word, int32_t value) {
  PutWord(header, word, static_cast<uint32_t>(value));
}

float GetFloat(const THeader& header, int word) {
  uint32_t bits = GetWord(header, word);
  float value;
  std::memcpy(&value, &bits, 4);
  return value;
}

int32_t GetInt(const THeader& header, int word) {
  return static_cast<int32_t>(GetWord(header, word));
}

const THeader& SacHeaderTemplate() {
  static const THeader header = MakeTemplate();
  return header;
}

void PutFixedText(const std::string& text, uint8_t* field, int width) {
  const size_t n = std::min(text.size(), static_cast<size_t>(width));
  std::memcpy(field, text.data(), n);
  std::memset(field + n, ' ', static_cast<size_t>(width) - n);
}

void SwapHeaderWords(THeader& header) {
  for (int word = 0; word < HeaderWords; ++word) {
    uint8_t* p = header.data() + 4 * word;
    std::swap(p[0], p[3]);
    std::swap(p[1], p[2]);
  }
}

THeader BuildSacHeader(const TSacChannelInfo& info) {
  THeader header = SacHeaderTemplate();
  PutInt(header, WordNvHdr, 6);
  PutFixedText(info.StationName, header.data() + OffsetKstnm, 8);
  PutInt(header, WordIfType, 1);
  PutInt(header, WordLEven, 1);
  PutInt(header, WordIDep, 5);
  PutInt(header, WordLOvrOk, 1);
  PutInt(header, WordNpts, info.SampleCount);

  // A rate of zero (or a corrupt negative one) gives no sample spacing: the spacing and the
  // end time stay undefined rather than infinite or negative.
  if (info.SampleRate > 0) {
    const float delta = static_cast<float>(1.0 / info.SampleRate);
    PutFloat(header, WordDelta, delta);
    PutFloat(header, WordODelta, delta);
    PutFloat(header, WordE,
             static_cast<float>(static_cast<long double>(info.SampleCount - 1LL) *
                                static_cast<long double>(delta)));
  }
  PutFloat(header, WordB, 0.0f);

  WUtil::TDayNumber dayNumber = 0;
  WUtil::TCalendarTime time;
  double seconds = 0;
  double secondsOfDay = 0;
  WUtil::ParseDateTime(info.StartDate, info.StartTime, dayNumber, time, seconds, secondsOfDay);
  PutInt(header, WordNzYear, time.Year);
  PutInt(header, WordNzJDay,
         dayNumber - WUtil::DateToDayNumber(31, 12, static_cast<uint16_t>(time.Year - 1)));
  PutInt(header, WordNzHour, time.Hour);
  PutInt(header, WordNzMin, time.Minute);
  // A time text holds at most six characters of seconds; a number that does not fit the
  // integer fields (9e99) leaves them undefined.
  if (std::fabs(seconds) < 1e9) {
    const long double whole = std::trunc(static_cast<long double>(seconds));
    int32_t nzsec = static_cast<int32_t>(whole);
    // Default rounding mode: halves go to the even neighbour.
    int32_t nzmsec =
        static_cast<int32_t>(std::nearbyint((static_cast<long double>(seconds) - whole) * 1000.0L));
    if (nzmsec == 1000) {
      ++nzsec;
      nzmsec = 0;
    }
    PutInt(header, WordNzSec, nzsec);
    PutInt(header, WordNzMSec, nzmsec);
  }

  PutFixedText(info.InstrumentName, header.data() + OffsetKinst, 8);
  PutFixedText("", header.data() + OffsetKcmpnm, 8);
  header[OffsetKcmpnm + 2] = static_cast<uint8_t>(info.ComponentLetter);

  if (info.Elevation < 9999.0f) {
    PutFloat(header, WordStla, info.Latitude);
    PutFloat(header, WordStlo, info.Longitude);
    PutFloat(header, WordStel, info.Elevation);
  }
  if (const std::optional<TSacStationFields>& station = info.Station) {
    PutFixedText(station->Network, header.data() + OffsetKnetwk, 8);
    PutFixedText(station->Station, header.data() + OffsetKstnm, 8);
    PutFixedText(station->Location, header.data() + OffsetKhole, 8);
    PutFixedText(station->Channel, header.data() + OffsetKcmpnm, 8);
    for (const auto& [word, value] :
         {std::pair{WordStla, station->Latitude}, std::pair{WordStlo, station->Longitude},
          std::pair{WordStel, station->Elevation}}) {
      PutFloat(header, word, value.value_or(UndefinedFloat));
    }
    PutFloat(header, WordStdp, station->Depth);
    PutFloat(header, WordCmpAz, station->Azimuth);
    PutFloat(header, WordCmpInc, station->Inclination);
  }
  if (info.AmplitudesGiven) {
    const double scale = std::fabs(info.AmplitudeScale);
    PutFloat(header, WordDepMin, static_cast<float>(info.Minimum / scale));
    PutFloat(header, WordDepMax, static_cast<float>(info.Maximum / scale));
    PutFloat(header, WordDepMen, static_cast<float>(info.Mean / scale));
  }
  if (info.SwapByteOrder) SwapHeaderWords(header);
  return header;
}

void WriteSacHeader(platform::TRecordFile& file, const TSacChannelInfo& info) {
  const THeader header = BuildSacHeader(info);
  file.Seek(0);
  file.Write(header.data(), HeaderBytes / 4);
}

}  // namespace SacUnit
