// What every body of the directory searches of platform/fs.h does alike: the start of a search,
// its end, and each step after the first. A body lists the directory and hands out its entries.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/fs.h"

// Starts a search in `entry`: a search still open there is let go, the entry is cleared,
// LastServiceResult is 0, and the entry keeps the name part of the pattern and the bits that
// `mask` excludes. Answers the directory part of the pattern (up to its last separator, or a
// drive's colon), which is empty for the current directory.
std::string_view StartSearch(std::string_view pattern, std::uint16_t mask, SearchEntry& entry);

// True when the search takes an entry: it has none of the excluded bits and its name matches the
// pattern.
bool SearchTakes(const SearchEntry& entry, std::string_view name, std::uint32_t attributes);

// Ends the search in `entry` (its listing goes) and reports `os_error` through the search
// translation.
void EndSearch(SearchEntry& entry, std::uint32_t os_error);

// Defined by the body: ReleaseSearchListing (platform/fs.h), which lets a listing go.
// Defined by the body: steps to the next entry that matches the pattern and has no excluded bit,
// or ends the search.
void StepSearch(SearchEntry& entry);
