// Only code for POSIX systems: looks at entries, the facts of the directory that holds them, the
// attribute change and the erase brought forward.
#include "platform/posix/attributes_posix.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "platform/fs.h"
#include "platform/posix/descriptors.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/place_posix.h"
#include "platform/posix/position_posix.h"
#include "platform/posix/system_calls.h"

namespace {

// What the attribute change needs to know of the directory that holds an entry, looked at once
// per directory: its file system, and whether that is mounted read-only.
struct DirectoryFacts {
  dev_t device = 0;
  bool read_only = false;
  std::uint32_t error = 0;
};

// The mount's own flags count too: a read-only bind mount of a writable file system.
bool IsReadOnlyVolume(int fd) {
  struct statvfs volume;
  return (fd >= 0 ? sys::fstatvfs(fd, &volume) : sys::statvfs(".", &volume)) == 0 &&
         (volume.f_flag & ST_RDONLY) != 0;
}

DirectoryFacts LookAtDirectory(int dir_fd) {
  DirectoryFacts facts;
  struct stat status;
  if (sys::fstatat(dir_fd, ".", &status, 0) != 0) {
    facts.error = OsErrorFromErrno(errno);
    return facts;
  }
  facts.device = status.st_dev;
  facts.read_only = IsReadOnlyVolume(dir_fd == AT_FDCWD ? current_fd.get() : dir_fd);
  return facts;
}

// The current directory's facts come from what the walk holds of it: its device is known since
// it was opened, and its file system is looked at once while it is held.
DirectoryFacts current_facts;
unsigned current_facts_generation = ~0u;

const DirectoryFacts& FactsOf(const Place& place, DirectoryFacts& other) {
  if (!place.in_current) {
    other = LookAtDirectory(place.dir_fd);
    return other;
  }
  if (current_facts_generation == position_generation)
    return current_facts;
  DirectoryFacts& facts = current_facts;
  facts = {};
  ino_t inode;
  if (!CurrentIdentity(facts.device, inode)) {
    facts.error = OsErrorFromErrno(errno);
    return facts;
  }
  VolumeLook& volume = CurrentVolumeLook();
  if (!volume.looked) {
    volume.read_only = IsReadOnlyVolume(current_fd.get());
    volume.looked = true;
  }
  facts.read_only = volume.read_only;
  current_facts_generation = position_generation;
  return facts;
}

// The entry is the root of a mount: another file system (or another part of this one) brought
// into the tree, whose modes lie outside the target.
bool IsMountRoot(const struct statx& look, const DirectoryFacts& directory) {
  if ((look.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0)
    return (look.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
  return makedev(look.stx_dev_major, look.stx_dev_minor) != directory.device;
}

// ---- The erase brought forward ----------------------------------------------------------------

// On Linux a file's mode never decides whether it can be erased: the directory that holds it
// does. So before clearing read-only on a file the walk has just listed, the file is erased at
// once; when that succeeds, the change is moot and its real result is 0, and the erase that
// follows answers from it. Only when the erase fails is the file looked at and changed as any
// entry is, and erased again. This spares the look per file, the one system call the walk would
// make beyond rm's.
// The look the attribute change took at the directory the walk has just left, which the removal
// that follows takes for its own check that the name still leads there: the same name in the
// same directory, with no step between.
struct LeftLook {
  std::string name; // Linux name in the current directory
  unsigned generation = ~0u;
};
LeftLook left_look;

struct ErasedAhead {
  std::string dos_name; // bare name in the current directory
  unsigned generation = ~0u;
};
ErasedAhead erased_ahead;

// Answers true when the file named in the current directory was erased here, ahead of its erase.
bool EraseAhead(const Place& place, std::uint16_t attributes) {
  if (!place.in_current || (attributes & ReadOnlyAttribute) != 0)
    return false;
  const ListedEntry* entry = place.listed;
  if (entry == nullptr || entry->type == DT_DIR || entry->type == DT_UNKNOWN)
    return false;
  if (sys::unlinkat(AT_FDCWD, place.name.c_str(), 0) != 0)
    return false;
  NoteListedEntryGone();
  erased_ahead.dos_name.assign(place.DosName());
  erased_ahead.generation = position_generation;
  return true;
}

} // namespace

// ---- Attributes ---------------------------------------------------------------------------------

std::uint32_t AttributesOf(const struct stat& status, std::string_view linux_name) {
  std::uint32_t attributes = 0;
  if (S_ISDIR(status.st_mode)) {
    attributes |= DirectoryAttribute;
  } else {
    attributes |= ArchiveAttribute;
    if (S_ISLNK(status.st_mode))
      attributes |= ReparsePointAttribute;
    else if (!S_ISREG(status.st_mode))
      attributes |= SystemAttribute; // devices, pipes and sockets
  }
  if (!S_ISLNK(status.st_mode) && (status.st_mode & S_IWUSR) == 0)
    attributes |= ReadOnlyAttribute;
  if (linux_name.starts_with('.') && linux_name != "." && linux_name != "..")
    attributes |= HiddenAttribute;
  return attributes;
}

bool LookedAtAsLeft(const std::string& linux_name) {
  if (left_look.generation != position_generation || left_look.name != linux_name)
    return false;
  left_look.generation = ~0u;
  return true;
}

bool WasErasedAhead(std::string_view path) {
  // The name erased ahead holds no plain ";", so one that follows it in the path starts a
  // password, which means nothing here (see WithoutPassword): the path need not be searched for it.
  const std::string& name = erased_ahead.dos_name;
  if (erased_ahead.generation != position_generation || name.empty() || !path.starts_with(name) ||
      (path.size() > name.size() && path[name.size()] != ';'))
    return false;
  ForgetErasedAhead();
  return true;
}

void ForgetErasedAhead() {
  erased_ahead.dos_name.clear();
  erased_ahead.generation = ~0u;
}

// Gives or takes the owner's write permission, the one mode bit that stands for read-only, and
// answers the system's real result. Every change looks at the entry first: one status read, so
// that a refusal is known even when nothing would be changed. Links have no mode of their own,
// and a file with other hard links keeps its mode, since those links may lie outside the target;
// neither is a refusal. A mounted entry is refused: nothing on another file system is changed.
// A file that can be erased ahead (see EraseAhead) needs no look and no change.
// A directory the walk has just left keeps its mode unless the name still leads to it and the
// program entered it: a directory above the target is never changed.
std::uint32_t ApplyAttributes(const Place& place, std::uint16_t attributes,
                              const LeftDirectory* expected) {
  left_look.generation = ~0u;
  if (expected != nullptr && !expected->entered)
    return 0;
  DirectoryFacts other;
  const DirectoryFacts& directory = FactsOf(place, other);
  if (directory.error != 0)
    return directory.error;
  if (!directory.read_only && EraseAhead(place, attributes))
    return 0;
  struct statx look;
  if (sys::statx(place.dir_fd, place.name.c_str(), AT_SYMLINK_NOFOLLOW,
                 STATX_TYPE | STATX_MODE | STATX_NLINK | STATX_INO, &look) != 0)
    return errno == ENOTDIR ? oserror::PathNotFound : OsErrorFromErrno(errno);
  if (expected != nullptr && S_ISDIR(look.stx_mode) && look.stx_ino == expected->inode &&
      makedev(look.stx_dev_major, look.stx_dev_minor) == expected->device) {
    left_look.name.assign(place.name);
    left_look.generation = position_generation;
  }
  if (IsMountRoot(look, directory))
    return oserror::AccessDenied;
  // A read-only medium refuses every change, as a write-protected disk does.
  if (directory.read_only)
    return oserror::WriteProtect;
  bool is_directory = S_ISDIR(look.stx_mode);
  if (S_ISLNK(look.stx_mode) || (!is_directory && look.stx_nlink > 1))
    return 0;
  bool want_write = (attributes & ReadOnlyAttribute) == 0;
  if (want_write == ((look.stx_mode & S_IWUSR) != 0))
    return 0;
  OwnedFd fd(sys::openat(place.dir_fd, place.name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
  if (!fd.is_open())
    return OsErrorFromErrno(errno);
  struct stat status;
  std::uint32_t error = 0;
  if (sys::fstat(fd.get(), &status) != 0) {
    error = OsErrorFromErrno(errno);
  } else if (expected != nullptr && !IsLeftDirectory(*expected, status)) {
    error = oserror::PathNotFound;
  } else if (status.st_ino != look.stx_ino ||
             status.st_dev != makedev(look.stx_dev_major, look.stx_dev_minor)) {
    error = oserror::AccessDenied; // swapped for another entry since the look: left alone
  } else {
    // Through /proc the change lands on the inode just opened, even if the name was swapped
    // for a link since.
    char proc_path[40];
    std::snprintf(proc_path, sizeof proc_path, "/proc/self/fd/%d", fd.get());
    if (sys::chmod(proc_path, (status.st_mode ^ S_IWUSR) & 07777) != 0)
      error = OsErrorFromErrno(errno);
  }
  return error;
}
