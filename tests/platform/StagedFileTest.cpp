#include "platform/StagedFile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/TestSupport.h"

using testing_support::ReadWholeFile;
using testing_support::TTempDir;
using testing_support::WriteWholeFile;

namespace {

namespace fs = std::filesystem;
using platform::TRecordFile;
using platform::TStaging;

// A staging's file, written and closed under its temporary name.
std::string Staged(TStaging& staging, const std::string& finalPath, const std::string& text) {
  TRecordFile file;
  EXPECT_EQ(staging.Create(file, finalPath, 1), 0) << finalPath;
  file.Write(text.data(), static_cast<int64_t>(text.size()));
  EXPECT_EQ(file.Close(), 0);
  return staging.StagedPath(finalPath);
}

TEST(StagedFile, ACleaningRemovesWhatDeadRunsLeftAndNothingOfALiveOne) {
  TTempDir dir;
  TStaging live;
  const std::string liveFile = Staged(live, dir / "event.001", "live");
  EXPECT_EQ(platform::FinalPathOf(liveFile), dir / "event.001");

  // What a killed run left: its lock file, which nobody holds, and its temporaries; then a
  // temporary whose lock file is gone.
  const std::vector<std::string> dead = {
      ".1a2b-00ff.readtarq-lock", ".event.002.1a2b-00ff.readtarq-part",
      ".Bin_event.002.1a2b-00ff.readtarq-part", ".event.003.77-aa.readtarq-part"};
  // Names of others that look alike.
  const std::vector<std::string> others = {".notes", "event.002.1a2b-00ff.readtarq-part",
                                           ".event.004.NOTATAG.readtarq-part", ".readtarq-part"};
  for (const auto& names : {dead, others}) {
    for (const std::string& name : names) WriteWholeFile(dir / name, "x");
  }

  // A second run into the same directory cleans it when it first creates a file there.
  TStaging second;
  const std::string secondFile = Staged(second, dir / "event.005", "second");
  for (const std::string& name : dead) EXPECT_FALSE(fs::exists(dir / name)) << name;
  for (const std::string& name : others) EXPECT_TRUE(fs::exists(dir / name)) << name;
  EXPECT_EQ(ReadWholeFile(liveFile), "live");
  EXPECT_EQ(ReadWholeFile(secondFile), "second");

  // The live run's file gets its name; once both runs are over, a third finds nothing to clean.
  size_t published = 0;
  platform::PublishDurably({liveFile}, {dir / "event.001"}, published);
  EXPECT_EQ(published, 1u);
  EXPECT_EQ(ReadWholeFile(dir / "event.001"), "live");
  live.Leave();
  ::unlink(secondFile.c_str());
  second.Leave();
  for (const std::string& name : testing_support::FilesIn(dir.Path())) {
    EXPECT_TRUE(name == "event.001" ||
                std::find(others.begin(), others.end(), name) != others.end())
        << name;
  }
}

TEST(StagedFile, PublishingNeverReplacesWhatHasTheName) {
  TTempDir dir;
  TStaging staging;
  struct TTaker {
    const char* Title;
    void (*Make)(const std::string& path);
  };
  const TTaker takers[] = {
      {"a file", [](const std::string& path) { WriteWholeFile(path, "theirs"); }},
      {"a dangling link",
       [](const std::string& path) { ASSERT_EQ(::symlink("nowhere", path.c_str()), 0); }},
      {"a directory", [](const std::string& path) { fs::create_directory(path); }},
  };
  int n = 0;
  for (const TTaker& taker : takers) {
    SCOPED_TRACE(taker.Title);
    const std::string target = dir / ("event." + std::to_string(++n));
    const std::string staged = Staged(staging, target, "ours");
    // The name is taken between the creation and the publishing.
    taker.Make(target);
    EXPECT_EQ(platform::PublishStaged(staged, target), TRecordFile::NameTaken);
    EXPECT_EQ(ReadWholeFile(staged), "ours");
    if (fs::is_regular_file(fs::symlink_status(target))) {
      EXPECT_EQ(ReadWholeFile(target), "theirs");
    }
    // A name taken before the creation is reported there.
    TRecordFile file;
    EXPECT_EQ(staging.Create(file, target, 1), TRecordFile::NameTaken);
    size_t published = 7;
    try {
      platform::PublishDurably({staged}, {target}, published);
      ADD_FAILURE() << "published over what has the name";
    } catch (const platform::EInOutError& error) {
      EXPECT_EQ(error.FileName(), target);
    }
    EXPECT_EQ(published, 0u);
    ::unlink(staged.c_str());
  }
  const std::string staged = Staged(staging, dir / "free", "ours");
  EXPECT_EQ(platform::PublishStaged(staged, dir / "free"), 0);
  EXPECT_EQ(ReadWholeFile(dir / "free"), "ours");
  EXPECT_FALSE(fs::exists(staged));
}

}  // namespace
