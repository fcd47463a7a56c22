#include "seed/SeedCodes.h"

#include <cmath>

#include "seed/SeedError.h"
#include "seed/SeedText.h"
#include "base/Utf8Text.h"

namespace seed {

namespace {

void CheckChannelIndex(int channelIndex) {
  if (channelIndex < 0 || channelIndex >= 100 * ChannelsPerSensor) {
    throw ESeedError("channel " + DecimalText(channelIndex + 1) + " has no SEED location code");
  }
}

const char* KindName(TCodeKind kind) {
  switch (kind) {
    case TCodeKind::Network:
      return "network";
    case TCodeKind::Station:
      return "station";
    case TCodeKind::Location:
      return "location";
    case TCodeKind::Channel:
      return "channel";
  }
  return "";
}

}  // namespace

char BandCode(double sampleRate, TSensorPeriod period) {
  if (!(sampleRate > 0) || !std::isfinite(sampleRate)) {
    throw ESeedError("sample rate " + RealText(sampleRate) + " Hz: it must be above 0");
  }
  const bool broad = period == TSensorPeriod::Broad;
  if (sampleRate >= 1000) return broad ? 'F' : 'G';
  if (sampleRate >= 250) return broad ? 'C' : 'D';
  if (sampleRate >= 80) return broad ? 'H' : 'E';
  if (sampleRate >= 10) return broad ? 'B' : 'S';
  if (sampleRate >= 2) return 'M';
  if (sampleRate >= 1) return 'L';
  if (sampleRate >= 0.1) return 'V';
  return 'U';
}

char OrientationCode(int channelIndex) {
  CheckChannelIndex(channelIndex);
  static constexpr char orientations[ChannelsPerSensor] = {'Z', 'N', 'E'};
  return orientations[channelIndex % ChannelsPerSensor];
}

std::string LocationCode(int channelIndex) {
  CheckChannelIndex(channelIndex);
  const int sensor = channelIndex / ChannelsPerSensor;
  return {static_cast<char>('0' + sensor / 10), static_cast<char>('0' + sensor % 10)};
}

std::string ChannelCode(double sampleRate, TSensorPeriod period, int channelIndex) {
  return {BandCode(sampleRate, period), InstrumentCode, OrientationCode(channelIndex)};
}

std::string StationCode(int64_t serial) {
  if (serial < 0 || serial > 99999) {
    throw ESeedError("serial number " + DecimalText(serial) +
                     " does not make a station code of at most 5 digits");
  }
  return DecimalText(serial, 3);
}

TChannelCodes DefaultChannelCodes(int64_t serial, double sampleRate, TSensorPeriod period,
                                  int channelIndex) {
  return {std::string(DefaultNetwork), StationCode(serial), LocationCode(channelIndex),
          ChannelCode(sampleRate, period, channelIndex)};
}

std::string CodeProblem(TCodeKind kind, std::string_view code) {
  const std::string what = std::string(KindName(kind)) + " code '" + ValidUtf8(code) + "'";
  for (size_t i = 0; i < code.size(); ++i) {
    const char c = code[i];
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) {
      // The whole character, not the first byte of its UTF-8 sequence.
      size_t length = 1;
      while (length < 4 && i + length < code.size() && (code[i + length] & 0xC0) == 0x80) {
        ++length;
      }
      return what + " holds '" + ValidUtf8(code.substr(i, length)) +
             "': only upper-case letters A-Z and digits are allowed";
    }
  }
  switch (kind) {
    case TCodeKind::Network:
      if (code.empty() || code.size() > 2) return what + ": it must have 1 or 2 characters";
      break;
    case TCodeKind::Station:
      if (code.empty() || code.size() > 5) return what + ": it must have 1 to 5 characters";
      break;
    case TCodeKind::Location:
      if (!code.empty() && code.size() != 2)
        return what + ": it must be empty or have 2 characters";
      break;
    case TCodeKind::Channel:
      if (code.size() != 3) return what + ": it must have 3 characters";
      break;
  }
  return {};
}

void CheckCode(TCodeKind kind, std::string_view code) {
  std::string problem = CodeProblem(kind, code);
  if (!problem.empty()) throw ESeedError(problem);
}

void CheckCodes(const TChannelCodes& codes) {
  CheckCode(TCodeKind::Network, codes.Network);
  CheckCode(TCodeKind::Station, codes.Station);
  CheckCode(TCodeKind::Location, codes.Location);
  CheckCode(TCodeKind::Channel, codes.Channel);
}

}  // namespace seed
