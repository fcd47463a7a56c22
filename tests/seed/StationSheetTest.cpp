// The station sheet: a CSV file of what each recorder stands for.

#include <gtest/gtest.h>

#include "seed/SeedError.h"
#include "seed/StationSheet.h"
#include "support/TestSupport.h"

namespace {

using seed::TStationSheet;

TEST(StationSheet, ReadsColumnsInAnyOrderWithQuotesAndBothLineEnds) {
  const std::string text =
      "\xEF\xBB\xBF"
      "Station, SERIAL ,latitude,longitude,elevation,site,network,period,instrument\r\n"
      "BRK01,23,50.4012,1.5633,12,\"Berck, \"\"dune\"\"\",Z3,broad,TP-3\r\n"
      "\r\n"
      "   \n"
      ",193,,,,\"two\nlines\",,Short,\n"
      "ORL,1234,-47.5,-2.25e0,-3.5,,,,\n";
  const TStationSheet sheet = TStationSheet::Parse(text, "stations.csv");
  ASSERT_EQ(sheet.Rows().size(), 3u);

  const seed::TStationRow* first = sheet.Find(23);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->Station, "BRK01");
  EXPECT_EQ(first->Network, "Z3");
  EXPECT_EQ(first->Site, "Berck, \"dune\"");
  EXPECT_EQ(first->Instrument, "TP-3");
  EXPECT_EQ(first->Latitude, 50.4012);
  EXPECT_EQ(first->Longitude, 1.5633);
  EXPECT_EQ(first->Elevation, 12.0);
  EXPECT_EQ(first->Period, seed::TSensorPeriod::Broad);
  EXPECT_EQ(first->Line, 2);

  const seed::TStationRow* second = sheet.Find(193);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->Station, "");
  EXPECT_EQ(second->Site, "two\nlines");
  EXPECT_FALSE(second->Latitude.has_value());
  EXPECT_EQ(second->Period, seed::TSensorPeriod::Short);
  EXPECT_EQ(second->Line, 5);

  const seed::TStationRow* third = sheet.Find(1234);
  ASSERT_NE(third, nullptr);
  EXPECT_EQ(third->Line, 7);  // the quoted line break counts
  EXPECT_EQ(third->Longitude, -2.25);
  EXPECT_EQ(sheet.Find(24), nullptr);
}

TEST(StationSheet, NumbersIgnoreTheGlobalLocale) {
  const char* previous = std::setlocale(LC_ALL, nullptr);
  const std::string saved = previous ? previous : "C";
  if (std::setlocale(LC_ALL, "fr_FR.UTF-8") == nullptr) GTEST_SKIP() << "no fr_FR.UTF-8 locale";
  const TStationSheet sheet = TStationSheet::Parse("serial,latitude\n23,50.25\n", "s.csv");
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_EQ(sheet.Find(23)->Latitude, 50.25);
  EXPECT_THROW(TStationSheet::Parse("serial,latitude\n23,\"50,25\"\n", "s.csv"), seed::ESeedError);
}

// Sensors of a recorder: one row per sensor, the recorder's columns given once (or repeated
// alike); a type from the catalogue or three values; angles only where they differ.
TEST(StationSheet, SensorsByRowWithTheirTypeDepthAndAngles) {
  const TStationSheet sheet = TStationSheet::Parse(
      "serial,station,sensor,sensor_type,sensitivity,natural_frequency,damping,depth,"
      "n_azimuth,e_azimuth,z_dip\n"
      "23,BRK01,,Geophone-4.5,30,,,1.5,12,102,\n"
      "24,BRK02,2,,250,2,0.7,,,,\n"
      "23,,2,,,,,0,,,-89\n"
      "24,BRK02,1,,,,,,,,\n",
      "s.csv");
  EXPECT_TRUE(sheet.DescribesSensors());
  ASSERT_EQ(sheet.Rows().size(), 2u);
  const seed::TStationRow* recorder = sheet.Find(23);
  ASSERT_NE(recorder, nullptr);
  EXPECT_EQ(recorder->Station, "BRK01");
  const seed::TSensorRow* first = recorder->Sensor(1);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->Depth, 1.5);
  EXPECT_EQ(first->Azimuth[1], 12);
  EXPECT_EQ(first->Azimuth[2], 102);
  EXPECT_FALSE(first->Azimuth[0].has_value());
  const std::optional<seed::TSensorModel> geophone = first->Model();
  ASSERT_TRUE(geophone.has_value());
  EXPECT_EQ(geophone->Name, "geophone-4.5");
  EXPECT_EQ(geophone->GeneratorConstant, 30);  // the unit's calibration replaces the nominal
  EXPECT_EQ(geophone->NaturalFrequency, 4.5);
  const seed::TSensorRow* second = recorder->Sensor(2);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->Dip[0], -89);
  EXPECT_FALSE(second->Model().has_value());  // placed, but its response is not known
  EXPECT_EQ(recorder->Sensor(3), nullptr);

  const seed::TStationRow* other = sheet.Find(24);
  ASSERT_NE(other, nullptr);
  ASSERT_NE(other->Sensor(2), nullptr);
  const std::optional<seed::TSensorModel> described = other->Sensor(2)->Model();
  ASSERT_TRUE(described.has_value());
  EXPECT_EQ(described->GeneratorConstant, 250);
  EXPECT_EQ(described->Damping, 0.7);

  EXPECT_FALSE(TStationSheet::Parse("serial,depth\n23,1\n", "s.csv").DescribesSensors());
}

TEST(StationSheet, ABadSheetNamesTheLineAndTheColumn) {
  struct TCase {
    const char* Text;
    const char* Error;
  };
  const TCase cases[] = {
      {"serial,latitude\n23,50\n\n24,abc\n",
       "stations.csv line 4, column latitude: not a number: 'abc'"},
      {"serial,latitude\n23,91\n", "stations.csv line 2, column latitude: out of range: '91'"},
      {"serial,longitude\n23,-180.5\n",
       "stations.csv line 2, column longitude: out of range: '-180.5'"},
      {"serial,elevation\n23,12m\n", "stations.csv line 2, column elevation: not a number: '12m'"},
      {"serial,latitude\n23,nan\n", "stations.csv line 2, column latitude: not a number: 'nan'"},
      {"serial\n23\n23\n", "stations.csv line 3, column serial: serial 23 already given on line 2"},
      {"serial,site\n,x\n", "stations.csv line 2, column serial: the serial number is missing"},
      {"serial\n-4\n", "stations.csv line 2, column serial: not a serial number: '-4'"},
      {"serial\n23a\n", "stations.csv line 2, column serial: not a serial number: '23a'"},
      {"serial,network\n23,XXX\n",
       "stations.csv line 2, column network: network code 'XXX': it must have 1 or 2 characters"},
      {"serial,station\n23,BRK-1\n",
       "stations.csv line 2, column station: station code 'BRK-1' holds '-': only upper-case "
       "letters A-Z and digits are allowed"},
      {"serial,period\n23,long\n",
       "stations.csv line 2, column period: 'long' is neither 'short' nor 'broad'"},
      {"serial,latitud\n23,1\n",
       "stations.csv line 1: column 'latitud' is not known (known: serial, network, station, site, "
       "latitude, longitude, elevation, instrument, period, sensor, sensor_type, sensitivity, "
       "natural_frequency, damping, depth, z_azimuth, z_dip, n_azimuth, n_dip, e_azimuth, "
       "e_dip)"},
      {"serial,sensor_type\n23,geophone-10\n",
       "stations.csv line 2, column sensor_type: 'geophone-10' is not a known sensor (known: "
       "geophone-4.5, sp-2, sp-1, broadband-120)"},
      {"serial,sensor_type,damping\n23,sp-1,0.5\n",
       "stations.csv line 2, column damping: a catalogue sensor's natural frequency and damping "
       "are its own; leave it empty or leave sensor_type empty"},
      {"serial,sensitivity,natural_frequency,damping\n23,28.8,4.5,\n",
       "stations.csv line 2, column damping: missing: a sensor without sensor_type needs "
       "sensitivity, natural_frequency and damping"},
      {"serial,sensor\n23,7\n", "stations.csv line 2, column sensor: out of range: '7'"},
      {"serial,sensor\n23,1.5\n", "stations.csv line 2, column sensor: not a sensor number: '1.5'"},
      {"serial,sensor,depth\n23,2,1\n23,2,3\n",
       "stations.csv line 3, column sensor: sensor 2 of serial 23 already given on line 2"},
      {"serial,sensor,depth\n23,,1\n23,1,3\n",
       "stations.csv line 3, column serial: serial 23 already given on line 2"},
      {"serial,sensor,site\n23,1,Berck\n23,2,Calais\n",
       "stations.csv line 3, column site: 'Calais' where line 2 of the same serial has 'Berck'"},
      {"serial,n_azimuth\n23,361\n", "stations.csv line 2, column n_azimuth: out of range: '361'"},
      {"serial,site,Site\n", "stations.csv line 1: column 'Site' appears twice"},
      {"station,site\nA,b\n", "stations.csv line 1: no column 'serial'"},
      {"serial,site\n23\n", "stations.csv line 2: 1 fields where the header has 2"},
      {"serial,site\n23,\"open\n", "stations.csv line 2: a quoted field is not closed"},
      {"serial,site\n23,\"a\"b\n", "stations.csv line 2: text after the closing quote of a field"},
      {"\n\n", "stations.csv: the header line is missing"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Text);
    try {
      TStationSheet::Parse(c.Text, "stations.csv");
      ADD_FAILURE() << "accepted";
    } catch (const seed::ESeedError& error) {
      EXPECT_EQ(std::string(error.what()), c.Error);
    }
  }
}

// A sheet is UTF-8 (a byte order mark skipped) or, when asked, ISO 8859-1; any other byte is
// refused where it is, never carried into the StationXML.
TEST(StationSheet, TextIsUtf8OrLatin1OnRequest) {
  using seed::TSheetEncoding;
  struct TCase {
    std::string Text;
    TSheetEncoding Encoding;
    std::string Site;   // read, when Error is empty
    std::string Error;  // the refusal
  };
  const std::string advice = "; save the sheet as UTF-8 or read it as Latin-1";
  const TCase cases[] = {
      {"serial,site\n23,Caf\xC3\xA9 \xF0\x9F\x8C\x8B\n", TSheetEncoding::Utf8,
       "Caf\xC3\xA9 \xF0\x9F\x8C\x8B", ""},
      {"\xEF\xBB\xBFserial,site\n23,\xE2\x80\x94"
       "Caf\xC3\xA9\n",
       TSheetEncoding::Utf8,
       "\xE2\x80\x94"
       "Caf\xC3\xA9",
       ""},
      // Latin-1 on request; a byte order mark still says UTF-8.
      {"serial,site\n23,caf\xE9 \xB5\n", TSheetEncoding::Latin1, "caf\xC3\xA9 \xC2\xB5", ""},
      {"\xEF\xBB\xBFserial,site\n23,Caf\xC3\xA9\n", TSheetEncoding::Latin1, "Caf\xC3\xA9", ""},
      {"serial,site\n23,caf\xE9\n", TSheetEncoding::Utf8, "",
       "stations.csv line 2, column site: not UTF-8 text: byte 0xE9 after 'caf'" + advice},
      {"serial,site\n23,\"two\nlines \xE9\"\n", TSheetEncoding::Utf8, "",
       "stations.csv line 3, column site: not UTF-8 text: byte 0xE9 after 'two\nlines '" + advice},
      {"serial,sit\xE9\n", TSheetEncoding::Utf8, "",
       "stations.csv line 1, column 2: not UTF-8 text: byte 0xE9 after 'sit'" + advice},
      {"serial,site\n2\xB3,x\n", TSheetEncoding::Utf8, "",
       "stations.csv line 2, column serial: not UTF-8 text: byte 0xB3 after '2'" + advice},
      {"serial,site\n23,\xC0\xAF\n", TSheetEncoding::Utf8, "",  // overlong '/'
       "stations.csv line 2, column site: not UTF-8 text: byte 0xC0 at its start" + advice},
      {"serial,site\n23,\xE0\x80\xAF\n", TSheetEncoding::Utf8, "",  // overlong, three bytes
       "stations.csv line 2, column site: not UTF-8 text: byte 0xE0 at its start" + advice},
      {"serial,site\n23,a\xED\xA0\x80\n", TSheetEncoding::Utf8, "",  // surrogate
       "stations.csv line 2, column site: not UTF-8 text: byte 0xED after 'a'" + advice},
      {"serial,site\n23,\xF4\x90\x80\x80\n", TSheetEncoding::Utf8, "",  // above U+10FFFF
       "stations.csv line 2, column site: not UTF-8 text: byte 0xF4 at its start" + advice},
      {"serial,site\n23,ab\xE2\x82\n", TSheetEncoding::Utf8, "",  // cut short by the line end
       "stations.csv line 2, column site: not UTF-8 text: byte 0xE2 after 'ab'" + advice},
      {"serial,site\n23,\xF0\x9F\x8C", TSheetEncoding::Utf8, "",  // cut short by the end
       "stations.csv line 2, column site: not UTF-8 text: byte 0xF0 at its start" + advice},
      // A message quotes a whole character, never half of one.
      {"serial,station\n23,CAF\xC3\x89\n", TSheetEncoding::Utf8, "",
       "stations.csv line 2, column station: station code 'CAF\xC3\x89' holds '\xC3\x89': only "
       "upper-case letters A-Z and digits are allowed"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Text);
    try {
      const TStationSheet sheet = TStationSheet::Parse(c.Text, "stations.csv", c.Encoding);
      ASSERT_EQ(sheet.Rows().size(), 1u);
      EXPECT_EQ(sheet.Rows()[0].Site, c.Site);
      EXPECT_EQ(c.Error, "");
    } catch (const seed::ESeedError& error) {
      EXPECT_EQ(std::string(error.what()), c.Error);
    }
  }
}

TEST(StationSheet, LoadNamesTheFileInErrors) {
  testing_support::TTempDir dir;
  testing_support::WriteWholeFile(dir / "stations.csv", "serial,station\n23,BRK01\n24,x\n");
  try {
    TStationSheet::Load(dir / "stations.csv");
    FAIL();
  } catch (const seed::ESeedError& error) {
    EXPECT_EQ(std::string(error.what()).rfind(dir / "stations.csv line 3, column station:", 0), 0u)
        << error.what();
  }
  EXPECT_THROW(TStationSheet::Load(dir / "missing.csv"), seed::ESeedError);
}

}  // namespace
