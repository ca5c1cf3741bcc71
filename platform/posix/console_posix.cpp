// Only code for POSIX systems: the two output streams, the arguments and the end of the process.
//
// The per-entry report lines go to standard output, all other text to standard error. When both
// lead to the same file or terminal they share one buffer, so their text stays in order. Output
// is handed to the system when the program waits for a key, when it ends, when the buffer fills,
// or when a short time has passed (at the next statement or at the walk's next poll, whichever
// comes first): a write per statement would slow a large erase down.
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
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/console.h"
#include "platform/posix/names.h"
#include "platform/posix/paths.h"
#include "platform/posix/terminal.h"
#include "platform/process.h"
#include "platform/result_codes.h"
#include "platform/statement_output.h"

namespace {

struct Sink {
  int fd;
  std::string buffer;
  bool broken = false;
};

Sink sinks[2] = {{2, {}}, {1, {}}};
int sink_of[2] = {0, 1}; // by OutputStream
std::timespec last_flush{};

bool console_is_screen = false;
int keyboard_fd = -1; // where questions are shown when standard error is a log

constexpr std::size_t FlushSize = 64 * 1024;
constexpr long FlushIntervalNs = 50'000'000;

int Index(OutputStream stream) {
  return stream == OutputStream::Console ? 0 : 1;
}

bool FlushDue() {
  std::timespec now;
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  long elapsed =
      (now.tv_sec - last_flush.tv_sec) * 1'000'000'000L + (now.tv_nsec - last_flush.tv_nsec);
  return elapsed >= FlushIntervalNs;
}

void WriteAll(Sink& sink) {
  std::size_t done = 0;
  while (done < sink.buffer.size() && !sink.broken) {
    ssize_t written = write(sink.fd, sink.buffer.data() + done, sink.buffer.size() - done);
    if (written < 0) {
      if (errno == EINTR)
        continue;
      sink.broken = true; // a closed pipe or a full disk: the rest of the text is dropped
      break;
    }
    done += static_cast<std::size_t>(written);
  }
  sink.buffer.clear();
}

bool SameFile(int a, int b) {
  struct stat first, second;
  return fstat(a, &first) == 0 && fstat(b, &second) == 0 && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
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

std::vector<std::string> arguments;
std::vector<std::string> raw_arguments; // as the shell gave them
std::string program_path;

} // namespace

void HandOverStatement(OutputStream stream, std::string_view text) {
  Sink& sink = sinks[sink_of[Index(stream)]];
  AppendShown(sink.buffer, text);
  if (sink.buffer.size() >= FlushSize || FlushDue())
    FlushOutput();
}

bool StandardOutputFailed() {
  return sinks[sink_of[1]].broken;
}

void ReleaseWaitingOutput() {
  if ((!sinks[0].buffer.empty() || !sinks[1].buffer.empty()) && FlushDue())
    FlushOutput();
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

void FlushOutput() {
  for (Sink& sink : sinks)
    if (!sink.buffer.empty())
      WriteAll(sink);
  clock_gettime(CLOCK_MONOTONIC_COARSE, &last_flush);
}

void WriteErrorReportLine(std::string_view line) {
  Sink& sink = sinks[0];
  sink.buffer.append(line);
  sink.buffer += "\r\n";
  WriteAll(sink);
}

void EndProcess(int status) {
  FlushOutput();
  RestoreTerminal();
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
    sink_of[0] = sink_of[1] = 1;
  console_is_screen = isatty(2) != 0;
  if (!console_is_screen && isatty(0)) {
    keyboard_fd = open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (keyboard_fd < 0)
      keyboard_fd = 0; // the terminal the keys come from, when it is open for writing
  }
  clock_gettime(CLOCK_MONOTONIC_COARSE, &last_flush);
  StartKeyboard();
}
