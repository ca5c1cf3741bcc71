// Only code for Windows: the small helpers for paths, names and attributes that the Windows
// bodies share.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/dos/path_text.h"
#include "platform/win32/handles_win32.h"

// Paths and names compared as the file system compares them (see SameName): ordinal, without
// regard to letter case.
inline bool SameText(std::string_view a, std::string_view b) {
  return SameName(WideName(a), WideName(b));
}

// In a search a reparse point never carries the directory bit, so the walk removes it as an
// entry and never enters it.
inline std::uint32_t AsListed(DWORD attributes) {
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
    attributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY);
  return attributes;
}
