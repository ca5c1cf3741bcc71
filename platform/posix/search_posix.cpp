// Only code for POSIX systems: directory searches.
#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "platform/dos/path_text.h"
#include "platform/fs.h"
#include "platform/fs/search.h"
#include "platform/posix/descriptors.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/names.h"
#include "platform/posix/paths.h"
#include "platform/posix/position_posix.h"
#include "platform/posix/system_calls.h"

namespace {

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

} // namespace

struct SearchListing {
  std::vector<ListedName> names;
  std::size_t next = 0;
  std::uint32_t end_error = oserror::NoMoreFiles; // how the listing ended
  bool in_current;
};

void ReleaseSearchListing::operator()(SearchListing* listing) const {
  delete listing;
}

namespace {

// Reads the directory to its end, and closes it.
void ReadListing(OwnedListing dir, SearchListing& search) {
  for (;;) {
    errno = 0;
    struct dirent* item = sys::readdir(dir.get());
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
      if (sys::fstatat(dirfd(dir.get()), item->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0)
        continue; // gone since it was listed
      type = S_ISDIR(status.st_mode)   ? DT_DIR
             : S_ISLNK(status.st_mode) ? DT_LNK
             : S_ISREG(status.st_mode) ? DT_REG
                                       : DT_FIFO;
    }
    search.names.push_back({std::string(linux_name), item->d_ino, type});
  }
  dir.reset();
  if (search.names.size() > InodeOrderFrom)
    std::sort(search.names.begin(), search.names.end(),
              [](const ListedName& a, const ListedName& b) { return a.inode < b.inode; });
}

} // namespace

void StepSearch(SearchEntry& entry) {
  SearchListing* search = entry.Listing.get();
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
    if (!SearchTakes(entry, name, attributes))
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

void FindFirstEntry(std::string_view pattern, std::uint16_t mask, SearchEntry& entry) {
  std::string_view directory = StartSearch(pattern, mask, entry);
  OwnedListing dir;
  bool in_current = directory.empty();
  if (in_current) {
    entry.AtDriveRoot = IsDriveRootPath(LogicalCurrent());
    dir.reset(sys::opendir("."));
  } else {
    std::string full = ExpandPath(directory);
    entry.AtDriveRoot = IsDriveRootPath(full);
    std::string linux_path;
    std::uint32_t error = LinuxPathOf(full, linux_path);
    if (error != 0) {
      LastServiceResult = TranslateSearchError(error);
      return;
    }
    dir.reset(sys::opendir(linux_path.c_str()));
  }
  if (!dir) {
    // A directory that is not there is "path not found", never "no more entries".
    LastServiceResult =
        TranslateSearchError(errno == ENOENT ? oserror::PathNotFound : OsErrorFromErrno(errno));
    return;
  }
  entry.Listing.reset(new SearchListing);
  entry.Listing->in_current = in_current;
  ReadListing(std::move(dir), *entry.Listing);
  StepSearch(entry);
}
