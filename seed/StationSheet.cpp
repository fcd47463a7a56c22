#include "seed/StationSheet.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

#include "base/TextFields.h"
#include "base/Utf8Text.h"
#include "platform/RecordFile.h"
#include "seed/SeedError.h"
#include "seed/SeedText.h"

namespace seed {

namespace {

enum TColumn {
  ColSerial,
  ColNetwork,
  ColStation,
  ColSite,
  ColLatitude,
  ColLongitude,
  ColElevation,
  ColInstrument,
  ColPeriod,
  // The sensor columns
  ColSensor,
  ColSensorType,
  ColSensitivity,
  ColNaturalFrequency,
  ColDamping,
  ColDepth,
  ColZAzimuth,
  ColZDip,
  ColNAzimuth,
  ColNDip,
  ColEAzimuth,
  ColEDip,
  ColumnCount
};
constexpr std::array<std::string_view, ColumnCount> ColumnNames = {
    "serial",      "network",     "station",           "site",    "latitude",
    "longitude",   "elevation",   "instrument",        "period",  "sensor",
    "sensor_type", "sensitivity", "natural_frequency", "damping", "depth",
    "z_azimuth",   "z_dip",       "n_azimuth",         "n_dip",   "e_azimuth",
    "e_dip"};
constexpr int MaxSensors = 6;

struct TRecord {
  std::vector<std::string> Fields;
  int Line = 0;
};

bool IsSpace(char c) {
  return c == ' ' || c == '\t';
}

// Splits the text into records of fields (RFC 4180, with LF or CR LF line ends). Blank
// lines give no record. Only ASCII bytes separate fields and lines, and those never occur
// inside a UTF-8 sequence: the fields are checked for UTF-8 afterwards.
std::vector<TRecord> SplitRecords(std::string_view text, const std::string& sheetName) {
  std::vector<TRecord> records;
  size_t at = 0;
  int line = 1;
  while (at < text.size()) {
    TRecord record;
    record.Line = line;
    bool blank = true;
    for (;;) {  // one field
      std::string field;
      while (at < text.size() && IsSpace(text[at])) ++at;
      if (at < text.size() && text[at] == '"') {
        blank = false;
        const int quoteLine = line;
        ++at;
        for (;;) {
          if (at >= text.size()) {
            throw ESeedError(sheetName + " line " + DecimalText(quoteLine) +
                             ": a quoted field is not closed");
          }
          const char c = text[at++];
          if (c == '"') {
            if (at < text.size() && text[at] == '"') {
              field += '"';
              ++at;
            } else {
              break;
            }
          } else {
            if (c == '\n') ++line;
            field += c;
          }
        }
        while (at < text.size() && IsSpace(text[at])) ++at;
        if (at < text.size() && text[at] != ',' && text[at] != '\r' && text[at] != '\n') {
          throw ESeedError(sheetName + " line " + DecimalText(line) +
                           ": text after the closing quote of a field");
        }
      } else {
        while (at < text.size() && text[at] != ',' && text[at] != '\r' && text[at] != '\n') {
          field += text[at++];
        }
        while (!field.empty() && IsSpace(field.back())) field.pop_back();
        if (!field.empty()) blank = false;
      }
      record.Fields.push_back(std::move(field));
      if (at < text.size() && text[at] == ',') {
        blank = false;
        ++at;
        continue;
      }
      break;
    }
    if (at < text.size() && text[at] == '\r') ++at;
    if (at < text.size() && text[at] == '\n') ++at;
    ++line;
    if (!blank) records.push_back(std::move(record));
  }
  return records;
}

// Why a field is not UTF-8 text, with the line its bad byte is on (a quoted field may span
// lines); empty when it is.
struct TEncodingProblem {
  std::string Text;
  int Line = 0;
};
TEncodingProblem EncodingProblem(const std::string& field, int line) {
  const size_t at = Utf8ErrorOffset(field);
  if (at == std::string::npos) return {};
  const std::string before = field.substr(0, at);
  static const char Hex[] = "0123456789ABCDEF";
  const auto byte = static_cast<unsigned char>(field[at]);
  std::string text = "not UTF-8 text: byte 0x";
  text += Hex[byte >> 4];
  text += Hex[byte & 15];
  text += at == 0 ? " at its start" : " after '" + before + "'";
  text += "; save the sheet as UTF-8 or read it as Latin-1";
  return {text, line + static_cast<int>(std::count(before.begin(), before.end(), '\n'))};
}

// Refuses a record with a field that is not UTF-8 text, naming the field by its column
// (the header's fields by their number).
void CheckEncoding(const TRecord& record, const std::vector<TColumn>* columns,
                   const std::string& sheetName) {
  for (size_t f = 0; f < record.Fields.size(); ++f) {
    const TEncodingProblem problem = EncodingProblem(record.Fields[f], record.Line);
    if (problem.Text.empty()) continue;
    const std::string column = columns != nullptr && f < columns->size()
                                   ? std::string(ColumnNames[(*columns)[f]])
                                   : DecimalText(static_cast<int64_t>(f + 1));
    throw ESeedError(sheetName + " line " + DecimalText(problem.Line) + ", column " + column +
                     ": " + problem.Text);
  }
}

class TRowReader {
 public:
  TRowReader(const std::string& sheetName, int line) : Sheet(sheetName), Line(line) {}

  [[noreturn]] void Fail(TColumn column, const std::string& problem) const {
    throw ESeedError(Sheet + " line " + DecimalText(Line) + ", column " +
                     std::string(ColumnNames[column]) + ": " + problem);
  }

  double Number(TColumn column, const std::string& field, double low, double high) const {
    double value = 0;
    const char* end = field.data() + field.size();
    const auto [ptr, ec] = std::from_chars(field.data(), end, value);
    if (ec != std::errc() || ptr != end || !std::isfinite(value)) {
      Fail(column, "not a number: '" + field + "'");
    }
    if (value < low || value > high) {
      Fail(column, "out of range: '" + field + "'");
    }
    return value;
  }

  int64_t Serial(const std::string& field) const {
    int64_t value = 0;
    const char* end = field.data() + field.size();
    const auto [ptr, ec] = std::from_chars(field.data(), end, value);
    if (field.empty()) Fail(ColSerial, "the serial number is missing");
    if (ec != std::errc() || ptr != end || value < 0) {
      Fail(ColSerial, "not a serial number: '" + field + "'");
    }
    return value;
  }

  void Code(TColumn column, TCodeKind kind, const std::string& field) const {
    const std::string problem = CodeProblem(kind, field);
    if (!problem.empty()) Fail(column, problem);
  }

 private:
  const std::string& Sheet;
  int Line;
};

// The column of each field of the header line; `present` marks the columns found.
std::vector<TColumn> HeaderColumns(const TRecord& header, const std::string& sheetName,
                                   std::array<bool, ColumnCount>& present) {
  CheckEncoding(header, nullptr, sheetName);
  std::vector<TColumn> columns;
  for (const std::string& name : header.Fields) {
    const auto found = std::find(ColumnNames.begin(), ColumnNames.end(), WUtil::AsciiLower(name));
    const std::string prefix =
        sheetName + " line " + DecimalText(header.Line) + ": column '" + name;
    if (found == ColumnNames.end()) {
      std::string known;
      for (std::string_view each : ColumnNames) {
        known += (known.empty() ? "" : ", ") + std::string(each);
      }
      throw ESeedError(prefix + "' is not known (known: " + known + ")");
    }
    const auto column = static_cast<TColumn>(found - ColumnNames.begin());
    if (present[column]) throw ESeedError(prefix + "' appears twice");
    present[column] = true;
    columns.push_back(column);
  }
  if (!present[ColSerial]) {
    throw ESeedError(sheetName + " line " + DecimalText(header.Line) + ": no column 'serial'");
  }
  return columns;
}

// One field of a row into the recorder's values or its sensor's.
void ReadField(const TRowReader& reader, TColumn column, const std::string& field, TStationRow& row,
               TSensorRow& sensor) {
  switch (column) {
    case ColSerial:
      row.Serial = reader.Serial(field);
      break;
    case ColNetwork:
      reader.Code(column, TCodeKind::Network, field);
      row.Network = field;
      break;
    case ColStation:
      reader.Code(column, TCodeKind::Station, field);
      row.Station = field;
      break;
    case ColSite:
      row.Site = field;
      break;
    case ColLatitude:
      row.Latitude = reader.Number(column, field, -90, 90);
      break;
    case ColLongitude:
      row.Longitude = reader.Number(column, field, -180, 180);
      break;
    case ColElevation:
      row.Elevation = reader.Number(column, field, -12000, 9000);
      break;
    case ColInstrument:
      row.Instrument = field;
      break;
    case ColPeriod: {
      const std::string period = WUtil::AsciiLower(field);
      if (period == "short") {
        row.Period = TSensorPeriod::Short;
      } else if (period == "broad") {
        row.Period = TSensorPeriod::Broad;
      } else {
        reader.Fail(column, "'" + field + "' is neither 'short' nor 'broad'");
      }
      break;
    }
    case ColSensor: {
      const double number = reader.Number(column, field, 1, MaxSensors);
      if (number != static_cast<int>(number)) {
        reader.Fail(column, "not a sensor number: '" + field + "'");
      }
      sensor.Number = static_cast<int>(number);
      break;
    }
    case ColSensorType:
      if (FindSensorModel(field) == nullptr) {
        reader.Fail(column,
                    "'" + field + "' is not a known sensor (known: " + SensorModelNames() + ")");
      }
      sensor.Type = WUtil::AsciiLower(field);
      break;
    case ColSensitivity:
      sensor.Sensitivity = reader.Number(column, field, 1e-6, 1e9);
      break;
    case ColNaturalFrequency:
      sensor.NaturalFrequency = reader.Number(column, field, 1e-4, 1e4);
      break;
    case ColDamping:
      sensor.Damping = reader.Number(column, field, 0.01, 100);
      break;
    case ColDepth:
      sensor.Depth = reader.Number(column, field, -1000, 12000);
      break;
    case ColZAzimuth:
    case ColNAzimuth:
    case ColEAzimuth:
      sensor.Azimuth[(column - ColZAzimuth) / 2] = reader.Number(column, field, 0, 360);
      break;
    case ColZDip:
    case ColNDip:
    case ColEDip:
      sensor.Dip[(column - ColZDip) / 2] = reader.Number(column, field, -90, 90);
      break;
    case ColumnCount:
      break;
  }
}

// A sensor is described by its type, or by all three of its values.
void CheckSensorDescription(const TRowReader& reader, const TSensorRow& sensor) {
  if (!sensor.Type.empty()) {
    if (sensor.NaturalFrequency || sensor.Damping) {
      reader.Fail(sensor.NaturalFrequency ? ColNaturalFrequency : ColDamping,
                  "a catalogue sensor's natural frequency and damping are its own; leave it "
                  "empty or leave sensor_type empty");
    }
  } else if (sensor.Sensitivity || sensor.NaturalFrequency || sensor.Damping) {
    const TColumn missing = !sensor.Sensitivity        ? ColSensitivity
                            : !sensor.NaturalFrequency ? ColNaturalFrequency
                            : !sensor.Damping          ? ColDamping
                                                       : ColumnCount;
    if (missing != ColumnCount) {
      reader.Fail(missing,
                  "missing: a sensor without sensor_type needs sensitivity, "
                  "natural_frequency and damping");
    }
  }
}

}  // namespace

TStationSheet TStationSheet::Parse(std::string_view text, const std::string& sheetName,
                                   TSheetEncoding encoding) {
  // A byte order mark says UTF-8, whatever the caller expected.
  std::string converted;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") {
    text.remove_prefix(3);
  } else if (encoding == TSheetEncoding::Latin1) {
    converted = Latin1ToUtf8(text);
    text = converted;
  }
  const std::vector<TRecord> records = SplitRecords(text, sheetName);
  if (records.empty()) throw ESeedError(sheetName + ": the header line is missing");

  std::array<bool, ColumnCount> present{};
  const std::vector<TColumn> columns = HeaderColumns(records.front(), sheetName, present);
  const bool sensorColumns = present[ColSensorType] || present[ColSensitivity] ||
                             present[ColNaturalFrequency] || present[ColDamping];

  TStationSheet sheet;
  std::unordered_map<int64_t, std::vector<std::string>> fieldsOf;  // a serial's first row
  for (size_t r = 1; r < records.size(); ++r) {
    const TRecord& record = records[r];
    if (record.Fields.size() != columns.size()) {
      throw ESeedError(sheetName + " line " + DecimalText(record.Line) + ": " +
                       DecimalText(static_cast<int64_t>(record.Fields.size())) +
                       " fields where the header has " +
                       DecimalText(static_cast<int64_t>(columns.size())));
    }
    CheckEncoding(record, &columns, sheetName);
    const TRowReader reader(sheetName, record.Line);
    TStationRow row;
    row.Line = record.Line;
    TSensorRow sensor;
    sensor.Line = record.Line;
    bool describesSensor = false;
    for (size_t f = 0; f < columns.size(); ++f) {
      const std::string& field = record.Fields[f];
      const TColumn column = columns[f];
      if (field.empty() && column != ColSerial) continue;
      if (column > ColSensor) describesSensor = true;
      ReadField(reader, column, field, row, sensor);
    }
    CheckSensorDescription(reader, sensor);

    const auto found = sheet.Index.find(row.Serial);
    if (found == sheet.Index.end()) {
      fieldsOf.emplace(row.Serial, record.Fields);
      if (describesSensor) row.Sensors.push_back(sensor);
      sheet.Index.emplace(row.Serial, sheet.Table.size());
      sheet.Table.push_back(std::move(row));
      continue;
    }
    // Another sensor of a recorder given above: the recorder's columns repeat it or are empty.
    TStationRow& first = sheet.Table[found->second];
    const std::vector<std::string>& firstFields = fieldsOf.at(row.Serial);
    const int firstNumber = [&] {
      for (size_t f = 0; f < columns.size(); ++f) {
        if (columns[f] == ColSensor && !firstFields[f].empty()) {
          return static_cast<int>(reader.Number(ColSensor, firstFields[f], 1, MaxSensors));
        }
      }
      return 1;
    }();
    const TSensorRow* same = first.Sensor(sensor.Number);
    if (same != nullptr || sensor.Number == firstNumber) {
      const int line = same != nullptr && sensor.Number != firstNumber ? same->Line : first.Line;
      if (sensor.Number == 1) {
        reader.Fail(ColSerial, "serial " + DecimalText(row.Serial) + " already given on line " +
                                   DecimalText(line));
      }
      reader.Fail(ColSensor, "sensor " + DecimalText(sensor.Number) + " of serial " +
                                 DecimalText(row.Serial) + " already given on line " +
                                 DecimalText(line));
    }
    for (size_t f = 0; f < columns.size(); ++f) {
      if (columns[f] >= ColSensor || columns[f] == ColSerial) continue;
      if (!record.Fields[f].empty() && record.Fields[f] != firstFields[f]) {
        reader.Fail(columns[f], "'" + record.Fields[f] + "' where line " + DecimalText(first.Line) +
                                    " of the same serial has '" + firstFields[f] + "'");
      }
    }
    if (!describesSensor) {
      // A row that only names the sensor number says nothing: recorded to refuse a repeat.
      TSensorRow empty;
      empty.Number = sensor.Number;
      empty.Line = sensor.Line;
      sensor = empty;
    }
    first.Sensors.push_back(sensor);
  }
  sheet.SensorColumns = sensorColumns;
  return sheet;
}

TStationSheet TStationSheet::Load(const std::string& path, TSheetEncoding encoding) {
  std::string text;
  try {
    text = platform::ReadWholeFile(path);
  } catch (const platform::EInOutError& error) {
    throw ESeedError(path + ": cannot be read (" + platform::IoErrorText(error.Code()) + ")");
  }
  return Parse(text, path, encoding);
}

const TSensorRow* TStationRow::Sensor(int number) const {
  for (const TSensorRow& sensor : Sensors) {
    if (sensor.Number == number) return &sensor;
  }
  return nullptr;
}

std::optional<TSensorModel> TSensorRow::Model() const {
  if (!Type.empty()) {
    const TSensorModel* model = FindSensorModel(Type);
    if (model == nullptr) return std::nullopt;
    TSensorModel copy = *model;
    if (Sensitivity) copy.GeneratorConstant = *Sensitivity;
    return copy;
  }
  if (Sensitivity && NaturalFrequency && Damping) {
    return MovingCoilSensor(*Sensitivity, *NaturalFrequency, *Damping);
  }
  return std::nullopt;
}

const TStationRow* TStationSheet::Find(int64_t serial) const {
  const auto found = Index.find(serial);
  return found != Index.end() ? &Table[found->second] : nullptr;
}

}  // namespace seed
