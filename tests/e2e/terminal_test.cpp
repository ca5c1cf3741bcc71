// The program in a pseudo-terminal: a question takes one key without Enter, nothing typed is
// echoed, a password shows as asterisks, and the terminal's modes are given back on every end,
// Ctrl-C included. The terminal turns each line end into "\r\r\n", so the screen is searched
// for pieces without line feeds rather than compared whole.
#include "harness.h"
#include "report_lines.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

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
  ASSERT_TRUE(GiveTo(Path("t"), uid));
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

std::size_t Count(const std::string& text, const std::string& piece) {
  std::size_t count = 0;
  for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
    ++count;
  return count;
}

// The terminal shows each line feed as a carriage return and a line feed.
std::string OnTerminal(const std::string& text) {
  std::string shown;
  for (char c : text)
    shown += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return shown;
}

const std::string Interrupted = "PROBLEM: User interrupt via CNTRL-BREAK\r";

// What a run stopped by an interrupt among the `files` files of `folder` (on drive T:) has done:
// erased some of them, not all, written a report line for each into `report`, and shown its
// summary and then the interrupt's PROBLEM line.
void ExpectStoppedInOrder(const TerminalRun& run, const std::string& report,
                          const std::string& root, const std::string& folder, int files) {
  std::size_t left = static_cast<std::size_t>(
      std::distance(std::filesystem::directory_iterator(root + "/" + folder),
                    std::filesystem::directory_iterator()));
  std::size_t erased = static_cast<std::size_t>(files) - left;
  EXPECT_GT(left, 0u) << "the run ended before the walk's end";
  EXPECT_EQ(Count(report, "\r\n"), erased) << "a line for every erased file";
  EXPECT_EQ(Count(report, "Deleted T:\\" + folder + "\\f"), erased);
  std::string counts = std::to_string(erased) + (erased == 1 ? " file" : " files") + " and 0 dirs";
  EXPECT_TRUE(Shows(run, "Deleted " + counts + "\r\r\n" + Cleared() + "\r" + Interrupted))
      << Visible(run.screen.substr(run.screen.size() > 400 ? run.screen.size() - 400 : 0));
}

// Ctrl-C, a quit, a kill or a hang-up ends the run in order: the summary of what was erased, the
// interrupt's PROBLEM line, the terminal's modes given back, a report line for every file that is
// gone (the report lines go to a file, which keeps all of them), and then the process ends by that
// very signal, as the system would have ended it.
TEST_F(TerminalTest, InterruptEndsTheRunInOrder) {
  if (UnderEmulator())
    GTEST_SKIP() << "a pseudo-terminal shows wine's console drawing; tests/wine sends these "
                    "interrupts into a wine console";
  struct Case {
    const char* name;
    int signal_number;
    std::vector<std::string> args;
    std::vector<TypedKeys> keys;
  };
  const int files = 10000;
  const Case cases[] = {
      {"Ctrl-C during the walk", SIGINT, {"t"}, {{"Working", ""}}},
      {"a kill during the walk", SIGTERM, {"t"}, {{"Working", ""}}},
      {"a hang-up during the walk", SIGHUP, {"t"}, {{"Working", ""}}},
      {"a quit during the walk", SIGQUIT, {"t"}, {{"Working", ""}}},
      {"Ctrl-C at the Esc question", SIGINT, {"t"}, {{"Working", "\x1b"}, {"(y/N) ", ""}}},
      {"a kill at the drive-root question", SIGTERM, {"T:\\"}, {{"(y/N) ", ""}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MakeFiles(Path("t"), files);
    RunOptions options = Options();
    options.output_file = Path("../" + std::filesystem::path(root).filename().string() + ".out");
    TerminalRun run = RunInTerminal(c.args, c.keys, options, c.signal_number);
    std::string report = FileBytes(options.output_file);
    std::filesystem::remove(options.output_file);
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.status, 128 + c.signal_number) << Visible(run.screen);
    EXPECT_TRUE(run.modes_restored);
    ExpectStoppedInOrder(run, report, root, "t", files);
    std::filesystem::remove_all(Path("t"));
  }
}

// A shell loop over two targets, stopped by Ctrl-C while the first is erased, stops there: the
// second target stays whole. The first run has written a line for every file it erased, its
// summary and the interrupt's PROBLEM line, and given the terminal its modes back. The shell ends
// by the interrupt too, as it does when rm is stopped so.
TEST_F(TerminalTest, CtrlCStopsAShellLoop) {
  if (UnderEmulator())
    GTEST_SKIP() << "wine hands a Linux shell only the low byte of the Windows status, as an "
                    "ordinary exit; tests/wine checks that status";
  const int files = 10000;
  MakeFiles(Path("big1"), files);
  MakeFiles(Path("big2"), 10);
  RunOptions options = Options();
  options.program = "/bin/bash";
  options.output_file = Path("../" + std::filesystem::path(root).filename().string() + ".out");
  TerminalRun run = RunInTerminal(
      {"-c", "for d in big1 big2; do \"$0\" \"$d\"; done; echo LOOP GOES ON", VakrunPath()},
      {{"Working", ""}}, options, SIGINT);
  std::string report = FileBytes(options.output_file);
  std::filesystem::remove(options.output_file);
  EXPECT_FALSE(run.timed_out);
  EXPECT_EQ(run.status, 128 + SIGINT) << Visible(run.screen);
  EXPECT_TRUE(run.modes_restored);
  EXPECT_EQ(ListTree(Path("big2")).size(), 10u) << "the loop went on to the second target";
  EXPECT_EQ(Count(run.screen, "Using option(s): "), 1u) << Visible(run.screen);
  EXPECT_FALSE(Shows(run, "LOOP GOES ON"));
  ExpectStoppedInOrder(run, report, root, "big1", files);
}

// With standard error in a file and keys typed at the terminal, a question and its answer are
// shown on the terminal too, and the file keeps them once, each line ended.
TEST_F(TerminalTest, QuestionsAreShownWhereTheKeysAreTyped) {
  if (UnderEmulator())
    GTEST_SKIP() << "tests/wine shows the questions in a wine console";
  const std::string echo = Echo();
  const std::string drive_root = AsLog(DriveRootQuestion());
  const std::string password = "T:\\T is password-protected.\r\n"
                               "Please enter new GLOBAL password: ";
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::vector<TypedKeys> keys;
    std::vector<std::string> screen; // pieces shown on the terminal, "\n" as the terminal has it
    std::string log;
  };
  const Case cases[] = {
      {"drive root, yes",
       {"T:\\"},
       {{"(y/N) ", "y"}},
       {"Are you sure you want to proceed? (y/N) Yes\r\r\n", "Deleted T:\\t\\f\r\r\n"},
       echo + drive_root + "Yes\r\nDeleted 1 file and 1 dir\r\n"},
      {"drive root, no",
       {"T:\\"},
       {{"(y/N) ", "n"}},
       {"You're about to ERASE EVERYTHING", "Are you sure you want to proceed? (y/N) No\r\r\n"},
       echo + drive_root + "No\r\nDeleted 0 files and 0 dirs\r\n"},
      {"password, typed then Esc",
       {"t"},
       {{"password: ", "ab\r"}, {"password: ", "\x1b"}},
       {OnTerminal(password) + "**\r\r\n", OnTerminal(password) + "\r\r\n"},
       echo + password + "\r\n" + password + "\r\nDeleted 0 files and 0 dirs\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MakeTree(root, {"t/f"});
    // An unreadable target asks for its password (code 5) when the run is not privileged.
    bool locked = c.args[0] == "t";
    int uid = UnprivilegedUid();
    if (locked) {
      ASSERT_EQ(chmod(Path("t").c_str(), 0600), 0);
      ASSERT_TRUE(GiveTo(Path("t"), uid));
    }
    RunOptions options = Options();
    options.as_uid = locked ? uid : -1;
    options.error_file = "/tmp/" + std::filesystem::path(root).filename().string() + ".err";
    TerminalRun run = RunInTerminal(c.args, c.keys, options);
    std::string log = FileBytes(options.error_file);
    std::filesystem::remove(options.error_file);
    EXPECT_FALSE(run.timed_out);
    // A target whose password was not given stays: the run passed it over.
    EXPECT_EQ(run.status, locked ? 1 : 0);
    EXPECT_TRUE(run.modes_restored);
    for (const std::string& piece : c.screen)
      EXPECT_TRUE(Shows(run, piece)) << Visible(piece) << " in\n" << Visible(run.screen);
    EXPECT_EQ(Visible(log), Visible(c.log));
    EXPECT_FALSE(Shows(run, "files and")) << "the summary stays in the file";
    chmod(Path("t").c_str(), 0700);
    std::filesystem::remove_all(Path("t"));
  }
}

// A run started in the background leaves the terminal's modes alone and runs to the end; it
// neither stops at its start nor takes keys from the terminal. Only a question waits for the
// foreground: the terminal stops the run there (the harness then ends it), with the question shown
// and nothing erased.
TEST_F(TerminalTest, BackgroundRunGoesToTheEnd) {
  if (UnderEmulator())
    GTEST_SKIP() << "job control is the Linux build's";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string shown;
    std::size_t left;
  };
  const Case cases[] = {
      {{"t"}, 0, "Deleted 2 files and 2 dirs\r", 0},
      {{"-D", "-F", "t"}, 0, "Deleted 2 files and 0 dirs\r", 2},
      {{"T:\\"}, 128 + SIGTTOU, "Are you sure you want to proceed? (y/N) ", 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0]);
    MakeTree(root, {"t/f", "t/d/g"});
    RunOptions options = Options();
    options.background = true;
    TerminalRun run = RunInTerminal(c.args, {}, options);
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.status, c.status) << "128 + SIGTTOU: stopped in the background";
    EXPECT_TRUE(run.modes_restored);
    EXPECT_TRUE(Shows(run, c.shown)) << Visible(run.screen);
    EXPECT_EQ(ListTree(root).size(), c.left);
    std::filesystem::remove_all(Path("t"));
  }
}

// The echo line and "Working" are on the screen at once, before the walk has written anything
// else (the files of "sub" do not match). Esc is typed as soon as "Working" shows; the question it
// brings proves that the walk was still going.
TEST_F(TerminalTest, WorkingIsShownAtOnce) {
  if (UnderEmulator())
    GTEST_SKIP() << "tests/wine watches a wine console for this";
  MakeFiles(Path("t/sub"), 40000);
  MakeTree(root, {"t/a.xyz"});
  TerminalRun run =
      RunInTerminal({"-F", "-M*.XYZ", "t"},
                    {{"Working  ", "\x1b"}, {"terminate program? (y/N) ", "y"}}, Options());
  EXPECT_FALSE(run.timed_out);
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(Shows(run, "terminate program? (y/N) Yes\r")) << Visible(run.screen);
  EXPECT_GT(ListTree(Path("t/sub")).size(), 0u);
}

// A log (standard error to a pipe or a file) keeps the echo line, the questions, the report
// lines, the summary and the PROBLEM lines, each once and ended with CR LF: no progress line, no
// spinner, no clearing. It is what the screen shows once the overwritten text is taken away.
TEST_F(TerminalTest, LogKeepsEachLineOnce) {
  const std::string echo = Echo();
  const std::string esc = EscQuestion;
  const std::string erased =
      "Deleted T:\\t\\f\r\nRemoved T:\\t\\sub\r\nRemoved T:\\t\r\nDeleted 1 file and 2 dirs\r\n";
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string keys;
    std::string log;
  };
  const Case cases[] = {
      {"a whole run", {"t"}, "", echo + erased},
      {"Esc, then no", {"t"}, "\x1bn", echo + esc + "\r\n" + erased},
      {"Esc, then yes", {"t"}, "\x1by", echo + esc + "Yes\r\nDeleted 0 files and 0 dirs\r\n"},
      {"a problem",
       {"nothere"},
       "",
       echo + "Deleted 0 files and 0 dirs\r\nPROBLEM: Unable to change to T:\\nothere\r\n"},
      {"the drive-root question",
       {"-D", "T:\\"},
       "n",
       AsLog(Echo("Mask:*.*") + DriveRootQuestion()) + "No\r\nDeleted 0 files and 0 dirs\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string shown[2];
    for (bool screen : {false, true}) {
      if (screen && UnderEmulator())
        continue;
      MakeTree(root, {"t/f", "t/sub/"});
      RunOptions options = Options();
      options.input = c.keys;
      options.screen = screen;
      RunResult run = RunVakrun(c.args, options);
      EXPECT_EQ(run.status, c.name == std::string("a problem") ? 1 : 0);
      shown[screen] = run.out;
      std::filesystem::remove_all(Path("t"));
    }
    EXPECT_EQ(Visible(shown[0]), Visible(c.log));
    if (!UnderEmulator())
      EXPECT_EQ(Visible(AsLog(shown[1])), Visible(shown[0]));
  }
}

// Below 80 columns a line is cleared with one blank less than the width, so that no clearing
// runs onto the next row; at 80 and wider it takes 79 blanks.
TEST_F(TerminalTest, ClearingFitsANarrowScreen) {
  if (UnderEmulator())
    GTEST_SKIP() << "tests/wine runs this in a narrow wine console";
  for (int columns : {40, 60, 79, 80, 132}) {
    SCOPED_TRACE(columns);
    MakeTree(root, {"t/f"});
    RunOptions options = Options();
    options.columns = columns;
    RunResult run = RunVakrun({"t"}, options);
    const std::string cleared = "\r" + std::string(std::min(columns, 80) - 1, ' ') + "\r";
    EXPECT_EQ(Visible(run.out),
              Visible(AsWritten(Echo() + Working + Spinner(1) + cleared + "Deleted T:\\t\\f\r\n" +
                                Working + Spinner(1, 1) + cleared + "Removed T:\\t\r\n" + Working +
                                cleared + "Deleted 1 file and 1 dir\r\n")));
    EXPECT_EQ(run.status, 0);
  }
}

} // namespace
