// Runs the built program on trees in temporary folders and captures the exact bytes it prints.
#pragma once

#include <filesystem>
#include <functional>
#include <linux/filter.h>
#include <string>
#include <sys/types.h>
#include <vector>

#include <gtest/gtest.h>

// The path of the built program under test.
std::string VakrunPath();

// The program under test is the Windows build, run by the emulator that VAKRUN_EMULATOR names
// (wine). Its drive T: is then a link in the wine prefix's dosdevices folder (WINEPREFIX).
bool UnderEmulator();

struct RunResult {
  std::string out; // standard output (or both streams, when merged)
  std::string err; // standard error (empty when merged)
  int status = -1; // exit status, or 128 + signal number
  bool timed_out = false;
  int calls = 0; // calls that can change a file the run entered, when traced (cut_at_call)
};

struct RunOptions {
  std::string input;            // bytes on standard input (a pipe, closed after them)
  bool no_input = false;        // standard input from /dev/null instead
  std::string cwd;              // working directory of the run
  bool cwd_removed = false;     // removed once the run is in it, before the program starts
  std::vector<std::string> env; // extra NAME=value entries
  bool merge = true;            // standard output and error into one pipe (2>&1)
  // Standard error (with standard output when merged) on a screen: a pseudo-terminal of 80
  // columns that passes the bytes as they are, so the progress line and its clearing are there.
  // Otherwise a pipe, which the program writes as a log. Under the emulator always a pipe: wine
  // draws its own console on a terminal.
  bool screen = !UnderEmulator();
  // Terminal runs: standard output or standard error into a file instead of the terminal.
  std::string output_file;
  std::string error_file;
  // The screen's width; and for terminal runs a start in the background (another process group
  // holds the terminal's foreground).
  int columns = 80;
  bool background = false;
  int as_uid = -1;    // run as this user (and its group) when >= 0
  int open_files = 0; // when > 0: the limit on open files, soft and hard (as "ulimit -n" sets it)
  // When >= 0: the run is traced and killed as it enters its system call number `cut_at_call`
  // (from 0) of those that can change a file or a folder (open, write, rename, a change of mode,
  // a sync ...), so that it leaves the files as every call before left them. Pipes only.
  int cut_at_call = -1;
  int timeout_seconds = 60;
  std::string program; // defaults to the built vakrun
};

RunResult RunVakrun(const std::vector<std::string>& args, const RunOptions& options = {});

// What a run's child needs to start the program, made before the fork: the child of a process
// with threads may call only async-signal-safe functions until it starts the program, so it
// allocates nothing. The words of the command line (the emulator first when there is one), the
// environment with the options' entries, the filter of a traced run, and what the child does
// before the start. Moved, never copied: the pointers lead into its own strings.
struct PreparedExec {
  PreparedExec() = default;
  PreparedExec(PreparedExec&&) = default;
  PreparedExec& operator=(PreparedExec&&) = default;

  std::vector<std::string> words;
  std::vector<char*> argv;
  std::vector<std::string> environment;
  std::vector<char*> envp;
  std::vector<sock_filter> filter;
  sock_fprog filter_program = {};
  std::string cwd;
  bool cwd_removed = false;
  int as_uid = -1;
  int open_files = 0;
  bool traced = false;
};
// `options.program` is not read: `program` is started.
PreparedExec PrepareExec(const std::string& program, const std::vector<std::string>& args,
                         const RunOptions& options);

// What a run's child does between fork and exec, once its standard streams are set: working
// directory, user, limits and tracing, then the program with its environment.
[[noreturn]] void ExecChild(const PreparedExec& exec);

// Starts `exec` in a child whose standard input and output are `input` and `output`, and its
// standard error `error` (the harness's own when it is -1), every other descriptor closed. The
// child's pid, or -1 when the fork failed.
pid_t StartChild(const PreparedExec& exec, int input, int output, int error);

// Runs the program with Esc waiting in a pipe, so that the first check of the walk asks whether
// to stop; once the question shows, `change` changes the tree and the answer "n" lets the run go
// on. The status is -2 when the question never came.
RunResult RunPausedAtEsc(const std::vector<std::string>& args, const RunOptions& options,
                         const std::function<void()>& change);

// A run in a pseudo-terminal: `keys` are typed one chunk at a time, each once the screen has
// shown `wait_for` after what the chunk before waited for (at once when it is empty). The run
// waits on what the program shows, never for a fixed time.
struct TypedKeys {
  std::string wait_for;
  std::string keys;
};
struct TerminalRun {
  std::string screen; // every byte the program wrote to the terminal
  int status = -1;
  bool modes_restored = false; // the terminal's modes after the run equal those before
  bool timed_out = false;
};
// `signal_after_keys`: SIGINT is typed as the terminal's interrupt character, any other signal
// is sent, right after the last chunk; to have the program take that chunk's keys first, end
// with a chunk that waits for what it shows then.
TerminalRun RunInTerminal(const std::vector<std::string>& args, const std::vector<TypedKeys>& keys,
                          const RunOptions& options = {}, int signal_after_keys = 0);

// Builds a tree under root. Entries: "dir/" for a directory, "file" for an empty file,
// "file=text" for a file with contents, "link->target" for a symbolic link.
void MakeTree(const std::string& root, const std::vector<std::string>& entries);

// `count` empty files f0, f1, ... in folder, which is made if need be.
void MakeFiles(const std::string& folder, int count);

// Every byte of a file; empty when it cannot be read.
std::string FileBytes(const std::string& path);

// Every entry under root, sorted, in the same notation ("d/", "f", "l->target"); files with
// contents are listed as "f=contents".
std::vector<std::string> ListTree(const std::string& root);

// A fresh temporary folder per test, which is also drive T: of the run (VAKRUN_DRIVES, or under
// wine a drive link of the prefix), and the run's working directory. Removed afterwards, whatever
// modes the test left in it.
class TempFolderTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;
  // Options with drive T: mapped to the folder and the folder as working directory.
  RunOptions Options() const;
  std::string Path(const std::string& relative) const { return root + "/" + relative; }
  std::filesystem::path Folder() const { return root; }
  std::string root;
};

// The mode bits (permissions and the set-id and sticky bits) of an entry, of a link itself; 0 for
// an entry that is not there.
unsigned ModeOf(const std::string& path);

// The line the console writes to clear the progress line: CR, 79 blanks, CR.
std::string Cleared();
// What a log keeps of a screen's bytes: no progress line, spinner or clearing, a carriage return
// only in a line end, and a line that a clearing cut short ended there.
std::string AsLog(const std::string& screen);
// The screen's bytes as a run with these options writes them: as they are on a screen, else as
// a log.
std::string AsWritten(const std::string& screen, const RunOptions& options = {});
// Makes control characters visible, for readable failure messages.
std::string Visible(const std::string& bytes);

// An unprivileged user id for tests that need permissions to count, or -1 when the tests do not
// run as root and are already unprivileged (then the current user is used). A run with this
// as_uid that cannot become the user ends with CouldNotBecomeUser.
int UnprivilegedUid();
constexpr int CouldNotBecomeUser = 125;
// A run with cut_at_call on a machine that lets no process trace its child ends with this.
constexpr int CouldNotTrace = 124;
// Gives a file, or a folder and everything in it (links as they are), to that user and its group;
// nothing when `uid` is -1. False when an entry could not be given.
bool GiveTo(const std::string& path, int uid);
