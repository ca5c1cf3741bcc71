// Only code for POSIX systems: keys from a terminal or from a pipe or file on standard input.
//
// A terminal is put into raw mode without echo (signals still work) and restored on every end,
// Ctrl-C included. A run in the background (not the terminal's foreground process group) leaves
// the terminal's modes alone and reads no key from it, so it runs to the end as rm does; only a
// question waits, stopped by the terminal, until the run is brought to the foreground. Ctrl-C,
// a quit (Ctrl-\), a hang-up and a kill are only noted by their handler: the run ends at the walk's
// next step or in the key read it was waiting in, in order, with every line written, and the
// process then ends by that signal (EndProcess). The bytes from either become keys as
// platform/console/key_stream.h says.
#include <cerrno>
#include <csignal>
#include <ctime>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "platform/console.h"
#include "platform/console/key_stream.h"
#include "platform/console/process.h"
#include "platform/posix/terminal.h"

namespace {

bool input_is_terminal = false;
std::timespec last_poll{};

struct termios saved_modes;
volatile std::sig_atomic_t modes_changed = false;

// A terminal is asked for keys at most this often; a person types far slower.
constexpr long TerminalPollIntervalNs = 10'000'000;

bool PollDue() {
  if (!input_is_terminal)
    return true;
  std::timespec now;
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  long elapsed =
      (now.tv_sec - last_poll.tv_sec) * 1'000'000'000L + (now.tv_nsec - last_poll.tv_nsec);
  if (elapsed < TerminalPollIntervalNs)
    return false;
  last_poll = now;
  return true;
}

void ApplyRawModes() {
  struct termios modes = saved_modes;
  modes.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO | IEXTEN));
  modes.c_iflag &= static_cast<tcflag_t>(~IXON);
  modes.c_cc[VMIN] = 1;
  modes.c_cc[VTIME] = 0;
  tcsetattr(0, TCSANOW, &modes);
}

bool InForeground() {
  return tcgetpgrp(0) == getpgrp();
}

extern "C" void OnInterrupt(int signal_number) {
  NoteUserInterrupt(signal_number);
}

extern "C" void OnStop(int) {
  if (modes_changed)
    tcsetattr(0, TCSANOW, &saved_modes);
  std::signal(SIGTSTP, SIG_DFL);
  raise(SIGTSTP);
}

// Continued in the foreground the modes are set again; in the background (after bg) they are
// left alone, since changing them there would stop the run again.
extern "C" void OnContinue(int) {
  modes_changed = InForeground();
  if (modes_changed)
    ApplyRawModes();
  std::signal(SIGTSTP, OnStop);
}

// Before a key is awaited: in the background the change of modes stops the run until it is
// brought to the foreground, which is what a question should do there.
void TakeTheTerminal() {
  if (!input_is_terminal || modes_changed)
    return;
  ApplyRawModes();
  modes_changed = true;
}

} // namespace

// Reads what standard input holds.
void ReadInput(int timeout_ms) {
  struct pollfd request = {0, POLLIN, 0};
  int ready;
  do
    ready = poll(&request, 1, timeout_ms);
  while (ready < 0 && errno == EINTR && !UserInterruptNoted());
  if (ready <= 0)
    return;
  unsigned char chunk[4096];
  ssize_t got;
  do
    got = read(0, chunk, sizeof chunk);
  while (got < 0 && errno == EINTR && !UserInterruptNoted());
  if (got < 0 && errno == EINTR)
    return;
  if (got <= 0) {
    EndOfInput();
    return;
  }
  TakeInputBytes(chunk, static_cast<std::size_t>(got));
}

void StartKeyboard() {
  // No SA_RESTART: a key read that waits wakes up for the interrupt.
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
    sigaction(signal_number, &action, nullptr);
  input_is_terminal = isatty(0) != 0;
  if (!input_is_terminal || tcgetattr(0, &saved_modes) != 0) {
    input_is_terminal = false;
    return;
  }
  std::signal(SIGTSTP, OnStop);
  std::signal(SIGCONT, OnContinue);
  if (InForeground())
    TakeTheTerminal();
}

void RestoreTerminal() {
  if (modes_changed && input_is_terminal)
    tcsetattr(0, TCSANOW, &saved_modes);
  modes_changed = false;
}

bool KeysAreTyped() {
  return input_is_terminal;
}

bool KeyAvailable() {
  CheckUserInterrupt();
  if (KeyWaiting())
    return true;
  if (!BytesWaiting() && !InputEnded()) {
    if (!PollDue())
      return false;
    // In the background a read would stop the run: no key is typed there for it.
    if (input_is_terminal && !modes_changed) {
      if (!InForeground())
        return false;
      TakeTheTerminal();
    }
  }
  return KeyFromBytes();
}

namespace {
unsigned long keys_read = 0;
} // namespace

unsigned long KeysRead() {
  return keys_read;
}

std::uint8_t ReadKeyChar() {
  ++keys_read;
  FlushOutput(); // a question must be on the screen before its answer is awaited
  while (!KeyWaiting()) {
    CheckUserInterrupt();
    if (!BytesWaiting())
      TakeTheTerminal();
    if (!AwaitKeyBytes())
      return 27; // no more input: the question reads Esc
  }
  return TakeKey();
}
