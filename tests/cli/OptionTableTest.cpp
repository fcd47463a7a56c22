#include <gtest/gtest.h>

#include "CliRun.h"
#include "support/TestSupport.h"

namespace {

using cli_test::RunCaptured;
using cli_test::TRun;

// The help is made from the declarations: every option a command takes is in its usage line
// and in its list, so that a declaration the help forgets shows here.
TEST(OptionTableTest, HelpShowsEveryOptionOfTheCommand) {
  const struct {
    const char* Command;
    std::vector<std::string> Usage;  // as the usage line shows them, in order
  } cases[] = {
      {"status", {"CARD", "[--restore]"}},
      {"list", {"CARD", "[--restore]"}},
      {"erase", {"CARD", "--yes"}},
      {"initialize", {"CARD", "--yes", "[--size BYTES]"}},
      {"download",
       {"CARD", "--to DIR", "[--record]", "[--sensor]", "[--binary]", "[--sac]", "[--no-serial]",
        "[--events LIST]", "[--restore]", "[--comment TEXT]...", "[--probe-date YYYY-MM-DD]"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Command);
    const TRun help = RunCaptured({c.Command, "--help"});
    EXPECT_EQ(help.Code, 0);
    const std::string usage = help.Out.substr(0, help.Out.find("\n\n"));
    size_t at = 0;
    for (const std::string& item : c.Usage) {
      at = usage.find(item, at);
      ASSERT_NE(at, std::string::npos) << item << " in\n" << usage;
      if (item != "CARD") {
        std::string option = item.substr(item[0] == '[' ? 1 : 0);
        option = option.substr(0, option.find(']'));
        EXPECT_NE(help.Out.find("\n  " + option + " "), std::string::npos) << option;
      }
    }
    EXPECT_NE(help.Out.find("CARD is a drive letter"), std::string::npos);
    EXPECT_NE(help.Out.find("2 for bad usage"), std::string::npos);
  }
}

TEST(OptionTableTest, VersionComesFromTheBuild) {
  const TRun run = RunCaptured({"--version"});
  EXPECT_EQ(run.Code, 0);
  EXPECT_EQ(run.Out, std::string("readtarq-cli ") + READTARQ_VERSION_TEXT + "\n");
  EXPECT_NE(RunCaptured({"--help"}).Out.find("--version"), std::string::npos);
}

// What a parser could take for something else: another command's name, words after "--", a
// second value where one is taken, an empty value after "=", a flag given a value. Each is a
// bad usage that names the culprit.
TEST(OptionTableTest, MisreadableCommandLinesAreBadUsage) {
  testing_support::TTempDir dir;
  const struct {
    std::vector<std::string> Args;
    std::string Reason;
  } cases[] = {
      {{"list", dir.Path(), "status"}, "unexpected argument 'status'"},
      {{"status", dir.Path(), "--", "x"}, "unexpected argument 'x'"},
      {{"download", dir.Path(), "--to", dir.Path(), "--comment", "a", "b"},
       "unexpected argument 'b'"},
      {{"download", dir.Path(), "--to", ""}, "--to DIR is missing"},
      {{"status", dir.Path(), "--restore", "--zip=1"}, "unknown option '--zip'"},
      {{"download", dir.Path(), "--to=", "--events", "1"}, "--to DIR is missing"},
      {{"download", dir.Path(), "--to", dir.Path(), "--events="},
       "--events needs numbers from 1 and ranges such as 1,3-5, not ''"},
      {{"list", dir.Path(), "--restore=true"}, "option --restore takes no value"},
      {{"initialize", dir.Path(), "--yes", "--size"}, "--size needs a value"},
  };
  for (const auto& c : cases) {
    const TRun run = RunCaptured(c.Args);
    EXPECT_EQ(run.Code, 2) << c.Reason;
    EXPECT_EQ(run.Err.substr(0, run.Err.find('\n')), "readtarq-cli " + c.Args[0] + ": " + c.Reason);
    EXPECT_EQ(run.Out, "");
  }
}

}  // namespace
