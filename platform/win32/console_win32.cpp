// Only code for Windows: the two output streams, the arguments and the end of the process.
//
// The per-entry report lines go to the standard output handle, all other text to the standard
// error handle. A handle that is a console gets the text written into its window cell by cell at
// the cursor, as DOS programs show it. A handle that is a pipe or a file gets the plain bytes, as
// the Linux build writes them. Output waits for both handles as platform/console/output_queue.h
// says (a console call per statement would slow a large erase down: under wine each is a round
// trip).
//
// The console writer hands the text to the console as a stream (WriteConsoleA), so that lines
// that leave the window go into the console's own scrollback with the bytes they had on screen.
// A standard error handle that is no console is a log; a question is then also shown on the
// console the keys are typed at. Ctrl-C, Ctrl-Break and closing the console are only noted by
// the control handler (which runs on a thread of the system's); the run ends in order, with the
// status of a process ended by Ctrl-C.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/console/output_queue.h"
#include "platform/console/process.h"
#include "platform/console/statement_output.h"
#include "platform/dos/command_line.h"
#include "platform/dos/result_codes.h"
#include "platform/win32/start_win32.h"

namespace {

struct Sink {
  HANDLE handle = INVALID_HANDLE_VALUE;
  bool is_console = false;
};

Sink sinks[2]; // the console stream's, the standard output stream's

bool WriteAll(HANDLE handle, std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD written = 0;
    if (!WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written == 0)
      return false;
    bytes.remove_prefix(written);
  }
  return true;
}

// ---- The console writer -------------------------------------------------------------------------

// The window, read once at start-up: its width is the width of a line clearing.
SMALL_RECT window;
HANDLE keyboard_console = INVALID_HANDLE_VALUE; // where questions are shown when stderr is a log
HANDLE interrupt_event = nullptr;

// Shows the bytes at the cursor as the console's processed output does: a backspace moves left
// without erasing, a carriage return goes to the left edge, writing past the right edge goes on
// at the next row, and a line feed on the last row scrolls the screen buffer, whose lines stay in
// the scrollback. The bell never reaches here.
void ShowInConsole(HANDLE console, std::string_view bytes) {
  // Plain ASCII is the same in every code page; the switch, two more calls, is left out.
  bool ascii = std::all_of(bytes.begin(), bytes.end(),
                           [](char c) { return static_cast<unsigned char>(c) < 128; });
  UINT code_page = GetACP();
  UINT saved_code_page = ascii ? code_page : GetConsoleOutputCP();
  if (saved_code_page != code_page)
    SetConsoleOutputCP(code_page);
  while (!bytes.empty()) {
    DWORD done = 0;
    if (!WriteConsoleA(console, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) ||
        done == 0)
      break;
    bytes.remove_prefix(done);
  }
  if (saved_code_page != code_page)
    SetConsoleOutputCP(saved_code_page);
}

BOOL WINAPI OnControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
    return FALSE;
  NoteUserInterrupt(static_cast<int>(event) + 1);
  SetEvent(interrupt_event);
  // After a closed console the process ends when this returns: the run ends it first (and the
  // system does after a few seconds whatever happens).
  if (event == CTRL_CLOSE_EVENT)
    Sleep(INFINITE);
  return TRUE;
}

std::vector<std::string> arguments;
std::string program_path;

} // namespace

std::int64_t OutputClockNs() {
  return static_cast<std::int64_t>(GetTickCount64()) * 1'000'000;
}

// The bell is never written, in a window or in a pipe.
void AppendShown(std::string& bytes, std::string_view text) {
  for (char c : text)
    if (c != '\a')
      bytes += c;
}

bool WriteSink(int sink, std::string_view bytes) {
  if (!sinks[sink].is_console)
    return WriteAll(sinks[sink].handle, bytes);
  ShowInConsole(sinks[sink].handle, bytes);
  return true;
}

bool ConsoleIsScreen() {
  return sinks[0].is_console;
}

int ConsoleColumns() {
  return sinks[0].is_console ? window.Right - window.Left + 1 : 0;
}

void ShowOnKeyboard(std::string_view text) {
  if (keyboard_console == INVALID_HANDLE_VALUE)
    return;
  std::string shown;
  AppendShown(shown, text);
  ShowInConsole(keyboard_console, shown);
}

void* InterruptEvent() {
  return interrupt_event;
}

void EndProcess(int status) {
  FlushOutput();
  // After Ctrl-C, Ctrl-Break or a closed console the status is the one Windows gives a process
  // that such an interrupt ended, so that cmd, PowerShell or a script sees the interrupt.
  constexpr UINT ControlCExit = 0xC000013A; // STATUS_CONTROL_C_EXIT
  ExitProcess(UserInterruptCause() != 0 ? ControlCExit : static_cast<UINT>(status));
}

int ArgumentCount() {
  return static_cast<int>(arguments.size());
}

std::string ArgumentAt(int index) {
  if (index == 0)
    return program_path;
  if (index < 0 || index > ArgumentCount())
    return {};
  return arguments[index - 1];
}

void StartConsole(int, char**) {
  // The system's own command line, split with the DOS quote rules; argument 0 is the module.
  arguments = SplitCommandLine(GetCommandLineA());
  std::string path(MAX_PATH, '\0');
  for (;;) {
    DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  program_path = path;

  sinks[0].handle = GetStdHandle(STD_ERROR_HANDLE);
  sinks[1].handle = GetStdHandle(STD_OUTPUT_HANDLE);
  for (Sink& sink : sinks) {
    DWORD mode;
    sink.is_console = GetConsoleMode(sink.handle, &mode) != 0;
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (sink.is_console && GetConsoleScreenBufferInfo(sink.handle, &info))
      window = info.srWindow;
  }
  StartOutputClock();
  interrupt_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(OnControl, TRUE);
  DWORD mode;
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  if (!sinks[0].is_console && GetConsoleMode(input, &mode))
    keyboard_console =
        CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
  StartKeyboard();
}
