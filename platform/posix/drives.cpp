// Only code for POSIX systems.
#include "platform/posix/drives.h"

#include <array>
#include <cstdlib>
#include <limits.h>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "platform/dos/path_text.h"
#include "platform/fs.h"
#include "platform/posix/names.h"
#include "platform/posix/paths.h"
#include "platform/posix/system_calls.h"

namespace {

struct Drive {
  bool mapped = false;
  std::string root;
  std::string current;
};

std::array<Drive, 27> drives; // and NoDrive
int current_drive = 25;

std::string Normalised(std::string path) {
  char resolved[PATH_MAX];
  if (sys::realpath(path.c_str(), resolved) != nullptr)
    path = resolved;
  while (path.size() > 1 && path.back() == '/')
    path.pop_back();
  return path;
}

// A root with a blank at its end or a control character anywhere is most likely a slip of the
// shell (a stray space before ";", a line break in a script): it is refused, not guessed at.
bool HasStrayCharacter(std::string_view root) {
  if (root.ends_with(' ') || root.ends_with('\t'))
    return true;
  for (unsigned char c : root)
    if (c < 0x20 || c == 0x7F)
      return true;
  return false;
}

bool IsDirectory(const std::string& path) {
  struct stat status;
  return sys::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

const std::string UnixPrefix = "\\\\?\\unix";

void MapDrive(int drive, std::string root) {
  drives[drive].mapped = true;
  drives[drive].root = std::move(root);
  drives[drive].current = std::string(1, static_cast<char>('A' + drive)) + ":\\";
}

} // namespace

int DriveIndex(char letter) {
  if (letter >= 'A' && letter <= 'Z')
    return letter - 'A';
  if (letter >= 'a' && letter <= 'z')
    return letter - 'a';
  return -1;
}

std::string LoadDriveTable() {
  drives = {};
  current_drive = 25;
  MapDrive(25, "/");
  const char* value = std::getenv("VAKRUN_DRIVES");
  if (value == nullptr)
    return {};
  std::array<bool, 26> given{};
  for (std::string_view item : PathComponents(value, ';')) {
    int drive = item.size() >= 3 && item[1] == '=' ? DriveIndex(item[0]) : -1;
    if (drive < 0 || item[2] != '/')
      return "VAKRUN_DRIVES: \"" + std::string(item) +
             "\" is not a drive letter, \"=\" and an absolute directory";
    if (given[drive])
      return "VAKRUN_DRIVES: drive " + std::string(1, static_cast<char>('A' + drive)) +
             ": is mapped twice";
    given[drive] = true;
    std::string letter(1, static_cast<char>('A' + drive));
    std::string root(item.substr(2));
    if (HasStrayCharacter(root))
      return "VAKRUN_DRIVES: the root of drive " + letter +
             ": ends in a blank or holds a control character";
    if (!IsDirectory(root))
      return "VAKRUN_DRIVES: the root of drive " + letter + ": is not a directory";
    MapDrive(drive, Normalised(std::move(root)));
  }
  return {};
}

bool DriveIsMapped(int drive) {
  return drive >= 0 && drive < 26 && drives[drive].mapped;
}
const std::string& DriveRoot(int drive) {
  return drives[drive].root;
}
std::string& DriveCurrent(int drive) {
  return drives[drive].current;
}
int CurrentDrive() {
  return current_drive;
}
void SetCurrentDrive(int drive) {
  current_drive = drive;
}

std::string DosPathOf(std::string_view linux_path) {
  int best = -1;
  std::size_t best_length = 0;
  for (int drive = 0; drive < 26; ++drive) {
    if (!drives[drive].mapped)
      continue;
    const std::string& root = drives[drive].root;
    bool inside = root == "/" || linux_path == root ||
                  (linux_path.size() > root.size() && linux_path.starts_with(root) &&
                   linux_path[root.size()] == '/');
    std::size_t length = root == "/" ? 0 : root.size();
    if (inside && (best < 0 || length > best_length)) {
      best = drive;
      best_length = length;
    }
  }
  if (best < 0)
    return UnixFormOf(linux_path);
  std::string dos(1, static_cast<char>('A' + best));
  dos += ":\\";
  bool first = true;
  for (std::string_view component : PathComponents(linux_path.substr(best_length), '/')) {
    if (!first)
      dos += '\\';
    dos += EncodeName(component);
    first = false;
  }
  return dos;
}

std::uint32_t LinuxPathOf(std::string_view dos_path, std::string& linux_path) {
  std::string full = ExpandPath(dos_path.substr(0, dos_path.find(';')));
  if (!IsOnDrive(full))
    return oserror::BadNetPath; // a network path: no such thing here
  int drive = DriveIndex(full[0]);
  if (!DriveIsMapped(drive))
    return oserror::InvalidDrive;
  linux_path = DriveRoot(drive);
  for (std::string_view component :
       PathComponents(std::string_view(full).substr(DriveRootLength), '\\')) {
    if (linux_path.back() != '/')
      linux_path += '/';
    linux_path += DecodeName(component);
  }
  return 0;
}

std::string UnixFormOf(std::string_view linux_path) {
  std::string dos = UnixPrefix;
  for (std::string_view component : PathComponents(linux_path, '/')) {
    dos += '\\';
    dos += EncodeName(component);
  }
  if (dos == UnixPrefix)
    dos += '\\';
  return dos;
}

bool LinuxPathOfUnixForm(std::string_view dos_path, std::string& linux_path) {
  if (!dos_path.starts_with(UnixPrefix + "\\"))
    return false;
  linux_path.clear();
  for (std::string_view component : PathComponents(dos_path.substr(UnixPrefix.size() + 1), '\\')) {
    linux_path += '/';
    linux_path += DecodeName(component);
  }
  if (linux_path.empty())
    linux_path = "/";
  return true;
}

std::string DosPathOfArgument(std::string_view linux_path) {
  std::vector<std::string_view> kept;
  for (std::string_view component : PathComponents(linux_path, '/')) {
    if (component == ".")
      continue;
    if (component == "..") {
      if (!kept.empty())
        kept.pop_back();
      continue;
    }
    kept.push_back(component);
  }
  std::string normal;
  for (std::string_view component : kept) {
    normal += '/';
    normal += component;
  }
  return DosPathOf(normal.empty() ? "/" : normal);
}
