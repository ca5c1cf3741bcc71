// The Windows program in a real wine console: the questions read single key events, Esc and the
// arrow keys arrive as wine sends them, a password shows as asterisks, and the console writer's
// text lands in the window, scrolling it when it runs past the last row. Each run is started in a
// tmux session of its own, whose screen is read back with capture-pane.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "harness.h"
#include "report_lines.h"

namespace {

namespace fs = std::filesystem;

std::string Quoted(const std::string& word) {
  std::string quoted = "'";
  for (char c : word)
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string Output(const std::string& command) {
  std::string text;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr)
    return text;
  char buffer[4096];
  std::size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0)
    text.append(buffer, got);
  pclose(pipe);
  return text;
}

// A tmux server of the test's own, with one window of 80 by 25 cells.
class ConsoleTest : public TempFolderTest {
protected:
  void SetUp() override {
    if (!UnderEmulator())
      GTEST_SKIP() << "the console of the Windows program needs wine (VAKRUN_EMULATOR)";
    if (std::system("command -v tmux >/dev/null") != 0)
      GTEST_SKIP() << "tmux is not installed";
    TempFolderTest::SetUp();
    static int servers = 0;
    tmux = "tmux -L vakrun-wine-" + std::to_string(getpid()) + "-" + std::to_string(++servers);
    // An idle session keeps the server up while the runs' sessions come and go.
    ASSERT_EQ(std::system((tmux + " new-session -d -s idle 'sleep 3600'").c_str()), 0);
  }

  void TearDown() override {
    if (!tmux.empty())
      std::system((tmux + " kill-server 2>/dev/null").c_str());
    TempFolderTest::TearDown();
  }

  // Starts the program in the folder; the shell writes its exit status after it. `redirect` is
  // shell text after the command ("2>err.log"); the window is `columns` by `rows` cells.
  void Start(const std::vector<std::string>& args, const std::string& program = VakrunPath(),
             const std::string& redirect = "", int columns = 80, int rows = 25) {
    std::string command = "cd " + Quoted(root) + " && " + Quoted(std::getenv("VAKRUN_EMULATOR")) +
                          " " + Quoted(program);
    for (const std::string& arg : args)
      command += " " + Quoted(arg);
    command += " " + redirect + "; echo STATUS=$?; sleep 600";
    Stop();
    terminal_is_raw = false;
    ASSERT_EQ(std::system((tmux + " new-session -d -s run -x " + std::to_string(columns) + " -y " +
                           std::to_string(rows) + " " + Quoted(command))
                              .c_str()),
              0);
  }

  // Ends the run, if it is still going, with its window.
  void Stop() { std::system((tmux + " kill-session -t run 2>/dev/null").c_str()); }

  // The window's rows, without trailing blanks; with `history`, the scrollback's rows first.
  std::vector<std::string> Rows(bool history = false) {
    std::vector<std::string> rows;
    std::istringstream lines(
        Output(tmux + " capture-pane -p " + (history ? "-S - " : "") + "-t run"));
    for (std::string line; std::getline(lines, line);) {
      line.erase(line.find_last_not_of(' ') + 1);
      rows.push_back(line);
    }
    return rows;
  }

  std::string Screen() {
    std::string screen;
    for (const std::string& row : Rows())
      screen += row + "\n";
    return screen;
  }

  // Waits until the screen shows the text; false after the time is up. The screen has no
  // blanks at the ends of its rows, so the text's own are not looked for.
  bool WaitFor(std::string text, int seconds = 30) {
    text.erase(text.find_last_not_of(' ') + 1);
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < until) {
      if (Screen().find(text) != std::string::npos)
        return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  // Wine's console host turns the terminal's echo off from a thread of its own, which under load
  // can come after the first text is on the screen; a key typed before then is echoed by the
  // terminal itself, as it would be for a person typing that early. The tests type once it is off.
  bool WaitForRawTerminal(int seconds = 30) {
    std::string tty = Output(tmux + " display-message -p -t run '#{pane_tty}'");
    tty.erase(tty.find_last_not_of('\n') + 1);
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < until) {
      if (std::system(("stty -a -F " + Quoted(tty) + " | grep -qw -- -echo").c_str()) == 0)
        return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  // Keys by tmux's names ("y", "Escape", "Right", "BSpace", "Enter").
  void Type(const std::string& key) {
    if (!terminal_is_raw) {
      terminal_is_raw = WaitForRawTerminal();
      EXPECT_TRUE(terminal_is_raw) << "the terminal still echoes what is typed";
    }
    std::system((tmux + " send-keys -t run " + Quoted(key)).c_str());
  }

  int Status() {
    EXPECT_TRUE(WaitFor("STATUS=", 60)) << Screen();
    std::string screen = Screen();
    std::size_t at = screen.find("STATUS=");
    return at == std::string::npos ? -1 : std::atoi(screen.c_str() + at + 7);
  }

  std::string tmux;
  bool terminal_is_raw = false;
};

const std::string Question = "Are you sure you want to proceed? (y/N) ";

TEST_F(ConsoleTest, DriveRootQuestionTakesOneKey) {
  struct Case {
    std::string key;
    bool yes;
  };
  // The key's Unicode character decides, not the console's byte: in code page 437 "ô" is the
  // byte 0x93, the code page 737 capital upsilon, and "υ" has no byte at all.
  const Case cases[] = {{"y", true},      {"Y", true},      {"n", false},  {"Escape", false},
                        {"Enter", false}, {"Right", false}, {"F1", false}, {"ô", false},
                        {"š", false},     {"υ", true},      {"Υ", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    MakeTree(root, {"f=x", "d/g"});
    Start({"T:\\"});
    ASSERT_TRUE(WaitFor(Question)) << Screen();
    Type(c.key);
    EXPECT_EQ(Status(), 0);
    std::string screen = Screen();
    if (c.yes) {
      EXPECT_NE(screen.find(Question + "Yes\nDeleted T:\\f\n"), std::string::npos) << screen;
      EXPECT_NE(screen.find("\nDeleted 2 files and 1 dir\n"), std::string::npos) << screen;
      EXPECT_EQ(ListTree(root), std::vector<std::string>{});
    } else {
      EXPECT_NE(screen.find(Question + "No\nDeleted 0 files and 0 dirs\nSTATUS=0"),
                std::string::npos)
          << screen;
      EXPECT_EQ(ListTree(root), (std::vector<std::string>{"d/", "d/g", "f=x"}));
    }
    fs::remove_all(Path("d"));
    fs::remove_all(Path("f"));
  }
}

TEST_F(ConsoleTest, EscDuringTheWalkAsksWhetherToStop) {
  const std::string stop = EscQuestion;
  const int files = 3000;
  for (const std::string answer : {"y", "n"}) {
    SCOPED_TRACE(answer);
    fs::create_directory(Path("t"));
    for (int i = 0; i < files; ++i)
      std::fclose(std::fopen(Path("t/f" + std::to_string(i)).c_str(), "w"));
    Start({"-D", "t"});
    ASSERT_TRUE(WaitFor("Working")) << Screen();
    Type("Escape");
    ASSERT_TRUE(WaitFor(stop)) << Screen();
    Type(answer);
    EXPECT_EQ(Status(), 0);
    std::string screen = Screen();
    if (answer == "y") {
      EXPECT_NE(screen.find(stop + "Yes\nDeleted "), std::string::npos) << screen;
      EXPECT_GT(ListTree(root).size(), 1u) << "the run stopped before the end";
    } else {
      EXPECT_NE(screen.find("Deleted 3000 files and 1 dir\n"), std::string::npos) << screen;
      EXPECT_EQ(ListTree(root), std::vector<std::string>{});
    }
    Stop();
    std::error_code error;
    fs::remove_all(Path("t"), error);
  }
}

// A running program cannot be erased, which the walk takes for a password-protected file: a copy
// of the program erasing its own folder asks for the password.
TEST_F(ConsoleTest, PasswordShowsAsAsterisksAndEscSkipsTheFile) {
  const std::string asks = "Please enter new GLOBAL password: ";
  MakeTree(root, {"t/a"});
  fs::copy_file(VakrunPath(), Path("t/vakrun.exe"));
  Start({"t"}, Path("t/vakrun.exe"));
  ASSERT_TRUE(WaitFor(asks)) << Screen();
  EXPECT_NE(Screen().find("T:\\t\\VAKRUN.EXE is password-protected.\n"), std::string::npos)
      << Screen();
  for (const char* key : {"s", "e", "c", "BSpace", "r", "Right", "t"})
    Type(key);
  // The backspace took one character away; an arrow key is two codes, of which only the second
  // shows an asterisk.
  EXPECT_TRUE(WaitFor(asks + "*****\n", 5)) << Screen();
  Type("Escape");
  EXPECT_EQ(Status(), 1); // the file was passed over
  std::string screen = Screen();
  EXPECT_NE(screen.find("Skipped password-protected T:\\t\\vakrun.exe\n"), std::string::npos)
      << screen;
  EXPECT_NE(screen.find("Could not remove non-empty directory T:\\t\n"), std::string::npos)
      << screen;
  EXPECT_EQ(ListTree(root).size(), 2u) << "only the running copy and its folder stay";
}

// More lines than the window has rows: the window scrolls, and the last line is the summary.
TEST_F(ConsoleTest, TextPastTheLastRowScrollsTheWindow) {
  std::vector<std::string> tree;
  for (int i = 10; i < 50; ++i)
    tree.push_back("t/file" + std::to_string(i));
  MakeTree(root, tree);
  Start({"t"});
  EXPECT_EQ(Status(), 0);
  std::vector<std::string> rows = Rows();
  ASSERT_EQ(rows.size(), 25u);
  EXPECT_EQ(rows[22], "Deleted 40 files and 1 dir");
  EXPECT_EQ(rows[23], "STATUS=0");
  EXPECT_EQ(rows[21], "Removed T:\\t");
  EXPECT_TRUE(rows[0].starts_with("Deleted T:\\t\\file")) << Screen();
  EXPECT_EQ(ListTree(root), std::vector<std::string>{});
}

// Ctrl-C ends the run in order: the summary of what was erased, the interrupt's PROBLEM line, a
// report line in the file for every file that is gone, and then the status of a process ended by
// Ctrl-C, 0xC000013A, of which wine hands the Linux shell the low byte, 58.
TEST_F(ConsoleTest, CtrlCEndsTheRunInOrder) {
  constexpr int ControlCExitLowByte = 0x3A;
  struct Case {
    const char* name;
    bool at_question;
  };
  const int files = 3000;
  for (const Case& c : {Case{"during the walk", false}, Case{"at the Esc question", true}}) {
    SCOPED_TRACE(c.name);
    MakeFiles(Path("t"), files);
    Start({"t"}, VakrunPath(), ">out.txt");
    ASSERT_TRUE(WaitFor("Working")) << Screen();
    if (c.at_question) {
      Type("Escape");
      ASSERT_TRUE(WaitFor("(y/N)")) << Screen();
    }
    Type("C-c");
    EXPECT_EQ(Status(), ControlCExitLowByte);
    std::size_t left = ListTree(Path("t")).size();
    std::size_t erased = files - left;
    EXPECT_GT(left, 0u) << "the run ended before the walk's end";
    std::string report = FileBytes(Path("out.txt"));
    std::size_t lines = 0;
    for (std::size_t at = report.find("Deleted T:\\t\\f"); at != std::string::npos;
         at = report.find("Deleted T:\\t\\f", at + 1))
      ++lines;
    EXPECT_EQ(lines, erased);
    std::string screen = Screen();
    EXPECT_NE(screen.find("Deleted " + std::to_string(erased) +
                          " files and 0 dirs\nPROBLEM: User interrupt via CNTRL-BREAK\nSTATUS=58"),
              std::string::npos)
        << screen;
    Stop();
    fs::remove_all(Path("t"));
    fs::remove(Path("out.txt"));
  }
}

// With standard error in a file, a question and its answer are shown in the console the keys are
// typed at, and the file keeps them once.
TEST_F(ConsoleTest, QuestionsAreShownWhereTheKeysAreTyped) {
  for (const std::string answer : {"y", "n"}) {
    SCOPED_TRACE(answer);
    MakeTree(root, {"d/f"});
    // Beside the folder: the run erases its drive T:.
    const std::string log = root + ".err";
    Start({"-D", "T:\\"}, VakrunPath(), "2>" + Quoted(log));
    ASSERT_TRUE(WaitFor(Question)) << Screen();
    EXPECT_NE(Screen().find("ERASE EVERYTHING using above option(s) on drive T:\n"),
              std::string::npos)
        << Screen();
    Type(answer);
    EXPECT_EQ(Status(), 0);
    std::string word = answer == "y" ? "Yes" : "No";
    EXPECT_NE(Screen().find(Question + word + "\n"), std::string::npos) << Screen();
    EXPECT_EQ(Visible(FileBytes(log)),
              Visible(AsLog(Echo("Mask:*.*") + DriveRootQuestion() + word + "\r\n" +
                            Summary(answer == "y" ? "1 file and 1 dir" : "0 files and 0 dirs"))));
    Stop();
    fs::remove_all(Path("d"));
    fs::remove(log);
  }
}

// The line clearing fits a console narrower than 80 columns: no report line is followed by an
// empty row. At 80 columns nothing changes.
TEST_F(ConsoleTest, ClearingFitsANarrowConsole) {
  for (int columns : {50, 80}) {
    SCOPED_TRACE(columns);
    MakeTree(root, {"t/a", "t/b", "t/c"});
    Start({"t"}, VakrunPath(), "", columns);
    EXPECT_EQ(Status(), 0);
    std::vector<std::string> rows = Rows();
    std::size_t first = 0;
    while (first < rows.size() && !rows[first].starts_with("Deleted T:"))
      ++first;
    ASSERT_LT(first + 5, rows.size()) << Screen();
    for (std::size_t i = first; i < first + 3; ++i)
      EXPECT_TRUE(rows[i].starts_with("Deleted T:\\t\\")) << Screen();
    EXPECT_EQ(rows[first + 3], "Removed T:\\t") << Screen();
    EXPECT_EQ(rows[first + 4], "Deleted 3 files and 1 dir") << Screen();
    Stop();
  }
}

// What waits to be shown reaches the window within a moment even when nothing new is written:
// "Working" at the start, and the report line of the one matching file before a long stretch of
// directories that hold nothing to erase (each one entered, which keeps the walk going for
// seconds even on the fast layer). Esc is typed as soon as the text shows; the question it brings
// proves that the walk was still going.
TEST_F(ConsoleTest, WaitingTextIsShownWhileTheWalkGoesOn) {
  fs::create_directories(Path("t/sub"));
  for (int i = 0; i < 20000; ++i)
    fs::create_directory(Path("t/sub/d" + std::to_string(i)));
  for (const std::string shown : {"Working", "Deleted T:\\t\\a.xyz"}) {
    SCOPED_TRACE(shown);
    MakeTree(root, {"t/a.xyz"});
    Start({"-F", "-M*.XYZ", "t"});
    ASSERT_TRUE(WaitFor(shown, 60)) << Screen();
    Type("Escape");
    ASSERT_TRUE(WaitFor("terminate program? (y/N)")) << Screen();
    Type("y");
    EXPECT_EQ(Status(), 0);
    EXPECT_NE(Screen().find("(y/N) Yes\nDeleted 1 file and 0 dirs\n"), std::string::npos)
        << Screen();
    Stop();
  }
}

// Lines that leave the window stay in the console's scrollback, each as it was shown.
TEST_F(ConsoleTest, ScrollbackKeepsEveryLine) {
  std::vector<std::string> tree;
  for (int i = 100; i < 220; ++i)
    tree.push_back("t/file" + std::to_string(i));
  MakeTree(root, tree);
  Start({"t"}, VakrunPath(), "", 80, 30);
  EXPECT_EQ(Status(), 0);
  std::vector<std::string> rows = Rows(true);
  std::set<std::string> shown;
  for (const std::string& row : rows)
    if (row.starts_with("Deleted T:\\t\\file"))
      shown.insert(row);
  EXPECT_EQ(shown.size(), 120u) << Visible(Output(tmux + " capture-pane -p -S - -t run"));
  EXPECT_EQ(ListTree(root), std::vector<std::string>{});
}

} // namespace
