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
#include "platform/posix/terminal.h"

namespace {

// A directory is read whole when its search starts, and the search then hands out its entries.
// A large one is handed out in inode order: on a disk file system, erasing in the order of the
// inode table rather than of the name hash saves about a tenth of the time (and rm does the same).
// The memory then grows with the largest directory, not with the tree, and each level of the walk
// holds its names instead of an open listing.
constexpr std::size_t InodeOrderFrom = 10'000;

// The Linux names of a listing lie one after another in one string (its `text`), which spares a
// string per entry and its copies as the table grows.
struct ListedName {
  std::size_t at; // where its Linux name begins in the listing's text
  std::size_t length;
  ino_t inode;
  unsigned char type;
  bool gone = false; // erased since it was listed
};

} // namespace

struct SearchListing {
  std::vector<ListedName> names;
  std::string text;
  std::size_t next = 0;
  std::uint32_t end_error = oserror::NoMoreFiles; // how the listing ended
  bool in_current;
  bool in_inode_order = false;
  // When it was read: the walk's position, and the keys read by then.
  unsigned generation = ~0u;
  unsigned long keys_read = 0;
};

namespace {

// The search of the current directory that returned the entry `listed` names, and where.
SearchListing* listed_in = nullptr;
std::size_t listed_at = 0;

// The listing of the current directory that a search read whole, for the directory's next
// search: so the file search and the subdirectory search read a directory once. It serves only
// while the walk stays in the directory and no key has been read since (at a question the tree
// may be changed on purpose), leaving out what was erased meanwhile; and only in the order the
// system gave, since a listing put in inode order would come in another order read afresh once
// the files are gone.
struct KeptListing {
  std::vector<ListedName> names;
  std::string text;
  unsigned generation = ~0u;
  unsigned long keys_read = 0;
};
KeptListing kept;

// Keeps the listing of a search that has reached its end.
void KeepListing(SearchListing& search) {
  if (!search.in_current || search.end_error != oserror::NoMoreFiles || search.in_inode_order ||
      search.generation != position_generation)
    return;
  kept.names = std::move(search.names);
  kept.text = std::move(search.text);
  kept.generation = position_generation;
  kept.keys_read = search.keys_read;
}

// Takes the kept listing for a search of the current directory, when it still serves.
bool TakeKeptListing(std::vector<ListedName>& names, std::string& text) {
  bool serves = kept.generation == position_generation && kept.keys_read == KeysRead();
  kept.generation = ~0u;
  if (serves) {
    names = std::move(kept.names);
    text = std::move(kept.text);
  }
  kept.names = {};
  kept.text = {};
  return serves;
}

} // namespace

void ReleaseSearchListing::operator()(SearchListing* listing) const {
  if (listing == listed_in)
    listed_in = nullptr;
  delete listing;
}

void NoteListedEntryGone() {
  if (listed_in != nullptr && listed_at < listed_in->names.size())
    listed_in->names[listed_at].gone = true;
}

namespace {

// The listing's names are the current directory's as they stand now: at this position, with the
// keys read so far.
void StampListing(SearchListing& search) {
  search.generation = position_generation;
  search.keys_read = KeysRead();
}

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
    search.names.push_back({search.text.size(), linux_name.size(), item->d_ino, type});
    search.text.append(linux_name);
  }
  dir.reset();
  StampListing(search);
  search.in_inode_order = search.names.size() > InodeOrderFrom;
  if (search.in_inode_order)
    std::sort(search.names.begin(), search.names.end(),
              [](const ListedName& a, const ListedName& b) { return a.inode < b.inode; });
}

} // namespace

void StepSearch(SearchEntry& entry) {
  SearchListing* search = entry.Listing.get();
  std::string mapped; // a listed name in DOS form, where the mapping changes it
  for (;;) {
    std::string_view name;
    std::uint32_t attributes;
    ino_t inode = 0;
    unsigned char type = DT_DIR;
    bool from_listing = false;
    bool plain = true;
    if (entry.DotsListed < 2 && !entry.AtDriveRoot) {
      // "." and ".." come first, as Windows lists them, in every directory but a drive root.
      name = entry.DotsListed == 0 ? "." : "..";
      ++entry.DotsListed;
      attributes = DirectoryAttribute;
    } else {
      entry.DotsListed = 2;
      while (search->next < search->names.size() && search->names[search->next].gone)
        ++search->next;
      if (search->next == search->names.size()) {
        KeepListing(*search);
        EndSearch(entry, search->end_error);
        return;
      }
      ListedName& item = search->names[search->next++];
      from_listing = true;
      std::string_view linux_name = std::string_view(search->text).substr(item.at, item.length);
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
      name = EncodedName(linux_name, mapped);
      plain = name.data() == linux_name.data(); // not built in `mapped`
    }
    if (!SearchTakes(entry, name, attributes))
      continue;
    entry.Name.assign(name);
    entry.Attributes = attributes;
    if (search->in_current) {
      listed.name.assign(name);
      listed.plain = plain;
      listed.inode = inode;
      listed.type = type;
      listed.generation = position_generation;
      listed_in = from_listing ? search : nullptr;
      listed_at = search->next - 1;
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
    std::vector<ListedName> names;
    std::string text;
    if (TakeKeptListing(names, text)) {
      entry.Listing.reset(new SearchListing);
      entry.Listing->names = std::move(names);
      entry.Listing->text = std::move(text);
      entry.Listing->in_current = true;
      StampListing(*entry.Listing);
      StepSearch(entry);
      return;
    }
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
