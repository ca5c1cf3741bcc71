// Only code for POSIX systems: the file-system services on entries (attributes, erasing and
// removing) over Linux system calls, and where on a path they take place.
#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/dos/path_text.h"
#include "platform/fs.h"
#include "platform/fs/fs_body.h"
#include "platform/posix/attributes_posix.h"
#include "platform/posix/drives.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/names.h"
#include "platform/posix/paths.h"
#include "platform/posix/place_posix.h"
#include "platform/posix/position_posix.h"
#include "platform/posix/system_calls.h"

// ---- Names and paths --------------------------------------------------------------------------

std::string_view WithoutPassword(std::string_view path) {
  // Names from the system and typed arguments have their ";" mapped, so a plain ";" can only be
  // the start of a DR-DOS password, which means nothing here.
  return path.substr(0, path.find(';'));
}

Place Locate(std::string_view path) {
  Place place;
  std::string_view given = WithoutPassword(path);
  if (IsBareName(given)) { // no separator of either kind
    place.in_current = true;
    // A name just listed is known to be plain or not; any other is looked at.
    place.listed = ListedAs(given);
    if (place.listed != nullptr ? place.listed->plain : IsPlainText(given)) {
      place.name.assign(given);
      return place;
    }
    place.name = DecodeName(given);
    place.dos_form.assign(given);
    return place;
  }
  std::string dos = WithBackslashes(given);
  std::string full = ExpandPath(dos);
  if (!IsOnDrive(full)) {
    place.error = oserror::BadNetPath; // network paths do not exist here
    return place;
  }
  if (!DriveIsMapped(DriveIndex(full[0]))) {
    place.error = oserror::InvalidDrive;
    return place;
  }
  DropTrailingBackslash(full);
  if (IsDriveRootPath(full)) {
    place.drive_root = true;
    std::string root_path;
    LinuxPathOf(full, root_path);
    place.name = root_path;
    return place;
  }
  std::string_view parent = ParentOf(full);
  std::string_view dos_name = LastComponent(full);
  place.name = DecodeName(dos_name);
  if (!IsPlainText(dos_name))
    place.dos_form.assign(dos_name);
  if (parent == LogicalCurrent()) {
    place.in_current = true;
    place.listed = ListedAs(place.DosName());
    return place;
  }
  std::string parent_linux;
  place.error = LinuxPathOf(parent, parent_linux);
  if (place.error != 0)
    return place;
  int fd = sys::open(parent_linux.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    place.error = errno == ENOENT ? oserror::PathNotFound : OsErrorFromErrno(errno);
    return place;
  }
  place.opened.reset(fd);
  place.dir_fd = fd;
  return place;
}

// ---- Services -----------------------------------------------------------------------------------

std::uint16_t GetEntryAttributes(std::string_view path) {
  LastServiceResult = 0;
  Place place = Locate(path);
  if (place.error != 0) {
    LastServiceResult = static_cast<ResultCode>(place.error);
    return 0;
  }
  struct stat status;
  if (sys::fstatat(place.dir_fd, place.name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
    LastServiceResult = static_cast<ResultCode>(OsErrorFromErrno(errno));
    return 0;
  }
  std::string_view last = place.name;
  if (!place.drive_root)
    last = last.substr(last.rfind('/') == std::string_view::npos ? 0 : last.rfind('/') + 1);
  return static_cast<std::uint16_t>(AttributesOf(status, place.drive_root ? "" : last));
}

void SetEntryAttributes(std::string_view path, std::uint16_t attributes) {
  if (VolumeLabelRefused(attributes))
    return;
  Place place = Locate(path);
  if (place.error != 0) {
    LastServiceResult = static_cast<ResultCode>(place.error);
    return;
  }
  if (place.drive_root) // a drive's root keeps its mode
    return;
  ForgetErasedAhead();
  LastServiceResult = static_cast<ResultCode>(
      ApplyAttributes(place, attributes, place.in_current ? LeftAs(place.name) : nullptr));
}

void EraseFile(std::string_view path) {
  if (PendingIoResult != 0)
    return;
  // The walk names a file erased ahead by its bare name: answered before it is located.
  if (WasErasedAhead(path))
    return;
  Place place = Locate(path);
  if (place.error != 0) {
    SetPendingError(place.error);
    return;
  }
  if (place.in_current && WasErasedAhead(place.DosName()))
    return;
  int result = place.drive_root ? -1 : sys::unlinkat(place.dir_fd, place.name.c_str(), 0);
  int error = place.drive_root ? EISDIR : errno;
  if (result != 0 && MadeCurrentWritable(place, error)) {
    result = sys::unlinkat(place.dir_fd, place.name.c_str(), 0);
    error = errno;
  }
  if (result == 0 && place.listed != nullptr)
    NoteListedEntryGone();
  std::uint32_t os_error = result == 0 ? 0 : OsErrorFromErrno(error);
  if (os_error == oserror::AccessDenied) {
    // Erasing a directory, or a name that cannot be looked at, is "file not found".
    struct stat status;
    if (place.drive_root ||
        sys::fstatat(place.dir_fd, place.name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
        S_ISDIR(status.st_mode))
      os_error = oserror::FileNotFound;
  }
  if (os_error != 0)
    SetPendingError(os_error);
}

void RemoveEmptyDirectory(std::string_view path) {
  if (!RemovalGoesAhead(path))
    return;
  Place place = Locate(path);
  if (place.error != 0) {
    SetPendingError(place.error);
    return;
  }
  if (place.drive_root) { // a drive's root is never removed
    SetPendingError(oserror::AccessDenied);
    return;
  }
  if (const LeftDirectory* expected = place.in_current ? LeftAs(place.name) : nullptr) {
    // Looked at and removed in the held directory itself; its attribute change has usually just
    // looked at the name.
    if (current_fd.is_open())
      place.dir_fd = current_fd.get();
    struct stat status;
    if (!LookedAtAsLeft(place.name) &&
        (sys::fstatat(place.dir_fd, place.name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
         !IsLeftDirectory(*expected, status))) {
      // Not the directory the walk came from: nothing is touched, its attributes included.
      SetPendingError(oserror::PathNotFound);
      return;
    }
  }
  int result = sys::unlinkat(place.dir_fd, place.name.c_str(), AT_REMOVEDIR);
  int error = errno;
  if (result != 0 && MadeCurrentWritable(place, error)) {
    result = sys::unlinkat(place.dir_fd, place.name.c_str(), AT_REMOVEDIR);
    error = errno;
  }
  if (result != 0)
    SetPendingError(OsErrorFromErrno(error));
}
