// Only code for Windows: the small path helpers the Windows bodies share.
#pragma once

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
