#pragma once
// The station sheet: what a recorder stands for, by its serial number, read from a CSV file.
//
//   serial,station,network,site,latitude,longitude,elevation,instrument,period
//   23,BRK01,Z3,"Berck, dune",50.4012,1.5633,12,TP-3 #4,short
//
// A header line names the columns, in any order; only `serial` is required, and a column
// that is not one of the nine above or of the sensor columns below is refused (a misspelt
// name would otherwise be silently ignored). Fields may be quoted ("a, b", "say ""hi"""),
// spaces around a field are dropped, lines end with LF or CR LF, blank lines are ignored.
// The text is UTF-8 (a byte order mark is skipped), or ISO 8859-1 when the caller says so;
// a UTF-8 sheet with a byte that is not UTF-8 is refused rather than carried into StationXML.
// An empty field leaves the value unset (the default code or position applies). Numbers are
// read without the locale (a point as the decimal separator). Latitude is -90..90,
// longitude -180..180, elevation in metres; period is `short` or `broad` (either case). Codes
// must be valid SEED codes (see SeedCodes.h); a serial and sensor number may appear once.
//
// Sensors: a row describes the recorder's sensor `sensor` (1 to 6: channels 1-3 are sensor 1,
// 4-6 sensor 2, ...; an empty field is sensor 1). The rows of one serial's other sensors may
// leave the recorder's columns empty; where they repeat one, it must be the same text.
//
//   serial,station,sensor,sensor_type,sensitivity,natural_frequency,damping,depth,n_azimuth
//   23,BRK01,1,geophone-4.5,,,,1.5,12
//   23,,2,,250,2,0.7,0,
//
// sensor_type names a sensor of the built-in catalogue (SensorCatalogue.h), whose
// sensitivity the column of that name may replace by a unit's calibrated value; without a
// type, sensitivity (V per m/s), natural_frequency (Hz) and damping describe a moving-coil
// sensor, all three. depth is in metres below the surface; z_azimuth, z_dip, n_azimuth,
// n_dip, e_azimuth, e_dip (degrees) replace the nominal angles of a component (Z 0/-90,
// N 0/0, E 90/0). A row may give only a depth or angles: the sensor's response is then unknown.
//
// A bad sheet throws ESeedError naming it, the line and the column:
//   "stations.csv line 4, column latitude: not a number: 'abc'"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "seed/SeedCodes.h"
#include "seed/SensorCatalogue.h"

namespace seed {

struct TSensorRow {
  int Number = 1;
  std::string Type;                        // a catalogue name; empty: none
  std::optional<double> Sensitivity;       // V/(m/s)
  std::optional<double> NaturalFrequency;  // Hz
  std::optional<double> Damping;
  std::optional<double> Depth;                   // metres
  std::array<std::optional<double>, 3> Azimuth;  // of Z, N, E; unset: nominal
  std::array<std::optional<double>, 3> Dip;
  int Line = 0;

  // The sensor's model, when the row gives one (a type, or the three values).
  std::optional<TSensorModel> Model() const;
};

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
  std::vector<TSensorRow> Sensors;  // by sensor number, those the sheet describes
  int Line = 0;                     // where the row starts in the sheet

  // The sensor of a number (1-6), or null.
  const TSensorRow* Sensor(int number) const;
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
  // Whether the sheet has a column that describes a sensor's response (sensor_type,
  // sensitivity, natural_frequency, damping): the channels' responses are then written.
  bool DescribesSensors() const { return SensorColumns; }

 private:
  std::vector<TStationRow> Table;
  std::unordered_map<int64_t, size_t> Index;  // serial -> row in Table
  bool SensorColumns = false;
};

}  // namespace seed
