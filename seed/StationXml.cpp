#include "seed/StationXml.h"

#include <pugixml.hpp>

#include <algorithm>

#include "card/TarqCard.h"
#include "seed/SeedText.h"
#include "base/Utf8Text.h"

namespace seed {

namespace {

void AddValue(pugi::xml_node parent, const char* name, double value, const char* unit = nullptr) {
  pugi::xml_node node = parent.append_child(name);
  if (unit != nullptr) node.append_attribute("unit") = unit;
  node.text().set(RealText(value).c_str());
}

// Every text goes in through these two: pugixml escapes markup but copies bytes as they are,
// and a text such as a sheet's site name could hold bytes that are not UTF-8 or characters
// XML does not allow (a NUL would also cut it short).
void AddText(pugi::xml_node parent, const char* name, const std::string& text) {
  parent.append_child(name).text().set(XmlSafeText(text).c_str());
}

void AddAttribute(pugi::xml_node node, const char* name, const std::string& text) {
  node.append_attribute(name) = XmlSafeText(text).c_str();
}

void SetPeriod(pugi::xml_node node, const TSeedTime& start, const TSeedTime& end) {
  node.append_attribute("startDate") = start.IsoText().c_str();
  node.append_attribute("endDate") = end.IsoText().c_str();
}

void AddEquipment(pugi::xml_node parent, const char* name, const TEquipment& equipment) {
  pugi::xml_node node = parent.append_child(name);
  if (!equipment.Type.empty()) AddText(node, "Type", equipment.Type);
  if (!equipment.Description.empty()) AddText(node, "Description", equipment.Description);
  if (!equipment.SerialNumber.empty()) AddText(node, "SerialNumber", equipment.SerialNumber);
}

void AddUnits(pugi::xml_node parent, const std::string& input, const std::string& output) {
  AddText(parent.append_child("InputUnits"), "Name", input);
  AddText(parent.append_child("OutputUnits"), "Name", output);
}

void AddComplex(pugi::xml_node parent, const char* name, size_t number,
                const std::complex<double>& value) {
  pugi::xml_node node = parent.append_child(name);
  node.append_attribute("number") = DecimalText(static_cast<int64_t>(number)).c_str();
  AddValue(node, "Real", value.real());
  AddValue(node, "Imaginary", value.imag());
}

void AddResponse(pugi::xml_node channel, const TChannelResponse& response) {
  pugi::xml_node node = channel.append_child("Response");
  pugi::xml_node sensitivity = node.append_child("InstrumentSensitivity");
  AddValue(sensitivity, "Value", response.Sensitivity);
  AddValue(sensitivity, "Frequency", response.Frequency);
  AddUnits(sensitivity, response.InputUnits, response.OutputUnits);
  size_t number = 0;
  for (const TResponseStage& stage : response.Stages) {
    pugi::xml_node st = node.append_child("Stage");
    st.append_attribute("number") = DecimalText(static_cast<int64_t>(++number)).c_str();
    if (stage.Kind == TResponseStage::TKind::PolesZeros) {
      pugi::xml_node pz = st.append_child("PolesZeros");
      if (!stage.Description.empty()) AddText(pz, "Description", stage.Description);
      AddUnits(pz, stage.InputUnits, stage.OutputUnits);
      AddText(pz, "PzTransferFunctionType", "LAPLACE (RADIANS/SECOND)");
      AddValue(pz, "NormalizationFactor", stage.NormalizationFactor);
      AddValue(pz, "NormalizationFrequency", stage.NormalizationFrequency, "HERTZ");
      for (size_t z = 0; z < stage.Zeros.size(); ++z) AddComplex(pz, "Zero", z, stage.Zeros[z]);
      for (size_t p = 0; p < stage.Poles.size(); ++p) AddComplex(pz, "Pole", p, stage.Poles[p]);
    } else {
      pugi::xml_node cf = st.append_child("Coefficients");
      if (!stage.Description.empty()) AddText(cf, "Description", stage.Description);
      AddUnits(cf, stage.InputUnits, stage.OutputUnits);
      AddText(cf, "CfTransferFunctionType", "DIGITAL");
      AddValue(cf, "Numerator", 1);
      pugi::xml_node decimation = st.append_child("Decimation");
      AddValue(decimation, "InputSampleRate", stage.InputSampleRate, "HERTZ");
      AddValue(decimation, "Factor", 1);
      AddValue(decimation, "Offset", 0);
      AddValue(decimation, "Delay", 0, "SECONDS");
      AddValue(decimation, "Correction", 0, "SECONDS");
    }
    pugi::xml_node gain = st.append_child("StageGain");
    AddValue(gain, "Value", stage.Gain);
    AddValue(gain, "Frequency", stage.GainFrequency);
  }
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

TAngles OrientationAngles(char orientation) {
  switch (orientation) {
    case 'Z':
      return {0, -90};
    case 'E':
      return {90, 0};
    default:
      return {0, 0};
  }
}

std::string StationXmlText(const std::vector<TXmlNetwork>& networks, const std::string& source,
                           const TSeedTime& created) {
  pugi::xml_document document;
  pugi::xml_node declaration = document.append_child(pugi::node_declaration);
  declaration.append_attribute("version") = "1.0";
  declaration.append_attribute("encoding") = "UTF-8";
  pugi::xml_node root = document.append_child("FDSNStationXML");
  root.append_attribute("xmlns") = "http://www.fdsn.org/xml/station/1";
  root.append_attribute("schemaVersion") = "1.2";
  AddText(root, "Source", source);
  AddText(root, "Created", created.IsoText());

  for (const TXmlNetwork& network : networks) {
    pugi::xml_node net = root.append_child("Network");
    AddAttribute(net, "code", network.Code);
    SetPeriod(net, network.Start, network.End);
    if (!network.Description.empty()) AddText(net, "Description", network.Description);
    AddValue(net, "TotalNumberStations", static_cast<double>(network.Stations.size()));

    for (const TXmlStation& station : network.Stations) {
      pugi::xml_node sta = net.append_child("Station");
      AddAttribute(sta, "code", station.Code);
      SetPeriod(sta, station.Start, station.End);
      AddValue(sta, "Latitude", station.Latitude);
      AddValue(sta, "Longitude", station.Longitude);
      AddValue(sta, "Elevation", station.Elevation);
      AddText(sta.append_child("Site"), "Name",
              station.SiteName.empty() ? station.Code : station.SiteName);
      AddText(sta, "CreationDate", station.Start.IsoText());
      AddValue(sta, "TotalNumberChannels", static_cast<double>(station.Channels.size()));
      for (const TXmlChannel& channel : station.Channels) {
        pugi::xml_node cha = sta.append_child("Channel");
        AddAttribute(cha, "code", channel.Code);
        AddAttribute(cha, "locationCode", channel.Location);
        SetPeriod(cha, channel.Start, channel.End);
        AddValue(cha, "Latitude", channel.Position ? channel.Position->Latitude : station.Latitude);
        AddValue(cha, "Longitude",
                 channel.Position ? channel.Position->Longitude : station.Longitude);
        AddValue(cha, "Elevation", station.Elevation);
        AddValue(cha, "Depth", channel.Depth);
        AddValue(cha, "Azimuth", channel.Azimuth);
        AddValue(cha, "Dip", channel.Dip);
        AddValue(cha, "SampleRate", channel.SampleRate, "SAMPLES/S");
        if (channel.Sensor) AddEquipment(cha, "Sensor", *channel.Sensor);
        if (channel.DataLogger) AddEquipment(cha, "DataLogger", *channel.DataLogger);
        if (channel.Response) AddResponse(cha, *channel.Response);
      }
    }
  }

  // pugixml writes through a writer object; no number goes through a stream.
  struct TStringWriter : pugi::xml_writer {
    std::string Text;
    void write(const void* data, size_t size) override {
      Text.append(static_cast<const char*>(data), size);
    }
  } writer;
  document.save(writer, "  ", pugi::format_default, pugi::encoding_utf8);
  return writer.Text;
}

std::optional<TGpsFix> GpsFixOf(const TEventHeader& header) {
  if (header.EventFormat != 2) return std::nullopt;
  const TGpsFix fix = GpsReadingOf(header);
  if (!DecimalPosition(fix).Usable()) return std::nullopt;
  return fix;
}

std::optional<TPosition> PositionOf(const TGpsFix& fix) {
  const TEventPosition position = DecimalPosition(fix);
  if (!position.Checked) return std::nullopt;
  return TPosition{static_cast<double>(position.Latitude), static_cast<double>(position.Longitude),
                   position.Elevation};
}

std::optional<TPosition> MedianPosition(const std::vector<TGpsFix>& fixes) {
  std::vector<double> latitudes, longitudes, elevations;
  for (const TGpsFix& fix : fixes) {
    if (const std::optional<TPosition> position = PositionOf(fix)) {
      latitudes.push_back(position->Latitude);
      longitudes.push_back(position->Longitude);
      elevations.push_back(position->Elevation);
    }
  }
  if (latitudes.empty()) return std::nullopt;
  return TPosition{Median(latitudes), Median(longitudes), Median(elevations)};
}

}  // namespace seed
