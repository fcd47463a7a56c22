// Output files are created new, never opened over what exists: a name taken between the check
// and the creation moves the event to its next name.

#include <unistd.h>

#include <filesystem>

#include "support/ConvertFixture.h"

namespace {

using testing_support::TCardBuilder;

class ExclusiveCreate : public TConvertFixture {};

TEST_F(ExclusiveCreate, ANameTakenAfterTheCheckMovesTheEventToItsNextName) {
  TCardBuilder card;
  card.Events = {SmallEvent()};
  Insert(card);
  Choose(Settings, OutputKindNamed("sac"), true);
  // A dangling link under the name of the second SAC file: the check sees the name free, and
  // a file opened through it would be made where it points.
  testing_support::TTempDir elsewhere;
  const std::string link = "060512_1030_012.001_1_2N.sac";
  ASSERT_EQ(::symlink((elsewhere / "target").c_str(), (Out / link).c_str()), 0);

  Download(1, {0});
  EXPECT_TRUE(Host.Succeeded);
  EXPECT_TRUE(Host.Errors.empty());
  EXPECT_EQ(OutputFiles(),
            (std::vector<std::string>{link, "060512_1030_012_a.001", "060512_1030_012_a.001_1_1Z.sac",
                                      "060512_1030_012_a.001_1_2N.sac",
                                      "060512_1030_012_a.001_1_3E.sac"}))
      << "the files made for the abandoned name are removed, the link is left alone";
  EXPECT_FALSE(std::filesystem::exists(elsewhere / "target"));
  EXPECT_TRUE(std::filesystem::is_symlink(Out / link));
  EXPECT_EQ(Convert.OutputNames().front(), "060512_1030_012_a.001");
}

}  // namespace
