// Only code for POSIX systems: the file-system services over Linux system calls.
//
// Safety comes first here. The walk's position is the process's current directory, held as an
// open descriptor; stepping into a subdirectory opens it without following links and checks that
// it is the entry just listed, and stepping up returns to the held descriptor of the directory the
// walk came from, never to wherever ".." leads at that moment. Links are never followed and
// never carry the directory bit, so nothing outside the target is reached. Above the target the
// same holds: entering a target by its full path opens each of its ancestors from the drive's
// root down, without following links, and holds them, so that the climb of ParentDelete steps up
// into those very directories and removes only the directory it has just left.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <vector>

#include "platform/fs.h"
#include "platform/posix/drives.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/names.h"
#include "platform/posix/paths.h"
#include "platform/wildcard.h"

namespace {

// ---- Position ---------------------------------------------------------------------------------

// A directory the walk stepped down from, to step up to again.
struct HeldDirectory {
  int fd;
  // The directory was entered by the program (the target or a directory under it), so its own
  // write permission may be given back to its owner when that alone stops an erase inside it.
  bool entered;
  // Reached from its drive's root through no link at all.
  bool from_root;
};

int current_fd = -1;
bool current_entered = false;
bool current_from_root = false;
std::vector<HeldDirectory> held;
// Changes whenever the current directory does, so that facts about listed entries expire.
unsigned position_generation = 0;

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

void CloseDirectory(int fd) {
  for (auto it = given_write.begin(); it != given_write.end(); ++it) {
    if (it->fd != fd)
      continue;
    struct stat status;
    // The record may be stale (a descriptor closed elsewhere and its number reused), so the
    // directory must still be the very one that was made writable.
    if (fstat(fd, &status) == 0 && status.st_dev == it->device && status.st_ino == it->inode)
      fchmod(fd, it->mode);
    given_write.erase(it);
    break;
  }
  close(fd);
}

void DropHeldDirectories() {
  for (const HeldDirectory& directory : held)
    CloseDirectory(directory.fd);
  held.clear();
}

void MakeCurrent(int fd, bool entered, bool from_root) {
  if (current_fd >= 0)
    CloseDirectory(current_fd);
  current_fd = fd;
  current_entered = entered;
  current_from_root = from_root;
  ++position_generation;
}

// The directory the last step up left, which the next operation usually removes. Its name in
// the current directory must still lead to that very directory: a name swapped meanwhile for a
// link or for another directory is not touched.
struct LeftDirectory {
  std::string name; // Linux name
  dev_t device = 0;
  ino_t inode = 0;
  bool entered = false;
  unsigned generation = ~0u;
};
LeftDirectory left;

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

void AppendComponent(std::string& dos_path, std::string_view name) {
  if (!dos_path.ends_with('\\'))
    dos_path += '\\';
  dos_path += name;
}

void DropLastComponent(std::string& dos_path) {
  if (dos_path.size() <= 3)
    return;
  std::size_t slash = dos_path.rfind('\\');
  dos_path.erase(slash < 3 ? 3 : slash);
}

// ---- The entry a search listed last -------------------------------------------------------------

// What the last search step in the current directory said of the entry it returned, so that the
// operations that follow on that name need no second look at it.
struct ListedEntry {
  std::string name; // DOS form
  ino_t inode = 0;
  unsigned char type = DT_UNKNOWN;
  unsigned generation = ~0u;
};
ListedEntry listed;

const ListedEntry* ListedAs(std::string_view dos_name) {
  if (listed.generation == position_generation && listed.name == dos_name)
    return &listed;
  return nullptr;
}

// ---- Names and paths --------------------------------------------------------------------------

std::string_view WithoutPassword(std::string_view path) {
  // Names from the system and typed arguments have their ";" mapped, so a plain ";" can only be
  // the start of a DR-DOS password, which means nothing here.
  return path.substr(0, path.find(';'));
}

bool IsBareName(std::string_view path) {
  return !path.empty() && path.find_first_of("\\/") == std::string_view::npos &&
         !(path.size() >= 2 && path[1] == ':') && path != "." && path != "..";
}

// Where an operation on a path takes place: a directory descriptor and a Linux name in it.
struct Place {
  int dir_fd = AT_FDCWD;
  bool own_fd = false;
  std::string name;     // Linux name inside dir_fd
  std::string dos_name; // the same name in DOS form
  bool drive_root = false;
  bool in_current = false; // dir_fd is the current directory
  std::uint32_t error = 0;
};

void Release(Place& place) {
  if (place.own_fd)
    close(place.dir_fd);
  place.own_fd = false;
}

Place Locate(std::string_view path) {
  Place place;
  std::string dos(WithoutPassword(path));
  for (char& c : dos)
    if (c == '/')
      c = '\\';
  if (IsBareName(dos)) {
    place.name = DecodeName(dos);
    place.dos_name = std::move(dos);
    place.in_current = true;
    return place;
  }
  std::string full = ExpandPath(dos);
  if (full.size() < 3 || full[1] != ':') {
    place.error = 53; // network paths do not exist here
    return place;
  }
  if (!DriveIsMapped(DriveIndex(full[0]))) {
    place.error = oserror::InvalidDrive;
    return place;
  }
  if (full.size() > 3 && full.back() == '\\')
    full.pop_back();
  if (IsDriveRootPath(full)) {
    place.drive_root = true;
    std::string root_path;
    LinuxPathOf(full, root_path);
    place.name = root_path;
    return place;
  }
  std::size_t slash = full.rfind('\\');
  std::string parent = full.substr(0, slash < 3 ? 3 : slash);
  place.dos_name = full.substr(slash + 1);
  place.name = DecodeName(place.dos_name);
  if (parent == LogicalCurrent()) {
    place.in_current = true;
    return place;
  }
  std::string parent_linux;
  place.error = LinuxPathOf(parent, parent_linux);
  if (place.error != 0)
    return place;
  int fd = open(parent_linux.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    place.error = errno == ENOENT ? oserror::PathNotFound : OsErrorFromErrno(errno);
    return place;
  }
  place.dir_fd = fd;
  place.own_fd = true;
  return place;
}

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

// What the attribute change needs to know of the directory that holds an entry, looked at once
// per directory: its file system, and whether that is mounted read-only.
struct DirectoryFacts {
  dev_t device = 0;
  bool read_only = false;
  std::uint32_t error = 0;
};
DirectoryFacts current_facts;
unsigned current_facts_generation = ~0u;

DirectoryFacts LookAtDirectory(int dir_fd) {
  DirectoryFacts facts;
  struct stat status;
  struct statvfs volume;
  if (fstatat(dir_fd, ".", &status, 0) != 0) {
    facts.error = OsErrorFromErrno(errno);
    return facts;
  }
  facts.device = status.st_dev;
  // The mount's own flags count too: a read-only bind mount of a writable file system.
  int fd = dir_fd == AT_FDCWD ? current_fd : dir_fd;
  facts.read_only = (fd >= 0 ? fstatvfs(fd, &volume) : statvfs(".", &volume)) == 0 &&
                    (volume.f_flag & ST_RDONLY) != 0;
  return facts;
}

const DirectoryFacts& FactsOf(const Place& place, DirectoryFacts& other) {
  if (!place.in_current) {
    other = LookAtDirectory(place.dir_fd);
    return other;
  }
  if (current_facts_generation != position_generation) {
    current_facts = LookAtDirectory(AT_FDCWD);
    current_facts_generation = position_generation;
  }
  return current_facts;
}

// The entry is the root of a mount: another file system (or another part of this one) brought
// into the tree, whose modes lie outside the target.
bool IsMountRoot(const struct statx& look, const DirectoryFacts& directory) {
  if ((look.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0)
    return (look.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
  return makedev(look.stx_dev_major, look.stx_dev_minor) != directory.device;
}

// ---- The erase brought forward ----------------------------------------------------------------

// A process that may change the mode of every file (root, with CAP_FOWNER, in the initial user
// namespace, where every owner is known) gets a change refused only when the file cannot be
// erased either: an immutable file, or the root of a mount. So before clearing read-only on a
// file the walk has just listed, such a process erases it at once; when that succeeds, the change
// is moot and its real result is 0, and the erase that follows answers from it. Only when the
// erase fails is the file looked at and changed as for everyone else. This spares the look per
// file, the one system call the walk makes beyond rm's.
bool MayChangeEveryMode() {
  static const bool may = [] {
    if (geteuid() != 0)
      return false;
    std::FILE* status = std::fopen("/proc/self/status", "r");
    bool fowner = false;
    if (status != nullptr) {
      char line[256];
      while (std::fgets(line, sizeof line, status) != nullptr) {
        unsigned long long capabilities = 0;
        if (std::sscanf(line, "CapEff: %llx", &capabilities) == 1)
          fowner = (capabilities & (1ull << 3)) != 0; // CAP_FOWNER
      }
      std::fclose(status);
    }
    std::FILE* map = std::fopen("/proc/self/uid_map", "r");
    bool whole_map = false;
    if (map != nullptr) {
      unsigned long inside = 1, outside = 1, count = 0;
      whole_map = std::fscanf(map, "%lu %lu %lu", &inside, &outside, &count) == 3 && inside == 0 &&
                  outside == 0 && count == 4294967295ul;
      std::fclose(map);
    }
    return fowner && whole_map;
  }();
  return may;
}

struct ErasedAhead {
  std::string name; // Linux name in the current directory
  unsigned generation = ~0u;
};
ErasedAhead erased_ahead;

// Answers true when the file named in the current directory was erased here, ahead of its erase.
bool EraseAhead(const Place& place, std::uint16_t attributes) {
  if (!place.in_current || (attributes & ReadOnlyAttribute) != 0 || !MayChangeEveryMode())
    return false;
  const ListedEntry* entry = ListedAs(place.dos_name);
  if (entry == nullptr || entry->type == DT_DIR || entry->type == DT_UNKNOWN)
    return false;
  if (unlinkat(AT_FDCWD, place.name.c_str(), 0) != 0)
    return false;
  erased_ahead = {place.name, position_generation};
  return true;
}

bool WasErasedAhead(const Place& place) {
  if (!place.in_current || erased_ahead.generation != position_generation ||
      erased_ahead.name != place.name)
    return false;
  erased_ahead = {};
  return true;
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
  if (expected != nullptr && !expected->entered)
    return 0;
  DirectoryFacts other;
  const DirectoryFacts& directory = FactsOf(place, other);
  if (directory.error != 0)
    return directory.error;
  if (!directory.read_only && EraseAhead(place, attributes))
    return 0;
  struct statx look;
  if (statx(place.dir_fd, place.name.c_str(), AT_SYMLINK_NOFOLLOW,
            STATX_TYPE | STATX_MODE | STATX_NLINK | STATX_INO, &look) != 0)
    return errno == ENOTDIR ? oserror::PathNotFound : OsErrorFromErrno(errno);
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
  int fd = openat(place.dir_fd, place.name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0)
    return OsErrorFromErrno(errno);
  struct stat status;
  std::uint32_t error = 0;
  if (fstat(fd, &status) != 0) {
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
    std::snprintf(proc_path, sizeof proc_path, "/proc/self/fd/%d", fd);
    if (chmod(proc_path, (status.st_mode ^ S_IWUSR) & 07777) != 0)
      error = OsErrorFromErrno(errno);
  }
  close(fd);
  return error;
}

// A directory the user owns and made read-only does not stop the erase of what it holds (a Go
// module cache is the everyday case): give its owner write permission back and try once more.
// Only directories the program entered qualify, never one above the target. The mode is put back
// when the walk leaves the directory (CloseDirectory).
bool MadeCurrentWritable(const Place& place, int error) {
  if (error != EACCES || !place.in_current || !current_entered)
    return false;
  struct stat status;
  if (fstat(current_fd, &status) != 0 || status.st_uid != geteuid() ||
      (status.st_mode & S_IWUSR) != 0)
    return false;
  if (fchmod(current_fd, (status.st_mode | S_IWUSR) & 07777) != 0)
    return false;
  given_write.push_back({current_fd, status.st_dev, status.st_ino, status.st_mode & 07777});
  return true;
}

// ---- Searches -----------------------------------------------------------------------------------

// A directory is read whole when its search starts, and the search then hands out its entries.
// A large one is handed out in inode order: on a disk file system, erasing in the order of the
// inode table rather than of the name hash saves about a tenth of the time (and rm does the same).
// The memory then grows with the largest directory, not with the tree, and each level of the walk
// holds its names instead of an open listing.
constexpr std::size_t InodeOrderFrom = 10'000;

struct ListedName {
  std::string linux_name;
  ino_t inode;
  unsigned char type;
};

struct OpenSearch {
  std::vector<ListedName> names;
  std::size_t next = 0;
  std::uint32_t end_error = oserror::NoMoreFiles; // how the listing ended
  bool in_current;
};

void EndSearch(SearchEntry& entry, std::uint32_t os_error) {
  if (entry.Handle != nullptr) {
    delete static_cast<OpenSearch*>(entry.Handle);
    entry.Handle = nullptr;
  }
  LastServiceResult = TranslateSearchError(os_error);
}

void ReadListing(DIR* dir, OpenSearch& search) {
  for (;;) {
    errno = 0;
    struct dirent* item = readdir(dir);
    if (item == nullptr) {
      if (errno != 0)
        search.end_error = OsErrorFromErrno(errno);
      break;
    }
    std::string_view linux_name = item->d_name;
    if (linux_name == "." || linux_name == "..")
      continue;
    unsigned char type = item->d_type;
    if (type == DT_UNKNOWN) {
      struct stat status;
      if (fstatat(dirfd(dir), item->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0)
        continue; // gone since it was listed
      type = S_ISDIR(status.st_mode)   ? DT_DIR
             : S_ISLNK(status.st_mode) ? DT_LNK
             : S_ISREG(status.st_mode) ? DT_REG
                                       : DT_FIFO;
    }
    search.names.push_back({std::string(linux_name), item->d_ino, type});
  }
  closedir(dir);
  if (search.names.size() > InodeOrderFrom)
    std::sort(search.names.begin(), search.names.end(),
              [](const ListedName& a, const ListedName& b) { return a.inode < b.inode; });
}

// Steps to the next entry that matches the pattern and has no excluded bit.
void MatchStep(SearchEntry& entry) {
  OpenSearch* search = static_cast<OpenSearch*>(entry.Handle);
  // "*.*" takes every name, so the matcher need not look at each one.
  bool every_name = entry.Pattern == "*.*";
  for (;;) {
    std::string name;
    std::uint32_t attributes;
    ino_t inode = 0;
    unsigned char type = DT_DIR;
    if (entry.DotsListed < 2 && !entry.AtDriveRoot) {
      // "." and ".." come first, as Windows lists them, in every directory but a drive root.
      name = entry.DotsListed == 0 ? "." : "..";
      ++entry.DotsListed;
      attributes = DirectoryAttribute;
    } else {
      entry.DotsListed = 2;
      if (search->next == search->names.size()) {
        EndSearch(entry, search->end_error);
        return;
      }
      ListedName& item = search->names[search->next++];
      std::string_view linux_name = item.linux_name;
      type = item.type;
      inode = item.inode;
      // The listing does not tell read-only; that would cost a status read per entry, and the
      // walk needs only the directory bit.
      attributes = type == DT_DIR   ? DirectoryAttribute
                   : type == DT_LNK ? ArchiveAttribute | ReparsePointAttribute
                   : type == DT_REG ? ArchiveAttribute
                                    : ArchiveAttribute | SystemAttribute;
      if (linux_name.starts_with('.'))
        attributes |= HiddenAttribute;
      name = EncodeName(linux_name);
    }
    if ((attributes & entry.ExcludeMask) != 0 || (!every_name && !MatchesMask(entry.Pattern, name)))
      continue;
    entry.Name = std::move(name);
    entry.Attributes = attributes;
    if (search->in_current) {
      listed.name = entry.Name;
      listed.inode = inode;
      listed.type = type;
      listed.generation = position_generation;
    }
    return;
  }
}

} // namespace

// ---- Services -----------------------------------------------------------------------------------

void FindFirstEntry(std::string_view pattern, std::uint16_t mask, SearchEntry& entry) {
  if (entry.Handle != nullptr)
    EndSearch(entry, 0);
  entry = SearchEntry{};
  LastServiceResult = 0;
  entry.ExcludeMask = static_cast<std::uint16_t>(
      (HiddenAttribute | SystemAttribute | VolumeLabelAttribute | DirectoryAttribute) & ~mask);
  std::size_t slash = pattern.find_last_of("\\/");
  entry.Pattern = slash == std::string_view::npos ? pattern : pattern.substr(slash + 1);
  DIR* dir = nullptr;
  bool in_current = slash == std::string_view::npos;
  if (in_current) {
    entry.AtDriveRoot = LogicalCurrent().size() == 3;
    dir = opendir(".");
  } else {
    std::string directory(pattern.substr(0, slash + 1));
    std::string full = ExpandPath(directory);
    entry.AtDriveRoot = full.size() == 3;
    std::string linux_path;
    std::uint32_t error = LinuxPathOf(full, linux_path);
    if (error != 0) {
      LastServiceResult = TranslateSearchError(error);
      return;
    }
    dir = opendir(linux_path.c_str());
  }
  if (dir == nullptr) {
    // A directory that is not there is "path not found", never "no more entries".
    LastServiceResult =
        TranslateSearchError(errno == ENOENT ? oserror::PathNotFound : OsErrorFromErrno(errno));
    return;
  }
  OpenSearch* search = new OpenSearch;
  search->in_current = in_current;
  ReadListing(dir, *search);
  entry.Handle = search;
  MatchStep(entry);
}

void FindNextEntry(SearchEntry& entry) {
  LastServiceResult = 0;
  if (entry.Handle == nullptr) {
    LastServiceResult = oserror::NoMoreFiles;
    return;
  }
  MatchStep(entry);
}

std::uint16_t GetEntryAttributes(std::string_view path) {
  LastServiceResult = 0;
  Place place = Locate(path);
  if (place.error != 0) {
    LastServiceResult = static_cast<ResultCode>(place.error);
    return 0;
  }
  struct stat status;
  int result = fstatat(place.dir_fd, place.name.c_str(), &status, AT_SYMLINK_NOFOLLOW);
  int error = errno;
  Release(place);
  if (result != 0) {
    LastServiceResult = static_cast<ResultCode>(OsErrorFromErrno(error));
    return 0;
  }
  std::string_view last = place.name;
  if (!place.drive_root)
    last = last.substr(last.rfind('/') == std::string_view::npos ? 0 : last.rfind('/') + 1);
  return static_cast<std::uint16_t>(AttributesOf(status, place.drive_root ? "" : last));
}

void SetEntryAttributes(std::string_view path, std::uint16_t attributes) {
  LastServiceResult = 0;
  if ((attributes & VolumeLabelAttribute) != 0) {
    LastServiceResult = oserror::AccessDenied;
    return;
  }
  Place place = Locate(path);
  if (place.error != 0) {
    LastServiceResult = static_cast<ResultCode>(place.error);
    return;
  }
  if (place.drive_root) // a drive's root keeps its mode
    return;
  erased_ahead = {};
  LastServiceResult = static_cast<ResultCode>(
      ApplyAttributes(place, attributes, place.in_current ? LeftAs(place.name) : nullptr));
  Release(place);
}

void EraseFile(std::string_view path) {
  if (PendingIoResult != 0)
    return;
  Place place = Locate(path);
  if (place.error != 0) {
    SetPendingError(place.error);
    return;
  }
  if (WasErasedAhead(place)) {
    Release(place);
    return;
  }
  int result = place.drive_root ? -1 : unlinkat(place.dir_fd, place.name.c_str(), 0);
  int error = place.drive_root ? EISDIR : errno;
  if (result != 0 && MadeCurrentWritable(place, error)) {
    result = unlinkat(place.dir_fd, place.name.c_str(), 0);
    error = errno;
  }
  std::uint32_t os_error = result == 0 ? 0 : OsErrorFromErrno(error);
  if (os_error == oserror::AccessDenied) {
    // Erasing a directory, or a name that cannot be looked at, is "file not found".
    struct stat status;
    if (place.drive_root ||
        fstatat(place.dir_fd, place.name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
        S_ISDIR(status.st_mode))
      os_error = oserror::FileNotFound;
  }
  Release(place);
  if (os_error != 0)
    SetPendingError(os_error);
}

void RemoveEmptyDirectory(std::string_view path) {
  if (path == ".") {
    PendingIoResult = 16;
    return;
  }
  if (path.empty() || PendingIoResult != 0)
    return;
  Place place = Locate(path);
  if (place.error != 0) {
    SetPendingError(place.error);
    return;
  }
  if (place.drive_root) { // a drive's root is never removed
    Release(place);
    SetPendingError(oserror::AccessDenied);
    return;
  }
  if (const LeftDirectory* expected = place.in_current ? LeftAs(place.name) : nullptr) {
    // Looked at and removed in the held directory itself.
    if (current_fd >= 0)
      place.dir_fd = current_fd;
    struct stat status;
    if (fstatat(place.dir_fd, place.name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
        !IsLeftDirectory(*expected, status)) {
      // Not the directory the walk came from: nothing is touched, its attributes included.
      Release(place);
      SetPendingError(oserror::PathNotFound);
      return;
    }
  }
  int result = unlinkat(place.dir_fd, place.name.c_str(), AT_REMOVEDIR);
  int error = errno;
  if (result != 0 && MadeCurrentWritable(place, error)) {
    result = unlinkat(place.dir_fd, place.name.c_str(), AT_REMOVEDIR);
    error = errno;
  }
  Release(place);
  if (result != 0)
    SetPendingError(OsErrorFromErrno(error));
}

namespace {

void StepUp() {
  std::string& logical = LogicalCurrent();
  if (held.empty()) {
    // ".." at a drive's root stays there. Anywhere else the directory above was never held (the
    // path to it went through a link), and it is not looked up by its name: that name may lead
    // anywhere by now.
    if (logical.size() > 3)
      SetPendingError(oserror::PathNotFound);
    return;
  }
  HeldDirectory parent = held.back();
  struct stat here;
  bool known = fstat(current_fd, &here) == 0;
  if (fchdir(parent.fd) != 0) {
    SetPendingError(OsErrorFromErrno(errno));
    return;
  }
  held.pop_back();
  std::size_t slash = logical.rfind('\\');
  std::string name = DecodeName(std::string_view(logical).substr(slash + 1));
  bool entered = current_entered;
  MakeCurrent(parent.fd, parent.entered, parent.from_root);
  DropLastComponent(logical);
  left = {};
  if (known)
    left = {std::move(name), here.st_dev, here.st_ino, entered, position_generation};
}

void StepDown(const std::string& dos_name) {
  std::string linux_name = DecodeName(dos_name);
  int fd = openat(AT_FDCWD, linux_name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    std::uint32_t error = OsErrorFromErrno(errno);
    SetPendingError(error == oserror::FileNotFound ? oserror::PathNotFound : error);
    return;
  }
  // The directory must be the very entry the search listed, not one swapped in since, and on
  // the same file system: a mount inside the tree (a bind mount of a home directory, say) may
  // bring in what lies outside the target, so the walk does not cross into it.
  struct stat status, here;
  const ListedEntry* entry = ListedAs(dos_name);
  if (fstat(fd, &status) != 0 || fstat(current_fd, &here) != 0 || status.st_dev != here.st_dev ||
      (entry != nullptr && entry->inode != 0 && status.st_ino != entry->inode)) {
    close(fd);
    SetPendingError(oserror::PathNotFound);
    return;
  }
  if (fchdir(fd) != 0) {
    int error = errno;
    close(fd);
    SetPendingError(OsErrorFromErrno(error));
    return;
  }
  held.push_back({current_fd, current_entered, current_from_root});
  current_fd = -1;
  MakeCurrent(fd, true, current_from_root);
  AppendComponent(LogicalCurrent(), dos_name);
}

bool IsLinkIn(int dir_fd, const std::string& name) {
  struct stat status;
  return fstatat(dir_fd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
         S_ISLNK(status.st_mode);
}

std::uint32_t OpenError(int error) {
  std::uint32_t os_error = OsErrorFromErrno(error);
  return os_error == oserror::FileNotFound ? oserror::PathNotFound : os_error;
}

void CloseAll(std::vector<HeldDirectory>& directories) {
  for (const HeldDirectory& directory : directories)
    close(directory.fd);
  directories.clear();
}

// Opens the directory a full path names, holding its ancestors from the drive's root down, each
// opened in the one before without following a link. A link on the way is followed to reach the
// directory (the user typed it), but then nothing above the directory is held but its own
// parent, and the climb of ParentDelete ends there. The last component is never a link: a target
// that is a link to "/" would otherwise erase everything without the drive-root question.
int OpenWithAncestors(int drive, const std::string& full, std::vector<HeldDirectory>& ancestors,
                      std::uint32_t& error) {
  const std::string& root = DriveRoot(drive);
  int fd = open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    error = OpenError(errno);
    return -1;
  }
  std::string_view rest = std::string_view(full).substr(3);
  while (!rest.empty()) {
    std::size_t slash = rest.find('\\');
    std::string name = DecodeName(rest.substr(0, slash));
    rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash + 1);
    int flags = (rest.empty() ? O_RDONLY : O_PATH) | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int next = openat(fd, name.c_str(), flags);
    if (next < 0 && !rest.empty() && IsLinkIn(fd, name)) {
      close(fd);
      CloseAll(ancestors);
      std::string linux_path;
      LinuxPathOf(full, linux_path);
      next = open(linux_path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (next < 0) {
        error = OpenError(errno);
        return -1;
      }
      int parent = openat(next, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
      if (parent >= 0)
        ancestors.push_back({parent, false, false});
      return next;
    }
    if (next < 0) {
      error = OpenError(errno);
      close(fd);
      CloseAll(ancestors);
      return -1;
    }
    ancestors.push_back({fd, false, true});
    fd = next;
  }
  if (ancestors.empty()) {
    // The root itself, opened to be read.
    int readable = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    close(fd);
    if (readable < 0)
      error = OpenError(errno);
    return readable;
  }
  return fd;
}

// True when fd is the directory of the drive's root, whatever name led to it.
bool IsDriveRoot(int drive, int fd) {
  struct stat status, root;
  return fstat(fd, &status) == 0 && stat(DriveRoot(drive).c_str(), &root) == 0 &&
         status.st_dev == root.st_dev && status.st_ino == root.st_ino;
}

void ChangeToFullPath(const std::string& dos_path) {
  std::string full = ExpandPath(dos_path);
  if (full.size() < 3 || full[1] != ':') {
    SetPendingError(53);
    return;
  }
  int drive = DriveIndex(full[0]);
  if (!DriveIsMapped(drive)) {
    SetPendingError(oserror::InvalidDrive);
    return;
  }
  if (full.size() > 3 && full.back() == '\\')
    full.pop_back();
  std::vector<HeldDirectory> ancestors;
  std::uint32_t error = 0;
  int fd = OpenWithAncestors(drive, full, ancestors, error);
  if (fd < 0 || fchdir(fd) != 0) {
    if (fd >= 0) {
      error = OpenError(errno);
      close(fd);
    }
    CloseAll(ancestors);
    SetPendingError(error);
    return;
  }
  // The drive's root under another name (a mount of it) is the root: nothing is above it.
  if (full.size() > 3 && IsDriveRoot(drive, fd)) {
    CloseAll(ancestors);
    full.resize(3);
  }
  DropHeldDirectories();
  held = std::move(ancestors);
  bool from_root = held.empty() || held.back().from_root;
  MakeCurrent(fd, true, from_root);
  SetCurrentDrive(drive);
  DriveCurrent(drive) = full;
}

} // namespace

void ChangeDirectory(std::string_view path) {
  if (path.empty() || PendingIoResult != 0)
    return;
  std::string dos(WithoutPassword(path));
  for (char& c : dos)
    if (c == '/')
      c = '\\';
  if (dos == "..")
    StepUp();
  else if (IsBareName(dos))
    StepDown(dos);
  else
    ChangeToFullPath(dos);
}

bool ParentIsHeld() {
  return LogicalCurrent().size() > 3 && !held.empty() && held.back().from_root;
}

std::string GetDriveDirectory(std::uint8_t drive) {
  if (drive == 0)
    return LogicalCurrent();
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
  char* cwd = getcwd(nullptr, 0);
  bool known = cwd != nullptr;
  std::string start = known ? cwd : "/";
  free(cwd);
  // A current directory that no longer exists gives way to the root.
  int fd = open(known ? "." : "/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0 && !known && fchdir(fd) != 0) {
    close(fd);
    fd = -1;
  }
  std::string dos = DosPathOf(start);
  int drive = DriveIndex(dos[0]);
  if (drive < 0 || dos[1] != ':')
    drive = NoDrive; // a relative path cannot be expanded from here, and is refused
  SetCurrentDrive(drive);
  DriveCurrent(drive) = dos;
  MakeCurrent(fd, false, false);
  return {};
}
