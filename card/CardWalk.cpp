// The card files and the walk over their events.

#include <ctime>
#include <limits>

#include "base/TextFields.h"
#include "card/CardFields.h"
#include "card/CardLayout.h"
#include "card/TarqCard.h"
#include "platform/FileSystem.h"

namespace card_fields {

using WUtil::Chars;

std::string FieldText(const uint8_t* image, int field) {
  const uint8_t* start = image + (field - 1) * FieldSize;
  std::string text(reinterpret_cast<const char*>(start), FieldSize);
  WUtil::TrimRight(text);
  return text;
}

int CommaPosition(const std::string& text) {
  size_t p = text.find(',');
  return p == std::string::npos ? 0 : static_cast<int>(p) + 1;
}

int32_t RuleInt(const std::string& text) {
  int32_t value = 0;
  WUtil::ValInt(text, value);
  return value;
}

void ParseChannels(TEventHeader& event, const std::string& text) {
  const int p = CommaPosition(text);
  const int length = static_cast<int>(text.size());
  event.ChannelCount = RuleInt(Chars(text, 1, p - 1));
  event.StationSerial = RuleInt(Chars(text, p + 1, length));
}

bool ParseRateDuration(TEventHeader& event, const std::string& text) {
  const int p = CommaPosition(text);
  const int length = static_cast<int>(text.size());
  event.SampleRate = RuleInt(Chars(text, 1, p - 1));
  event.DurationMinutes = RuleInt(Chars(text, p + 1, length));
  // Two 32-bit factors always fit in 64 bits; the factor 60 only once their product does.
  constexpr int64_t Low = std::numeric_limits<int32_t>::min();
  constexpr int64_t High = std::numeric_limits<int32_t>::max();
  const int64_t perMinute = int64_t{event.SampleRate} * event.DurationMinutes;
  const bool fits = perMinute >= Low / 60 && perMinute <= High / 60;
  event.SamplesPerChannel = fits ? static_cast<int32_t>(perMinute * 60) : 0;
  return fits;
}

bool SampleRecordsFit(const TEventHeader& event) {
  const int64_t records = int64_t{event.SamplesPerChannel} * event.ChannelCount;
  return records >= 0 && records <= std::numeric_limits<int32_t>::max();
}

void Abandon(platform::TRecordFile& file) noexcept {
  try {
    file.Close();
  } catch (...) {
  }
}

}  // namespace card_fields

using namespace card_fields;

namespace {

TProbeDate LocalToday() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  return {static_cast<uint16_t>(local.tm_year + 1900), static_cast<uint16_t>(local.tm_mon + 1),
          static_cast<uint16_t>(local.tm_mday)};
}

// A card path in the root directory: empty without a root, so that it cannot be opened.
std::string CardPath(const std::string& root, std::string_view name) {
  if (root.empty()) return {};
  return platform::FindCaseInsensitive(root, std::string(name));
}

int16_t Low16(int32_t value) {
  return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(value) & 0xFFFFu));
}

// Seconds in characters 1-2, milliseconds in characters 3-5.
void ParseSecondAndMillisecond(const std::string& text, int16_t& second, int16_t& millisecond) {
  second = Low16(RuleInt(Chars(text, 1, 2)));
  millisecond = Low16(RuleInt(Chars(text, 3, 5)));
}

double RealOr(const std::string& text, double fallback) {
  double value = 0;
  return WUtil::ValReal(text, value) != 0 ? fallback : value;
}

int32_t IntOrZero(const std::string& text) {
  int32_t value = 0;
  return WUtil::ValInt(text, value) != 0 ? 0 : value;
}

}  // namespace

TTarqCard::TTarqCard(TMessages& messages, platform::TDriveTable& drives)
    : Boxes(messages), Drives(drives), Today(LocalToday) {}

std::string TTarqCard::DataFilePath() const {
  return CardPath(Root, card_layout::DataFileName);
}

std::string TTarqCard::SectorFilePath() const {
  return CardPath(Root, card_layout::SectorFileName);
}

bool TTarqCard::OpenDataFile() {
  const std::string path = DataFilePath();
  int code = DataFile.Reset(path, card_layout::RecordSize, platform::TOpenMode::ReadWrite);
  WriteProtected = false;
  if (code == platform::IoAccessDenied) {
    // Denied writing, not reading: the card can be read all the same.
    code = DataFile.Reset(path, card_layout::RecordSize, platform::TOpenMode::ReadOnly);
    WriteProtected = code == 0;
  }
  return code == 0;
}

void TTarqCard::CloseDataFile() {
  if (!DataFile.IsOpen()) return;
  const std::string name = DataFile.Name();
  if (int code = DataFile.Close()) throw platform::EInOutError(code, name);
}

void TTarqCard::ReadSignature() {
  EpromVersion = -1;
  DataFile.Seek(0);
  char bytes[card_layout::SignatureSize];
  if (DataFile.Read(bytes, card_layout::FieldRecords).Records < card_layout::FieldRecords) return;
  std::string text(bytes, sizeof bytes);
  WUtil::TrimRight(text);
  int32_t value = 0;
  if (text == card_layout::PlainSignature) {
    EpromVersion = 0;
  } else if (text.starts_with(card_layout::VersionSignatureLong)) {
    if (WUtil::ValInt(Chars(text, 7, 9), value) == 0) EpromVersion = value;
  } else if (text.starts_with(card_layout::VersionSignatureShort)) {
    if (WUtil::ValInt(Chars(text, 6, 9), value) == 0) EpromVersion = value;
  }
  if (EpromVersion < 0) EpromVersion = -1;
}

bool TTarqCard::ReadEventHeader(bool restore) {
  const bool noEventsBefore = NoEvents;
  Event.DynamicRange = 5.0;
  using card_layout::CommonHeaderSize;
  uint8_t common[CommonHeaderSize];
  constexpr int commonRecords = CommonHeaderSize / card_layout::RecordSize;
  if (DataFile.Read(common, commonRecords).Records < commonRecords) return false;

  const std::string marker = FieldText(common, 1);
  if (marker == (restore ? card_layout::ErasedMarker1 : card_layout::LiveMarker1)) {
    Event.EventFormat = 1;
  } else if (marker == (restore ? card_layout::ErasedMarker2 : card_layout::LiveMarker2)) {
    Event.EventFormat = 2;
  } else {
    return false;
  }
  NoEvents = false;
  Event.Marker = marker;
  std::copy(common, common + CommonHeaderSize, Event.HeaderImage.begin());

  ParseChannels(Event, FieldText(common, 2));
  Event.FileStem = FieldText(common, 4);
  ParseSecondAndMillisecond(FieldText(common, 5), Event.StartSecond, Event.StartMillisecond);
  Event.OriginalFileName = (Event.FileStem + "." + FieldText(common, 6)).substr(0, 12);
  const bool rateFits = ParseRateDuration(Event, FieldText(common, 8));

  const std::string gain = FieldText(common, 9);
  const int p = CommaPosition(gain);
  if (Event.EventFormat == 2 && EpromVersion >= 508 && p > 0) {
    Event.Gain = RuleInt(Chars(gain, 1, p - 1));
    // A range that does not parse keeps the default: a zero range would zero every sample.
    Event.DynamicRange = RealOr(Chars(gain, p + 1, static_cast<int>(gain.size())), 5.0);
  } else {
    Event.Gain = RuleInt(gain);
  }
  Event.ClippedSamples = RealOr(FieldText(common, 10), 0.0);
  Event.FullScale = RuleInt(FieldText(common, 11));
  Event.MaxAmplitude = RuleInt(FieldText(common, 12));

  if (Event.EventFormat == 2) {
    uint8_t extra[card_layout::Format2ExtraSize];
    constexpr int extraRecords = card_layout::Format2ExtraSize / card_layout::RecordSize;
    if (DataFile.Read(extra, extraRecords).Records < extraRecords) return false;
    std::copy(extra, extra + sizeof extra, Event.HeaderImage.begin() + CommonHeaderSize);
    const uint8_t* image = Event.HeaderImage.data();

    const std::string position = FieldText(image, 13);
    const int q = CommaPosition(position);
    if (q <= 1) {
      Event.Latitude = 0;
      Event.LatitudeHemisphere = ' ';
      Event.Longitude = 0;
      Event.LongitudeHemisphere = ' ';
    } else {
      const int length = static_cast<int>(position.size());
      Event.Latitude = IntOrZero(Chars(position, 1, q - 2));
      Event.LatitudeHemisphere = position[static_cast<size_t>(q - 2)];
      Event.Longitude = IntOrZero(Chars(position, q + 1, length - 1));
      Event.LongitudeHemisphere = position.back();
    }
    Event.LatitudeMinutes = RealOr(FieldText(image, 14), 0.0);
    Event.LongitudeMinutes = RealOr(FieldText(image, 15), 0.0);

    const std::string satellites = FieldText(image, 16);
    const int s = CommaPosition(satellites);
    if (s <= 1) {
      Event.SatelliteCount = 0;
      Event.Altitude = 0;
    } else {
      Event.SatelliteCount = IntOrZero(Chars(satellites, 1, s - 1));
      Event.Altitude = IntOrZero(Chars(satellites, s + 1, static_cast<int>(satellites.size())));
    }

    if (EpromVersion >= 410) {
      Event.DurationMs = RuleInt(FieldText(image, 17));
    } else {
      Event.EndStamp = FieldText(image, 17).substr(0, 8);
      ParseSecondAndMillisecond(FieldText(image, 18), Event.EndSecond, Event.EndMillisecond);
    }
  }

  uint8_t headerEnd[FieldSize];
  if (DataFile.Read(headerEnd, card_layout::FieldRecords).Records < card_layout::FieldRecords) {
    return false;
  }
  std::copy(headerEnd, headerEnd + FieldSize,
            Event.HeaderImage.begin() + card_layout::HeaderEndOffset);

  // Samples that no seek of the format can pass over: the walk cannot go beyond this header,
  // which counts as no header at all.
  if (!rateFits || !SampleRecordsFit(Event)) {
    NoEvents = noEventsBefore;
    return false;
  }
  return true;
}

bool TTarqCard::SkipEventData() {
  const int64_t records = int64_t{Event.SamplesPerChannel} * Event.ChannelCount;
  DataFile.Seek(DataFile.Position() + (records > 0 ? records : 0));
  char trailer[card_layout::TrailerSize];
  return DataFile.Read(trailer, card_layout::TrailerSize / card_layout::RecordSize).Records ==
         card_layout::TrailerSize / card_layout::RecordSize;
}
