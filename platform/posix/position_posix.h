// Only code for POSIX systems: what the other file-system bodies need of the walk's position.
#pragma once

#include <dirent.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>

#include "platform/posix/descriptors.h"

struct Place;

// The current directory, held as an open descriptor (none when it could not be opened), and
// whether the program entered it (the target or a directory under it).
extern OwnedFd current_fd;
extern bool current_entered;
// Changes whenever the current directory does, so that facts about listed entries expire.
extern unsigned position_generation;

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

// The directory the last step up left, when its name in the current directory is linux_name and
// the walk has not moved since.
const LeftDirectory* LeftAs(const std::string& linux_name);
// True when the status is that of the directory left.
bool IsLeftDirectory(const LeftDirectory& directory, const struct stat& status);

// What the last search step in the current directory said of the entry it returned, so that the
// operations that follow on that name need no second look at it.
struct ListedEntry {
  std::string name;  // DOS form
  bool plain = true; // the DOS form is the Linux name itself: the mapping changed nothing
  ino_t inode = 0;
  unsigned char type = DT_UNKNOWN;
  unsigned generation = ~0u;
};
extern ListedEntry listed;

// The entry the last search step in the current directory returned, when it is named dos_name.
const ListedEntry* ListedAs(std::string_view dos_name);
// That entry (ListedAs found it) is gone, erased: the listing that returned it, when kept for the
// directory's next search, leaves it out, as a listing read afresh would.
void NoteListedEntryGone();

// The DOS path of the current directory of the current drive.
std::string& LogicalCurrent();

// The device and inode of the current directory, read once while it is current (a held
// descriptor's cannot change); false, errno set, when they cannot be read.
bool CurrentIdentity(dev_t& device, ino_t& inode);

// What the attribute changes found of the current directory's file system, looked at once while
// the walk holds the directory, and kept with it while the walk is below it.
struct VolumeLook {
  bool looked = false;
  bool read_only = false;
};
VolumeLook& CurrentVolumeLook();

// Gives the owner of the current directory write permission back when that alone stopped an
// operation inside it; true when the operation is worth trying once more.
bool MadeCurrentWritable(const Place& place, int error);
