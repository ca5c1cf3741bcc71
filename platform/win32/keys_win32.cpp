// Only code for Windows: keys from console input events, or bytes from a pipe or a file.
//
// From a console every key press is one event: Esc is 27, a key without a character, with the
// left Alt key or from the cursor block is extended (0 and its scan code), Shift, Ctrl, Alt and the
// lock keys alone are no key. Under wine two things differ from Windows, and both are handled: the
// count of waiting events misses a key typed at a terminal until the input handle is waited on,
// and Esc comes with character 0. From a pipe or a file the bytes become keys as
// platform/console/key_stream.h says.
#include <windows.h>

#include <string>

#include "platform/console.h"
#include "platform/console/key_stream.h"
#include "platform/console/process.h"
#include "platform/dos/key_bytes.h"
#include "platform/win32/owned_handle.h"
#include "platform/win32/start_win32.h"

namespace {

HANDLE input = INVALID_HANDLE_VALUE;
bool input_is_console = false;
bool input_is_pipe = false;
ULONGLONG last_poll = 0;

// How long the pipe's reader may take to hand over the keys piped in before the start.
constexpr int StartWaitMs = 50;
// The console is asked for keys at most this often; a person types far slower.
constexpr ULONGLONG ConsolePollIntervalMs = 10;

// ---- Console events -----------------------------------------------------------------------------

bool IsModifierKey(WORD virtual_key) {
  return virtual_key == VK_SHIFT || virtual_key == VK_CONTROL || virtual_key == VK_MENU ||
         virtual_key == VK_CAPITAL || virtual_key == VK_NUMLOCK || virtual_key == VK_SCROLL;
}

// The key's character as a key code: ASCII as it is, a Greek letter as its code page 737 byte
// whatever the console's code page, anything else '?'. The console's own byte would be read as a
// letter of the Greek table in any other code page (in 852 "š" is the 737 byte of "ύ", a yes).
unsigned char KeyCodeOf(WCHAR character) {
  return character < 0x80 ? static_cast<unsigned char>(character) : Cp737Of(character);
}

void TakeKeyEvent(const KEY_EVENT_RECORD& key) {
  if (!key.bKeyDown || IsModifierKey(key.wVirtualKeyCode))
    return;
  unsigned char c = KeyCodeOf(key.uChar.UnicodeChar);
  DWORD state = key.dwControlKeyState;
  if (key.wVirtualKeyCode == VK_ESCAPE && (state & LEFT_ALT_PRESSED) == 0) {
    AddKey(27); // wine gives Esc the character 0
    return;
  }
  bool shift_tab = key.wVirtualKeyCode == VK_TAB && (state & SHIFT_PRESSED) != 0;
  if (c == 0 || (state & (LEFT_ALT_PRESSED | ENHANCED_KEY)) != 0 || shift_tab) {
    AddKey(0);
    AddKey(static_cast<unsigned char>(key.wVirtualScanCode));
    return;
  }
  AddKey(c);
}

// Takes events until one is a key or none are left. The events looked at are used up.
bool PollConsole() {
  // Under wine a key typed at a terminal is counted only once the handle has been waited on.
  WaitForSingleObject(input, 0);
  for (;;) {
    DWORD waiting = 0;
    if (!GetNumberOfConsoleInputEvents(input, &waiting) || waiting == 0)
      return false;
    INPUT_RECORD record;
    DWORD got = 0;
    if (!ReadConsoleInputW(input, &record, 1, &got) || got == 0)
      return false;
    if (record.EventType == KEY_EVENT) {
      TakeKeyEvent(record.Event.KeyEvent);
      if (KeyWaiting())
        return true;
    }
  }
}

bool PollDue() {
  ULONGLONG now = GetTickCount64();
  if (now - last_poll < ConsolePollIntervalMs)
    return false;
  last_poll = now;
  return true;
}

// ---- Bytes --------------------------------------------------------------------------------------

// A pipe cannot be asked whether it holds bytes (wine's pipes do not answer PeekNamedPipe), so a
// second thread reads it and hands the bytes over; the program itself never waits on the pipe.
CRITICAL_SECTION pipe_lock;
HANDLE pipe_event = nullptr; // set while bytes or the end wait to be taken
std::string pipe_bytes;
bool pipe_ended = false;

DWORD WINAPI ReadPipe(void*) {
  char chunk[4096];
  for (;;) {
    DWORD got = 0;
    bool read = ReadFile(input, chunk, sizeof chunk, &got, nullptr) && got > 0;
    EnterCriticalSection(&pipe_lock);
    if (read)
      pipe_bytes.append(chunk, got);
    else
      pipe_ended = true;
    SetEvent(pipe_event);
    LeaveCriticalSection(&pipe_lock);
    if (!read)
      return 0;
  }
}

} // namespace

// Takes what standard input holds; -1 as the wait is INFINITE.
void ReadInput(int timeout_ms) {
  if (input_is_pipe) {
    HANDLE wakers[2] = {pipe_event, InterruptEvent()};
    WaitForMultipleObjects(wakers[1] != nullptr ? 2 : 1, wakers, FALSE,
                           static_cast<DWORD>(timeout_ms));
    EnterCriticalSection(&pipe_lock);
    TakeInputBytes(reinterpret_cast<const unsigned char*>(pipe_bytes.data()), pipe_bytes.size());
    pipe_bytes.clear();
    if (pipe_ended)
      EndOfInput();
    ResetEvent(pipe_event);
    LeaveCriticalSection(&pipe_lock);
    return;
  }
  // A file or a device answers at once.
  unsigned char chunk[4096];
  DWORD got = 0;
  if (!ReadFile(input, chunk, sizeof chunk, &got, nullptr) || got == 0) {
    EndOfInput();
    return;
  }
  TakeInputBytes(chunk, got);
}

void StartKeyboard() {
  input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode;
  input_is_console = GetConsoleMode(input, &mode) != 0;
  if (input == nullptr || input == INVALID_HANDLE_VALUE) {
    EndOfInput();
    return;
  }
  if (input_is_console || GetFileType(input) != FILE_TYPE_PIPE)
    return;
  InitializeCriticalSection(&pipe_lock);
  pipe_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  // The thread runs on without its handle, which nothing waits on.
  OwnedHandle reader(CreateThread(nullptr, 0, ReadPipe, nullptr, 0, nullptr));
  if (pipe_event == nullptr || !reader) {
    EndOfInput();
    return;
  }
  input_is_pipe = true;
  // Keys piped in before the start are there from the first check on, as on Linux.
  ReadInput(StartWaitMs);
}

bool KeysAreTyped() {
  return input_is_console;
}

bool KeyAvailable() {
  if (KeyWaiting())
    return true;
  if (input_is_console)
    return PollDue() && PollConsole();
  return KeyFromBytes();
}

std::uint8_t ReadKeyChar() {
  FlushOutput(); // a question must be on the screen before its answer is awaited
  while (!KeyWaiting()) {
    CheckUserInterrupt(); // a user interrupt wakes the wait below
    if (input_is_console) {
      // Waits for the next event, but looks again now and then: under wine the handle may not
      // say so for a key typed at a terminal.
      HANDLE wakers[2] = {input, InterruptEvent()};
      if (!PollConsole())
        WaitForMultipleObjects(wakers[1] != nullptr ? 2 : 1, wakers, FALSE, 50);
      continue;
    }
    if (!AwaitKeyBytes())
      return 27; // no more input: the question reads Esc
  }
  return TakeKey();
}
