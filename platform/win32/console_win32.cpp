// Only code for Windows: the two output streams, the arguments and the end of the process.
//
// The per-entry report lines go to the standard output handle, all other text to the standard
// error handle. A handle that is a console gets the text written into its window cell by cell at
// the cursor, as DOS programs show it. A handle that is a pipe or a file gets the plain bytes, as
// the Linux build writes them. Output waits in one queue for both handles, so that their text
// stays in order when both lead to the same place, and is handed to the system when the program
// waits for a key, when it ends, when the queue fills, or when a short time has passed: a console
// call per statement would slow a large erase down (under wine each is a round trip).
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/command_line.h"
#include "platform/console.h"
#include "platform/process.h"
#include "platform/result_codes.h"
#include "platform/statement_output.h"
#include "platform/win32/start_win32.h"

namespace {

struct Sink {
  HANDLE handle = INVALID_HANDLE_VALUE;
  bool is_console = false;
  bool broken = false; // a closed pipe or a full disk: the rest of the text is dropped
};

Sink sinks[2]; // by OutputStream: the console stream, the standard output stream

struct QueuedText {
  int sink;
  std::string bytes;
};
std::vector<QueuedText> queue;
std::size_t queued_size = 0;
ULONGLONG last_flush = 0;

constexpr std::size_t FlushSize = 64 * 1024;
constexpr ULONGLONG FlushIntervalMs = 50;

int Index(OutputStream stream) {
  return stream == OutputStream::Console ? 0 : 1;
}

void WriteAll(Sink& sink, std::string_view bytes) {
  while (!bytes.empty() && !sink.broken) {
    DWORD written = 0;
    if (!WriteFile(sink.handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                   nullptr) ||
        written == 0) {
      sink.broken = true;
      break;
    }
    bytes.remove_prefix(written);
  }
}

// ---- The console writer -------------------------------------------------------------------------

// The window and the colour are read once, at start-up.
SMALL_RECT window;
WORD colour = 0;

// The number of bytes of the character at bytes[at]: a UTF-8 sequence is one character when the
// program's code page is UTF-8, any other byte is one.
std::size_t CharacterLength(std::string_view bytes, std::size_t at, UINT code_page) {
  unsigned char lead = static_cast<unsigned char>(bytes[at]);
  if (code_page != CP_UTF8 || lead < 0xC2 || lead > 0xF4)
    return 1;
  std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
  for (std::size_t i = 1; i < length; ++i)
    if (at + i >= bytes.size() || (static_cast<unsigned char>(bytes[at + i]) & 0xC0) != 0x80)
      return 1;
  return length;
}

void ScrollUp(HANDLE console) {
  SMALL_RECT below_top = {window.Left, static_cast<SHORT>(window.Top + 1), window.Right,
                          window.Bottom};
  CHAR_INFO blank;
  blank.Char.AsciiChar = ' ';
  blank.Attributes = colour;
  ScrollConsoleScreenBufferA(console, &below_top, nullptr, {window.Left, window.Top}, &blank);
}

// Shows the bytes in the window at the cursor: a bell shows nothing, a backspace moves left
// without erasing, a carriage return goes to the left edge, a line feed goes down, writing past
// the right edge goes on at the next row, and a row below the window scrolls it up.
void ShowInConsole(HANDLE console, std::string_view bytes) {
  // Plain ASCII is the same in every code page; the switch, two more calls, is left out.
  bool ascii = std::all_of(bytes.begin(), bytes.end(),
                           [](char c) { return static_cast<unsigned char>(c) < 128; });
  UINT code_page = GetACP();
  UINT saved_code_page = ascii ? code_page : GetConsoleOutputCP();
  if (saved_code_page != code_page)
    SetConsoleOutputCP(code_page);
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(console, &info))
    return;
  SHORT column = info.dwCursorPosition.X;
  SHORT row = info.dwCursorPosition.Y;
  std::vector<WORD> colours;
  std::size_t at = 0;
  while (at < bytes.size()) {
    char c = bytes[at];
    if (c == '\a') {
      ++at;
    } else if (c == '\b') {
      if (column > window.Left)
        --column;
      ++at;
    } else if (c == '\n') {
      ++row;
      ++at;
    } else if (c == '\r') {
      column = window.Left;
      ++at;
    } else {
      // A run of characters up to the next control byte or the right edge, in one call.
      std::size_t start = at;
      SHORT cells = 0;
      while (at < bytes.size() && column + cells <= window.Right) {
        unsigned char next = static_cast<unsigned char>(bytes[at]);
        if (next == '\a' || next == '\b' || next == '\n' || next == '\r')
          break;
        at += CharacterLength(bytes, at, code_page);
        ++cells;
      }
      DWORD done = 0;
      WriteConsoleOutputCharacterA(console, bytes.data() + start, static_cast<DWORD>(at - start),
                                   {column, row}, &done);
      colours.assign(static_cast<std::size_t>(cells), colour);
      WriteConsoleOutputAttribute(console, colours.data(), static_cast<DWORD>(cells), {column, row},
                                  &done);
      column = static_cast<SHORT>(column + cells);
    }
    if (column > window.Right) {
      column = window.Left;
      ++row;
    }
    while (row > window.Bottom) {
      ScrollUp(console);
      --row;
    }
  }
  SetConsoleCursorPosition(console, {column, row});
  if (saved_code_page != code_page)
    SetConsoleOutputCP(saved_code_page);
}

// ---- Hand-over ----------------------------------------------------------------------------------

// The bell is never written, in a window or in a pipe.
void Queue(int sink, std::string_view text) {
  if (queue.empty() || queue.back().sink != sink)
    queue.push_back({sink, {}});
  std::string& bytes = queue.back().bytes;
  for (char c : text)
    if (c != '\a')
      bytes += c;
  queued_size += text.size();
}

std::vector<std::string> arguments;
std::string program_path;

} // namespace

void HandOverStatement(OutputStream stream, std::string_view text) {
  Queue(Index(stream), text);
  if (queued_size >= FlushSize || GetTickCount64() - last_flush >= FlushIntervalMs)
    FlushOutput();
}

bool StandardOutputFailed() {
  return sinks[1].broken;
}

void FlushOutput() {
  for (QueuedText& text : queue) {
    Sink& sink = sinks[text.sink];
    if (sink.is_console)
      ShowInConsole(sink.handle, text.bytes);
    else
      WriteAll(sink, text.bytes);
  }
  queue.clear();
  queued_size = 0;
  last_flush = GetTickCount64();
}

void WriteErrorReportLine(std::string_view line) {
  std::string text(line);
  text += "\r\n";
  WriteAll(sinks[0], text);
}

void EndProcess(int status) {
  FlushOutput();
  ExitProcess(static_cast<UINT>(status));
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
    if (sink.is_console && GetConsoleScreenBufferInfo(sink.handle, &info)) {
      window = info.srWindow;
      colour = info.wAttributes;
    }
  }
  last_flush = GetTickCount64();
  StartKeyboard();
}
