// Only code for Windows: the small helpers for paths, names and attributes that the Windows
// bodies share.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

// The path as the system gets it: DOS turns every "/" into "\" before a file operation.
inline std::string SystemPath(std::string_view path) {
  std::string system(path);
  for (char& c : system)
    if (c == '/')
      c = '\\';
  return system;
}

// Names compared as the system compares them, without regard to letter case.
inline bool SameText(std::string_view a, std::string_view b) {
  return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                        b.data(), static_cast<int>(b.size())) == CSTR_EQUAL;
}

// In a search a reparse point never carries the directory bit, so the walk removes it as an
// entry and never enters it.
inline std::uint32_t AsListed(DWORD attributes) {
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
    attributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY);
  return attributes;
}
