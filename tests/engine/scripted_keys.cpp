// The key-reading functions of the terminal (platform/console.h, platform/posix/terminal.h) over a
// script of keys.
#include "scripted_keys.h"

#include <cstdint>
#include <deque>

#include "platform/console.h"
#include "platform/posix/terminal.h"

namespace {
std::deque<std::uint8_t> answers;
bool escape_waiting = false;
} // namespace

void ScriptKeys(std::string_view typed) {
  answers.assign(typed.begin(), typed.end());
  escape_waiting = false;
}

void PressEscape() {
  escape_waiting = true;
}

void StartKeyboard() {}
void RestoreTerminal() {}

bool KeysAreTyped() {
  return true;
}

// Only a pressed Esc waits during the walk; the answers come when a question reads them.
bool KeyAvailable() {
  return escape_waiting;
}

std::uint8_t ReadKeyChar() {
  if (escape_waiting) {
    escape_waiting = false;
    return 27;
  }
  if (answers.empty())
    return 27;
  std::uint8_t key = answers.front();
  answers.pop_front();
  return key;
}
