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
void ResolveDots(std::string& t) {
  for (std::size_t at; (at = t.find("\\.\\")) != std::string::npos;)
    t.erase(at, 2);
  for (std::size_t at; (at = t.find("\\..\\")) != std::string::npos;) {
    std::size_t slash = LastBackslashBefore(t, at);
    std::size_t from = slash == std::string::npos ? 0 : slash + 1;
    t.erase(from, at + 4 - from);
  }
  // A last ".." component; an earlier name may also begin with ".." ("..old\..").
  if (t.ends_with("\\..")) {
    std::size_t at = t.size() - 3;
    std::size_t slash = LastBackslashBefore(t, at);
    if (slash == std::string::npos)
      t.clear();
    else
      t.erase(slash + 1);
  }
  if (t == ".")
    t.clear();
  else if (t.ends_with("\\."))
    t.erase(t.size() - 2);
  while (t.starts_with(".\\"))
    t.erase(0, 2);
  while (t.starts_with("..\\"))
    t.erase(0, 3);
  if (t == "." || t == "..")
    t.clear();
}

// A run of separators is one separator, as the system reads it: "Z:\\\" is the root, and
// "Z:\TMP\\.." is Z:\ (left as it was, a root spelling would escape the drive-root question).
// Only the two backslashes that open a network path stay together.
void CollapseSeparatorRuns(std::string& w) {
  std::size_t kept = w.starts_with("\\\\") ? 2 : 0;
  std::size_t out = kept;
  for (std::size_t at = kept; at < w.size(); ++at) {
    bool after_separator = out > 0 && w[out - 1] == '\\';
    if (w[at] == '\\' && after_separator)
      continue;
    w[out++] = w[at];
  }
  w.resize(out);
}

} // namespace

std::string ExpandPath(std::string_view path) {
  ResultCode pending_before = PendingIoResult;
  std::string w = WithBackslashes(path);
  CollapseSeparatorRuns(w);
  std::size_t root = DriveRootLength; // length of the root part ("C:\", "\\SERVER\SHARE\")
  bool root_optional = false;

  if (w.size() >= 2 && IsDriveLetter(w[0]) && w[1] == ':') {
    if (w[0] >= 'a')
      w[0] = static_cast<char>(w[0] - 32);
    std::string d = GetDriveDirectory(static_cast<std::uint8_t>(w[0] - 64));
    if (w.size() == 2) {
      w = d;
    } else if (w[2] != '\\') {
      std::string rest = w.substr(2);
      if (!d.empty() && w[0] == d[0]) {
        if (d.ends_with('\\'))
          d.pop_back();
        w = d + "\\" + rest;
      } else {
        w = std::string(1, w[0]) + ":\\" + rest;
      }
    }
  } else {
    std::string d = GetDriveDirectory(0);
    if (w.starts_with("\\\\")) {
      // Network form: the root runs to the end of the share name.
      std::size_t next = w.find('\\', 2);
      if (next == std::string::npos) {
        if (w == "\\\\") {
          root = 2;
        } else {
          w += '\\';
          root = w.size();
        }
      } else {
        root = next + 1;
        if (next + 1 < w.size()) {
          root_optional = true;
          std::size_t share_end = w.find('\\', next + 1);
          root = share_end == std::string::npos ? w.size() + 1 : share_end + 1;
        }
      }
    } else if (w.starts_with("\\")) {
      w = d.substr(0, 1) + ":" + w;
    } else if (d.size() == DriveRootLength) {
      w = d + w;
    } else if (w.empty()) {
      w = d + "\\";
    } else {
      w = d + "\\" + w;
    }
  }

  std::size_t keep = std::min(root, w.size());
  std::string t = w.substr(keep);
  ResolveDots(t);
  w = w.substr(0, keep) + t;
  // The root keeps its backslash (a share name given without one gets it here).
  if (t.empty() && (root > w.size() || w[root - 1] != '\\'))
    w += '\\';
  if (w.ends_with('\\') && (w.size() > root || (root_optional && w.size() == root)) &&
      !path.empty() && path.back() != '\\')
    w.pop_back();

  PendingIoResult = pending_before;
  return w;
}
