// Path expansion on any text, with drives D: and E: mapped besides Z:. The result is always a
// full path in backslashes, expanding it again changes nothing, and a pending file result is
// left as it was.
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
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > 1024)
    return 0;
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
  if (drive && (full.find("\\.\\") != std::string::npos || full.ends_with("\\.") ||
                full.find("\\..\\") != std::string::npos || full.ends_with("\\..")))
    Fail("dots left", path, full);
  if (drive && ExpandPath(full) != full)
    Fail("not stable", path, full);
  PendingIoResult = 0;
  return 0;
}
