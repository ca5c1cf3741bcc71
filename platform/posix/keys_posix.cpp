// Only code for POSIX systems: keys from a terminal or from a pipe or file on standard input.
//
// A terminal is put into raw mode without echo (signals still work) and restored on every end,
// Ctrl-C included. A run in the background (not the terminal's foreground process group) leaves
// the terminal's modes alone and reads no key from it, so it runs to the end as rm does; only a
// question waits, stopped by the terminal, until the run is brought to the foreground. Ctrl-C, a
// hang-up and a kill are only noted by their handler: the run ends at the walk's next step or in
// the key read it was waiting in, in order, with every line written. The bytes from either become
// keys as platform/key_bytes.h says (escape sequences, Esc, Backspace, Enter, UTF-8 Greek letters).
// From a pipe the bytes are taken as they come and nothing is thrown away; at the end of the input
// no key is available, and a read that must wait answers Esc, so that no question ever hangs.
#include <cerrno>
#include <csignal>
#include <ctime>
#include <deque>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "platform/console.h"
#include "platform/key_bytes.h"
#include "platform/posix/terminal.h"
#include "platform/process.h"

namespace {

bool input_is_terminal = false;
bool input_ended = false;
std::deque<unsigned char> raw;  // bytes read and not yet turned into keys
std::deque<unsigned char> keys; // key codes, an extended key as 0 and its scan code
std::timespec last_poll{};

struct termios saved_modes;
volatile std::sig_atomic_t modes_changed = false;

// How long the rest of an escape sequence or of a UTF-8 character may take to arrive.
constexpr int SequenceWaitMs = 50;
// A terminal is asked for keys at most this often; a person types far slower.
constexpr long TerminalPollIntervalNs = 10'000'000;

// Reads what standard input holds, waiting at most timeout_ms (-1: until something comes).
void ReadInput(int timeout_ms) {
  if (input_ended)
    return;
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
    input_ended = true;
    return;
  }
  raw.insert(raw.end(), chunk, chunk + got);
}

// Makes sure raw holds at least `count` bytes if they come soon.
bool HaveBytes(std::size_t count) {
  while (raw.size() < count && !input_ended) {
    std::size_t before = raw.size();
    ReadInput(SequenceWaitMs);
    if (raw.size() == before)
      break;
  }
  return raw.size() >= count;
}

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

extern "C" void OnInterrupt(int) {
  NoteUserInterrupt();
}

// A quit: give the terminal back, then end as the system would.
extern "C" void OnEndingSignal(int signal_number) {
  if (modes_changed)
    tcsetattr(0, TCSANOW, &saved_modes);
  std::signal(signal_number, SIG_DFL);
  raise(signal_number);
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

void StartKeyboard() {
  // No SA_RESTART: a key read that waits wakes up for the interrupt.
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP})
    sigaction(signal_number, &action, nullptr);
  input_is_terminal = isatty(0) != 0;
  if (!input_is_terminal || tcgetattr(0, &saved_modes) != 0) {
    input_is_terminal = false;
    return;
  }
  std::signal(SIGQUIT, OnEndingSignal);
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
  if (!keys.empty())
    return true;
  if (raw.empty()) {
    if (input_ended || !PollDue())
      return false;
    // In the background a read would stop the run: no key is typed there for it.
    if (input_is_terminal && !modes_changed) {
      if (!InForeground())
        return false;
      TakeTheTerminal();
    }
    ReadInput(0);
    if (raw.empty())
      return false;
  }
  DecodeKeyBytes(raw, keys, HaveBytes);
  return !keys.empty();
}

std::uint8_t ReadKeyChar() {
  FlushOutput(); // a question must be on the screen before its answer is awaited
  while (keys.empty()) {
    CheckUserInterrupt();
    if (raw.empty()) {
      TakeTheTerminal();
      if (input_ended)
        return 27; // no more input: the question reads Esc
      ReadInput(-1);
      continue;
    }
    DecodeKeyBytes(raw, keys, HaveBytes);
  }
  std::uint8_t key = keys.front();
  keys.pop_front();
  return key;
}
