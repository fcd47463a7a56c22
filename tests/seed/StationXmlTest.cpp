// StationXML checked against the FDSN schema, and station positions from GPS fixes.

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

#include "card/TarqCard.h"
#include "seed/SeedError.h"
#include "seed/StationInventory.h"
#include "seed/StationXml.h"
#include "support/TestSupport.h"

namespace {

using seed::TSeedTime;

seed::TXmlNetwork Network() {
  seed::TXmlNetwork network;
  network.Code = "XX";
  network.Description = "Temporary deployment";
  network.Start = TSeedTime::FromMilliseconds(2026, 6, 14, 10, 23, 47, 123);
  network.End = TSeedTime::FromMilliseconds(2026, 6, 20, 8, 0, 0, 0);
  for (const char* code : {"023", "BRK01"}) {
    seed::TXmlStation station;
    station.Code = code;
    station.SiteName = "Berck & dune <north>";
    station.Latitude = -50.40125;
    station.Longitude = 1.5633;
    station.Elevation = 12.5;
    station.Start = network.Start;
    station.End = network.End;
    for (int sensor = 0; sensor < 2; ++sensor) {
      for (const char orientation : {'Z', 'N', 'E'}) {
        const seed::TAngles angles = seed::OrientationAngles(orientation);
        const seed::TXmlChannel channel{sensor ? "01" : "00",
                                        std::string("DH") + orientation,
                                        250,
                                        angles.Azimuth,
                                        angles.Dip,
                                        0,
                                        station.Start,
                                        station.End,
                                        {},
                                        {},
                                        {},
                                        {}};
        station.Channels.push_back(channel);
      }
    }
    network.Stations.push_back(station);
  }
  return network;
}

// Empty when xmllint finds the document valid, else its complaint.
std::string SchemaErrors(const std::string& text) {
  testing_support::TTempDir dir;
  testing_support::WriteWholeFile(dir / "stations.xml", text);
  const std::string command = "xmllint --noout --schema '" +
                              std::string(std::getenv("READTARQ_SOURCE_DIR")) +
                              "/tests/data/fdsn-station.xsd.gz' '" + (dir / "stations.xml") +
                              "' 2>'" + (dir / "errors.txt") + "'";
  if (std::system(command.c_str()) == 0) return {};
  const std::string errors = testing_support::ReadWholeFile(dir / "errors.txt");
  return errors.empty() ? "xmllint failed" : errors;
}

bool CanValidate() {
  return std::getenv("READTARQ_SOURCE_DIR") != nullptr &&
         std::system("command -v xmllint >/dev/null 2>&1") == 0;
}

TEST(StationXml, ValidatesAgainstTheSchemaWhateverTheLocale) {
  if (!CanValidate()) GTEST_SKIP() << "no xmllint or READTARQ_SOURCE_DIR";

  const std::string saved = std::setlocale(LC_ALL, nullptr);
  std::setlocale(LC_ALL, "fr_FR.UTF-8");  // a decimal comma must not reach the document
  const std::string text = seed::StationXmlText(
      {Network()}, "ReadTarq", TSeedTime::FromMilliseconds(2026, 7, 1, 9, 0, 0, 0));
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_EQ(SchemaErrors(text), "");

  EXPECT_NE(text.find("<Latitude>-50.40125</Latitude>"), std::string::npos);
  EXPECT_NE(text.find("<Elevation>12.5</Elevation>"), std::string::npos);
  EXPECT_NE(text.find("<Channel code=\"DHE\" locationCode=\"01\" "
                      "startDate=\"2026-06-14T10:23:47.123000Z\" "
                      "endDate=\"2026-06-20T08:00:00.000000Z\">"),
            std::string::npos);
  EXPECT_NE(text.find("<Azimuth>90</Azimuth>\n        <Dip>0</Dip>"), std::string::npos);
  EXPECT_NE(text.find("<Name>Berck &amp; dune &lt;north&gt;</Name>"), std::string::npos);
}

TEST(StationXml, MedianPositionOfTheEventsFixes) {
  TEventHeader header;
  header.EventFormat = 2;
  header.Latitude = 50;
  header.LatitudeMinutes = 24.075;
  header.LatitudeHemisphere = 'N';
  header.Longitude = 1;
  header.LongitudeMinutes = 33.798;
  header.LongitudeHemisphere = 'W';
  header.Altitude = 12;
  const std::optional<seed::TGpsFix> fix = seed::GpsFixOf(header);
  ASSERT_TRUE(fix.has_value());
  const std::optional<seed::TPosition> position = seed::PositionOf(*fix);
  ASSERT_TRUE(position.has_value());
  EXPECT_DOUBLE_EQ(position->Latitude, 50.40125);
  EXPECT_DOUBLE_EQ(position->Longitude, -1.5633);
  EXPECT_EQ(position->Elevation, 12);

  TEventHeader formatOne = header;
  formatOne.EventFormat = 1;
  TEventHeader noFix = header;
  noFix.Latitude = noFix.Longitude = 0;
  noFix.LatitudeMinutes = noFix.LongitudeMinutes = 0;
  TEventHeader blankHemisphere = header;
  blankHemisphere.LatitudeHemisphere = ' ';
  EXPECT_FALSE(seed::GpsFixOf(formatOne));
  EXPECT_FALSE(seed::GpsFixOf(noFix));
  EXPECT_FALSE(seed::GpsFixOf(blankHemisphere));

  // Latitude 10 S to 12 S, longitude 20 E; one fix far away and one out of range.
  auto at = [](int latitude, double minutes, char ns, int longitude, char ew, double altitude) {
    return seed::TGpsFix{latitude, minutes, ns, longitude, 0, ew, altitude};
  };
  const std::vector<seed::TGpsFix> fixes = {
      at(10, 30, 'S', 20, 'E', 100), at(12, 0, 'S', 20, 'E', 300), at(11, 0, 'S', 20, 'E', 200),
      at(45, 0, 'N', 5, 'W', 9000), at(95, 0, 'N', 20, 'E', 0)};
  const std::optional<seed::TPosition> median = seed::MedianPosition(fixes);
  ASSERT_TRUE(median.has_value());
  EXPECT_DOUBLE_EQ(median->Latitude, -10.75);  // mean of -11 and -10.5
  EXPECT_DOUBLE_EQ(median->Longitude, 20);
  EXPECT_DOUBLE_EQ(median->Elevation, 250);
  EXPECT_FALSE(seed::MedianPosition({at(95, 0, 'N', 20, 'E', 0)}));
}

TEST(StationXml, CodesComeFromTheSheetThenTheNetworkOptionThenTheDefaults) {
  const seed::TStationSheet sheet = seed::TStationSheet::Parse(
      "serial,network,station,period\n23,Z3,BRK01,broad\n24,,ORL,\n25,,,\n", "s.csv");
  struct TCase {
    int64_t Serial;
    const char* Network;  // option
    bool WithSheet;
    seed::TChannelCodes Codes;  // of channel 4 at 100 Hz
  };
  const TCase cases[] = {
      {23, "", true, {"Z3", "BRK01", "01", "HHN"}}, {23, "FR", true, {"Z3", "BRK01", "01", "HHN"}},
      {24, "FR", true, {"FR", "ORL", "01", "EHN"}}, {25, "", true, {"XX", "025", "01", "EHN"}},
      {26, "FR", true, {"FR", "026", "01", "EHN"}}, {23, "", false, {"XX", "023", "01", "EHN"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.Serial) + " " + c.Network);
    const seed::TCodeOptions options{c.Network, c.WithSheet ? &sheet : nullptr};
    EXPECT_EQ(seed::ChannelCodesFor(options, c.Serial, 100, 4), c.Codes);
  }
  EXPECT_THROW(seed::ChannelCodesFor({"fr", nullptr}, 23, 100, 0), seed::ESeedError);
}

TEST(StationXml, InventoryOfTheEventsValidatesWithPositionsAndPeriods) {
  const seed::TStationSheet sheet = seed::TStationSheet::Parse(
      "serial,station,site,latitude,longitude\n23,BRK01,Berck,50.4,1.56\n", "s.csv");
  auto event = [](int64_t serial, int channels, double rate, int day, int lat) {
    seed::TEventSummary summary;
    summary.Serial = serial;
    summary.ChannelCount = channels;
    summary.SampleRate = rate;
    summary.Start = TSeedTime::FromMilliseconds(2026, 6, day, 10, 0, 0, 0);
    summary.End = TSeedTime::FromMilliseconds(2026, 6, day, 11, 0, 0, 0);
    if (lat > 0) summary.Fix = seed::TGpsFix{lat, 0, 'N', 2, 30, 'E', 100.0 + lat};
    return summary;
  };
  const std::vector<seed::TEventSummary> events = {
      event(193, 3, 250, 16, 44), event(23, 6, 250, 14, 0),   event(193, 3, 250, 12, 46),
      event(23, 3, 125, 15, 0),   event(193, 3, 250, 13, 45), event(7, 3, 250, 13, 0)};
  const seed::TInventory inventory = seed::BuildInventory(events, {"", &sheet});

  ASSERT_EQ(inventory.Networks.size(), 1u);
  const seed::TXmlNetwork& network = inventory.Networks[0];
  EXPECT_EQ(network.Code, "XX");
  EXPECT_EQ(network.Start, TSeedTime::FromMilliseconds(2026, 6, 12, 10, 0, 0, 0));
  EXPECT_EQ(network.End, TSeedTime::FromMilliseconds(2026, 6, 16, 11, 0, 0, 0));
  ASSERT_EQ(network.Stations.size(), 3u);
  const seed::TXmlStation& seven = network.Stations[0];
  const seed::TXmlStation& others = network.Stations[1];
  const seed::TXmlStation& berck = network.Stations[2];
  EXPECT_EQ(seven.Code, "007");
  EXPECT_EQ(seven.Latitude, 0);
  EXPECT_EQ(inventory.Warnings,
            std::vector<std::string>{"station XX.007: no position in the station sheet nor in the "
                                     "events' GPS fixes; latitude and longitude 0 written"});
  EXPECT_EQ(others.Code, "193");
  EXPECT_EQ(others.Latitude, 45);  // the median fix
  EXPECT_EQ(others.Longitude, 2.5);
  EXPECT_EQ(others.Elevation, 145);
  // The fixes lie a degree apart: each event is an epoch of its own, placed by its fix where
  // that is not the station's position.
  ASSERT_EQ(others.Channels.size(), 9u);
  EXPECT_EQ(others.Channels[0].Start, TSeedTime::FromMilliseconds(2026, 6, 12, 10, 0, 0, 0));
  EXPECT_EQ(others.Channels[0].End, TSeedTime::FromMilliseconds(2026, 6, 12, 11, 0, 0, 0));
  ASSERT_TRUE(others.Channels[0].Position.has_value());
  EXPECT_EQ(others.Channels[0].Position->Latitude, 46);
  EXPECT_FALSE(others.Channels[1].Position.has_value());  // 45: the station's
  EXPECT_EQ(others.Channels[2].End, TSeedTime::FromMilliseconds(2026, 6, 16, 11, 0, 0, 0));
  EXPECT_EQ(berck.Code, "BRK01");
  EXPECT_EQ(berck.SiteName, "Berck");
  EXPECT_EQ(berck.Latitude, 50.4);
  // Sensor 00 at 250 and at 125 Hz, sensor 01 at 250 Hz.
  std::vector<std::string> channels;
  for (const seed::TXmlChannel& channel : berck.Channels) {
    channels.push_back(channel.Location + "." + channel.Code + "@" +
                       std::to_string(channel.SampleRate));
  }
  EXPECT_EQ(channels, (std::vector<std::string>{
                          "00.DHE@250.000000", "00.DHN@250.000000", "00.DHZ@250.000000",
                          "00.EHE@125.000000", "00.EHN@125.000000", "00.EHZ@125.000000",
                          "01.DHE@250.000000", "01.DHN@250.000000", "01.DHZ@250.000000"}));

  if (!CanValidate()) GTEST_SKIP() << "no xmllint or READTARQ_SOURCE_DIR";
  EXPECT_EQ(SchemaErrors(seed::StationXmlText(inventory.Networks, "ReadTarq", network.End)), "");
}

// Names from a sheet keep their characters; bytes that are not UTF-8 and characters XML does
// not allow (from wherever a text came) never make the document ill-formed.
TEST(StationXml, AnyTextKeepsTheDocumentWellFormed) {
  const seed::TStationSheet sheet = seed::TStationSheet::Parse(
      "serial,site\n23,Caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\x8C\x8B\n24,\"\xC3\x85s\nnord\"\n",
      "s.csv");
  seed::TEventSummary event;
  event.ChannelCount = 3;
  event.SampleRate = 100;
  event.Start = TSeedTime::FromMilliseconds(2026, 6, 14, 10, 0, 0, 0);
  event.End = TSeedTime::FromMilliseconds(2026, 6, 14, 11, 0, 0, 0);
  std::vector<seed::TEventSummary> events;
  for (const int64_t serial : {23, 24, 25}) {
    event.Serial = serial;
    events.push_back(event);
  }
  seed::TInventory inventory = seed::BuildInventory(events, {"", &sheet});
  ASSERT_EQ(inventory.Networks.size(), 1u);
  seed::TXmlNetwork& network = inventory.Networks[0];
  ASSERT_EQ(network.Stations.size(), 3u);
  network.Description = std::string("caf\xE9 \x01\x00 \xC0\xAF \xEF\xBF\xBF end", 18);
  network.Stations[2].SiteName = "\xED\xA0\x80<\x1B>\xE2\x82";
  const std::string text = seed::StationXmlText(inventory.Networks, "ReadTarq \xFF", network.End);

  const std::string r = "\xEF\xBF\xBD";  // U+FFFD
  for (const std::string& part : std::vector<std::string>{
           "<Name>Caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\x8C\x8B</Name>", "<Name>\xC3\x85s\nnord</Name>",
           "<Description>caf" + r + " " + r + r + " " + r + r + " " + r + " end</Description>",
           "<Name>" + r + r + r + "&lt;" + r + "&gt;" + r + r + "</Name>",
           "<Source>ReadTarq " + r + "</Source>"}) {
    EXPECT_NE(text.find(part), std::string::npos) << part;
  }
  if (!CanValidate()) GTEST_SKIP() << "no xmllint or READTARQ_SOURCE_DIR";
  EXPECT_EQ(SchemaErrors(text), "");
}

}  // namespace

namespace {

// Epochs of a channel: events merge while gain and factor stay, in time order whatever the
// order they come in (two cards of one station); a change of gain starts an epoch. With
// sensors in the sheet each epoch has its response, and a recorder whose sensor 2 is not
// described gets one warning.
TEST(StationXml, EpochsMergeUntilTheGainChangesAndCarryTheirResponse) {
  const seed::TStationSheet sheet = seed::TStationSheet::Parse(
      "serial,station,latitude,longitude,sensor,sensor_type,depth,n_azimuth\n"
      "23,BRK01,50.4,1.56,1,sp-1,1.5,12\n",
      "s.csv");
  auto event = [](int day, int gain) {
    seed::TEventSummary summary;
    summary.Serial = 23;
    summary.ChannelCount = 6;
    summary.SampleRate = 100;
    summary.Gain = gain;
    summary.CountsPerVolt = 52428.6;
    summary.Start = TSeedTime::FromMilliseconds(2026, 6, day, 10, 0, 0, 0);
    summary.End = TSeedTime::FromMilliseconds(2026, 6, day, 11, 0, 0, 0);
    return summary;
  };
  // Card 2's events (days 14, 15) before card 1's (days 12, 13); day 16 at gain 8.
  const std::vector<seed::TEventSummary> events = {event(14, 2), event(15, 2), event(12, 2),
                                                   event(13, 2), event(16, 8)};
  const seed::TInventory inventory = seed::BuildInventory(events, {"", &sheet});
  ASSERT_EQ(inventory.Networks.size(), 1u);
  ASSERT_EQ(inventory.Networks[0].Stations.size(), 1u);
  const seed::TXmlStation& station = inventory.Networks[0].Stations[0];
  EXPECT_EQ(inventory.Warnings,
            std::vector<std::string>{"station XX.BRK01: the response of some channels is "
                                     "incomplete (no sensor in the station sheet: volts to counts "
                                     "only; or no gain or conversion factor in the events: none)"});
  ASSERT_EQ(station.Channels.size(), 12u);  // 6 channels, 2 epochs each
  const seed::TXmlChannel& east = station.Channels[0];
  const seed::TXmlChannel& eastLater = station.Channels[1];
  const seed::TXmlChannel& north = station.Channels[2];
  EXPECT_EQ(east.Code, "EHE");
  EXPECT_EQ(east.Start, TSeedTime::FromMilliseconds(2026, 6, 12, 10, 0, 0, 0));
  EXPECT_EQ(east.End, TSeedTime::FromMilliseconds(2026, 6, 15, 11, 0, 0, 0));
  EXPECT_EQ(eastLater.Start, TSeedTime::FromMilliseconds(2026, 6, 16, 10, 0, 0, 0));
  EXPECT_EQ(east.Azimuth, 90);
  EXPECT_EQ(north.Azimuth, 12);
  EXPECT_EQ(north.Depth, 1.5);
  ASSERT_TRUE(east.Response.has_value());
  ASSERT_TRUE(eastLater.Response.has_value());
  EXPECT_NEAR(eastLater.Response->Sensitivity / east.Response->Sensitivity, 4, 1e-12);
  EXPECT_EQ(east.Response->InputUnits, "M/S");
  ASSERT_TRUE(east.Sensor.has_value());
  EXPECT_EQ(east.Sensor->Type, "sp-1");
  ASSERT_TRUE(east.DataLogger.has_value());
  EXPECT_EQ(east.DataLogger->SerialNumber, "23");
  // Sensor 2 (location 01) is not described: the recorder's stages only.
  const seed::TXmlChannel& second = station.Channels[6];
  EXPECT_EQ(second.Location, "01");
  EXPECT_EQ(second.Depth, 0);
  ASSERT_TRUE(second.Response.has_value());
  EXPECT_EQ(second.Response->InputUnits, "V");
  EXPECT_FALSE(second.Sensor.has_value());

  if (!CanValidate()) GTEST_SKIP() << "no xmllint or READTARQ_SOURCE_DIR";
  EXPECT_EQ(SchemaErrors(seed::StationXmlText(inventory.Networks, "ReadTarq", east.End)), "");
}

}  // namespace
