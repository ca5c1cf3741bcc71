#include "platform/fs/search.h"

#include "platform/dos/result_codes.h"
#include "platform/dos/wildcard.h"

std::string_view StartSearch(std::string_view pattern, std::uint16_t mask, SearchEntry& entry) {
  entry = SearchEntry{};
  LastServiceResult = 0;
  // An entry with hidden, system, volume label or directory set is listed only when the mask
  // asks for each of those bits it has.
  entry.ExcludeMask = static_cast<std::uint16_t>(
      (HiddenAttribute | SystemAttribute | VolumeLabelAttribute | DirectoryAttribute) & ~mask);
  std::size_t slash = pattern.find_last_of("\\/");
  std::size_t start = slash != std::string_view::npos            ? slash + 1
                      : pattern.size() >= 2 && pattern[1] == ':' ? 2
                                                                 : 0;
  entry.Pattern = pattern.substr(start);
  entry.TakesEveryName = entry.Pattern == "*.*";
  return pattern.substr(0, start);
}

bool SearchTakes(const SearchEntry& entry, std::string_view name, std::uint32_t attributes) {
  // "*.*" takes every name, so the matcher need not look at each one.
  return (attributes & entry.ExcludeMask) == 0 &&
         (entry.TakesEveryName || MatchesMask(entry.Pattern, name));
}

void EndSearch(SearchEntry& entry, std::uint32_t os_error) {
  entry.Listing.reset();
  LastServiceResult = TranslateSearchError(os_error);
}

void FindNextEntry(SearchEntry& entry) {
  LastServiceResult = 0;
  if (!entry.Listing) {
    LastServiceResult = oserror::NoMoreFiles;
    return;
  }
  StepSearch(entry);
}
