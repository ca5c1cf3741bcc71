// The spine of a run: the target is found and resolved, a bad drive, an unknown drive and a
// missing directory each end after the summary with their "PROBLEM: " line and status 1, and
// the drive table is checked before anything else happens.
#include "harness.h"
#include "report_lines.h"

namespace {

class SpineTest : public TempFolderTest {};

TEST_F(SpineTest, TargetsThatCannotBeEnteredEndAfterTheSummary) {
  struct Case {
    std::string target;
    std::string message;
  };
  const Case cases[] = {
      {"missing", "Unable to change to T:\\missing"},
      {"t:/missing/deeper/", "Unable to change to T:\\missing\\deeper"},
      {"\\\\server\\share\\dir", "Invalid drive specified"},
      {"//server/share", "Invalid drive specified"},
      {"Q:\\anything", "Cannot log to drive Q:"},
      {"q:relative", "Cannot log to drive Q:"},
      {"file", "Unable to change to T:\\file"},
  };
  MakeTree(root, {"file=keep"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    RunResult run = RunVakrun({c.target}, Options());
    EXPECT_EQ(Visible(run.out), Visible(AsWritten(Echo() + NoneDeleted() + Problem(c.message))));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(ListTree(root), std::vector<std::string>{"file=keep"});
  }
}

TEST_F(SpineTest, TargetResolvesToAFullDrivePath) {
  MakeTree(root, {"Work/Old/"});
  RunOptions options = Options();
  options.cwd = Path("Work");
  RunResult run = RunVakrun({"t:../Work/./Old/"}, options);
  EXPECT_EQ(Visible(run.out),
            Visible(AsWritten(Echo() + Working + Spinner(1) + Shown("Removed T:\\Work\\Old") +
                              Working + Summary("0 files and 1 dir"))));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(ListTree(root), std::vector<std::string>{"Work/"});
}

TEST_F(SpineTest, MalformedDriveTableIsRefusedBeforeAnythingElse) {
  if (UnderEmulator())
    GTEST_SKIP() << "the drive table (VAKRUN_DRIVES) is the Linux build's; wine has its own drives";
  MakeTree(root, {"t/f"});
  for (const std::string& table : {"T", "T=relative/dir", "TT=/tmp", "1=/tmp", "T=/a;T=/b"}) {
    SCOPED_TRACE(table);
    RunOptions options = Options();
    options.env = {"VAKRUN_DRIVES=" + table};
    RunResult run = RunVakrun({"t"}, options);
    EXPECT_TRUE(run.out.starts_with(AsWritten(ProblemStart("VAKRUN_DRIVES")))) << Visible(run.out);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(ListTree(root), (std::vector<std::string>{"t/", "t/f"}));
  }
}

} // namespace
