#include "convert/DefaultSeedId.h"

#include <algorithm>
#include <charconv>

char ShortPeriodBandCode(int64_t sampleRate) {
  if (sampleRate >= 1000) return 'G';
  if (sampleRate >= 250) return 'D';
  if (sampleRate >= 80) return 'E';
  if (sampleRate >= 10) return 'S';
  if (sampleRate >= 2) return 'M';
  return 'L';
}

std::string DefaultSeedId(int64_t stationSerial, int channel, int64_t sampleRate) {
  char digits[24];
  const auto end =
      std::to_chars(digits, digits + sizeof digits, std::max<int64_t>(stationSerial, 0)).ptr;
  std::string station(digits, end);
  if (station.size() < 3) station.insert(0, 3 - station.size(), '0');
  const int sensor = channel >= 1 ? (channel - 1) / 3 : 0;
  const int component = channel >= 1 ? (channel - 1) % 3 : 0;
  std::string location = std::to_string(sensor);
  if (location.size() < 2) location.insert(0, 1, '0');
  std::string id = "XX." + station + "." + location + ".";
  id += ShortPeriodBandCode(sampleRate);
  id += 'H';
  id += "ZNE"[component];
  return id;
}
