// Only code for POSIX systems: keys from a terminal or from a pipe or file on standard input.
//
// A terminal is put into raw mode without echo (signals still work) and restored on every end,
// Ctrl-C included. Escape sequences of the arrow, editing and function keys become 0 and the PC
// scan code, a lone Esc is 27, Backspace (DEL) is 8, a line feed is Enter (13), and UTF-8 Greek
// letters become their code page 737 bytes. From a pipe the bytes are taken as they come and
// nothing is thrown away; at the end of the input no key is available, and a read that must wait
// answers Esc, so that no question ever hangs.
#include <cerrno>
#include <csignal>
#include <ctime>
#include <deque>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "platform/console.h"
#include "platform/posix/terminal.h"
#include "platform/process.h"

namespace {

bool input_is_terminal = false;
bool input_ended = false;
std::deque<unsigned char> raw;   // bytes read and not yet turned into keys
std::deque<unsigned char> keys;  // key codes, an extended key as 0 and its scan code
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

void PushExtended(unsigned char scan_code) {
  keys.push_back(0);
  keys.push_back(scan_code);
}

unsigned char ScanCodeOfTilde(int number) {
  switch (number) {
  case 1:
  case 7:
    return 71; // Home
  case 2:
    return 82; // Insert
  case 3:
    return 83; // Delete
  case 4:
  case 8:
    return 79; // End
  case 5:
    return 73; // Page Up
  case 6:
    return 81; // Page Down
  case 11:
  case 12:
  case 13:
  case 14:
  case 15:
    return static_cast<unsigned char>(59 + number - 11); // F1-F5
  case 17:
  case 18:
  case 19:
  case 20:
  case 21:
    return static_cast<unsigned char>(64 + number - 17); // F6-F10
  case 23:
    return 133; // F11
  case 24:
    return 134; // F12
  default:
    return 0;
  }
}

unsigned char ScanCodeOfFinal(unsigned char final) {
  switch (final) {
  case 'A':
    return 72;
  case 'B':
    return 80;
  case 'C':
    return 77;
  case 'D':
    return 75;
  case 'H':
    return 71;
  case 'F':
    return 79;
  case 'P':
    return 59;
  case 'Q':
    return 60;
  case 'R':
    return 61;
  case 'S':
    return 62;
  case 'Z':
    return 15; // Shift-Tab
  default:
    return 0;
  }
}

// ESC [ ... or ESC O ...: the introducer is raw[1]. Consumes the sequence.
void DecodeSequence() {
  bool csi = raw[1] == '[';
  std::size_t at = 2;
  int first_number = -1;
  int number = -1;
  for (;;) {
    if (!HaveBytes(at + 1)) {
      raw.erase(raw.begin(), raw.begin() + static_cast<long>(raw.size()));
      PushExtended(0);
      return;
    }
    unsigned char c = raw[at++];
    if (csi && c >= '0' && c <= '9') {
      number = (number < 0 ? 0 : number * 10) + (c - '0');
      continue;
    }
    if (csi && c == ';') {
      if (first_number < 0)
        first_number = number;
      number = -1;
      continue;
    }
    if (first_number < 0)
      first_number = number;
    raw.erase(raw.begin(), raw.begin() + static_cast<long>(at));
    // Modifier keys held with a key give the key's own code.
    PushExtended(c == '~' ? ScanCodeOfTilde(first_number) : ScanCodeOfFinal(c));
    return;
  }
}

// The code page 737 byte of a Greek letter, or '?' for another character.
unsigned char Cp737Of(unsigned code_point) {
  if (code_point >= 0x391 && code_point <= 0x3A9 && code_point != 0x3A2)
    return static_cast<unsigned char>(128 + code_point - 0x391 - (code_point > 0x3A2 ? 1 : 0));
  // Code page 737 has sigma before final sigma, Unicode the other way round.
  if (code_point == 0x3C2)
    return 170; // ς
  if (code_point == 0x3C3)
    return 169; // σ
  if (code_point >= 0x3B1 && code_point <= 0x3C9)
    return code_point == 0x3C9 ? 224 : static_cast<unsigned char>(152 + code_point - 0x3B1);
  switch (code_point) {
  case 0x3AC:
    return 225; // ά
  case 0x3AD:
    return 226; // έ
  case 0x3AE:
    return 227; // ή
  case 0x3CA:
    return 228; // ϊ
  case 0x3AF:
    return 229; // ί
  case 0x3CC:
    return 230; // ό
  case 0x3CD:
    return 231; // ύ
  case 0x3CB:
    return 232; // ϋ
  case 0x3CE:
    return 233; // ώ
  case 0x386:
    return 234; // Ά
  case 0x388:
    return 235; // Έ
  case 0x389:
    return 236; // Ή
  case 0x38A:
    return 237; // Ί
  case 0x38C:
    return 238; // Ό
  case 0x38E:
    return 239; // Ύ
  case 0x38F:
    return 240; // Ώ
  default:
    return '?';
  }
}

// A UTF-8 character starting at raw[0]; an invalid sequence gives its first byte as it is.
void DecodeUtf8() {
  unsigned char lead = raw[0];
  std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
  HaveBytes(length);
  unsigned code_point = lead & (length == 2 ? 0x1F : length == 3 ? 0x0F : 0x07);
  bool valid = lead >= 0xC2 && lead <= 0xF4 && raw.size() >= length;
  for (std::size_t i = 1; valid && i < length; ++i) {
    if ((raw[i] & 0xC0) != 0x80)
      valid = false;
    code_point = code_point << 6 | (raw[i] & 0x3F);
  }
  if (!valid) {
    keys.push_back(lead);
    raw.pop_front();
    return;
  }
  raw.erase(raw.begin(), raw.begin() + static_cast<long>(length));
  keys.push_back(Cp737Of(code_point));
}

// Turns the bytes at the front of raw into one key.
void DecodeOneKey() {
  unsigned char c = raw[0];
  if (c == 0x1B) {
    if (HaveBytes(2) && (raw[1] == '[' || raw[1] == 'O')) {
      DecodeSequence();
      return;
    }
    raw.pop_front();
    keys.push_back(27);
    return;
  }
  if (c >= 0x80) {
    DecodeUtf8();
    return;
  }
  raw.pop_front();
  if (c == 0x7F)
    keys.push_back(8);
  else if (c == '\n' || c == '\r')
    keys.push_back(13);
  else if (c == 0)
    PushExtended(3); // Ctrl-@
  else
    keys.push_back(c);
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

bool KeysAreTyped() { return input_is_terminal; }

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
  DecodeOneKey();
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
    DecodeOneKey();
  }
  std::uint8_t key = keys.front();
  keys.pop_front();
  return key;
}
