#include "platform/fs/fs_body.h"

#include "platform/dos/result_codes.h"
#include "platform/fs.h"

bool IsBareName(std::string_view path) {
  // One search per separator: every entry of the walk passes here, and a search for any of a
  // set of characters costs a call per character of the name.
  return !path.empty() && path.find('\\') == std::string_view::npos &&
         path.find('/') == std::string_view::npos && !(path.size() >= 2 && path[1] == ':') &&
         path != "." && path != "..";
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
