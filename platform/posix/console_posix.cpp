// Only code for POSIX systems: the two output streams, the arguments and the end of the process.
//
// The per-entry report lines go to standard output, all other text to standard error. When both
// lead to the same file or terminal they share one sink, so their text stays in order; the text
// waits as platform/console/output_queue.h says.
//
// Standard error that is no terminal is a log. A question is then also shown on the terminal the
// keys come from (the controlling terminal), so that nobody waits on a blank screen.
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <limits.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/console.h"
#include "platform/console/output_queue.h"
#include "platform/console/process.h"
#include "platform/console/statement_output.h"
#include "platform/dos/result_codes.h"
#include "platform/posix/names.h"
#include "platform/posix/paths.h"
#include "platform/posix/terminal.h"

namespace {

const int sink_fd[2] = {2, 1};

bool console_is_screen = false;
int keyboard_fd = -1; // where questions are shown when standard error is a log

bool SameFile(int a, int b) {
  struct stat first, second;
  return fstat(a, &first) == 0 && fstat(b, &second) == 0 && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
}

std::vector<std::string> arguments;
std::vector<std::string> raw_arguments; // as the shell gave them
std::string program_path;

} // namespace

std::int64_t OutputClockNs() {
  std::timespec now;
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  return now.tv_sec * std::int64_t{1'000'000'000} + now.tv_nsec;
}

// Names mapped into the DOS namespace are shown with their own Linux bytes; the bell is never
// written.
void AppendShown(std::string& buffer, std::string_view text) {
  if (text.find('\a') == std::string_view::npos && IsPlainText(text)) {
    buffer += text;
    return;
  }
  std::string shown = DecodeName(text);
  for (char c : shown)
    if (c != '\a')
      buffer += c;
}

bool WriteSink(int sink, std::string_view bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t written = write(sink_fd[sink], bytes.data() + done, bytes.size() - done);
    if (written < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    done += static_cast<std::size_t>(written);
  }
  return true;
}

bool ConsoleIsScreen() {
  return console_is_screen;
}

int ConsoleColumns() {
  struct winsize size;
  if (!console_is_screen || ioctl(2, TIOCGWINSZ, &size) != 0)
    return 0;
  return size.ws_col;
}

void ShowOnKeyboard(std::string_view text) {
  if (keyboard_fd < 0)
    return;
  std::string shown;
  AppendShown(shown, text);
  std::size_t done = 0;
  while (done < shown.size()) {
    ssize_t written = write(keyboard_fd, shown.data() + done, shown.size() - done);
    if (written < 0 && errno == EINTR)
      continue;
    if (written <= 0)
      return; // a terminal that hung up
    done += static_cast<std::size_t>(written);
  }
}

void EndProcess(int status) {
  FlushOutput();
  RestoreTerminal();
  if (int signal_number = UserInterruptCause()) {
    // Ended by the signal itself, as the system would have ended it: a shell that ran the
    // program in a loop sees the interrupt and stops the loop. A quit leaves no core file, which
    // would be written outside the target and hold nothing of use.
    if (signal_number == SIGQUIT)
      prctl(PR_SET_DUMPABLE, 0);
    std::signal(signal_number, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal_number);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    raise(signal_number);
  }
  _exit(status);
}

int ArgumentCount() {
  return static_cast<int>(arguments.size());
}

std::string ArgumentAt(int index) {
  if (index == 0) {
    // The program's own file is reached by its real path, never through a drive, which could
    // lead to another file of that name under the drive's root.
    if (program_path.empty()) {
      char path[PATH_MAX];
      ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
      program_path = UnixFormOf(length > 0 ? std::string_view(path, length) : "/");
    }
    return program_path;
  }
  if (index < 0 || index > ArgumentCount())
    return {};
  // An argument that begins with one "/" is a Linux path, on the drive that holds it, wherever
  // the current directory is ("//" still begins a network path, which is refused).
  const std::string& typed = raw_arguments[index - 1];
  if (typed.starts_with('/') && !typed.starts_with("//"))
    return DosPathOfArgument(typed);
  return arguments[index - 1];
}

void StartConsole(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    raw_arguments.push_back(argv[i]);
    arguments.push_back(EncodeArgument(argv[i]));
  }
  // A reader that went away must not kill the run with the terminal still in raw mode.
  std::signal(SIGPIPE, SIG_IGN);
  if (SameFile(1, 2))
    ShareOneSink();
  else
    SinksApart();
  console_is_screen = isatty(2) != 0;
  if (!console_is_screen && isatty(0)) {
    keyboard_fd = open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (keyboard_fd < 0)
      keyboard_fd = 0; // the terminal the keys come from, when it is open for writing
  }
  StartOutputClock();
  StartKeyboard();
}
