// Only code for Windows: directory searches through the held handle of the directory.
//
// A directory is listed whole, in wide characters, when its search starts, and the search then
// hands out its entries; the walk erases entries while a search goes on, and the listing then
// needs no handle of its own that would keep the directory from being removed. Each name comes
// as the system stores it, whatever its length and however it ends (in a dot or a blank too); a
// ":" or "\" in it, which only a Unix name under wine can hold, is handed out as a private-use
// character (see DosName).
#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/dos/result_codes.h"
#include "platform/fs.h"
#include "platform/fs/search.h"
#include "platform/win32/handles_win32.h"
#include "platform/win32/paths_win32.h"
#include "platform/win32/position_win32.h"

struct SearchListing {
  std::vector<ListedItem> items;
  std::size_t next = 0;
  DWORD end_error = oserror::NoMoreFiles; // how the listing ended
  // The held directory the listing is of, when it is the current one (see CurrentDirectoryMark).
  unsigned mark = 0;
};

void ReleaseSearchListing::operator()(SearchListing* listing) const {
  delete listing;
}

namespace {

// Reads every entry of the directory. Answers 0, or the error of the first step.
DWORD ReadListing(HANDLE directory, SearchListing& search) {
  std::vector<DirectoryEntry> entries;
  for (bool first = true;; first = false) {
    entries.clear();
    NTSTATUS status = ListDirectory(directory, entries, first);
    if (status == STATUS_NO_MORE_FILES)
      return 0;
    if (status < 0) {
      if (first)
        return ErrorOf(status);
      search.end_error = ErrorOf(status);
      return 0;
    }
    for (DirectoryEntry& entry : entries) {
      ListedItem listed;
      listed.name = DosName(entry.name);
      listed.attributes = entry.attributes;
      listed.named = {std::move(entry.name), std::move(entry.short_name), entry.id};
      search.items.push_back(std::move(listed));
    }
  }
}

} // namespace

void StepSearch(SearchEntry& entry) {
  SearchListing* search = entry.Listing.get();
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
    // The walk comes back to the directory from each subdirectory: what the listing says of its
    // next entries holds again there.
    if (search->mark != 0 && search->mark == CurrentDirectoryMark())
      NoteListed(item);
    return;
  }
}

void FindFirstEntry(std::string_view pattern, std::uint16_t mask, SearchEntry& entry) {
  // An entry held open, alone, for the operations on it would keep its own listing from opening.
  CloseOpenEntry();
  std::string_view directory_part = StartSearch(pattern, mask, entry);
  entry.Listing.reset(new SearchListing);
  SearchListing* search = entry.Listing.get();
  DWORD error = 0;
  if (directory_part.empty()) {
    HANDLE directory = CurrentDirectoryHandle(error);
    search->mark = CurrentDirectoryMark();
    if (directory != nullptr)
      error = ReadListing(directory, *search);
  } else {
    OwnedHandle directory;
    error = OpenDirectoryOfPath(directory_part, directory);
    if (error == 0)
      error = ReadListing(directory.get(), *search);
  }
  if (error != 0) {
    EndSearch(entry, error);
    return;
  }
  StepSearch(entry);
}
