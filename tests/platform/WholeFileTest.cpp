#include "platform/WholeFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <string>
#include <vector>

#include "platform/DurableFlush.h"
#include "platform/FileSystem.h"
#include "platform/IoError.h"
#include "platform/RecordFile.h"
#include "support/TestSupport.h"

using platform::TRecordFile;
using testing_support::FilesIn;
using testing_support::ReadWholeFile;
using testing_support::TTempDir;
using testing_support::WriteWholeFile;

namespace {

struct TSyncCall {
  std::string Path;
  bool Directory;
};
std::vector<TSyncCall> Calls;
int FailFileSyncWith = 0;

int RecordingHook(int handle, const std::string& path, bool directory) {
  Calls.push_back({path, directory});
  if (!directory && FailFileSyncWith != 0) return FailFileSyncWith;
  return platform::SystemSync(handle, path, directory);
}

struct TFaults {
  explicit TFaults(const platform::TFaultPlan& plan) { platform::SetFaultPlan(plan); }
  ~TFaults() { platform::ClearFaultPlan(); }
};

int CodeOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const platform::EInOutError& error) {
    return error.Code();
  }
  return 0;
}

bool IsSymbolicLink(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

TEST(WholeFile, ReplacingWritesTheNewTextDurablyAndLeavesNothingElse) {
  TTempDir dir;
  const std::string path = dir / "settings.ini";
  WriteWholeFile(dir / "elsewhere.ini", "kept");
  const struct {
    const char* Title;
    std::function<void()> Before;
  } cases[] = {
      {"no file yet", [] {}},
      {"an old file", [&] { WriteWholeFile(path, "old text, longer than the new one"); }},
      {"a link, replaced itself", [&] { ASSERT_EQ(::symlink("elsewhere.ini", path.c_str()), 0); }},
  };
  platform::TScopedSyncHook hook(&RecordingHook);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Title);
    std::remove(path.c_str());
    c.Before();
    Calls.clear();
    platform::ReplaceFile(path, "A := 1;\r\n");
    EXPECT_EQ(ReadWholeFile(path), "A := 1;\r\n");
    EXPECT_FALSE(IsSymbolicLink(path));
    EXPECT_EQ(ReadWholeFile(dir / "elsewhere.ini"), "kept");
    EXPECT_EQ(FilesIn(dir.Path()), (std::vector<std::string>{"elsewhere.ini", "settings.ini"}));
    // The data reach the medium before the name does.
    ASSERT_EQ(Calls.size(), 2u);
    EXPECT_FALSE(Calls[0].Directory);
    EXPECT_TRUE(Calls[1].Directory);
    EXPECT_EQ(Calls[1].Path, dir.Path());
  }
}

TEST(WholeFile, AFailedReplacementKeepsTheOldFileAndNoTemporary) {
  TTempDir dir;
  const std::string path = dir / "settings.ini";
  const struct {
    const char* Title;
    platform::TFaultPlan Plan;
    int SyncErrno;
    int Code;
  } cases[] = {
      {"disk full", {.WriteBytesLeft = 3}, 0, platform::IoDiskFull},
      {"no creation", {.CreateErrorCode = platform::IoAccessDenied}, 0, platform::IoAccessDenied},
      {"failing close", {.CloseErrorCode = platform::IoDataError}, 0, platform::IoDataError},
      {"failing flush", {}, EIO, platform::IoDataError},
  };
  platform::TScopedSyncHook hook(&RecordingHook);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Title);
    WriteWholeFile(path, "old");
    FailFileSyncWith = c.SyncErrno;
    {
      TFaults faults(c.Plan);
      try {
        platform::ReplaceFile(path, "new text");
        ADD_FAILURE() << "no error";
      } catch (const platform::EInOutError& error) {
        EXPECT_EQ(error.Code(), c.Code);
        EXPECT_EQ(error.FileName(), path);
      }
    }
    FailFileSyncWith = 0;
    EXPECT_EQ(ReadWholeFile(path), "old");
    EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{"settings.ini"});
  }
}

// Pages that belong together: one that cannot be written leaves every page as it was.
TEST(WholeFile, FilesReplacedTogetherAreAllOldOrAllNew) {
  TTempDir dir;
  const std::string json = dir / "archive.json";
  const std::string html = dir / "archive.html";
  for (const char* failing : {"", "archive.json", "archive.html"}) {
    SCOPED_TRACE(failing);
    WriteWholeFile(json, "old json");
    WriteWholeFile(html, "old html");
    const bool fails = *failing != '\0';
    int code = 0;
    {
      TFaults faults({.PathContains = failing, .WriteBytesLeft = fails ? 2 : -1});
      code = CodeOf([&] { platform::ReplaceFiles({{json, "new json"}, {html, "new html"}}); });
    }
    EXPECT_EQ(code, fails ? platform::IoDiskFull : 0);
    EXPECT_EQ(ReadWholeFile(json), fails ? "old json" : "new json");
    EXPECT_EQ(ReadWholeFile(html), fails ? "old html" : "new html");
    EXPECT_EQ(FilesIn(dir.Path()), (std::vector<std::string>{"archive.html", "archive.json"}));
  }
}

TEST(WholeFile, ANewFileNeverTakesANameInUseAndIsWholeOrAbsent) {
  TTempDir dir;
  WriteWholeFile(dir / "file", "kept");
  ASSERT_EQ(::symlink("nowhere", (dir / "dangling").c_str()), 0);
  ASSERT_TRUE(platform::MakeDirectory(dir / "directory"));
  for (const char* taken : {"file", "dangling", "directory"}) {
    SCOPED_TRACE(taken);
    EXPECT_EQ(platform::WriteNewFile(dir / taken, "new"), TRecordFile::NameTaken);
  }
  EXPECT_EQ(ReadWholeFile(dir / "file"), "kept");
  EXPECT_FALSE(platform::PathExists(dir / "nowhere"));

  platform::TScopedSyncHook hook(&RecordingHook);
  Calls.clear();
  EXPECT_EQ(platform::WriteNewFile(dir / "report.json", "{}\n"), 0);
  EXPECT_EQ(ReadWholeFile(dir / "report.json"), "{}\n");
  ASSERT_EQ(Calls.size(), 2u);
  EXPECT_TRUE(Calls[1].Directory);

  {
    TFaults faults({.WriteBytesLeft = 1});
    EXPECT_EQ(CodeOf([&] { platform::WriteNewFile(dir / "report.html", "<html>"); }),
              platform::IoDiskFull);
  }
  EXPECT_FALSE(platform::PathExists(dir / "report.html"));
}

}  // namespace
