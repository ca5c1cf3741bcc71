// The file system as the walk sees it. In a real run every call here is the layer's own. In a
// dry run the calls that would change something go to an overlay over the layer instead: nothing
// is erased, removed or given new attributes, and what the run would have erased is hidden from
// the walk's searches, so that a directory is removed under the overlay exactly when everything
// in it would have gone. Moving about the tree (the change of directory) stays the layer's own.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/fs.h"

// Set by the option loop for --dry-run; never saved with the options.
extern bool DryRun;

// Searches in the current directory; a dry run passes over the entries it has hidden.
void OverlayFindFirstEntry(std::string_view pattern, std::uint16_t mask, SearchEntry& entry);
void OverlayFindNextEntry(SearchEntry& entry);
// A dry run answers 0 and changes nothing.
void OverlaySetEntryAttributes(std::string_view path, std::uint16_t attributes);
// A dry run hides the file and answers 0.
void OverlayEraseFile(std::string_view path);
// A dry run hides the directory and answers 0 when every entry the layer lists in it is hidden;
// otherwise it answers as for a directory that is not empty (a drive's root always so).
void OverlayRemoveEmptyDirectory(std::string_view path);
