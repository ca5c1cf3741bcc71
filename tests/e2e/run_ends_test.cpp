// How a run ends, what the user sees last and the exit status: 0 for a run that did its work or
// was stopped by the user, 1 for every run that ends with a "PROBLEM: " line. Also the 64-bit
// tally and which stream each line goes to. (Targets that cannot be entered are in
// spine_test.cpp; the drive-root "No" and the stop after Esc in console_keys_test.cpp; the usage
// screen and the option errors in usage_options_test.cpp; a tree nested too deep in
// walk_options_test.cpp.)
#include "harness.h"
#include "report_lines.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class RunEndsTest : public TempFolderTest {};

// A target the user may not enter is refused with code 5, which the program takes for a DR-DOS
// password. No answer (the end of the input reads as Esc), or -W, skips it.
TEST_F(RunEndsTest, ProtectedTargetWithoutPasswordEndsAfterTheSummary) {
  if (UnderEmulator())
    GTEST_SKIP() << "runs as another user, which a wine prefix does not allow";
  MakeTree(root, {"locked/in/f"});
  int uid = UnprivilegedUid();
  ASSERT_TRUE(GiveTo(Path("locked"), uid));
  ASSERT_EQ(chmod(Path("locked").c_str(), 0600), 0);
  RunOptions options = Options();
  options.as_uid = uid;

  const std::string skipped =
      Shown("Skipped password-protected T:\\locked") + Working + NoneDeleted();
  RunResult asked = RunVakrun({"locked"}, options);
  EXPECT_EQ(Visible(asked.out), Visible(AsWritten(Echo() +
                                                  "\rT:\\LOCKED is password-protected.\r\n"
                                                  "Please enter new GLOBAL password: " +
                                                  Cleared() + Working + skipped)));
  EXPECT_EQ(asked.status, 1); // the target stays

  RunResult not_asked = RunVakrun({"-w", "locked"}, options);
  EXPECT_EQ(Visible(not_asked.out),
            Visible(AsWritten(Echo("SkipPasswords ShowDeleted Mask:*.*") + skipped)));
  EXPECT_EQ(not_asked.status, 1);

  chmod(Path("locked").c_str(), 0700);
  EXPECT_EQ(ListTree(root), (std::vector<std::string>{"locked/", "locked/in/", "locked/in/f"}));
}

// The per-entry report lines go to standard output, everything else to standard error; merged,
// the two keep their order.
TEST_F(RunEndsTest, NormalEndAndTheTwoStreams) {
  const std::string report = "Deleted T:\\t\\f\r\nRemoved T:\\t\\sub\r\nRemoved T:\\t\r\n";
  MakeTree(root, {"t/f", "t/sub/"});
  RunResult merged = RunVakrun({"t"}, Options());
  EXPECT_EQ(
      Visible(merged.out),
      Visible(AsWritten(Echo() + Working + Spinner(1) + Shown("Deleted T:\\t\\f") + Working +
                        Spinner(2, 1) + Shown("Removed T:\\t\\sub") + Working + Spinner(1, 3) +
                        Shown("Removed T:\\t") + Working + Summary("1 file and 2 dirs"))));
  EXPECT_EQ(merged.status, 0);

  MakeTree(root, {"t/f", "t/sub/"});
  RunOptions options = Options();
  options.merge = false;
  RunResult split = RunVakrun({"t"}, options);
  EXPECT_EQ(Visible(split.out), Visible(AsWritten(report)));
  std::string rest = merged.out;
  for (const char* line : {"Deleted T:\\t\\f\r\n", "Removed T:\\t\\sub\r\n", "Removed T:\\t\r\n"})
    rest.erase(rest.find(line), std::string(line).size());
  EXPECT_EQ(Visible(split.err), Visible(AsWritten(rest)));
  EXPECT_EQ(split.status, 0);
  EXPECT_EQ(ListTree(root), std::vector<std::string>{});
}

// A report line that cannot be written (a full disk, a reader that went away) ends the run in
// order: the summary, then the problem, status 1. The lost line is never passed over in silence,
// and a closed pipe does not kill the run.
TEST_F(RunEndsTest, ReportLinesThatCannotBeWrittenEndTheRun) {
  if (UnderEmulator())
    GTEST_SKIP() << "redirects the Linux program's standard output in a shell";
  struct Case {
    std::string name;
    std::string output; // where the shell sends standard output
    int files;
  };
  const Case cases[] = {
      {"a full disk", ">/dev/full", 3},
      // More lines than a pipe holds, so that writes come after the reader has gone.
      {"a closed pipe", "| head -3 >/dev/null", 3000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> tree = {"t/"};
    for (int i = 0; i < c.files; ++i)
      tree.push_back("t/a-file-with-a-rather-long-name-" + std::to_string(i));
    MakeTree(root, tree);
    RunOptions options = Options();
    options.merge = false;
    options.program = "/bin/bash";
    RunResult run =
        RunVakrun({"-c", "set -o pipefail; \"$0\" t " + c.output, VakrunPath()}, options);
    EXPECT_EQ(run.status, 1);
    std::vector<std::string> shown = ShownLines(run.err);
    ASSERT_GE(shown.size(), 2u) << Visible(run.err);
    EXPECT_TRUE(IsSummaryLine(shown[shown.size() - 2])) << Visible(run.err);
    EXPECT_EQ(shown.back(), "PROBLEM: Problem writing to disk");
    std::filesystem::remove_all(Path("t"));
  }
}

// The tally is 64-bit: more than 65,535 erased files are counted in full.
TEST_F(RunEndsTest, TallyCountsPastSixtyFiveThousand) {
  if (UnderEmulator())
    GTEST_SKIP()
        << "70,000 files take over a minute under wine; the tally is the same code in both builds";
  MakeTree(root, {"many/"});
  const int files = 70000;
  for (int i = 0; i < files; ++i) {
    int fd = open(Path("many/" + std::to_string(i)).c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    close(fd);
  }
  RunResult run = RunVakrun({"-d", "many"}, Options());
  EXPECT_TRUE(run.out.ends_with(AsWritten(Summary("70000 files and 1 dir"))))
      << Visible(run.out.substr(run.out.size() > 300 ? run.out.size() - 300 : 0));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(ListTree(root), std::vector<std::string>{});
}

} // namespace
