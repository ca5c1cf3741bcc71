// Only for the Windows build's tests: another program that holds an entry while the program under
// test runs, as an editor, a shell or an indexer would.
//   hold_entry open PATH   opens the file or directory, sharing read, write and deletion
//   hold_entry cwd PATH    makes the directory its current directory
//   hold_entry short PATH  writes the path with the 8.3 name of each part, and ends
// The first two write "held" once they hold the entry, and let it go when their standard input
// ends.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string>

namespace {

void WaitForEndOfInput() {
  char buffer[64];
  DWORD got = 0;
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  while (ReadFile(input, buffer, sizeof buffer, &got, nullptr) && got > 0) {
  }
}

} // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == nullptr || argc != 3)
    return 2;
  std::wstring command = argv[1];
  std::wstring path = argv[2];
  if (command == L"short") {
    wchar_t buffer[4096];
    DWORD length = GetShortPathNameW(path.c_str(), buffer, 4096);
    if (length == 0 || length >= 4096)
      return 1;
    int bytes = WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(length), nullptr, 0,
                                    nullptr, nullptr);
    std::string text(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(length), text.data(), bytes, nullptr,
                        nullptr);
    std::printf("%s\n", text.c_str());
    return 0;
  }
  HANDLE held = INVALID_HANDLE_VALUE;
  if (command == L"open") {
    held = CreateFileW(path.c_str(), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (held == INVALID_HANDLE_VALUE)
      return 1;
  } else if (command == L"cwd") {
    if (!SetCurrentDirectoryW(path.c_str()))
      return 1;
  } else {
    return 2;
  }
  std::printf("held\n");
  std::fflush(stdout);
  WaitForEndOfInput();
  if (held != INVALID_HANDLE_VALUE)
    CloseHandle(held);
  return 0;
}
