#include "platform/Drives.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/FileSystem.h"
#include "support/TestSupport.h"

using platform::TMappedDriveTable;
using testing_support::TTempDir;
using testing_support::WriteWholeFile;

TEST(Drives, MappedTableReportsChosenSizes) {
  TTempDir e, f, g;
  TMappedDriveTable table;
  table.Map({.Letter = 'E', .Directory = e.Path(), .Total = 1000, .Free = 1000});
  table.Map({.Letter = 'f', .Directory = f.Path(), .Capacity = 5000});
  table.Map({.Letter = 'g', .Directory = g.Path()});
  table.SetCurrent('f');

  auto drives = table.Drives();
  ASSERT_EQ(drives.size(), 3u);
  EXPECT_EQ(drives[0].Letter, 'e');
  EXPECT_EQ(drives[0].ItemText.substr(0, 2), "e:");
  EXPECT_EQ(table.CurrentDrive(), 'f');
  EXPECT_EQ(table.RootOf('E'), e.Path() + "/");
  EXPECT_EQ(table.RootOf('x'), "");

  EXPECT_EQ(platform::DriveNumber('e'), 5);
  EXPECT_EQ(table.TotalSize(5), 1000);
  EXPECT_EQ(table.FreeSpace(5), 1000);
  EXPECT_EQ(table.TotalSize(7), -1);   // a failed query
  EXPECT_EQ(table.FreeSpace(24), -1);  // no such drive

  WriteWholeFile(f / "card.dat", std::string(1200, 'x'));
  EXPECT_EQ(table.TotalSize(6), 5000);
  EXPECT_EQ(table.FreeSpace(6), 3800);  // writing fills the drive up
}

TEST(Drives, SystemTableHasTheRootAsC) {
  platform::TSystemDriveTable table;
  auto drives = table.Drives();
  ASSERT_FALSE(drives.empty());
  EXPECT_EQ(drives[0].Letter, 'c');
  EXPECT_EQ(drives[0].Root, "/");
  for (const auto& d : drives) {
    EXPECT_EQ(d.ItemText.substr(0, 2), std::string(1, d.Letter) + ":");
    EXPECT_TRUE(platform::DirectoryExists(d.Root)) << d.Root;
  }
  EXPECT_GT(table.TotalSize(3), 0);
  EXPECT_GE(table.FreeSpace(3), 0);
  char current = table.CurrentDrive();
  EXPECT_FALSE(table.RootOf(current).empty());
}

TEST(Drives, CardFilesAreFoundWhateverTheirCase) {
  TTempDir dir;
  WriteWholeFile(dir / "FICHBASE.DAT", "x");
  EXPECT_EQ(platform::FindCaseInsensitive(dir.Path(), "fichbase.dat"), dir / "FICHBASE.DAT");
  EXPECT_EQ(platform::FindCaseInsensitive(dir.Path(), "secttarq.hex"), dir / "secttarq.hex");
}

TEST(Drives, SizesAtARootAreTheDrivesOrTheFileSystems) {
  TTempDir e, other;
  TMappedDriveTable table;
  table.Map({.Letter = 'e', .Directory = e.Path(), .Total = 1000, .Free = 400});
  // A drive's root, given with or without its separator, is that drive.
  for (const std::string& root : {e.Path(), e.Path() + "/"}) {
    SCOPED_TRACE(root);
    EXPECT_EQ(table.DriveAt(root), platform::DriveNumber('e'));
    EXPECT_EQ(table.TotalSizeAt(root), 1000);
    EXPECT_EQ(table.FreeSpaceAt(root), 400);
  }
  // A directory that is no drive's root (one inside a drive among them) is measured.
  for (const std::string& dir : {other.Path(), e / "sub"}) {
    SCOPED_TRACE(dir);
    std::filesystem::create_directories(dir);
    EXPECT_FALSE(table.DriveAt(dir));
    EXPECT_EQ(table.TotalSizeAt(dir), platform::FileSystemTotal(dir));
    EXPECT_EQ(table.FreeSpaceAt(dir) >= 0, true);
  }
  EXPECT_FALSE(table.DriveAt(""));
  EXPECT_EQ(table.TotalSizeAt(""), -1);
  EXPECT_EQ(table.FreeSpaceAt(""), -1);
}
