// Only Y, y or a Greek letter of that key answers yes at the drive-root question (asked for the
// test's own drive T:, never a real root). Bytes of another code page that are code page 737
// letters of the Y key (Latin-1 è, ç, ¬, or an 8-bit Alt key) are no key at all: the question waits
// for the next one, and at the end of the input reads Esc.
#include "harness.h"

namespace {

const std::string Echo = "Using option(s): ShowDeleted Mask:*.* \r\n";
const std::string DriveRootQuestion =
    "\rYou're about to ERASE EVERYTHING using above option(s) on drive T:\r\n"
    "Are you sure you want to proceed? (y/N) ";

class YesKeyBytesTest : public TempFolderTest {};

TEST_F(YesKeyBytesTest, OnlyTheYKeyAnswersYesAtTheDriveRoot) {
  struct Case {
    std::string keys;
    bool yes;
  };
  const Case cases[] = {
      {"\xE8", false},
      {"\xE7", false},
      {"\xAC", false},
      {"\x93", false},
      {"\xE8\xE7\xAC\x93", false},
      {"\xE8n", false},
      {"\x93y", true},
      {"è", false},
      {"ç", false},
      {"ô", false},
      {"š", false},
      {"\xCE", false},
      {"υ", true},
      {"Υ", true},
      {"ύ", true},
      {"ϋ", true},
      {"y", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Visible(c.keys));
    MakeTree(root, {"f=x", "d/g"});
    RunOptions options = Options();
    options.input = c.keys;
    RunResult run = RunVakrun({"T:\\"}, options);
    EXPECT_EQ(run.status, 0);
    if (c.yes) {
      EXPECT_TRUE(run.out.starts_with(AsWritten(Echo + DriveRootQuestion + "Yes\r\n")))
          << Visible(run.out);
      EXPECT_EQ(ListTree(root), std::vector<std::string>{});
    } else {
      EXPECT_EQ(Visible(run.out), Visible(AsWritten(Echo + DriveRootQuestion + "No\r\n" +
                                                    Cleared() + "Deleted 0 files and 0 dirs\r\n")));
      EXPECT_EQ(ListTree(root), (std::vector<std::string>{"d/", "d/g", "f=x"}));
    }
  }
}

} // namespace
