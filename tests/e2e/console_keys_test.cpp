// Answers and keys through a pipe on standard input: the drive-root question (asked only for the
// test's own drive T:, never for a real root), Esc during the walk with its question, and other
// keys, which the walk reads one per check and drops. Scripted keys are all in the pipe before
// the program starts, so these tests also show that nothing typed ahead into a pipe is thrown
// away at start-up.
#include "../console/answer_keys.h"
#include "harness.h"
#include "report_lines.h"

namespace {

const std::string QuietEcho = Echo("Mask:*.*");

class ConsoleKeysTest : public TempFolderTest {};

// The keys are all there is on the input: a question that waits for more meets its end.
TEST_F(ConsoleKeysTest, DriveRootQuestionTakesOneKey) {
  for (const AnswerKeys& c : AnswerKeyCases) {
    SCOPED_TRACE(Visible(c.keys));
    MakeTree(root, {"f=x", "d/g"});
    RunOptions options = Options();
    options.input = c.keys;
    RunResult run = RunVakrun({"T:\\"}, options);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.find('\a'), std::string::npos) << "the bell is never written";
    if (c.yes) {
      EXPECT_TRUE(
          run.out.starts_with(AsWritten(Echo() + DriveRootQuestion() + "Yes\r\n" + Working)))
          << Visible(run.out);
      EXPECT_TRUE(run.out.ends_with(AsWritten(Summary("2 files and 1 dir")))) << Visible(run.out);
      EXPECT_EQ(ListTree(root), std::vector<std::string>{});
    } else {
      EXPECT_EQ(Visible(run.out), Visible(AsWritten(StoppedAtTheDriveRoot())));
      EXPECT_EQ(ListTree(root), (std::vector<std::string>{"d/", "d/g", "f=x"}));
    }
  }
}

// Each check of the walk reads at most one key (an arrow key's two codes count as one), so the
// Esc after k other keys is seen at the check before the (k+1)-th file.
TEST_F(ConsoleKeysTest, EscAndYesStopsWithTheCountsSoFar) {
  struct Case {
    std::string keys;
    int deleted;
  };
  const Case cases[] = {
      {"\x1by", 0}, {"x\x1bY", 1}, {"\x1b[A\x1by", 1}, {"xx\x1by", 2}, {"x\x1b[B\x1bυ", 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(Visible(c.keys));
    MakeTree(root, {"t/a", "t/b", "t/c"});
    RunOptions options = Options();
    options.input = c.keys;
    RunResult run = RunVakrun({"-d", "t"}, options);
    std::string counts = std::to_string(c.deleted) + (c.deleted == 1 ? " file" : " files");
    EXPECT_EQ(Visible(run.out),
              Visible(AsWritten(QuietEcho + Working + Spinner(c.deleted) + Cleared() + EscQuestion +
                                "Yes\r\n" + Summary(counts + " and 0 dirs"))));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(ListTree(root).size(), 1u + 3u - static_cast<unsigned>(c.deleted));
  }
}

TEST_F(ConsoleKeysTest, EscAndNoGoesOnWhereTheWalkWas) {
  for (const std::string& no : {"n", "\r", "\x1b", "\x1b[A"}) {
    SCOPED_TRACE(Visible(no));
    MakeTree(root, {"t/f", "t/sub/"});
    RunOptions options = Options();
    options.input = "\x1b" + no;
    RunResult run = RunVakrun({"t"}, options);
    EXPECT_EQ(Visible(run.out),
              Visible(AsWritten(Echo() + Working + Cleared() + EscQuestion + Cleared() + Working +
                                Spinner(1) + Shown("Deleted T:\\t\\f") + Working + Spinner(2, 1) +
                                Shown("Removed T:\\t\\sub") + Working + Spinner(1, 3) +
                                Shown("Removed T:\\t") + Working + Summary("1 file and 2 dirs"))));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(ListTree(root), std::vector<std::string>{});
  }
}

TEST_F(ConsoleKeysTest, OtherKeysDuringTheWalkChangeNothing) {
  const std::string expected = QuietEcho + Working + Spinner(4) + Summary("3 files and 1 dir");
  for (const std::string& keys : {"", "abc", "\r\r\r\r\r\r\r\r", "\x1b[A\x1b[B\x1bOP", "q"}) {
    SCOPED_TRACE(Visible(keys));
    MakeTree(root, {"t/a", "t/b", "t/c"});
    RunOptions options = Options();
    options.input = keys;
    RunResult run = RunVakrun({"-d", "t"}, options);
    EXPECT_EQ(Visible(run.out), Visible(AsWritten(expected)));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(ListTree(root), std::vector<std::string>{});
  }
}

} // namespace
