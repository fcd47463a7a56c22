// StationXML checked against the FDSN schema, and station positions from GPS fixes.

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

#include "card/TarqCard.h"
#include "convert/StationXml.h"
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
        const seed::TXmlChannel channel{sensor ? "01" : "00", std::string("DH") + orientation,
                                        250, angles.Azimuth, angles.Dip, 0, station.Start,
                                        station.End};
        station.Channels.push_back(channel);
      }
    }
    network.Stations.push_back(station);
  }
  return network;
}

TEST(StationXml, ValidatesAgainstTheSchemaWhateverTheLocale) {
  const char* source = std::getenv("READTARQ_SOURCE_DIR");
  if (source == nullptr) GTEST_SKIP() << "READTARQ_SOURCE_DIR is not set";
  if (std::system("command -v xmllint >/dev/null 2>&1") != 0) GTEST_SKIP() << "no xmllint";

  const std::string saved = std::setlocale(LC_ALL, nullptr);
  std::setlocale(LC_ALL, "fr_FR.UTF-8");  // a decimal comma must not reach the document
  const std::string text = seed::StationXmlText(
      Network(), "ReadTarq", TSeedTime::FromMilliseconds(2026, 7, 1, 9, 0, 0, 0));
  std::setlocale(LC_ALL, saved.c_str());

  testing_support::TTempDir dir;
  testing_support::WriteWholeFile(dir / "stations.xml", text);
  const std::string command = "xmllint --noout --schema '" + std::string(source) +
                              "/tests/data/fdsn-station.xsd' '" + (dir / "stations.xml") +
                              "' 2>'" + (dir / "errors.txt") + "'";
  EXPECT_EQ(std::system(command.c_str()), 0) << testing_support::ReadWholeFile(dir / "errors.txt");

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
  const std::vector<seed::TGpsFix> fixes = {at(10, 30, 'S', 20, 'E', 100), at(12, 0, 'S', 20, 'E', 300),
                                            at(11, 0, 'S', 20, 'E', 200), at(45, 0, 'N', 5, 'W', 9000),
                                            at(95, 0, 'N', 20, 'E', 0)};
  const std::optional<seed::TPosition> median = seed::MedianPosition(fixes);
  ASSERT_TRUE(median.has_value());
  EXPECT_DOUBLE_EQ(median->Latitude, -10.75);   // mean of -11 and -10.5
  EXPECT_DOUBLE_EQ(median->Longitude, 20);
  EXPECT_DOUBLE_EQ(median->Elevation, 250);
  EXPECT_FALSE(seed::MedianPosition({at(95, 0, 'N', 20, 'E', 0)}));
}

}  // namespace
