#pragma once
// The station sheet: what a recorder stands for, by its serial number, read from a CSV file.
//
//   serial,station,network,site,latitude,longitude,elevation,instrument,period
//   23,BRK01,Z3,"Berck, dune",50.4012,1.5633,12,TP-3 #4,short
//
// A header line names the columns, in any order; only `serial` is required, and a column
// that is not one of the nine above is refused (a misspelt name would otherwise be silently
// ignored). Fields may be quoted ("a, b", "say ""hi"""), spaces around a field are dropped,
// lines end with LF or CR LF, blank lines are ignored. The text is UTF-8 (a byte order mark
// is skipped), or ISO 8859-1 when the caller says so; a UTF-8 sheet with a byte that is not
// UTF-8 is refused rather than carried into StationXML.
// An empty field leaves the value unset (the default code or position applies). Numbers are
// read without the locale (a point as the decimal separator). Latitude is -90..90,
// longitude -180..180, elevation in metres; period is `short` or `broad` (either case). Codes
// must be valid SEED codes (see SeedCodes.h); a serial may appear once.
//
// A bad sheet throws ESeedError naming it, the line and the column:
//   "stations.csv line 4, column latitude: not a number: 'abc'"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "seed/SeedCodes.h"

namespace seed {

struct TStationRow {
  int64_t Serial = 0;
  std::string Network;  // empty: not given
  std::string Station;  // empty: not given
  std::string Site;
  std::optional<double> Latitude;   // degrees, north positive
  std::optional<double> Longitude;  // degrees, east positive
  std::optional<double> Elevation;  // metres
  std::string Instrument;
  std::optional<TSensorPeriod> Period;
  int Line = 0;  // where the row starts in the sheet
};

enum class TSheetEncoding {
  Utf8,
  Latin1,  // ISO 8859-1; a sheet that starts with a UTF-8 byte order mark is read as UTF-8
};

class TStationSheet {
 public:
  TStationSheet() = default;  // an empty sheet: every recorder keeps its default codes

  // Reads a sheet from its text; `sheetName` names it in errors. Throws ESeedError.
  static TStationSheet Parse(std::string_view text, const std::string& sheetName,
                             TSheetEncoding encoding = TSheetEncoding::Utf8);
  // Reads the file; errors name it as given. Throws ESeedError (also when it cannot be read).
  static TStationSheet Load(const std::string& path,
                            TSheetEncoding encoding = TSheetEncoding::Utf8);

  // The row of a serial number, or null.
  const TStationRow* Find(int64_t serial) const;
  const std::vector<TStationRow>& Rows() const { return Table; }

 private:
  std::vector<TStationRow> Table;
  std::unordered_map<int64_t, size_t> Index;  // serial -> row in Table
};

}  // namespace seed
