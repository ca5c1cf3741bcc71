// A target with an apostrophe: `vakrun it's` erases "it's", never "its". The Windows program splits
// its own command line, where a single quote that is never closed is an ordinary character.
#include "harness.h"

namespace {

class ApostropheTargetTest : public TempFolderTest {};

TEST_F(ApostropheTargetTest, UnclosedSingleQuoteIsPartOfTheName) {
  MakeTree(root, {"it's/f=x", "its/g=keep", "dont/h=keep"});
  RunResult run = RunVakrun({"it's"}, Options());
  EXPECT_EQ(run.status, 0) << Visible(run.out);
  EXPECT_NE(run.out.find("Removed T:\\it's\r\n"), std::string::npos) << Visible(run.out);
  EXPECT_EQ(ListTree(root),
            (std::vector<std::string>{"dont/", "dont/h=keep", "its/", "its/g=keep"}));
}

} // namespace
