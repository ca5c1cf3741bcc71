// Only code for Windows: attributes, erasing and removing, each on a handle of the entry itself.
//
// An entry is opened once, relative to the directory that holds it, without following a reparse
// point; what the handle holds is checked (its type, that it is the file the search listed, and
// under wine, where every Unix link is followed, that it stands where its name does), and the
// attribute change and the erase or removal that follow go through that same handle. The erase
// marks the handle for deletion: with POSIX semantics and "ignore the read-only attribute" where
// the system offers them, so a read-only file goes without its attribute (shared with any other
// name of the file) ever changing; otherwise the read-only bit is cleared on the handle first.
#include <windows.h>

#include <string>

#include "platform/fs.h"
#include "platform/fs_body.h"
#include "platform/result_codes.h"
#include "platform/win32/handles_win32.h"
#include "platform/win32/paths_win32.h"
#include "platform/win32/position_win32.h"

namespace {

constexpr DWORD Protecting =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
constexpr ACCESS_MASK DirectoryAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;

// Whether the system offers the extended deletion; asked once, on the first entry.
enum class Offer { Unknown, Yes, No };
Offer extended = Offer::Unknown;

// The entry the last attribute operation opened, kept for the erase or removal that follows on
// the same name in the same place.
struct OpenEntry {
  HANDLE handle = nullptr;
  HANDLE parent = nullptr;
  bool own_parent = false;
  std::string path; // as the caller named it
  unsigned generation = 0;
  std::wstring wide;
  HandleFacts facts;
  bool is_link = false; // wine: the name leads elsewhere, or to another file than was listed
  bool can_delete = false;
  bool in_current = false;
  bool drive_root = false;
  bool deferred = false; // an attribute change waits for the erase, and is made only if it fails
  DWORD deferred_attributes = 0;
};
OpenEntry entry;

void ReleaseEntry() {
  if (entry.handle != nullptr)
    CloseHandle(entry.handle);
  if (entry.own_parent && entry.parent != nullptr)
    CloseHandle(entry.parent);
  entry = OpenEntry{};
}

// What wine answers for its Unix pipes, sockets and devices, which it lists like files.
bool CannotBeOpened(NTSTATUS status) {
  constexpr NTSTATUS NoSuchDevice = static_cast<NTSTATUS>(0xC000000E);
  constexpr NTSTATUS ObjectTypeMismatch = static_cast<NTSTATUS>(0xC0000024);
  constexpr NTSTATUS InvalidParameter = static_cast<NTSTATUS>(0xC000000D);
  return status == NoSuchDevice || status == ObjectTypeMismatch || status == InvalidParameter;
}

bool IsDirectory(const HandleFacts& facts) {
  return (facts.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// Opens the entry with as much of deletion and attribute access as it grants; a file another
// program holds without sharing its deletion is still opened for its attributes.
NTSTATUS OpenEntryHandle(HANDLE parent, const std::wstring& wide, HANDLE& handle,
                         bool& can_delete) {
  const ACCESS_MASK tries[] = {DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                               FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, FILE_READ_ATTRIBUTES};
  constexpr NTSTATUS AccessDenied = static_cast<NTSTATUS>(0xC0000022);
  constexpr NTSTATUS SharingViolation = static_cast<NTSTATUS>(0xC0000043);
  NTSTATUS status = 0;
  for (ACCESS_MASK access : tries) {
    status = OpenRelative(parent, wide, access, FILE_OPEN_REPARSE_POINT, handle);
    can_delete = (access & DELETE) != 0;
    if (status != AccessDenied && status != SharingViolation)
      break;
  }
  return status;
}

// Opens the entry a path names into `entry`, unless it is open already. Answers 0 or the
// Windows error (a missing directory on the way is "path not found").
DWORD Open(std::string_view path) {
  std::string system = SystemPath(path);
  if (entry.handle != nullptr && entry.path == system && entry.generation == PositionGeneration())
    return 0;
  CloseOpenEntry();
  OpenEntry opened;
  opened.path = system;
  opened.generation = PositionGeneration();
  const ListedItem* item = nullptr;
  std::wstring directory_name;
  // The entry's name when it stands in the current directory, which the position holds open.
  std::string name_here;
  if (IsBareName(system)) {
    opened.in_current = true;
    name_here = system;
  } else {
    std::string full = ExpandPath(system);
    if (full.size() < 3 || full[1] != ':')
      return oserror::PathNotFound;
    if (full.size() > 3 && full.back() == '\\')
      full.pop_back();
    if (full.size() == 3) {
      // A drive's root: only its attributes are read or set.
      opened.drive_root = true;
      NTSTATUS status = OpenRelative(nullptr, L"\\??\\" + WideName(full),
                                     FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                     FILE_DIRECTORY_FILE, opened.handle);
      if (status < 0)
        return ErrorOf(status);
      ReadFacts(opened.handle, opened.facts);
      entry = std::move(opened);
      return 0;
    }
    std::size_t slash = full.rfind('\\');
    std::string parent = full.substr(0, slash < 3 ? 3 : slash);
    std::string name = full.substr(slash + 1);
    if (SameText(parent, CurrentPath())) {
      opened.in_current = true;
      name_here = name;
    } else {
      if (DWORD error = OpenDirectoryOfPath(parent, opened.parent))
        return error;
      opened.own_parent = true;
      opened.wide = WideName(name);
      if (LinksAreFollowed())
        directory_name = ObjectName(opened.parent);
    }
  }
  if (opened.in_current) {
    DWORD error = 0;
    opened.parent = CurrentDirectoryHandle(error);
    if (opened.parent == nullptr)
      return error;
    opened.wide = WideOfName(name_here, &item);
    directory_name = CurrentObjectName(false);
  }
  NTSTATUS status = OpenEntryHandle(opened.parent, opened.wide, opened.handle, opened.can_delete);
  if (status < 0) {
    if (opened.own_parent)
      CloseHandle(opened.parent);
    // Wine lists a Unix socket or device like a file but cannot open it: such an entry is
    // refused as access denied, so the walk reports it and goes on instead of ending the run.
    if (item != nullptr && CannotBeOpened(status))
      return oserror::AccessDenied;
    return ErrorOf(status);
  }
  if (ReadFacts(opened.handle, opened.facts) < 0) {
    opened.is_link = true;
  } else if ((opened.facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 && LinksAreFollowed()) {
    // A reparse point is the link itself (the system acts on it, never on what it leads to);
    // anything else must stand where its name does.
    std::wstring object_name = ObjectName(opened.handle);
    opened.is_link = !StandsIn(object_name, directory_name, opened.wide);
    if (opened.is_link && opened.in_current)
      opened.is_link = !StandsIn(object_name, CurrentObjectName(true), opened.wide);
  }
  if (item != nullptr && item->id != 0 && item->id != opened.facts.id)
    opened.is_link = true; // another file than the search listed
  entry = std::move(opened);
  return 0;
}

// An erase or removal on the open entry: marks it for deletion and closes it. Answers 0 or the
// Windows error.
DWORD DeleteOpenEntry() {
  if (!entry.can_delete) {
    // Asked again with deletion alone, for the system's own answer (a sharing violation, say).
    HANDLE handle = nullptr;
    NTSTATUS status =
        OpenRelative(entry.parent, entry.wide, DELETE, FILE_OPEN_REPARSE_POINT, handle);
    if (status < 0)
      return ErrorOf(status);
    HandleFacts facts;
    if (ReadFacts(handle, facts) < 0 || facts.id != entry.facts.id) {
      CloseHandle(handle);
      return oserror::AccessDenied;
    }
    CloseHandle(entry.handle);
    entry.handle = handle;
    entry.can_delete = true;
  }
  NTSTATUS status = -1;
  if (extended != Offer::No) {
    status = MarkForDeletion(entry.handle, true);
    if (ExtendedUnsupported(status))
      extended = Offer::No;
    else
      extended = Offer::Yes;
  }
  if (extended == Offer::No) {
    if (entry.deferred) {
      entry.deferred = false;
      if (NTSTATUS changed = WriteAttributes(entry.handle, entry.deferred_attributes); changed < 0)
        return ErrorOf(changed);
    }
    status = MarkForDeletion(entry.handle, false);
  }
  if (status < 0)
    return CannotBeOpened(status) ? oserror::AccessDenied : ErrorOf(status);
  entry.deferred = false;
  ReleaseEntry();
  return 0;
}

} // namespace

void CloseOpenEntry() {
  // An entry that stays gets the attribute change that waited for its erase.
  if (entry.handle != nullptr && entry.deferred)
    WriteAttributes(entry.handle, entry.deferred_attributes);
  ReleaseEntry();
}

// ---- Services -----------------------------------------------------------------------------------

std::uint16_t GetEntryAttributes(std::string_view path) {
  LastServiceResult = 0;
  if (DWORD error = Open(path)) {
    LastServiceResult = static_cast<ResultCode>(error);
    return 0;
  }
  DWORD attributes = entry.facts.attributes;
  if (entry.is_link)
    attributes = (attributes | FILE_ATTRIBUTE_REPARSE_POINT);
  return static_cast<std::uint16_t>(AsListed(attributes));
}

void SetEntryAttributes(std::string_view path, std::uint16_t attributes) {
  if (VolumeLabelRefused(attributes))
    return;
  if (DWORD error = Open(path)) {
    LastServiceResult = static_cast<ResultCode>(error);
    return;
  }
  // A link that leads elsewhere is reported and left where it is, with what it leads to
  // unchanged.
  if (entry.is_link) {
    LastServiceResult = oserror::AccessDenied;
    return;
  }
  DWORD current = entry.facts.attributes;
  // Only the read-only, hidden and system bits can stand in the way of an erase; a change of the
  // others alone is not made.
  if (((current ^ attributes) & Protecting) == 0)
    return;
  bool clears_all = (attributes & Protecting) == 0;
  bool shared_read_only = (current & FILE_ATTRIBUTE_READONLY) != 0 &&
                          (current & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
                          (attributes & ReadOnlyAttribute) == 0 && LinkCount(entry.handle) > 1;
  if (extended == Offer::Unknown && entry.can_delete && !entry.drive_root) {
    // Asked without deleting anything: the flags alone, without the deletion flag.
    constexpr ULONG IgnoreReadOnlyOnly = 0x10;
    IO_STATUS_BLOCK io;
    ULONG flags = IgnoreReadOnlyOnly;
    NTSTATUS status = NtSetInformationFile(entry.handle, &io, &flags, sizeof flags,
                                           static_cast<FILE_INFORMATION_CLASS>(64));
    extended = status >= 0 ? Offer::Yes : Offer::No;
  }
  if (clears_all && extended == Offer::Yes && !entry.drive_root) {
    entry.deferred = true;
    entry.deferred_attributes = attributes;
    // Asked again, the entry answers the attributes it is to have.
    entry.facts.attributes = (current & ~Protecting) | (attributes & Protecting);
    return;
  }
  // A read-only file with other names keeps its mode, since those names may lie outside the
  // target: it is reported and left.
  if (shared_read_only) {
    LastServiceResult = oserror::AccessDenied;
    return;
  }
  entry.deferred = false; // a later change takes the place of one put off
  NTSTATUS status = WriteAttributes(entry.handle, attributes);
  if (status < 0)
    LastServiceResult = static_cast<ResultCode>(ErrorOf(status));
  else
    entry.facts.attributes = (current & ~Protecting) | (attributes & Protecting);
}

void EraseFile(std::string_view path) {
  if (PendingIoResult != 0)
    return;
  if (DWORD error = Open(path)) {
    CloseOpenEntry();
    SetPendingError(error);
    return;
  }
  DWORD error = 0;
  if (entry.is_link)
    error = oserror::AccessDenied;
  else if (entry.drive_root || IsDirectory(entry.facts))
    error = oserror::FileNotFound; // erasing a directory is "file not found"
  else
    error = DeleteOpenEntry();
  CloseOpenEntry();
  if (error != 0)
    SetPendingError(error);
}

void RemoveEmptyDirectory(std::string_view path) {
  if (!RemovalGoesAhead(path))
    return;
  if (DWORD error = Open(path)) {
    CloseOpenEntry();
    SetPendingError(error);
    return;
  }
  DWORD error = 0;
  FileId left_id = 0;
  if (entry.is_link || entry.drive_root)
    error = oserror::AccessDenied; // a drive's root is never removed
  else if ((entry.facts.attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
    error = ERROR_DIRECTORY;
  else if (entry.in_current && JustLeft(entry.wide, left_id) && left_id != entry.facts.id)
    error = oserror::AccessDenied; // the name no longer holds the directory the walk was in
  else
    error = DeleteOpenEntry();
  CloseOpenEntry();
  if (error != 0)
    SetPendingError(error);
}
