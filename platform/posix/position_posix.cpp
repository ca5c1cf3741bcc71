// Only code for POSIX systems: the walk's position, held as open directory descriptors.
//
// Safety comes first here. The walk's position is the process's current directory, held as an
// open descriptor; stepping into a subdirectory opens it without following links and checks that
// it is the entry just listed, and stepping up returns to the held descriptor of the directory the
// walk came from, never to wherever ".." leads at that moment. Links are never followed and
// never carry the directory bit, so nothing outside the target is reached. Above the target the
// same holds: entering a target by its full path opens each of its ancestors from the drive's
// root down, without following links, and holds them, so that the climb of ParentDelete steps up
// into those very directories and removes only the directory it has just left.
#include "platform/posix/position_posix.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/dos/path_text.h"
#include "platform/fs.h"
#include "platform/fs/fs_body.h"
#include "platform/posix/drives.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/names.h"
#include "platform/posix/paths.h"
#include "platform/posix/place_posix.h"
#include "platform/posix/system_calls.h"

OwnedFd current_fd;
bool current_entered = false;
unsigned position_generation = 0;
ListedEntry listed;

namespace {

// ---- Position ---------------------------------------------------------------------------------

// What is known of a directory while the walk holds it: its identity, once read (a held
// descriptor's cannot change), and what the attribute changes found of its file system.
struct KnownOfDirectory {
  bool identity_known = false;
  dev_t device = 0;
  ino_t inode = 0;
  VolumeLook volume;
};

// Reads the identity of the directory `fd` holds (the process's current directory when it holds
// none) into `known`, once; false, errno set, when it cannot be read.
bool KnowIdentity(int fd, KnownOfDirectory& known) {
  if (known.identity_known)
    return true;
  struct stat status;
  if ((fd >= 0 ? sys::fstat(fd, &status) : sys::fstatat(AT_FDCWD, ".", &status, 0)) != 0)
    return false;
  known.identity_known = true;
  known.device = status.st_dev;
  known.inode = status.st_ino;
  return true;
}

// A directory the walk stepped down from, to step up to again.
struct HeldDirectory {
  OwnedFd fd; // none once let go for room (see KeepWithinBudget)
  // The directory was entered by the program (the target or a directory under it), so its own
  // write permission may be given back to its owner when that alone stops an erase inside it.
  bool entered;
  // Reached from its drive's root through no link at all.
  bool from_root;
  // Of a directory let go: the step up takes ".." only when it is this very directory.
  KnownOfDirectory known;
};

bool current_from_root = false;
// What is known of the current directory (see CurrentIdentity and CurrentVolumeLook).
KnownOfDirectory current_known;
std::vector<HeldDirectory> held;

// Why the current directory the run started in cannot be read (0 when it can), until the run
// moves: GetDriveDirectory(0) fails with it meanwhile.
std::uint32_t start_unknown = 0;

// ---- Modes given back --------------------------------------------------------------------------

// A directory whose owner write permission the program added (see MadeCurrentWritable) gets its
// own mode back when the walk leaves it: a directory that stays keeps the mode it had.
struct GivenWrite {
  int fd;
  dev_t device;
  ino_t inode;
  mode_t mode; // before the write permission was added
};
std::vector<GivenWrite> given_write;

// Lets the directory go, its mode given back first when the program made it writable.
void CloseDirectory(OwnedFd directory) {
  int fd = directory.get();
  for (auto it = given_write.begin(); fd >= 0 && it != given_write.end(); ++it) {
    if (it->fd != fd)
      continue;
    struct stat status;
    // The record may be stale (a descriptor closed elsewhere and its number reused), so the
    // directory must still be the very one that was made writable.
    if (sys::fstat(fd, &status) == 0 && status.st_dev == it->device && status.st_ino == it->inode)
      sys::fchmod(fd, it->mode);
    given_write.erase(it);
    break;
  }
}

void DropHeldDirectories() {
  for (HeldDirectory& directory : held)
    CloseDirectory(std::move(directory.fd));
  held.clear();
}

// ---- Room for descriptors ----------------------------------------------------------------------

// The limit on open files leaves room for this many held directories: each level of the walk
// holds one, and a tree as deep as the walk goes must fit in a limit of 64 (or less). Beyond it
// the directories farthest up are let go, each remembered by its device and inode.
std::size_t held_budget = SIZE_MAX;
// Kept free for the rest: the standard streams, the terminal, the current directory, a listing,
// the directory being entered, an entry looked at, the program's own file.
constexpr rlim_t SpareDescriptors = 16;

// The soft limit is raised to the hard one, as tools that hold many files open do.
void SetDescriptorBudget() {
  struct rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
    return;
  if (limit.rlim_cur < limit.rlim_max) {
    struct rlimit raised = {limit.rlim_max, limit.rlim_max};
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0)
      limit = raised;
  }
  if (limit.rlim_cur != RLIM_INFINITY)
    held_budget = limit.rlim_cur > SpareDescriptors ? limit.rlim_cur - SpareDescriptors : 0;
}

bool GivenWriteTo(int fd) {
  for (const GivenWrite& record : given_write)
    if (record.fd == fd)
      return true;
  return false;
}

// Lets go of the directories farthest up while more are held open than the budget allows. One
// whose mode is to be given back stays held.
void KeepWithinBudget(std::vector<HeldDirectory>& directories) {
  std::size_t open = 0;
  for (const HeldDirectory& directory : directories)
    open += directory.fd.is_open() ? 1 : 0;
  for (HeldDirectory& directory : directories) {
    if (open <= held_budget)
      return;
    if (!directory.fd.is_open() || GivenWriteTo(directory.fd.get()) ||
        !KnowIdentity(directory.fd.get(), directory.known))
      continue;
    directory.fd.reset();
    --open;
  }
}

// A directory let go is opened again through ".." of the current one, and only when that is
// still the very directory: moved elsewhere meanwhile, the step up finds another and is refused.
OwnedFd ReopenHeld(const HeldDirectory& directory, std::uint32_t& error) {
  int flags = (directory.entered ? O_RDONLY : O_PATH) | O_DIRECTORY | O_CLOEXEC;
  OwnedFd fd(sys::openat(current_fd.get(), "..", flags));
  if (!fd.is_open() && directory.entered)
    fd.reset(sys::openat(current_fd.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!fd.is_open()) {
    error = OsErrorFromErrno(errno);
    return fd;
  }
  struct stat status;
  if (sys::fstat(fd.get(), &status) != 0 || status.st_dev != directory.known.device ||
      status.st_ino != directory.known.inode) {
    fd.reset();
    error = oserror::PathNotFound;
  }
  return fd;
}

// The directory becomes current, with what is known of it: its identity and its file system.
void MakeCurrent(OwnedFd fd, bool entered, bool from_root, const KnownOfDirectory& known = {}) {
  start_unknown = 0;
  CloseDirectory(std::move(current_fd));
  current_fd = std::move(fd);
  current_entered = entered;
  current_from_root = from_root;
  current_known = known;
  ++position_generation;
}

// The current directory as a directory to step up to again.
HeldDirectory HeldCurrent() {
  return {std::move(current_fd), current_entered, current_from_root, current_known};
}

LeftDirectory left;

void AppendComponent(std::string& dos_path, std::string_view name) {
  if (!dos_path.ends_with('\\'))
    dos_path += '\\';
  dos_path += name;
}

void DropLastComponent(std::string& dos_path) {
  if (IsBelowRoot(dos_path))
    dos_path.resize(ParentOf(dos_path).size());
}

} // namespace

const LeftDirectory* LeftAs(const std::string& linux_name) {
  if (left.generation == position_generation && left.name == linux_name)
    return &left;
  return nullptr;
}

bool IsLeftDirectory(const LeftDirectory& directory, const struct stat& status) {
  return S_ISDIR(status.st_mode) && status.st_dev == directory.device &&
         status.st_ino == directory.inode;
}

std::string& LogicalCurrent() {
  return DriveCurrent(CurrentDrive());
}

bool CurrentIdentity(dev_t& device, ino_t& inode) {
  if (!KnowIdentity(current_fd.get(), current_known))
    return false;
  device = current_known.device;
  inode = current_known.inode;
  return true;
}

VolumeLook& CurrentVolumeLook() {
  return current_known.volume;
}

const ListedEntry* ListedAs(std::string_view dos_name) {
  if (listed.generation == position_generation && listed.name == dos_name)
    return &listed;
  return nullptr;
}

// A directory the user owns and made read-only does not stop the erase of what it holds (a Go
// module cache is the everyday case): give its owner write permission back and try once more.
// Only directories the program entered qualify, never one above the target. The mode is put back
// when the walk leaves the directory (CloseDirectory).
bool MadeCurrentWritable(const Place& place, int error) {
  if (error != EACCES || !place.in_current || !current_entered)
    return false;
  struct stat status;
  if (sys::fstat(current_fd.get(), &status) != 0 || status.st_uid != sys::geteuid() ||
      (status.st_mode & S_IWUSR) != 0)
    return false;
  if (sys::fchmod(current_fd.get(), (status.st_mode | S_IWUSR) & 07777) != 0)
    return false;
  given_write.push_back({current_fd.get(), status.st_dev, status.st_ino, status.st_mode & 07777});
  return true;
}

namespace {

bool IsLinkIn(int dir_fd, const std::string& name) {
  struct stat status;
  return sys::fstatat(dir_fd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
         S_ISLNK(status.st_mode);
}

std::uint32_t OpenError(int error) {
  std::uint32_t os_error = OsErrorFromErrno(error);
  return os_error == oserror::FileNotFound ? oserror::PathNotFound : os_error;
}

// Opens the directory a full path names, holding its ancestors from the drive's root down, each
// opened in the one before without following a link. A link on the way is followed to reach the
// directory (the user typed it), but then nothing above the directory is held but its own
// parent, and the climb of ParentDelete ends there. The last component is never a link: a target
// that is a link to "/" would otherwise erase everything without the drive-root question.
OwnedFd OpenWithAncestors(int drive, const std::string& full, std::vector<HeldDirectory>& ancestors,
                          std::uint32_t& error) {
  const std::string& root = DriveRoot(drive);
  OwnedFd fd(sys::open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!fd.is_open()) {
    error = OpenError(errno);
    return fd;
  }
  std::vector<std::string_view> components =
      PathComponents(std::string_view(full).substr(DriveRootLength), '\\');
  for (std::size_t at = 0; at < components.size(); ++at) {
    bool last = at + 1 == components.size();
    std::string name = DecodeName(components[at]);
    int flags = (last ? O_RDONLY : O_PATH) | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    OwnedFd next(sys::openat(fd.get(), name.c_str(), flags));
    if (!next.is_open() && !last && IsLinkIn(fd.get(), name)) {
      // What was held goes before the directory is opened by its path, which leaves room for it
      // under a small limit on open files.
      fd.reset();
      ancestors.clear();
      std::string linux_path;
      LinuxPathOf(full, linux_path);
      next.reset(sys::open(linux_path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      if (!next.is_open()) {
        error = OpenError(errno);
        return next;
      }
      OwnedFd parent(sys::openat(next.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
      if (parent.is_open())
        ancestors.push_back({std::move(parent), false, false, {}});
      return next;
    }
    if (!next.is_open()) {
      error = OpenError(errno);
      return next;
    }
    ancestors.push_back({std::move(fd), false, true, {}});
    KeepWithinBudget(ancestors);
    fd = std::move(next);
  }
  if (ancestors.empty()) {
    // The root itself, opened to be read.
    OwnedFd readable(sys::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!readable.is_open())
      error = OpenError(errno);
    return readable;
  }
  return fd;
}

// True when fd is the directory of the drive's root, whatever name led to it.
bool IsDriveRoot(int drive, int fd) {
  struct stat status, root;
  return sys::fstat(fd, &status) == 0 && sys::stat(DriveRoot(drive).c_str(), &root) == 0 &&
         status.st_dev == root.st_dev && status.st_ino == root.st_ino;
}

} // namespace

void StepUp() {
  std::string& logical = LogicalCurrent();
  if (held.empty()) {
    // ".." at a drive's root stays there. Anywhere else the directory above was never held (the
    // path to it went through a link), and it is not looked up by its name: that name may lead
    // anywhere by now.
    if (IsBelowRoot(logical))
      SetPendingError(oserror::PathNotFound);
    return;
  }
  // A directory let go for room is opened again for the step; it stays let go if the step fails.
  OwnedFd reopened;
  if (!held.back().fd.is_open()) {
    std::uint32_t error = 0;
    reopened = ReopenHeld(held.back(), error);
    if (!reopened.is_open()) {
      SetPendingError(error);
      return;
    }
  }
  HeldDirectory& parent = held.back();
  OwnedFd& parent_fd = parent.fd.is_open() ? parent.fd : reopened;
  dev_t here_device = 0;
  ino_t here_inode = 0;
  bool known = CurrentIdentity(here_device, here_inode);
  if (sys::fchdir(parent_fd.get()) != 0) {
    SetPendingError(OsErrorFromErrno(errno));
    return;
  }
  OwnedFd fd = std::move(parent_fd);
  HeldDirectory up = std::move(parent);
  held.pop_back();
  std::string name = DecodeName(LastComponent(logical));
  bool entered = current_entered;
  MakeCurrent(std::move(fd), up.entered, up.from_root, up.known);
  DropLastComponent(logical);
  left = {};
  if (known)
    left = {std::move(name), here_device, here_inode, entered, position_generation};
}

void StepDown(const std::string& dos_name) {
  std::string linux_name = DecodeName(dos_name);
  OwnedFd fd(
      sys::openat(AT_FDCWD, linux_name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd.is_open()) {
    std::uint32_t error = OsErrorFromErrno(errno);
    SetPendingError(error == oserror::FileNotFound ? oserror::PathNotFound : error);
    return;
  }
  // The directory must be the very entry the search listed, not one swapped in since, and on
  // the same file system: a mount inside the tree (a bind mount of a home directory, say) may
  // bring in what lies outside the target, so the walk does not cross into it.
  struct stat status;
  dev_t here_device = 0;
  ino_t here_inode = 0;
  const ListedEntry* entry = ListedAs(dos_name);
  if (sys::fstat(fd.get(), &status) != 0 || !CurrentIdentity(here_device, here_inode) ||
      status.st_dev != here_device ||
      (entry != nullptr && entry->inode != 0 && status.st_ino != entry->inode)) {
    SetPendingError(oserror::PathNotFound);
    return;
  }
  if (sys::fchdir(fd.get()) != 0) {
    SetPendingError(OsErrorFromErrno(errno));
    return;
  }
  bool from_root = current_from_root;
  held.push_back(HeldCurrent());
  KeepWithinBudget(held);
  MakeCurrent(std::move(fd), true, from_root, {true, status.st_dev, status.st_ino, {}});
  AppendComponent(LogicalCurrent(), dos_name);
}

void ChangeToPath(const std::string& dos_path) {
  std::string full = ExpandPath(dos_path);
  if (!IsOnDrive(full)) {
    SetPendingError(oserror::BadNetPath); // network paths do not exist here
    return;
  }
  int drive = DriveIndex(full[0]);
  if (!DriveIsMapped(drive)) {
    SetPendingError(oserror::InvalidDrive);
    return;
  }
  DropTrailingBackslash(full);
  std::vector<HeldDirectory> ancestors;
  std::uint32_t error = 0;
  OwnedFd fd = OpenWithAncestors(drive, full, ancestors, error);
  if (!fd.is_open() || sys::fchdir(fd.get()) != 0) {
    if (fd.is_open())
      error = OpenError(errno);
    SetPendingError(error);
    return;
  }
  // The drive's root under another name (a mount of it) is the root: nothing is above it.
  if (IsBelowRoot(full) && IsDriveRoot(drive, fd.get())) {
    ancestors.clear();
    full.resize(DriveRootLength);
  }
  DropHeldDirectories();
  held = std::move(ancestors);
  bool from_root = held.empty() || held.back().from_root;
  MakeCurrent(std::move(fd), true, from_root);
  SetCurrentDrive(drive);
  DriveCurrent(drive) = full;
}

// The drive's current directory is entered afresh by its path.
void ChangeDrive(char letter) {
  ChangeToPath(std::string{letter, ':'});
}

// A password means nothing to a directory here (see WithoutPassword).
std::string PrepareChange(std::string_view path) {
  return WithBackslashes(WithoutPassword(path));
}

bool ParentIsHeld() {
  return IsBelowRoot(LogicalCurrent()) && !held.empty() && held.back().from_root;
}

std::string GetDriveDirectory(std::uint8_t drive) {
  if (drive == 0) {
    if (start_unknown != 0)
      SetPendingError(start_unknown);
    return LogicalCurrent();
  }
  int index = drive - 1;
  if (!DriveIsMapped(index)) {
    SetPendingError(oserror::InvalidDrive);
    return std::string(1, static_cast<char>('@' + drive)) + ":\\";
  }
  return DriveCurrent(index);
}

std::string StartFileSystem() {
  std::string problem = LoadDriveTable();
  if (!problem.empty())
    return problem;
  SetDescriptorBudget();
  char* cwd = sys::getcwd(nullptr, 0);
  std::uint32_t unknown = 0;
  if (cwd == nullptr)
    unknown = errno == ENOENT || errno == 0 ? oserror::PathNotFound : OsErrorFromErrno(errno);
  // A current directory that cannot be read (removed, or a path longer than the system gives
  // whose parent the user may not read) lies on no drive, and the run stays in it: a relative
  // path leads nowhere from here, never to the root.
  std::string dos = cwd != nullptr ? DosPathOf(cwd) : UnixFormOf("");
  free(cwd);
  OwnedFd fd(sys::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  int drive = DriveIndex(dos[0]);
  if (drive < 0 || dos[1] != ':')
    drive = NoDrive; // a relative path cannot be expanded from here, and is refused
  SetCurrentDrive(drive);
  DriveCurrent(drive) = dos;
  MakeCurrent(std::move(fd), false, false);
  start_unknown = unknown;
  return {};
}
