// Only code for Windows: attributes, erasing and removing, each on a handle of the entry itself.
//
// An entry is opened once, relative to the directory that holds it, without following a reparse
// point; what the handle holds is checked (its type, that it is the file the search listed, and
// under wine, where every Unix link is followed, that it stands where its name does), and the
// attribute change and the erase or removal that follow go through that same handle. The erase
// marks the handle for deletion: with POSIX semantics and "ignore the read-only attribute" where
// the system offers them, so a read-only file goes without its attribute (shared with any other
// name of the file) ever changing; otherwise the read-only bit is cleared on the handle first.
// Without POSIX semantics a file that another program holds open (sharing its deletion) is only
// marked, and its name stays until that program lets it go. Each entry is first opened sharing
// nothing, which tells whether another program holds it; where one does, the directory is asked
// for the name after the erase, and an erase that left it is told as pending (LastEntryCause).
#include <windows.h>

#include <string>

#include "platform/dos/result_codes.h"
#include "platform/fs.h"
#include "platform/fs/fs_body.h"
#include "platform/win32/handles_win32.h"
#include "platform/win32/paths_win32.h"
#include "platform/win32/position_win32.h"

namespace {

constexpr DWORD Protecting =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// Whether the system offers the extended deletion; asked once, on the first entry.
enum class Offer { Unknown, Yes, No };
Offer extended = Offer::Unknown;

// The entry the last attribute operation opened, kept for the erase or removal that follows on
// the same name in the same place.
struct OpenEntry {
  OwnedHandle handle;
  OwnedHandle own_parent;  // a directory opened for this entry alone
  HANDLE parent = nullptr; // own_parent's, or the held current directory's handle
  std::string path;        // as the caller named it
  unsigned generation = 0;
  NamedEntry named;
  std::wstring opened_by; // the name it was opened by in its parent
  HandleFacts facts;
  // wine: the name leads elsewhere (a link), or the name holds another file than it did when
  // it was listed or left.
  bool elsewhere = false;
  bool other_file = false;
  bool can_delete = false;
  // Opened while no other program held the entry (for its data or its deletion): once marked for
  // deletion it goes as this handle closes.
  bool held_alone = false;
  bool in_current = false;
  bool drive_root = false;
  bool deferred = false; // an attribute change waits for the erase, and is made only if it fails
  DWORD deferred_attributes = 0;
};
OpenEntry entry;

void ReleaseEntry() {
  entry = OpenEntry{};
}

bool IsLink(const OpenEntry& opened) {
  return opened.elsewhere || opened.other_file;
}

// What wine answers for its Unix pipes, sockets and devices, which it lists like files.
bool CannotBeOpened(NTSTATUS status) {
  return status == STATUS_NO_SUCH_DEVICE || status == STATUS_OBJECT_TYPE_MISMATCH ||
         status == STATUS_INVALID_PARAMETER;
}

bool IsDirectory(const HandleFacts& facts) {
  return (facts.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// Opens the entry with as much of deletion and attribute access as it grants; a file another
// program holds without sharing its deletion is still opened for its attributes. It is first
// asked for alone, sharing nothing: where that is refused as a sharing violation, another program
// holds it, and an erase may then leave it marked but listed.
NTSTATUS OpenEntryHandle(OpenEntry& opened) {
  constexpr ACCESS_MASK Deletion = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
  const struct {
    ACCESS_MASK access;
    ULONG share;
  } tries[] = {{Deletion, 0},
               {Deletion, ShareAll},
               {FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, ShareAll},
               {FILE_READ_ATTRIBUTES, ShareAll}};
  NTSTATUS status = STATUS_SUCCESS;
  for (const auto& attempt : tries) {
    auto open = [&](const std::wstring& name) {
      return OpenRelative(opened.parent, name, attempt.access, FILE_OPEN_REPARSE_POINT,
                          opened.handle, attempt.share);
    };
    status = OpenNamed(opened.named, open, opened.opened_by);
    opened.can_delete = (attempt.access & DELETE) != 0;
    opened.held_alone = attempt.share == 0;
    if (status != STATUS_ACCESS_DENIED && status != STATUS_SHARING_VIOLATION)
      break;
  }
  return status;
}

// A drive's root: only its attributes are read or set.
DWORD OpenDriveRoot(const std::string& full, OpenEntry& opened) {
  opened.drive_root = true;
  NTSTATUS status = OpenRelative(nullptr, L"\\??\\" + WideName(full),
                                 FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, FILE_DIRECTORY_FILE,
                                 opened.handle);
  if (status < 0)
    return ErrorOf(status);
  ReadFacts(opened.handle.get(), opened.facts);
  return 0;
}

// Finds the directory that holds the entry a path names, and the entry's name in it: the current
// directory, which the position holds open, or a directory opened for this entry alone (a drive's
// root is opened whole instead). Where links are followed, `directory_name` is what the system
// calls that directory. Answers 0 or the Windows error (a missing directory on the way is "path
// not found").
DWORD FindParent(const std::string& system, OpenEntry& opened, std::wstring& directory_name) {
  std::string name_here = system;
  if (!IsBareName(system)) {
    std::string full = ExpandPath(system);
    if (!IsOnDrive(full))
      return oserror::PathNotFound;
    DropTrailingBackslash(full);
    if (!IsBelowRoot(full))
      return OpenDriveRoot(full, opened);
    std::string parent(ParentOf(full));
    name_here = LastComponent(full);
    if (!SameText(parent, CurrentPath())) {
      if (DWORD error = OpenDirectoryOfPath(parent, opened.own_parent))
        return error;
      opened.parent = opened.own_parent.get();
      opened.named = {WideName(name_here), L"", 0};
      if (LinksAreFollowed())
        directory_name = ObjectName(opened.parent);
      return 0;
    }
  }
  opened.in_current = true;
  DWORD error = 0;
  opened.parent = CurrentDirectoryHandle(error);
  if (opened.parent == nullptr)
    return error;
  opened.named = NameInCurrent(name_here);
  directory_name = CurrentObjectName(false);
  return 0;
}

// The error of an entry that could not be opened; a refusal that says more than its code (see
// CauseOfRefusal) answers "access denied" with that in `cause`.
DWORD RefusalError(NTSTATUS status, const NamedEntry& named, EntryCause& cause) {
  cause = CauseOfRefusal(status, named.name);
  if (cause != EntryCause::None)
    return oserror::AccessDenied;
  // Wine lists a Unix socket or device like a file but cannot open it: such an entry is refused
  // as access denied, so the walk reports it and goes on instead of ending the run.
  if (named.id != 0 && CannotBeOpened(status))
    return oserror::AccessDenied;
  return ErrorOf(status);
}

// What the handle holds: a link where it leads elsewhere, another file where it is not the one
// the search listed or the walk stepped up from.
void CheckWhatWasOpened(OpenEntry& opened, const std::wstring& directory_name) {
  if (ReadFacts(opened.handle.get(), opened.facts) < 0) {
    opened.other_file = true;
  } else if (LinksAreFollowed()) {
    // Wine follows every link and marks a mount point it reaches as a reparse point: what was
    // opened must stand where its name does, whatever it says of itself.
    std::wstring object_name = ObjectName(opened.handle.get());
    FileId id = opened.facts.id;
    bool stands = StandsAsNamed(object_name, id, opened.parent, directory_name, opened.opened_by);
    if (!stands && opened.in_current)
      stands =
          StandsAsNamed(object_name, id, opened.parent, CurrentObjectName(true), opened.opened_by);
    opened.elsewhere = !stands;
  }
  if (opened.named.id != 0 && opened.named.id != opened.facts.id)
    opened.other_file = true;
}

// Opens the entry a path names into `entry`, unless it is open already. Answers 0 or the Windows
// error, with `cause` as RefusalError gives it.
DWORD Open(std::string_view path, EntryCause& cause) {
  cause = EntryCause::None;
  std::string system = WithBackslashes(path);
  if (entry.handle != nullptr && entry.path == system && entry.generation == PositionGeneration())
    return 0;
  CloseOpenEntry();
  OpenEntry opened;
  opened.path = system;
  opened.generation = PositionGeneration();
  std::wstring directory_name;
  if (DWORD error = FindParent(system, opened, directory_name))
    return error;
  if (!opened.drive_root) {
    NTSTATUS status = OpenEntryHandle(opened);
    if (status < 0)
      return RefusalError(status, opened.named, cause);
    CheckWhatWasOpened(opened, directory_name);
  }
  entry = std::move(opened);
  return 0;
}

// An erase or removal on the open entry: marks it for deletion and lets it go. Answers 0 or the
// Windows error; LastEntryCause tells a refusal because another program holds the entry without
// sharing its deletion, or an entry that stays listed, marked, while another program holds it.
DWORD DeleteOpenEntry() {
  if (!entry.can_delete) {
    // Asked again with deletion alone, for the system's own answer (a sharing violation, say).
    OwnedHandle handle;
    NTSTATUS status =
        OpenRelative(entry.parent, entry.opened_by, DELETE, FILE_OPEN_REPARSE_POINT, handle);
    if (status < 0) {
      if (status == STATUS_SHARING_VIOLATION)
        LastEntryCause = EntryCause::InUse;
      return ErrorOf(status);
    }
    HandleFacts facts;
    if (ReadFacts(handle.get(), facts) < 0 || facts.id != entry.facts.id)
      return oserror::AccessDenied;
    entry.handle = std::move(handle);
    entry.can_delete = true;
  }
  NTSTATUS status = STATUS_UNSUCCESSFUL;
  if (extended != Offer::No) {
    status = MarkForDeletion(entry.handle.get(), true);
    extended = ExtendedUnsupported(status) ? Offer::No : Offer::Yes;
  }
  bool posix = extended == Offer::Yes;
  if (extended == Offer::No) {
    if (entry.deferred) {
      entry.deferred = false;
      if (NTSTATUS changed = WriteAttributes(entry.handle.get(), entry.deferred_attributes);
          changed < 0)
        return ErrorOf(changed);
    }
    status = MarkForDeletion(entry.handle.get(), false);
  }
  if (status < 0)
    return CannotBeOpened(status) ? oserror::AccessDenied : ErrorOf(status);
  // The entry goes as its handle closes, unless another program holds it too: then, without the
  // POSIX semantics, its name stays until that one lets it go. The directory is asked only then:
  // under wine a name that has gone is looked for through the whole directory.
  OwnedHandle own_parent = std::move(entry.own_parent);
  HANDLE parent = entry.parent;
  std::wstring name = std::move(entry.opened_by);
  FileId id = entry.facts.id;
  bool held_alone = entry.held_alone;
  entry.deferred = false;
  ReleaseEntry();
  if (!posix && !held_alone && StillThere(parent, name, id))
    LastEntryCause = EntryCause::DeletePending;
  return 0;
}

} // namespace

void CloseOpenEntry() {
  // An entry that stays gets the attribute change that waited for its erase.
  if (entry.handle != nullptr && entry.deferred)
    WriteAttributes(entry.handle.get(), entry.deferred_attributes);
  ReleaseEntry();
}

// ---- Services -----------------------------------------------------------------------------------

std::uint16_t GetEntryAttributes(std::string_view path) {
  LastServiceResult = 0;
  EntryCause cause;
  if (DWORD error = Open(path, cause)) {
    LastServiceResult = static_cast<ResultCode>(error);
    return 0;
  }
  DWORD attributes = entry.facts.attributes;
  if (IsLink(entry))
    attributes = (attributes | FILE_ATTRIBUTE_REPARSE_POINT);
  return static_cast<std::uint16_t>(AsListed(attributes));
}

void SetEntryAttributes(std::string_view path, std::uint16_t attributes) {
  LastEntryCause = EntryCause::None;
  if (VolumeLabelRefused(attributes))
    return;
  EntryCause cause;
  if (DWORD error = Open(path, cause)) {
    LastEntryCause = cause;
    // A file marked for deletion that another program still holds is going already: there is
    // nothing to change on it.
    LastServiceResult = cause == EntryCause::DeletePending ? 0 : static_cast<ResultCode>(error);
    return;
  }
  // A link that leads elsewhere is reported and left where it is, with what it leads to
  // unchanged.
  if (IsLink(entry)) {
    LastServiceResult = oserror::AccessDenied;
    if (entry.elsewhere)
      LastEntryCause = EntryCause::Link;
    return;
  }
  DWORD current = entry.facts.attributes;
  // Only the read-only, hidden and system bits can stand in the way of an erase; a change of the
  // others alone is not made.
  if (((current ^ attributes) & Protecting) == 0)
    return;
  bool clears_all = (attributes & Protecting) == 0;
  bool shared_read_only =
      (current & FILE_ATTRIBUTE_READONLY) != 0 && (current & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
      (attributes & ReadOnlyAttribute) == 0 && LinkCount(entry.handle.get()) > 1;
  if (extended == Offer::Unknown && entry.can_delete && !entry.drive_root)
    extended = OffersExtendedDeletion(entry.handle.get()) ? Offer::Yes : Offer::No;
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
  NTSTATUS status = WriteAttributes(entry.handle.get(), attributes);
  if (status < 0)
    LastServiceResult = static_cast<ResultCode>(ErrorOf(status));
  else
    entry.facts.attributes = (current & ~Protecting) | (attributes & Protecting);
}

namespace {

// The end of an erase or removal that could not open its entry: a file marked for deletion that
// another program holds is going already, and answers 0 as an erase that marks it does.
void RefuseOpen(DWORD error, EntryCause cause) {
  CloseOpenEntry();
  LastEntryCause = cause;
  if (cause != EntryCause::DeletePending)
    SetPendingError(error);
}

// Why the open entry may not be erased as a file: 0 when it may.
DWORD WhyNotErased() {
  if (IsLink(entry)) {
    if (entry.elsewhere)
      LastEntryCause = EntryCause::Link;
    return oserror::AccessDenied;
  }
  if (entry.drive_root || IsDirectory(entry.facts))
    return oserror::FileNotFound; // erasing a directory is "file not found"
  return 0;
}

// Why the open entry may not be removed as a directory: 0 when it may.
DWORD WhyNotRemoved() {
  if (IsLink(entry) || entry.drive_root)
    return oserror::AccessDenied; // a drive's root is never removed; nor another directory
  if ((entry.facts.attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
    return ERROR_DIRECTORY;
  return 0;
}

// An erase or a removal: opens the entry a path names, deletes it unless `refusal` answers why
// not, and leaves any error pending.
void DeleteEntry(std::string_view path, DWORD (*refusal)()) {
  EntryCause cause;
  if (DWORD error = Open(path, cause)) {
    RefuseOpen(error, cause);
    return;
  }
  DWORD error = refusal();
  if (error == 0)
    error = DeleteOpenEntry();
  CloseOpenEntry();
  if (error != 0)
    SetPendingError(error);
}

} // namespace

void EraseFile(std::string_view path) {
  LastEntryCause = EntryCause::None;
  if (PendingIoResult == 0)
    DeleteEntry(path, WhyNotErased);
}

void RemoveEmptyDirectory(std::string_view path) {
  LastEntryCause = EntryCause::None;
  if (RemovalGoesAhead(path))
    DeleteEntry(path, WhyNotRemoved);
}
