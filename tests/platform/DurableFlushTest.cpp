#include "platform/DurableFlush.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/IoError.h"
#include "support/TestSupport.h"

using testing_support::TTempDir;
using testing_support::WriteWholeFile;

namespace {

struct TSyncCall {
  std::string Path;
  bool Directory;
};
std::vector<TSyncCall> Calls;
int FailWith = 0;

int RecordingHook(int handle, const std::string& path, bool directory) {
  Calls.push_back({path, directory});
  return FailWith ? FailWith : platform::SystemSync(handle, path, directory);
}

TEST(DurableFlush, FlushesFilesAndDirectoriesAndReportsFailuresAsIoErrors) {
  TTempDir dir;
  const std::string file = dir / "event.sac";
  WriteWholeFile(file, "bytes");

  // The real calls succeed on a file and on its directory.
  platform::SyncFile(file);
  platform::SyncDirectory(platform::ParentDirectory(file));
  EXPECT_EQ(platform::ParentDirectory(file), dir.Path());
  EXPECT_EQ(platform::ParentDirectory("name"), ".");
  EXPECT_EQ(platform::ParentDirectory("/name"), "/");

  platform::TScopedSyncHook hook(&RecordingHook);
  Calls.clear();
  FailWith = 0;
  platform::SyncFile(file);
  platform::SyncDirectory(dir.Path());
  ASSERT_EQ(Calls.size(), 2u);
  EXPECT_FALSE(Calls[0].Directory);
  EXPECT_TRUE(Calls[1].Directory);

  // A failing flush carries the run-time layer's code and the file's name.
  const struct {
    int Errno;
    int Code;
    const char* Text;
  } failures[] = {{ENOSPC, platform::IoDiskFull, "Disque plein."},
                  {EIO, platform::IoDataError, "Erreur E/S 23."},
                  {EROFS, platform::IoAccessDenied, "Accès au fichier refusé."}};
  for (const auto& f : failures) {
    FailWith = f.Errno;
    for (bool directory : {false, true}) {
      const std::string target = directory ? dir.Path() : file;
      try {
        directory ? platform::SyncDirectory(target) : platform::SyncFile(target);
        ADD_FAILURE() << "no error for errno " << f.Errno;
      } catch (const platform::EInOutError& error) {
        EXPECT_EQ(error.Code(), f.Code);
        EXPECT_STREQ(error.what(), f.Text);
        EXPECT_EQ(error.FileName(), target);
      }
    }
  }
  FailWith = 0;

  // An event's files: every file, then every directory once; a failure stops there.
  std::filesystem::create_directory(dir / "sub");
  WriteWholeFile(dir / "sub/event.rec", "r");
  Calls.clear();
  EXPECT_THROW(platform::SyncSavedFiles({file, dir / "sub/event.rec", dir / "event.bin"}),
               platform::EInOutError);
  EXPECT_EQ(Calls.size(), 2u);  // event.bin is missing: no directory is flushed
  WriteWholeFile(dir / "event.bin", "b");
  Calls.clear();
  platform::SyncSavedFiles({file, dir / "sub/event.rec", dir / "event.bin"});
  ASSERT_EQ(Calls.size(), 5u);
  EXPECT_EQ(Calls[2].Path, dir / "event.bin");
  EXPECT_FALSE(Calls[2].Directory);
  EXPECT_EQ(Calls[3].Path, dir.Path());
  EXPECT_EQ(Calls[4].Path, dir / "sub");
  EXPECT_TRUE(Calls[4].Directory);

  // A path that is not there, or a file taken for a directory, fails before any flush.
  Calls.clear();
  EXPECT_THROW(platform::SyncFile(dir / "gone"), platform::EInOutError);
  EXPECT_THROW(platform::SyncDirectory(file), platform::EInOutError);
  EXPECT_TRUE(Calls.empty());
}

}  // namespace
