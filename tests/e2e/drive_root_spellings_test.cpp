// However a drive's root is spelled (runs of separators, ".." back to it, a shell script's empty
// variables), the run asks before it erases the whole drive; and a run of separators inside a
// path is one separator, in what is erased and in the lines that name it. The drive is always
// the test's own T:, and every answer is "n".
#include <filesystem>

#include "harness.h"
#include "report_lines.h"

namespace {

class DriveRootSpellingsTest : public TempFolderTest {};

TEST_F(DriveRootSpellingsTest, EverySpellingOfTheRootAsks) {
  const std::vector<std::string> tree = {"f=x", "a/g=y", "a/b/h=z"};
  const std::string empty_a, empty_b; // `vakrun "T:/$A/$B/"` with both unset
  const std::string spellings[] = {
      "T:///",
      "T:\\\\\\",
      "t://",
      "T:/" + empty_a + "/" + empty_b + "/",
      "T:\\a\\..\\\\\\",
      "T:\\a\\\\..",
      "T://a//..//",
      "T:\\.\\\\",
      "T:/a/b/../..//",
      "T:a\\\\..",
      ".//",
      "a//..",
      "a\\b\\\\..\\\\..\\",
  };
  for (const std::string& spelling : spellings) {
    SCOPED_TRACE(spelling);
    MakeTree(root, tree);
    RunOptions options = Options();
    options.input = "n";
    RunResult run = RunVakrun({spelling}, options);
    EXPECT_EQ(Visible(run.out), Visible(AsWritten(StoppedAtTheDriveRoot())));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(ListTree(root), Sorted({"a/", "a/b/", "a/b/h=z", "a/g=y", "f=x"}));
  }
}

// A run of separators is one separator: ".." after it leaves the directory before it, and the
// report lines name each entry with single backslashes.
TEST_F(DriveRootSpellingsTest, SeparatorRunsInsideAPathAreOneSeparator) {
  struct Case {
    std::string target;
    std::vector<std::string> lines;
    std::vector<std::string> after;
  };
  const Case cases[] = {
      {"T:\\a\\\\b", {"Deleted T:\\a\\b\\h", "Removed T:\\a\\b"}, {"a/", "a/g=y", "f=x"}},
      {"T://a///b//", {"Deleted T:\\a\\b\\h", "Removed T:\\a\\b"}, {"a/", "a/g=y", "f=x"}},
      // ".." after a doubled separator climbs out of b, not only out of the empty name.
      {"T:\\a\\b\\\\..",
       {"Deleted T:\\a\\g", "Deleted T:\\a\\b\\h", "Removed T:\\a\\b", "Removed T:\\a"},
       {"f=x"}},
      {"a//b", {"Deleted T:\\a\\b\\h", "Removed T:\\a\\b"}, {"a/", "a/g=y", "f=x"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    MakeTree(root, {"f=x", "a/g=y", "a/b/h=z"});
    RunResult run = RunVakrun({c.target}, Options());
    EXPECT_EQ(ReportLines(run.out), Sorted(c.lines)) << Visible(run.out);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(ListTree(root), Sorted(c.after));
    for (const std::string& line : ShownLines(run.out))
      EXPECT_EQ(line.find("\\\\"), std::string::npos) << line;
    std::error_code error;
    std::filesystem::remove_all(Path("a"), error);
  }
}

} // namespace
