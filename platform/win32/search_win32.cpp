// Only code for Windows: directory searches over FindFirstFileA and FindNextFileA.
#include <windows.h>

#include <string>
#include <string_view>

#include "platform/fs.h"
#include "platform/result_codes.h"
#include "platform/wildcard.h"
#include "platform/win32/paths_win32.h"

namespace {

bool IsDeviceName(std::string_view name) {
  std::string_view stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ')
    stem.remove_suffix(1);
  for (std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
    if (SameText(stem, device))
      return true;
  return stem.size() == 4 &&
         (SameText(stem.substr(0, 3), "COM") || SameText(stem.substr(0, 3), "LPT")) &&
         stem[3] >= '1' && stem[3] <= '9';
}

// Wine lists Unix names that no Windows call can name as they are: one with ":" or "\" is read
// as a drive or a path ("c:d" would be "d" on drive C:), trailing blanks and dots are dropped
// ("a." would be "a"), and "nul" or "com1" is a device. The walk is never given such a name; the
// directory that holds it then stays, and is reported as not empty.
bool CanBeNamed(std::string_view name) {
  if (name == "." || name == "..")
    return true;
  if (name.empty() || name.back() == ' ' || name.back() == '.' || IsDeviceName(name))
    return false;
  for (char c : name)
    if (static_cast<unsigned char>(c) < 32 ||
        std::string_view("\"*/:<>?\\|").find(c) != std::string_view::npos)
      return false;
  return true;
}

void EndSearch(SearchEntry& entry, DWORD error) {
  if (entry.Handle != nullptr)
    FindClose(entry.Handle);
  entry.Handle = nullptr;
  LastServiceResult = TranslateSearchError(error);
}

// Steps to the first entry from `data` on that has no excluded bit and whose long name matches
// the mask. The system also matches the 8.3 short name ("*.BAK" finds "x.bakup" by its short
// name "X~1.BAK"), so it is asked for every entry and the long name alone decides, with the
// rules the other builds use.
void MatchStep(SearchEntry& entry, WIN32_FIND_DATAA& data) {
  for (;;) {
    std::uint32_t attributes = AsListed(data.dwFileAttributes);
    if ((attributes & entry.ExcludeMask) == 0 && MatchesMask(entry.Pattern, data.cFileName) &&
        CanBeNamed(data.cFileName)) {
      entry.Name = data.cFileName;
      entry.Attributes = attributes;
      return;
    }
    if (!FindNextFileA(entry.Handle, &data)) {
      EndSearch(entry, GetLastError());
      return;
    }
  }
}

} // namespace

void FindFirstEntry(std::string_view pattern, std::uint16_t mask, SearchEntry& entry) {
  if (entry.Handle != nullptr)
    FindClose(entry.Handle);
  entry = SearchEntry{};
  LastServiceResult = 0;
  entry.ExcludeMask = static_cast<std::uint16_t>(
      (HiddenAttribute | SystemAttribute | VolumeLabelAttribute | DirectoryAttribute) & ~mask);
  std::string text(pattern);
  std::size_t start = text.find_last_of("\\/");
  start = start != std::string::npos ? start + 1 : text.size() >= 2 && text[1] == ':' ? 2 : 0;
  entry.Pattern = text.substr(start);
  WIN32_FIND_DATAA data;
  HANDLE handle = FindFirstFileA((text.substr(0, start) + "*").c_str(), &data);
  if (handle == INVALID_HANDLE_VALUE) {
    LastServiceResult = TranslateSearchError(GetLastError());
    return;
  }
  entry.Handle = handle;
  MatchStep(entry, data);
}

void FindNextEntry(SearchEntry& entry) {
  LastServiceResult = 0;
  if (entry.Handle == nullptr) {
    LastServiceResult = oserror::NoMoreFiles;
    return;
  }
  WIN32_FIND_DATAA data;
  if (!FindNextFileA(entry.Handle, &data)) {
    EndSearch(entry, GetLastError());
    return;
  }
  MatchStep(entry, data);
}
