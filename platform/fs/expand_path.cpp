// Path expansion, the same on every system: it works on the DOS form of a path and asks the
// layer only for the current directory of a drive.
#include <string>

#include "platform/dos/path_text.h"
#include "platform/fs.h"

namespace {

// Position of the last backslash in text before index `before` (npos if none).
std::size_t LastBackslashBefore(const std::string& text, std::size_t before) {
  if (before == 0)
    return std::string::npos;
  return text.rfind('\\', before - 1);
}

// Resolves "." and ".." in the part below the root. A ".." above the root is dropped.
void ResolveDots(std::string& below_root) {
  for (std::size_t at; (at = below_root.find("\\.\\")) != std::string::npos;)
    below_root.erase(at, 2);
  for (std::size_t at; (at = below_root.find("\\..\\")) != std::string::npos;) {
    std::size_t slash = LastBackslashBefore(below_root, at);
    std::size_t from = slash == std::string::npos ? 0 : slash + 1;
    below_root.erase(from, at + 4 - from);
  }
  // A last ".." component; an earlier name may also begin with ".." ("..old\..").
  if (below_root.ends_with("\\..")) {
    std::size_t at = below_root.size() - 3;
    std::size_t slash = LastBackslashBefore(below_root, at);
    if (slash == std::string::npos)
      below_root.clear();
    else
      below_root.erase(slash + 1);
  }
  if (below_root == ".")
    below_root.clear();
  else if (below_root.ends_with("\\."))
    below_root.erase(below_root.size() - 2);
  while (below_root.starts_with(".\\"))
    below_root.erase(0, 2);
  while (below_root.starts_with("..\\"))
    below_root.erase(0, 3);
  if (below_root == "." || below_root == "..")
    below_root.clear();
}

// A run of separators is one separator, as the system reads it: "Z:\\\" is the root, and
// "Z:\TMP\\.." is Z:\ (left as it was, a root spelling would escape the drive-root question).
// Only the two backslashes that open a network path stay together.
void CollapseSeparatorRuns(std::string& path) {
  std::size_t kept = path.starts_with("\\\\") ? 2 : 0;
  std::size_t out = kept;
  for (std::size_t at = kept; at < path.size(); ++at) {
    bool after_separator = out > 0 && path[out - 1] == '\\';
    if (path[at] == '\\' && after_separator)
      continue;
    path[out++] = path[at];
  }
  path.resize(out);
}

// A path that begins with a drive letter and a colon: the letter in capitals, and a path
// relative to that drive ("C:" alone, "C:OLD") made full from the drive's current directory.
void ExpandOnDrive(std::string& full) {
  if (full[0] >= 'a')
    full[0] = static_cast<char>(full[0] - 'a' + 'A');
  std::string drive_directory = GetDriveDirectory(static_cast<std::uint8_t>(full[0] - 'A' + 1));
  if (full.size() == 2) {
    full = drive_directory;
    return;
  }
  if (full[2] == '\\')
    return;
  std::string rest = full.substr(2);
  if (!drive_directory.empty() && full[0] == drive_directory[0]) {
    if (drive_directory.ends_with('\\'))
      drive_directory.pop_back();
    full = drive_directory + "\\" + rest;
  } else {
    full = std::string(1, full[0]) + ":\\" + rest;
  }
}

// The network form ("\\SERVER\SHARE\..."): the root runs to the end of the share name, and a
// share name given without its backslash may stay without it (`root_optional`). Answers the root's
// length; a server alone gets its backslash here.
std::size_t NetworkRootLength(std::string& full, bool& root_optional) {
  std::size_t next = full.find('\\', 2);
  if (next == std::string::npos) {
    if (full == "\\\\")
      return 2;
    full += '\\';
    return full.size();
  }
  if (next + 1 >= full.size())
    return next + 1;
  root_optional = true;
  std::size_t share_end = full.find('\\', next + 1);
  return share_end == std::string::npos ? full.size() + 1 : share_end + 1;
}

// A path without a drive: from the current drive's root ("\OLD"), or from the current directory.
void ExpandOnCurrent(std::string& full, const std::string& current) {
  if (full.starts_with("\\"))
    full = current.substr(0, 1) + ":" + full;
  else if (current.size() == DriveRootLength) // the current directory is a drive's root
    full = current + full;
  else if (full.empty())
    full = current + "\\";
  else
    full = current + "\\" + full;
}

// Resolves the dots below the root; the root keeps its backslash, and a backslash at the end stays
// only where the caller's own path ended with one.
void FinishBelowRoot(std::string& full, std::size_t root, bool root_optional,
                     std::string_view path) {
  std::size_t keep = std::min(root, full.size());
  std::string below_root = full.substr(keep);
  ResolveDots(below_root);
  full = full.substr(0, keep) + below_root;
  // The root keeps its backslash (a share name given without one gets it here).
  if (below_root.empty() && (root > full.size() || full[root - 1] != '\\'))
    full += '\\';
  if (full.ends_with('\\') && (full.size() > root || (root_optional && full.size() == root)) &&
      !path.empty() && path.back() != '\\')
    full.pop_back();
}

} // namespace

std::string ExpandPath(std::string_view path) {
  ResultCode pending_before = PendingIoResult;
  std::string full = WithBackslashes(path);
  CollapseSeparatorRuns(full);
  std::size_t root = DriveRootLength; // length of the root part ("C:\", "\\SERVER\SHARE\")
  bool root_optional = false;
  if (full.size() >= 2 && IsDriveLetter(full[0]) && full[1] == ':') {
    ExpandOnDrive(full);
  } else {
    std::string current = GetDriveDirectory(0);
    if (full.starts_with("\\\\"))
      root = NetworkRootLength(full, root_optional);
    else
      ExpandOnCurrent(full, current);
  }
  FinishBelowRoot(full, root, root_optional, path);
  PendingIoResult = pending_before;
  return full;
}
