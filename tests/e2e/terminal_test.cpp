// The program in a pseudo-terminal: a question takes one key without Enter, nothing typed is
// echoed, a password shows as asterisks, and the terminal's modes are given back on every end,
// Ctrl-C included. The terminal turns each line end into "\r\r\n", so the screen is searched
// for pieces without line feeds rather than compared whole.
#include "harness.h"

#include <csignal>
#include <cstdlib>
#include <sys/stat.h>

namespace {

bool Shows(const TerminalRun& run, const std::string& text) {
  return run.screen.find(text) != std::string::npos;
}

class TerminalTest : public TempFolderTest {};

// Only ever at the root of the test's own drive T:.
TEST_F(TerminalTest, DriveRootQuestionTakesOneKeyWithoutEnter) {
  if (UnderEmulator())
    GTEST_SKIP() << "a pseudo-terminal shows wine's console drawing; tests/wine types these keys "
                    "into a wine console";
  MakeTree(root, {"f", "d/g"});
  TerminalRun run = RunInTerminal({"T:\\"}, {{"(y/N) ", "y"}}, Options());
  EXPECT_FALSE(run.timed_out);
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(Shows(run, "Are you sure you want to proceed? (y/N) Yes\r")) << Visible(run.screen);
  EXPECT_TRUE(Shows(run, "Deleted 2 files and 1 dir\r")) << Visible(run.screen);
  EXPECT_FALSE(Shows(run, "\a")) << "the bell is never written";
  EXPECT_TRUE(run.modes_restored);
  EXPECT_EQ(ListTree(root), std::vector<std::string>{});
}

// A subdirectory the user may not enter is refused with code 5, which leads to the DR-DOS
// password question. The first answer is typed, corrected and refused again; Esc then skips.
TEST_F(TerminalTest, PasswordShowsAsAsterisks) {
  if (UnderEmulator())
    GTEST_SKIP() << "a pseudo-terminal shows wine's console drawing; tests/wine types these keys "
                    "into a wine console";
  MakeTree(root, {"t/sub/f"});
  int uid = UnprivilegedUid();
  if (uid >= 0)
    ASSERT_EQ(std::system(
                  ("chown -R " + std::to_string(uid) + ":" + std::to_string(uid) + " " + Path("t"))
                      .c_str()),
              0);
  ASSERT_EQ(chmod(Path("t/sub").c_str(), 0600), 0);
  RunOptions options = Options();
  options.as_uid = uid;
  TerminalRun run = RunInTerminal({"t"},
                                  {{"password: ", "abc\x7f"
                                                  "d\r"},
                                   {"password: ", "\x1b"}},
                                  options);
  EXPECT_FALSE(run.timed_out);
  EXPECT_EQ(run.status, 1); // the directory was passed over
  const std::string question = "\rT:\\t\\SUB is password-protected.\r\r\n"
                               "Please enter new GLOBAL password: ";
  EXPECT_TRUE(Shows(run, question + "***\b \b*" + Cleared() + "\rWorking  " + question + Cleared() +
                             "\rWorking  " + Cleared() + "Skipped password-protected T:\\t\\sub\r"))
      << Visible(run.screen);
  EXPECT_FALSE(Shows(run, "abc")) << "typed keys are not echoed";
  EXPECT_FALSE(Shows(run, "abd"));
  EXPECT_TRUE(Shows(run, "Deleted 0 files and 0 dirs\r")) << Visible(run.screen);
  EXPECT_TRUE(run.modes_restored);
  chmod(Path("t/sub").c_str(), 0700);
  EXPECT_EQ(ListTree(root), (std::vector<std::string>{"t/", "t/sub/", "t/sub/f"}));
}

TEST_F(TerminalTest, CtrlCDuringAQuestionGivesTheTerminalBack) {
  if (UnderEmulator())
    GTEST_SKIP() << "a pseudo-terminal shows wine's console drawing; tests/wine types these keys "
                    "into a wine console";
  MakeTree(root, {"f=keep"});
  TerminalRun run = RunInTerminal({"T:\\"}, {{"(y/N) ", ""}}, Options(), SIGINT);
  EXPECT_FALSE(run.timed_out);
  EXPECT_EQ(run.status, 128 + SIGINT);
  EXPECT_TRUE(run.modes_restored);
  EXPECT_FALSE(Shows(run, " files and ")) << Visible(run.screen);
  EXPECT_EQ(ListTree(root), std::vector<std::string>{"f=keep"});
}

} // namespace
