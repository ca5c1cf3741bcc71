// Only code for Windows: directory searches through the held handle of the directory.
//
// A directory is listed whole, in wide characters, when its search starts, and the search then
// hands out its entries; the walk erases entries while a search goes on, and the listing then
// needs no handle of its own that would keep the directory from being removed. Each name comes
// as the system stores it, whatever its length and however it ends (in a dot or a blank too).
#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/fs.h"
#include "platform/result_codes.h"
#include "platform/search.h"
#include "platform/win32/handles_win32.h"
#include "platform/win32/paths_win32.h"
#include "platform/win32/position_win32.h"

namespace {

struct OpenSearch {
  std::vector<ListedItem> items;
  std::size_t next = 0;
  DWORD end_error = oserror::NoMoreFiles; // how the listing ended
  bool in_current = false;
  unsigned generation = 0;
};

// Reads every entry of the directory. Answers 0, or the error of the first step.
DWORD ReadListing(HANDLE directory, OpenSearch& search) {
  constexpr NTSTATUS NoMoreFiles = static_cast<NTSTATUS>(0x80000006);
  constexpr NTSTATUS NoSuchFile = static_cast<NTSTATUS>(0xC000000F);
  std::vector<LONGLONG> buffer(64 * 1024 / sizeof(LONGLONG));
  ULONG size = static_cast<ULONG>(buffer.size() * sizeof(LONGLONG));
  for (bool first = true;; first = false) {
    NTSTATUS status = ListDirectory(directory, buffer.data(), size, first);
    if (status == NoMoreFiles || status == NoSuchFile)
      return 0;
    if (status < 0) {
      if (first)
        return ErrorOf(status);
      search.end_error = ErrorOf(status);
      return 0;
    }
    const char* at = reinterpret_cast<const char*>(buffer.data());
    for (;;) {
      const FILE_ID_BOTH_DIR_INFORMATION* item =
          reinterpret_cast<const FILE_ID_BOTH_DIR_INFORMATION*>(at);
      ListedItem listed;
      listed.wide.assign(item->FileName, item->FileNameLength / sizeof(wchar_t));
      listed.name = ByteName(listed.wide);
      listed.attributes = item->FileAttributes;
      listed.id = item->FileId.QuadPart;
      search.items.push_back(std::move(listed));
      if (item->NextEntryOffset == 0)
        break;
      at += item->NextEntryOffset;
    }
  }
}

} // namespace

void StepSearch(SearchEntry& entry) {
  OpenSearch* search = static_cast<OpenSearch*>(entry.Handle);
  for (;;) {
    if (search->next == search->items.size()) {
      EndSearch(entry, search->end_error);
      return;
    }
    const ListedItem& item = search->items[search->next++];
    std::uint32_t attributes = AsListed(item.attributes);
    // The system also matches 8.3 short names ("*.BAK" would find "x.bakup" by "X~1.BAK"); the
    // long name alone decides here, with the rules the other builds use.
    if (!SearchTakes(entry, item.name, attributes))
      continue;
    entry.Name = item.name;
    entry.Attributes = attributes;
    if (search->in_current && search->generation == PositionGeneration())
      NoteListed(item);
    return;
  }
}

void FindFirstEntry(std::string_view pattern, std::uint16_t mask, SearchEntry& entry) {
  std::string_view directory_part = StartSearch(pattern, mask, entry);
  OpenSearch* search = new OpenSearch;
  DWORD error = 0;
  if (directory_part.empty()) {
    search->in_current = true;
    search->generation = PositionGeneration();
    HANDLE directory = CurrentDirectoryHandle(error);
    if (directory != nullptr)
      error = ReadListing(directory, *search);
  } else {
    HANDLE directory = nullptr;
    error = OpenDirectoryOfPath(directory_part, directory);
    if (error == 0) {
      error = ReadListing(directory, *search);
      CloseHandle(directory);
    }
  }
  entry.Handle = search;
  if (error != 0) {
    EndSearch(entry, error);
    return;
  }
  StepSearch(entry);
}

void CloseSearch(void* handle) {
  delete static_cast<OpenSearch*>(handle);
}
