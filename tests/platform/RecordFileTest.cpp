#include "platform/RecordFile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "base/Messages.h"
#include "base/FileFlags.h"
#include "support/TestSupport.h"

using platform::EInOutError;
using platform::TFaultPlan;
using platform::TRecordFile;
using testing_support::ReadWholeFile;
using testing_support::TTempDir;
using testing_support::WriteWholeFile;

namespace {

struct FaultGuard {
  explicit FaultGuard(const TFaultPlan& plan) { platform::SetFaultPlan(plan); }
  ~FaultGuard() { platform::ClearFaultPlan(); }
};

int CodeOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EInOutError& e) {
    return e.Code();
  }
  return 0;
}

TEST(IoError, FrenchTextsEndWithAFullStop) {
  const std::pair<int, const char*> cases[] = {
      {2, "Fichier introuvable."},
      {3, "Nom de fichier incorrect."},
      {4, "Trop de fichiers ouverts."},
      {5, "Accès au fichier refusé."},
      {100, "Lecture au-delà de la fin de fichier."},
      {101, "Disque plein."},
      {106, "Saisie numérique incorrecte."},
      {23, "Erreur E/S 23."},
      {999, "Erreur E/S 999."},
  };
  for (const auto& [code, text] : cases) EXPECT_EQ(platform::IoErrorText(code), text);
  EXPECT_EQ(EInOutError(101, "x").what(), std::string("Disque plein."));

  EXPECT_EQ(platform::IoCodeFromErrno(ENOENT), 2);
  EXPECT_EQ(platform::IoCodeFromErrno(EACCES), 5);
  EXPECT_EQ(platform::IoCodeFromErrno(EROFS), 5);
  EXPECT_EQ(platform::IoCodeFromErrno(ENOSPC), 101);
  EXPECT_EQ(platform::IoCodeFromErrno(EMFILE), 4);
  EXPECT_NE(platform::IoCodeFromErrno(EIO), 5);  // a failing medium is no refused access
}

TEST(RecordFile, RecordsPositionsSizesAndTruncation) {
  TTempDir dir;
  TRecordFile file;
  ASSERT_EQ(file.Rewrite(dir / "data", 3), 0);
  file.Write("abcdefghi", 3);
  EXPECT_EQ(file.Position(), 3);
  EXPECT_EQ(file.Size(), 3);
  file.Seek(1);
  file.Write("XYZ", 1);
  file.Seek(10);
  file.Truncate();  // grows the file to 30 bytes
  EXPECT_EQ(file.Size(), 10);
  file.Seek(0);
  char buffer[64] = {};
  platform::TReadResult r = file.Read(buffer, 2);
  EXPECT_EQ(r.Records, 2);
  EXPECT_EQ(r.Error, 0);
  EXPECT_EQ(std::string(buffer, 6), "abcXYZ");
  file.Seek(9);
  r = file.Read(buffer, 5);  // one record left
  EXPECT_EQ(r.Records, 1);
  EXPECT_EQ(r.Error, 0);
  EXPECT_TRUE(file.Eof());
  EXPECT_EQ(file.Close(), 0);
  EXPECT_EQ(ReadWholeFile(dir / "data").size(), 30u);

  // A partial last record is not counted.
  WriteWholeFile(dir / "short", "abcd");
  ASSERT_EQ(file.Reset(dir / "short", 3), 0);
  EXPECT_EQ(file.Size(), 1);
  EXPECT_EQ(file.Read(buffer, 2).Records, 1);
  file.Close();
}

TEST(RecordFile, OpeningNeverThrows) {
  TTempDir dir;
  TRecordFile file;
  EXPECT_EQ(file.Reset(dir / "missing", 3), 2);
  EXPECT_EQ(file.Reset(dir.Path(), 3), 5);  // a directory is no file
  EXPECT_EQ(file.Rewrite(dir / "no/such/dir/file", 1), 2);
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(CodeOf([&] { TRecordFile::Erase(dir / "missing"); }), 2);
}

TEST(RecordFile, TextLinesEndWithCrLfAndReadEitherWay) {
  TTempDir dir;
  TRecordFile file;
  ASSERT_EQ(file.Rewrite(dir / "t.txt", 0), 0);
  file.WriteLine("one");
  file.WriteText("two\n");
  file.WriteLine("");
  file.WriteText("last");
  EXPECT_EQ(file.Close(), 0);
  EXPECT_EQ(ReadWholeFile(dir / "t.txt"), "one\r\ntwo\n\r\nlast");
  ASSERT_EQ(file.Reset(dir / "t.txt", 0, platform::TOpenMode::ReadOnly), 0);
  std::vector<std::string> lines;
  std::string line;
  while (file.ReadLine(line)) lines.push_back(line);
  EXPECT_EQ(lines, (std::vector<std::string>{"one", "two", "", "last"}));
}

TEST(RecordFile, InjectedFaultsFailLikeAFullDiskOrABadCard) {
  TTempDir dir;
  {
    FaultGuard guard(TFaultPlan{.PathContains = "out", .WriteBytesLeft = 10});
    TRecordFile file;
    ASSERT_EQ(file.Rewrite(dir / "out.bin", 4), 0);
    file.Write("12345678", 2);
    EXPECT_EQ(CodeOf([&] { file.Write("abcdefgh", 2); }), 101);
    EXPECT_EQ(file.Close(), 0);
    EXPECT_EQ(ReadWholeFile(dir / "out.bin"), "12345678ab");  // what fitted is there
  }
  WriteWholeFile(dir / "card", std::string(30, 'c'));
  {
    FaultGuard guard(TFaultPlan{.ReadBytesLeft = 7});
    TRecordFile file;
    ASSERT_EQ(file.Reset(dir / "card", 3), 0);
    char buffer[30];
    platform::TReadResult r = file.Read(buffer, 5);
    EXPECT_EQ(r.Records, 2);  // whole records read before the failure
    EXPECT_EQ(r.Error, platform::IoDataError);
  }
  {
    FaultGuard guard(TFaultPlan{.SeeksLeft = 1, .SeekErrorCode = 5});
    TRecordFile file;
    ASSERT_EQ(file.Reset(dir / "card", 3), 0);
    file.Seek(2);
    EXPECT_EQ(CodeOf([&] { file.Seek(3); }), 5);
  }
  {
    FaultGuard guard(TFaultPlan{.OpenErrorCode = 4, .CreateErrorCode = 5, .CloseErrorCode = 101});
    TRecordFile file;
    EXPECT_EQ(file.Reset(dir / "card", 3), 4);
    EXPECT_EQ(file.Rewrite(dir / "new", 3), 5);
  }
  {
    FaultGuard guard(TFaultPlan{.WriteAccessErrorCode = 5});
    TRecordFile file;
    EXPECT_EQ(file.Reset(dir / "card", 3), 5);
    EXPECT_EQ(file.Reset(dir / "card", 3, platform::TOpenMode::ReadOnly), 0);
  }
}

TEST(FileHelpers, ReadingFallsBackToReadOnlyAndKeepsItsFlags) {
  TTempDir dir;
  WriteWholeFile(dir / "held.dat", "abc");
  WriteWholeFile(dir / "empty.dat", "");
  TRecordFile file;
  {
    FaultGuard guard(TFaultPlan{.WriteAccessErrorCode = 5});
    EXPECT_TRUE(WUtil::OpenForReading(file, dir / "held.dat", 3));
    EXPECT_TRUE(WUtil::IoOk());
    EXPECT_FALSE(WUtil::AtEof());
    EXPECT_EQ(WUtil::OpenMode(), 66);
    WUtil::CloseChecked(file);
    EXPECT_FALSE(WUtil::IoOk());
  }
  EXPECT_TRUE(WUtil::OpenForReading(file, dir / "empty.dat", 1));
  EXPECT_TRUE(WUtil::AtEof());
  WUtil::CloseChecked(file);
  EXPECT_FALSE(WUtil::OpenForReading(file, dir / "missing.dat", 1));
  EXPECT_TRUE(WUtil::AtEof());
  EXPECT_TRUE(WUtil::OpenForWriting(file, dir / "w.txt", 0));
  EXPECT_TRUE(WUtil::AtEof());
  WUtil::CloseChecked(file);
}

// The programs end on it (the box and exit code 1 of the desktop program are pinned in its
// tests); the core only throws, with the text they show.
TEST(FileHelpers, AFailingCloseThrowsTheCloseErrorNamingTheFile) {
  TTempDir dir;
  FaultGuard guard(TFaultPlan{.CloseErrorCode = 5});
  TRecordFile file;
  ASSERT_TRUE(WUtil::OpenForWriting(file, dir / "f.dat", 1));
  try {
    WUtil::CloseChecked(file);
    FAIL() << "the close failed silently";
  } catch (const platform::ECloseError& error) {
    EXPECT_EQ(error.Code(), 5);
    EXPECT_EQ(error.FileName(), dir / "f.dat");
    EXPECT_EQ(std::string(error.what()), "CloseFile error 5, file=" + (dir / "f.dat"));
  }
  EXPECT_FALSE(WUtil::IoOk());
}

TEST(RecordFileTest, CreateNewNeverOpensWhatExists) {
  TTempDir dir;
  WriteWholeFile(dir / "file", "kept");
  ASSERT_TRUE(std::filesystem::create_directory(dir / "directory"));
  std::filesystem::create_symlink(dir / "file", dir / "link");
  std::filesystem::create_symlink(dir / "nowhere", dir / "dangling");
  for (const char* name : {"file", "directory", "link", "dangling"}) {
    TRecordFile file;
    EXPECT_EQ(file.CreateNew(dir / name, 1), TRecordFile::NameTaken) << name;
    EXPECT_FALSE(file.IsOpen()) << name;
  }
  EXPECT_EQ(ReadWholeFile(dir / "file"), "kept");
  EXPECT_FALSE(std::filesystem::exists(dir / "nowhere"));

  TRecordFile file;
  ASSERT_EQ(file.CreateNew(dir / "new", 1), 0);
  file.Write("new", 3);
  EXPECT_EQ(file.Close(), 0);
  EXPECT_EQ(ReadWholeFile(dir / "new"), "new");
  EXPECT_EQ(file.CreateNew(dir / "missing/new", 1), platform::IoFileNotFound);
}

}  // namespace
