// Only code for POSIX systems: keys from a terminal or from a pipe or file on standard input.
//
// A terminal is put into raw mode without echo (signals still work) and restored on every end,
// Ctrl-C included. The bytes from either become keys as platform/key_bytes.h says (escape
// sequences, Esc, Backspace, Enter, UTF-8 Greek letters). From a pipe the bytes are taken as they
// come and nothing is thrown away; at the end of the input no key is available, and a read that
// must wait answers Esc, so that no question ever hangs.
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
bool modes_changed = false;

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
  while (ready < 0 && errno == EINTR);
  if (ready <= 0)
    return;
  unsigned char chunk[4096];
  ssize_t got;
  do
    got = read(0, chunk, sizeof chunk);
  while (got < 0 && errno == EINTR);
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

// Ctrl-C, a hang-up or a kill: give the terminal back, then end as the system would.
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

extern "C" void OnContinue(int) {
  if (modes_changed)
    ApplyRawModes();
  std::signal(SIGTSTP, OnStop);
}

} // namespace

void StartKeyboard() {
  input_is_terminal = isatty(0) != 0;
  if (!input_is_terminal || tcgetattr(0, &saved_modes) != 0)
    return;
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
    std::signal(signal_number, OnEndingSignal);
  std::signal(SIGTSTP, OnStop);
  std::signal(SIGCONT, OnContinue);
  modes_changed = true;
  ApplyRawModes();
}

void RestoreTerminal() {
  if (modes_changed)
    tcsetattr(0, TCSANOW, &saved_modes);
  modes_changed = false;
}

bool KeysAreTyped() {
  return input_is_terminal;
}

bool KeyAvailable() {
  if (!keys.empty())
    return true;
  if (raw.empty()) {
    if (input_ended || !PollDue())
      return false;
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
    if (raw.empty()) {
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
