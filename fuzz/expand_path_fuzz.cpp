// Path expansion on any text, with drives D: and E: mapped besides Z:. The result is always a
// full path in backslashes with no run of separators, expanding it again changes nothing, and a
// pending file result is left as it was. Inputs whose first byte has bit 1 set are instead read
// as the recipe of a spelling of a drive's root (separator runs, ".", names and the ".." that
// leave them), which must expand to exactly the three characters of the root: the length that
// decides the question before a whole drive is erased.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/fs.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("VAKRUN_DRIVES", "D=/tmp;E=/usr", 1);
  if (!StartFileSystem().empty())
    std::abort();
  return 0;
}

namespace {
void Fail(const char* what, std::string_view path, const std::string& full) {
  std::fprintf(stderr, "%s: \"%.*s\" -> \"%s\"\n", what, static_cast<int>(path.size()), path.data(),
               full.c_str());
  std::abort();
}

// Builds "X:" and a separator, then components between runs of separators, each name left again
// by a ".." before the end, so that the text names the drive's root.
std::string RootSpelling(const std::uint8_t* data, std::size_t size) {
  static const char* const letters[] = {"D", "E", "Z", "d", "e", "z"};
  static const char* const separators[] = {"\\", "/", "\\\\", "//", "/\\", "\\/\\"};
  static const char* const names[] = {"a", "B", "..a", "a.b", "a..", "x y"};
  std::string spelling = letters[data[0] % 6];
  spelling += ':';
  spelling += separators[data[0] / 6 % 6];
  int depth = 0;
  for (std::size_t i = 1; i < size; ++i) {
    std::uint8_t choice = data[i];
    switch (choice % 4) {
    case 0:
      spelling += '.';
      break;
    case 1:
      spelling += "..";
      depth = depth > 0 ? depth - 1 : 0;
      break;
    default:
      spelling += names[choice / 4 % 6];
      ++depth;
      break;
    }
    spelling += separators[choice / 24 % 6];
  }
  for (; depth > 0; --depth)
    spelling += (depth % 2 != 0) ? "..\\" : "../";
  return spelling;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > 1024)
    return 0;
  if ((data[0] & 2) != 0) {
    if (size < 2)
      return 0;
    std::string spelling = RootSpelling(data + 1, size - 1);
    std::string full = ExpandPath(spelling);
    std::string root = std::string(1, static_cast<char>(spelling[0] & ~0x20)) + ":\\";
    if (full != root)
      Fail("root spelling not the root", spelling, full);
    return 0;
  }
  ResultCode pending = data[0] & 1 ? 5 : 0;
  std::string_view path(reinterpret_cast<const char*>(data + 1), size - 1);
  PendingIoResult = pending;
  std::string full = ExpandPath(path);
  if (PendingIoResult != pending)
    Fail("pending result changed", path, full);
  if (full.find('/') != std::string::npos)
    Fail("slash left", path, full);
  bool network = full.starts_with("\\\\");
  bool drive =
      full.size() >= 3 && full[0] >= 'A' && full[0] <= 'Z' && full[1] == ':' && full[2] == '\\';
  if (!network && !drive)
    Fail("not a full path", path, full);
  // Only the two backslashes that open a network path stand together.
  if (full.find("\\\\", network ? 1 : 0) != std::string::npos)
    Fail("separator run", path, full);
  if (drive && (full.find("\\.\\") != std::string::npos || full.ends_with("\\.") ||
                full.find("\\..\\") != std::string::npos || full.ends_with("\\..")))
    Fail("dots left", path, full);
  if (drive && ExpandPath(full) != full)
    Fail("not stable", path, full);
  PendingIoResult = 0;
  return 0;
}
