// The station sheet reader on arbitrary text, read as UTF-8 and as Latin-1: it accepts or
// refuses with a message naming the sheet, never crashes; what it accepts holds valid codes,
// numbers in range, each serial once and texts that are valid UTF-8.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "seed/SeedError.h"
#include "seed/StationSheet.h"
#include "base/Utf8Text.h"

namespace {

void Check(std::string_view text, seed::TSheetEncoding encoding) {
  seed::TStationSheet sheet;
  try {
    sheet = seed::TStationSheet::Parse(text, "stations.csv", encoding);
  } catch (const seed::ESeedError& error) {
    const std::string_view message = error.what();
    if (message.rfind("stations.csv", 0) != 0) std::abort();
    if (Utf8ErrorOffset(message) != std::string_view::npos) std::abort();
    return;
  }
  for (const seed::TStationRow& row : sheet.Rows()) {
    if (Utf8ErrorOffset(row.Site) != std::string::npos ||
        Utf8ErrorOffset(row.Instrument) != std::string::npos)
      std::abort();
    if (sheet.Find(row.Serial) != &row || row.Serial < 0 || row.Line < 2) std::abort();
    if (!row.Network.empty() && !seed::CodeProblem(seed::TCodeKind::Network, row.Network).empty())
      std::abort();
    if (!row.Station.empty() && !seed::CodeProblem(seed::TCodeKind::Station, row.Station).empty())
      std::abort();
    if (row.Latitude && !(std::fabs(*row.Latitude) <= 90)) std::abort();
    if (row.Longitude && !(std::fabs(*row.Longitude) <= 180)) std::abort();
    if (row.Elevation && !std::isfinite(*row.Elevation)) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  Check(text, seed::TSheetEncoding::Utf8);
  Check(text, seed::TSheetEncoding::Latin1);
  return 0;
}
