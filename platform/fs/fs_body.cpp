#include "platform/fs/fs_body.h"

#include "platform/dos/result_codes.h"
#include "platform/fs.h"

bool IsBareName(std::string_view path) {
  if (path.empty() || path == "." || path == ".." || (path.size() >= 2 && path[1] == ':'))
    return false;
  // One pass for both separators: every entry of the walk passes here, and names are short.
  for (char c : path)
    if (c == '\\' || c == '/')
      return false;
  return true;
}

bool RemovalGoesAhead(std::string_view path) {
  if (path == ".") {
    PendingIoResult = dosresult::CurrentDirectory;
    return false;
  }
  return !path.empty() && PendingIoResult == 0;
}

bool VolumeLabelRefused(std::uint16_t attributes) {
  LastServiceResult = 0;
  if ((attributes & VolumeLabelAttribute) == 0)
    return false;
  LastServiceResult = dosresult::AccessDenied;
  return true;
}
