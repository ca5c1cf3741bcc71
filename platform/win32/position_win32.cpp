// Only code for Windows: the walk's position, held as open directory handles.
//
// The current directory is an open handle, and so is every directory above it up to its drive's
// root: entering a path opens it from the root down, one component at a time, and stepping into
// a subdirectory opens it relative to the directory the walk is in. A step up closes the current
// handle and goes back to the held parent, never to wherever ".." leads at that moment. The
// path shown in messages is kept as text beside the handles, so it has no length limit and is
// never read back from the system. The process's own current directory is left alone.
//
// Under wine every Unix symbolic link is followed when it is opened, and FILE_OPEN_REPARSE_POINT
// changes nothing. So there each directory is also checked by name: the system's name for what
// was opened must be the parent's name followed by the name asked for, else a link led
// elsewhere.
#include "platform/win32/position_win32.h"

#include <vector>

#include "platform/dos/result_codes.h"
#include "platform/fs.h"
#include "platform/fs/fs_body.h"
#include "platform/win32/paths_win32.h"
#include "platform/win32/start_win32.h"

namespace {

constexpr ACCESS_MASK DirectoryAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;

struct HeldDirectory {
  OwnedHandle handle;
  std::wstring object_name;
  FileId id = 0;
  std::string name;       // as it was entered, in the program's bytes; empty for a drive's root
  std::wstring opened_by; // the name it was opened by in its parent
  // Reached from the drive's root without passing through a reparse point or link.
  bool clean = true;
  unsigned mark = 0; // tells this holding apart from every other
};

// The drive's root first; the current directory last. Empty until first needed.
std::vector<HeldDirectory> held;

int current_drive = 2; // C:
// The current directory of each drive, as DOS keeps one per drive; empty while not yet asked.
std::string drive_paths[26];
unsigned generation = 1;
// Why the current directory the run started in cannot be read (0 when it can), until the run
// moves: GetDriveDirectory(0) fails with it meanwhile.
DWORD start_unknown = 0;
unsigned marks = 0;

ListedItem listed;
unsigned listed_generation = 0;

struct LeftDirectory {
  std::string name;
  std::wstring opened_by;
  FileId id = 0;
  unsigned generation = 0;
};
LeftDirectory left;

std::string& Logical() {
  return drive_paths[current_drive];
}

void DropHeld() {
  held.clear();
}

void Moved() {
  ++generation;
  start_unknown = 0;
}

int DriveOf(char letter) {
  return (letter >= 'a' ? letter - 'a' : letter - 'A');
}

std::wstring RootName(char letter) {
  return std::wstring(L"\\??\\") + static_cast<wchar_t>(letter) + L":\\";
}

void SetPendingChangeError(DWORD error) {
  // Changing to a directory that is not there is "path not found", never "file not found".
  ResultCode code = TranslatePendingError(error);
  PendingIoResult = code == dosresult::FileNotFound ? dosresult::PathNotFound : code;
}

// A directory on the way may grant passage only, not a listing: it is then held with what it
// grants, as the system passes through it for a path.
NTSTATUS OpenDirectoryBelow(HANDLE parent, const NamedEntry& named, ULONG options,
                            OwnedHandle& handle, std::wstring& opened_by) {
  const ACCESS_MASK tries[] = {DirectoryAccess, FILE_TRAVERSE | FILE_READ_ATTRIBUTES,
                               FILE_TRAVERSE};
  NTSTATUS status = STATUS_SUCCESS;
  for (ACCESS_MASK access : tries) {
    auto open = [&](const std::wstring& name) {
      return OpenRelative(parent, name, access, FILE_DIRECTORY_FILE | options, handle);
    };
    status = OpenNamed(named, open, opened_by);
    if (status != STATUS_ACCESS_DENIED)
      break;
  }
  return status;
}

// What is read of a directory as it is opened: its file number and, where links are followed,
// its object name. The open that checks a directory reads them, and holding it takes them from
// there instead of asking the system again.
struct DirectoryFacts {
  FileId id = 0;
  std::wstring object_name;
};

DirectoryFacts ReadDirectoryFacts(HANDLE handle) {
  DirectoryFacts known;
  if (LinksAreFollowed())
    known.object_name = ObjectName(handle);
  HandleFacts facts;
  if (ReadFacts(handle, facts) >= 0)
    known.id = facts.id;
  return known;
}

HeldDirectory Hold(OwnedHandle handle, std::string name, std::wstring opened_by, bool clean,
                   DirectoryFacts known) {
  HeldDirectory directory;
  directory.object_name = std::move(known.object_name);
  directory.id = known.id;
  directory.handle = std::move(handle);
  directory.name = std::move(name);
  directory.opened_by = std::move(opened_by);
  directory.clean = clean;
  directory.mark = ++marks;
  return directory;
}

// Opens a directory below `parent` without following a link at its end. Answers the NT status;
// `is_link` when what the name holds is a reparse point or stands elsewhere; `known` holds what
// was read of a directory that is none. A name the directory lists as the 8.3 name of a directory
// stands for that directory.
NTSTATUS OpenSubdirectory(const HeldDirectory& parent, const NamedEntry& named, OwnedHandle& handle,
                          std::wstring& opened_by, bool& is_link, DirectoryFacts& known) {
  is_link = false;
  known = DirectoryFacts{};
  NTSTATUS status =
      OpenDirectoryBelow(parent.handle.get(), named, FILE_OPEN_REPARSE_POINT, handle, opened_by);
  if (status < 0)
    return status;
  HandleFacts facts;
  if (ReadFacts(handle.get(), facts) < 0 ||
      (facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    is_link = true;
    return STATUS_SUCCESS;
  }
  known.id = facts.id;
  if (LinksAreFollowed()) {
    known.object_name = ObjectName(handle.get());
    is_link = !StandsAsNamed(known.object_name, facts.id, parent.handle.get(), parent.object_name,
                             opened_by);
  }
  return STATUS_SUCCESS;
}

// Opens a full DOS path from its drive's root down. A link at the end is refused when asked
// (error 1921); a link on the way is followed and leaves the rest of the chain not clean.
DWORD OpenChain(const std::string& full, bool refuse_link_at_end,
                std::vector<HeldDirectory>& chain) {
  OwnedHandle root;
  NTSTATUS status =
      OpenRelative(nullptr, RootName(full[0]), DirectoryAccess, FILE_DIRECTORY_FILE, root);
  if (status < 0)
    return ErrorOf(status);
  DirectoryFacts root_facts = ReadDirectoryFacts(root.get());
  chain.push_back(Hold(std::move(root), "", L"", true, std::move(root_facts)));
  std::vector<std::string_view> components =
      PathComponents(std::string_view(full).substr(DriveRootLength), '\\');
  for (std::size_t at = 0; at < components.size(); ++at) {
    std::string component(components[at]);
    bool last = at + 1 == components.size();
    NamedEntry named{WideName(component), L"", 0};
    OwnedHandle handle;
    std::wstring opened_by;
    bool is_link = false;
    DirectoryFacts known;
    status = OpenSubdirectory(chain.back(), named, handle, opened_by, is_link, known);
    if (status < 0)
      return ErrorOf(status);
    if (is_link) {
      // A target that is a link would erase what it leads to.
      if (last && refuse_link_at_end)
        return oserror::CantResolveFilename;
      // An earlier link is followed, as the system follows it.
      status = OpenDirectoryBelow(chain.back().handle.get(), named, 0, handle, opened_by);
      if (status < 0)
        return ErrorOf(status);
      known = ReadDirectoryFacts(handle.get());
    }
    bool clean = chain.back().clean && !is_link;
    chain.push_back(Hold(std::move(handle), component, opened_by, clean, std::move(known)));
  }
  return 0;
}

// The drive's remembered directory, asked of the system the first time.
DWORD KnowDrive(int drive) {
  if (!drive_paths[drive].empty())
    return 0;
  char letter = static_cast<char>('A' + drive);
  OwnedHandle root;
  NTSTATUS status =
      OpenRelative(nullptr, RootName(letter), DirectoryAccess, FILE_DIRECTORY_FILE, root);
  if (status < 0)
    return ErrorOf(status);
  const wchar_t drive_only[3] = {static_cast<wchar_t>(letter), L':', L'\0'};
  wchar_t buffer[MAX_PATH];
  DWORD length = GetFullPathNameW(drive_only, MAX_PATH, buffer, nullptr);
  std::string path =
      length > 0 && length < MAX_PATH ? ByteName(std::wstring_view(buffer, length)) : std::string();
  if (!StartsAtDriveRoot(path) || DriveOf(path[0]) != drive)
    path = std::string(1, letter) + ":\\";
  path[0] = letter;
  drive_paths[drive] = path;
  return 0;
}

} // namespace

void StepUp() {
  if (held.empty()) {
    DWORD error = 0;
    CurrentDirectoryHandle(error);
  }
  std::string& logical = Logical();
  if (held.size() == 1 || (held.empty() && !IsBelowRoot(logical)))
    return; // ".." at a drive's root stays there
  if (!held.empty()) {
    HeldDirectory& child = held.back();
    left = {std::move(child.name), std::move(child.opened_by), child.id, 0};
    held.pop_back();
  }
  logical.resize(ParentOf(logical).size());
  Moved();
  left.generation = generation;
}

void StepDown(const std::string& name) {
  DWORD error = 0;
  if (CurrentDirectoryHandle(error) == nullptr) {
    SetPendingChangeError(error);
    return;
  }
  NamedEntry named = NameInCurrent(name);
  OwnedHandle handle;
  std::wstring opened_by;
  bool is_link = false;
  DirectoryFacts known;
  NTSTATUS status = OpenSubdirectory(held.back(), named, handle, opened_by, is_link, known);
  if (status >= 0 && is_link) {
    // The current directory may have been moved meanwhile: its name is read again.
    CurrentObjectName(true);
    status = OpenSubdirectory(held.back(), named, handle, opened_by, is_link, known);
  }
  if (status < 0) {
    if (EntryCause cause = CauseOfRefusal(status, named.name); cause != EntryCause::None) {
      // Passed over as a refused entry is, and said for what it is.
      LastEntryCause = cause;
      PendingIoResult = dosresult::AccessDenied;
      return;
    }
    SetPendingChangeError(ErrorOf(status));
    return;
  }
  // A link is never entered, nor a directory other than the one the search listed.
  if (is_link || (named.id != 0 && named.id != known.id)) {
    PendingIoResult = dosresult::PathNotFound;
    return;
  }
  HeldDirectory directory =
      Hold(std::move(handle), name, opened_by, held.back().clean, std::move(known));
  held.push_back(std::move(directory));
  std::string& logical = Logical();
  if (!logical.ends_with('\\'))
    logical += '\\';
  logical += name;
  Moved();
}

void ChangeDrive(char letter) {
  if (!((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z'))) {
    SetPendingError(oserror::InvalidDrive);
    return;
  }
  int drive = DriveOf(letter);
  if (drive == current_drive && start_unknown == 0)
    return;
  if (DWORD error = KnowDrive(drive)) {
    SetPendingChangeError(error);
    return;
  }
  DropHeld();
  current_drive = drive;
  Moved();
}

void ChangeToPath(const std::string& path) {
  std::string full = ExpandPath(path);
  if (!StartsAtDriveRoot(full)) {
    SetPendingError(oserror::PathNotFound);
    return;
  }
  DropTrailingBackslash(full);
  full[0] = static_cast<char>(full[0] >= 'a' ? full[0] - 32 : full[0]);
  std::vector<HeldDirectory> chain;
  if (DWORD error = OpenChain(full, true, chain)) {
    if (error == oserror::CantResolveFilename)
      SetPendingError(error);
    else
      SetPendingChangeError(error);
    return;
  }
  DropHeld();
  held = std::move(chain);
  current_drive = DriveOf(full[0]);
  Logical() = full;
  Moved();
}

HANDLE CurrentDirectoryHandle(DWORD& error) {
  error = 0;
  if (!held.empty())
    return held.back().handle.get();
  const std::string& logical = Logical();
  if (!StartsAtDriveRoot(logical)) {
    error = oserror::PathNotFound;
    return nullptr;
  }
  std::vector<HeldDirectory> chain;
  error = OpenChain(logical, false, chain);
  if (error != 0)
    return nullptr;
  held = std::move(chain);
  return held.back().handle.get();
}

unsigned PositionGeneration() {
  return generation;
}

unsigned CurrentDirectoryMark() {
  return held.empty() ? 0 : held.back().mark;
}

void NoteListed(const ListedItem& item) {
  listed = item;
  listed_generation = generation;
}

DWORD OpenDirectoryOfPath(std::string_view dos_path, OwnedHandle& handle) {
  std::string full = ExpandPath(WithBackslashes(dos_path));
  if (!StartsAtDriveRoot(full))
    return oserror::PathNotFound;
  DropTrailingBackslash(full);
  std::string parent(ParentOf(full));
  NTSTATUS status = STATUS_SUCCESS;
  DWORD error = 0;
  if (SameText(full, CurrentPath()) || (IsBelowRoot(full) && SameText(parent, CurrentPath()))) {
    // Through the held handle, by the exact name the walk knows there.
    HANDLE current = CurrentDirectoryHandle(error);
    if (current == nullptr)
      return error;
    NamedEntry named;
    if (!SameText(full, CurrentPath()))
      named = NameInCurrent(LastComponent(full));
    std::wstring opened_by;
    auto open = [&](const std::wstring& name) {
      return OpenRelative(current, name, DirectoryAccess, FILE_DIRECTORY_FILE, handle);
    };
    status = OpenNamed(named, open, opened_by);
  } else {
    status = OpenRelative(nullptr, L"\\??\\" + WideName(full), DirectoryAccess, FILE_DIRECTORY_FILE,
                          handle);
  }
  if (status < 0) {
    error = ErrorOf(status);
    return error == oserror::FileNotFound ? oserror::PathNotFound : error;
  }
  return 0;
}

const std::wstring& CurrentObjectName(bool afresh) {
  static const std::wstring none;
  if (held.empty())
    return none;
  if (afresh && LinksAreFollowed())
    held.back().object_name = ObjectName(held.back().handle.get());
  return held.back().object_name;
}

const std::string& CurrentPath() {
  return Logical();
}

NamedEntry NameInCurrent(std::string_view name) {
  if (listed_generation == generation && listed.name == name)
    return listed.named;
  if (left.generation == generation && !left.name.empty() && left.name == name)
    return {left.opened_by, L"", left.id};
  return {WideName(name), L"", 0};
}

std::string DosName(std::wstring_view listed_name) {
  std::wstring name(listed_name);
  for (wchar_t& c : name) {
    if (c == L':')
      c = L'\xF03A';
    else if (c == L'\\')
      c = L'\xF05C';
  }
  return ByteName(name);
}

bool ParentIsHeld() {
  // A step up from the drive's root goes nowhere; below a link, the directory above was never
  // reached from the root as itself.
  return held.size() >= 2 && held.back().clean;
}

std::string PrepareChange(std::string_view path) {
  CloseOpenEntry();
  LastEntryCause = EntryCause::None;
  return WithBackslashes(path);
}

std::string GetDriveDirectory(std::uint8_t drive) {
  if (drive == 0 && start_unknown != 0) {
    SetPendingError(start_unknown);
    return std::string(1, static_cast<char>('A' + current_drive)) + ":\\";
  }
  if (drive == 0 || drive - 1 == current_drive)
    return Logical();
  char letter = static_cast<char>('@' + drive);
  if (drive > 26) {
    SetPendingError(oserror::InvalidDrive);
    return std::string(1, letter) + ":\\";
  }
  if (DWORD error = KnowDrive(drive - 1)) {
    SetPendingError(error);
    return std::string(1, letter) + ":\\";
  }
  return drive_paths[drive - 1];
}

std::string StartFileSystem() {
  RemoveLeftoverImages();
  DropHeld();
  std::wstring current(MAX_PATH, L'\0');
  DWORD error = 0;
  for (;;) {
    DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(current.size()), current.data());
    if (length == 0)
      error = GetLastError();
    if (length < current.size()) {
      current.resize(length);
      break;
    }
    current.resize(length);
  }
  std::string path = ByteName(current);
  if (StartsAtDriveRoot(path)) {
    path[0] = static_cast<char>(path[0] >= 'a' ? path[0] - 32 : path[0]);
    DropTrailingBackslash(path);
    current_drive = DriveOf(path[0]);
  } else if (!path.starts_with("\\\\")) {
    // Neither on a drive nor on a share: a directory that cannot be read (wine answers "unix"
    // for one removed before the start). It is not taken for the current drive's.
    start_unknown = error != 0 ? error : oserror::PathNotFound;
    return {};
  }
  Logical() = path;
  Moved();
  return {};
}
