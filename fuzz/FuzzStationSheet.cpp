// The station sheet reader on arbitrary text: it accepts or refuses with a message naming the
// sheet, never crashes; what it accepts holds valid codes, numbers in range and each serial
// once.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "convert/SeedError.h"
#include "convert/StationSheet.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  seed::TStationSheet sheet;
  try {
    sheet = seed::TStationSheet::Parse(text, "stations.csv");
  } catch (const seed::ESeedError& error) {
    if (std::string_view(error.what()).rfind("stations.csv", 0) != 0) std::abort();
    return 0;
  }
  for (const seed::TStationRow& row : sheet.Rows()) {
    if (sheet.Find(row.Serial) != &row || row.Serial < 0 || row.Line < 2) std::abort();
    if (!row.Network.empty() && !seed::CodeProblem(seed::TCodeKind::Network, row.Network).empty())
      std::abort();
    if (!row.Station.empty() && !seed::CodeProblem(seed::TCodeKind::Station, row.Station).empty())
      std::abort();
    if (row.Latitude && !(std::fabs(*row.Latitude) <= 90)) std::abort();
    if (row.Longitude && !(std::fabs(*row.Longitude) <= 180)) std::abort();
    if (row.Elevation && !std::isfinite(*row.Elevation)) std::abort();
  }
  return 0;
}
