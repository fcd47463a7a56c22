#include "settings/SettingsFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/FileSystem.h"
#include "platform/IoError.h"
#include "support/TestSupport.h"

using testing_support::ReadWholeFile;
using testing_support::TTempDir;
using testing_support::WriteWholeFile;

namespace {

bool Chosen(const TSettings& settings, const char* kind) {
  return IsChosen(settings, OutputKindNamed(kind));
}

class SettingsTest : public ::testing::Test {
 protected:
  TTempDir Dir;
  std::string Ini() const { return Dir / "READTARQ.INI"; }
  std::string Exe() const { return Dir / "readtarq"; }

  std::string ErrorFile;  // the file the last error of Read named
  // Reads `content` as the settings file; returns the error message, empty when none.
  std::string Read(const std::string& content, TSettings* out = nullptr) {
    WriteWholeFile(Ini(), content);
    TSettingsFile file(Exe());
    std::string error;
    try {
      file.ReadSettings('d');
    } catch (const platform::EFileError& bad) {
      error = bad.what();
      ErrorFile = bad.FileName();
    }
    if (out) *out = file.Settings;
    return error;
  }
};

TEST_F(SettingsTest, NoFileGivesDefaultsAndExitWritesSevenLines) {
  // A fresh start downloads into the home's ReadTarq folder, never into the program's directory.
  TTempDir home;
  const std::string previousHome = std::getenv("HOME") ? std::getenv("HOME") : "";
  ::setenv("HOME", home.Path().c_str(), 1);
  TSettingsFile file(Exe());
  EXPECT_NO_THROW(file.ReadSettings('e'));
  ::setenv("HOME", previousHome.c_str(), 1);
  EXPECT_EQ(file.ProgramDir, Dir.Path());
  EXPECT_EQ(file.Settings.FlashUnit, 'e');
  EXPECT_EQ(file.Settings.DataDir, home / "ReadTarq");
  EXPECT_TRUE(Chosen(file.Settings, "record"));
  EXPECT_FALSE(Chosen(file.Settings, "sensor"));
  EXPECT_FALSE(Chosen(file.Settings, "binary"));
  EXPECT_FALSE(Chosen(file.Settings, "sac"));
  EXPECT_TRUE(file.Settings.SerialNr);
  EXPECT_EQ(file.FilePath(), Ini());

  file.WriteSettings();
  EXPECT_EQ(ReadWholeFile(Ini()),
            "FlashUnit   := e;\r\n"
            "DataDir     := " +
                home / "ReadTarq" +
                ";\r\n"
                "RecordFile  := TRUE;\r\n"
                "SensorFiles := FALSE;\r\n"
                "BinaryFile  := FALSE;\r\n"
                "SacFiles    := FALSE;\r\n"
                "SerialNr    := TRUE;\r\n");
}

TEST_F(SettingsTest, EveryFieldSurvivesARoundTrip) {
  TSettingsFile writer(Exe());
  writer.ReadSettings('c');
  writer.Settings =
      TSettings{'F', "/data/seismo 2006", KindSet({"sensor", "binary", "sac"}), false};
  writer.WriteSettings();

  TSettingsFile reader(Exe());
  ASSERT_NO_THROW(reader.ReadSettings('c'));
  const TSettings& s = reader.Settings;
  EXPECT_EQ(s.FlashUnit, 'F');
  EXPECT_EQ(s.DataDir, "/data/seismo 2006");
  EXPECT_FALSE(Chosen(s, "record"));
  EXPECT_TRUE(Chosen(s, "sensor"));
  EXPECT_TRUE(Chosen(s, "binary"));
  EXPECT_TRUE(Chosen(s, "sac"));
  EXPECT_FALSE(s.SerialNr);
}

// Whatever the table holds: each kind alone is kept, in its own file, and read back alone.
TEST_F(SettingsTest, EachKindOfTheTableAloneSurvivesARoundTrip) {
  for (const TOutputKind& kind : OutputKinds()) {
    SCOPED_TRACE(kind.Name);
    TSettingsFile writer(Exe());
    writer.ReadSettings('c');
    writer.Settings.Kinds = KindSet({kind.Name});
    writer.WriteSettings();
    TSettingsFile reader(Exe());
    ASSERT_NO_THROW(reader.ReadSettings('c'));
    EXPECT_EQ(reader.Settings.Kinds, KindSet({kind.Name}));
  }
}

TEST_F(SettingsTest, ReaderToleratesSpacingCaseCommentsAndSeparators) {
  TSettings s;
  EXPECT_EQ(Read("# comment\r\n"
                 "[section]\r\n"
                 "{ braces }\r\n"
                 "; only a comment\r\n"
                 "   \r\n"
                 "\r\n"
                 "recordfile=false\r\n"
                 "SensorFiles: TRUE ; trailing comment\r\n"
                 "  BINARYFILE :=   true;\r\n"
                 "SacFiles=False\r\n"
                 "FlashUnit := E:\r\n",
                 &s),
            "");
  EXPECT_FALSE(Chosen(s, "record"));
  EXPECT_TRUE(Chosen(s, "sensor"));
  EXPECT_TRUE(Chosen(s, "binary"));
  EXPECT_FALSE(Chosen(s, "sac"));
  EXPECT_EQ(s.FlashUnit, 'E');  // only the first character counts

  EXPECT_EQ(Read("RecordFile := FALSE\r\nSingleFile : TRUE\r\n", &s), "");
  EXPECT_TRUE(Chosen(s, "record"));  // the second name of the same field, last line wins

  EXPECT_EQ(Read("DataDir := /home/user/data/;\r\n", &s), "");
  EXPECT_EQ(s.DataDir, "/home/user/data");
  EXPECT_EQ(Read("DataDir := /a;b\r\n", &s), "");
  EXPECT_EQ(s.DataDir, "/a");  // a path cannot hold ";"

  // Lone LF line ends and a last line without any line end are accepted.
  EXPECT_EQ(Read("SacFiles := TRUE\nSerialNr := FALSE", &s), "");
  EXPECT_TRUE(Chosen(s, "sac"));
  EXPECT_FALSE(s.SerialNr);
}

TEST_F(SettingsTest, BadLinesAreReportedWithTheirReasonAndLineNumber) {
  const std::string prefix = "Erreur de lecture du fichier READTARQ.INI, ligne ";
  const std::pair<const char*, std::string> cases[] = {
      {"RecordFile := yes\r\n", "1, il manque \"true\" ou \"false\""},
      {"# a\r\n# b\r\n\r\n[x]\r\nNonsense\r\n", "5, il manque un ="},
      {"= TRUE\r\n", "1, variable manquante"},
      {":= TRUE\r\n", "1, variable manquante"},
      {"Colour := red\r\n", "1, variable inconnue"},
      {"DataDir : C:\\a=b\r\n", "1, variable inconnue"},     // the "=" inside the path separates
      {"FlashUnit: = e\r\n", "1, variable inconnue"},        // name FLASHUNIT: is unknown
      {"\tRecordFile := TRUE\r\n", "1, variable inconnue"},  // a tab is no blank
      {"SerialNr := TRUE\r\nSacFiles := \r\n", "2, il manque \"true\" ou \"false\""},
  };
  for (const auto& [content, expected] : cases) {
    EXPECT_EQ(Read(content), prefix + expected) << content;
    EXPECT_EQ(ErrorFile, Ini());
    EXPECT_EQ(ReadWholeFile(Ini()), content) << "reading never changes the file";
  }
}

TEST_F(SettingsTest, BareDriveAndEmptyDirectoryAreWrittenBackCanonically) {
  TSettingsFile file(Exe());
  WriteWholeFile(Ini(), "DataDir := D:\\\r\n");
  ASSERT_NO_THROW(file.ReadSettings('c'));
  file.WriteSettings();
  EXPECT_NE(ReadWholeFile(Ini()).find("DataDir     := D:\\;\r\n"), std::string::npos);

  file.Settings.DataDir = "";
  file.WriteSettings();
  const std::string sep(1, platform::PathDelim);
  EXPECT_NE(ReadWholeFile(Ini()).find("DataDir     := " + sep + ";\r\n"), std::string::npos);
  TSettingsFile again(Exe());
  ASSERT_NO_THROW(again.ReadSettings('c'));
  EXPECT_EQ(again.Settings.DataDir, "");
}

TEST_F(SettingsTest, GarbageAndLongLinesNeverCrashTheReader) {
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 7919) % 256);
  std::string message = Read(garbage);
  EXPECT_EQ(message.rfind("Erreur de lecture du fichier READTARQ.INI, ligne ", 0), 0u);

  // Only the first 255 characters of a line are used: the value is cut off there.
  TSettings s;
  EXPECT_EQ(Read("DataDir := /" + std::string(300, 'x') + "\r\nSacFiles := TRUE\r\n", &s), "");
  EXPECT_EQ(s.DataDir.size(), 255u - 11u);
  EXPECT_TRUE(Chosen(s, "sac"));
  EXPECT_EQ(Read(std::string(1000, ' ') + "\r\n" + std::string(1000, '#'), &s), "");
  EXPECT_EQ(Read(std::string("Sac\0Files := TRUE\r\n", 19)),
            std::string("Erreur de lecture du fichier READTARQ.INI, ligne 1, variable inconnue"));
}

// Saving goes through a temporary file renamed over the old one; that must neither replace a
// file the user made read-only (even where root could write it) nor a symbolic link.
TEST_F(SettingsTest, SavingKeepsAReadOnlyFileAndSymbolicLinks) {
  const std::string old = "FlashUnit   := e;\r\n";
  TSettingsFile file(Exe());
  file.ReadSettings('c');

  WriteWholeFile(Ini(), old);
  ASSERT_EQ(::chmod(Ini().c_str(), 0444), 0);
  try {
    file.WriteSettings();
    ADD_FAILURE() << "a read-only settings file was replaced";
  } catch (const platform::EInOutError& error) {
    EXPECT_EQ(error.Code(), platform::IoAccessDenied);
  }
  EXPECT_EQ(ReadWholeFile(Ini()), old);
  EXPECT_EQ(::chmod(Ini().c_str(), 0644), 0);
  std::remove(Ini().c_str());

  struct TCase {
    const char* Title;
    std::string LinkText;  // what READTARQ.INI points to
    std::string Target;    // the file written
    bool Exists;
  };
  ASSERT_TRUE(platform::MakeDirectory(Dir / "real"));
  const TCase cases[] = {
      {"relative link", "real/settings.ini", Dir / "real/settings.ini", true},
      {"absolute link", Dir / "real/abs.ini", Dir / "real/abs.ini", true},
      {"link to a link", "chain", Dir / "real/chained.ini", true},
      {"dangling link", "real/new.ini", Dir / "real/new.ini", false},
  };
  ASSERT_EQ(::symlink("real/chained.ini", (Dir / "chain").c_str()), 0);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Title);
    if (c.Exists) WriteWholeFile(c.Target, old);
    ASSERT_EQ(::symlink(c.LinkText.c_str(), Ini().c_str()), 0);
    file.WriteSettings();
    struct stat info {};
    ASSERT_EQ(::lstat(Ini().c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(ReadWholeFile(c.Target).substr(0, 18), "FlashUnit   := c;\r");
    // The temporary file was beside the target, and is gone.
    EXPECT_FALSE(platform::PathExists(c.Target + ".new"));
    EXPECT_FALSE(platform::PathExists(Ini() + ".new"));
    std::remove(Ini().c_str());
  }

  // A read-only file behind a link is kept too.
  WriteWholeFile(Dir / "real/locked.ini", old);
  ASSERT_EQ(::chmod((Dir / "real/locked.ini").c_str(), 0444), 0);
  ASSERT_EQ(::symlink("real/locked.ini", Ini().c_str()), 0);
  EXPECT_THROW(file.WriteSettings(), platform::EInOutError);
  EXPECT_EQ(ReadWholeFile(Dir / "real/locked.ini"), old);
}

TEST_F(SettingsTest, ReadOnlyOrInstalledProgramDirectoryMovesTheFileToTheUserConfiguration) {
  TTempDir config;
  ::setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1);
  // /usr/bin is writable for root, yet an installed program never writes there.
  for (const char* program : {"/nonexistent-readtarq-dir/readtarq", "/usr/bin/readtarq"}) {
    std::filesystem::remove_all(config / "readtarq");
    TSettingsFile file(program);
    EXPECT_NO_THROW(file.ReadSettings('c'));
    EXPECT_EQ(file.FilePath(), config / "readtarq/READTARQ.INI") << program;
    EXPECT_EQ(file.Settings.DataDir, platform::HomeDirectory() + "/ReadTarq") << program;
    file.WriteSettings();
    EXPECT_EQ(ReadWholeFile(config / "readtarq/READTARQ.INI").substr(0, 18), "FlashUnit   := c;\r")
        << program;
  }
  EXPECT_FALSE(std::filesystem::exists("/usr/bin/READTARQ.INI"));
  ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace

namespace {

// The standard data products' settings live beside READTARQ.INI, which keeps its seven lines.
TEST_F(SettingsTest, ProductSettingsLiveInAFileOfTheirOwn) {
  TSettingsFile file(Exe());
  ASSERT_NO_THROW(file.ReadSettings('e'));
  file.WriteSettings();
  EXPECT_FALSE(platform::PathExists(Dir / "READTARQ-SEED.INI"));  // nothing chosen yet

  Choose(file.Settings, OutputKindNamed("mseed"), true);
  file.Settings.Network = "Z3";
  file.Settings.StationSheet = "/data/stations.csv";
  file.Settings.RecordLength = 512;
  file.WriteSettings();
  EXPECT_EQ(ReadWholeFile(Dir / "READTARQ-SEED.INI"),
            "MiniSeedFile := TRUE;\r\n"
            "SdsArchive   := FALSE;\r\n"
            "Network      := Z3;\r\n"
            "Stations     := /data/stations.csv;\r\n"
            "RecordLength := 512;\r\n");
  const std::string ini = ReadWholeFile(Ini());
  EXPECT_EQ(std::count(ini.begin(), ini.end(), '\n'), 7);
  TSettings read;
  EXPECT_EQ(Read(ini, &read), "");
  EXPECT_TRUE(Chosen(read, "mseed"));
  EXPECT_FALSE(Chosen(read, "sds"));
  EXPECT_EQ(read.Network, "Z3");
  EXPECT_EQ(read.StationSheet, "/data/stations.csv");
  EXPECT_EQ(read.RecordLength, 512);

  const std::pair<std::string, std::string> bad[] = {
      {"SdsArchive := yes;", "line 1: TRUE or FALSE expected"},
      {"\r\nNetwork := X-1;", "line 2: network code 'X-1' holds '-'"},
      {"RecordLength := 1024;", "line 1: record length 512 or 4096 expected, not '1024'"},
      {"Stations /x.csv", "line 1: '=' missing"},
      {"Colour := red;", "line 1: unknown variable COLOUR"},
  };
  for (const auto& [line, message] : bad) {
    WriteWholeFile(Dir / "READTARQ-SEED.INI", line);
    const std::string error = Read(ReadWholeFile(Ini()));
    EXPECT_EQ(error.rfind("Error reading READTARQ-SEED.INI, " + message, 0), 0u) << error;
    EXPECT_EQ(ErrorFile, Dir / "READTARQ-SEED.INI");
  }

  // Without READTARQ.INI the products' file is still read, and so written back unchanged.
  const std::string seed =
      "MiniSeedFile := TRUE;\r\nSdsArchive   := TRUE;\r\n"
      "Network      := Z3;\r\nStations     := ;\r\nRecordLength := 512;\r\n";
  WriteWholeFile(Dir / "READTARQ-SEED.INI", seed);
  std::filesystem::remove(Ini());
  TSettingsFile fresh(Exe());
  ASSERT_NO_THROW(fresh.ReadSettings('e'));
  EXPECT_TRUE(Chosen(fresh.Settings, "sds"));
  EXPECT_EQ(fresh.Settings.RecordLength, 512);
  fresh.WriteSettings();
  EXPECT_EQ(ReadWholeFile(Dir / "READTARQ-SEED.INI"), seed);
}

}  // namespace
