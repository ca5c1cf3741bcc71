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

#include "platform/fs.h"
#include "platform/fs_body.h"
#include "platform/result_codes.h"
#include "platform/win32/paths_win32.h"
#include "platform/win32/start_win32.h"

namespace {

constexpr ACCESS_MASK DirectoryAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;

struct HeldDirectory {
  HANDLE handle = nullptr;
  std::wstring object_name;
  FileId id = 0;
  std::wstring wide_name; // in its parent; empty for a drive's root
  // Reached from the drive's root without passing through a reparse point or link.
  bool clean = true;
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

ListedItem listed;
unsigned listed_generation = 0;

struct LeftDirectory {
  std::wstring wide_name;
  FileId id = 0;
  unsigned generation = 0;
};
LeftDirectory left;

std::string& Logical() {
  return drive_paths[current_drive];
}

void DropHeld() {
  for (HeldDirectory& directory : held)
    CloseHandle(directory.handle);
  held.clear();
}

void Moved() {
  ++generation;
  start_unknown = 0;
}

bool IsDriveForm(const std::string& path) {
  return path.size() >= 3 && path[1] == ':' && path[2] == '\\' &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
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
  PendingIoResult = code == 2 ? 3 : code;
}

// A directory on the way may grant passage only, not a listing: it is then held with what it
// grants, as the system passes through it for a path.
NTSTATUS OpenDirectoryBelow(HANDLE parent, const std::wstring& wide, ULONG options,
                            HANDLE& handle) {
  constexpr NTSTATUS AccessDenied = static_cast<NTSTATUS>(0xC0000022);
  const ACCESS_MASK tries[] = {DirectoryAccess, FILE_TRAVERSE | FILE_READ_ATTRIBUTES,
                               FILE_TRAVERSE};
  NTSTATUS status = 0;
  for (ACCESS_MASK access : tries) {
    status = OpenRelative(parent, wide, access, FILE_DIRECTORY_FILE | options, handle);
    if (status != AccessDenied)
      break;
  }
  return status;
}

HeldDirectory Hold(HANDLE handle, std::wstring wide_name, bool clean) {
  HeldDirectory directory;
  directory.handle = handle;
  if (LinksAreFollowed())
    directory.object_name = ObjectName(handle);
  HandleFacts facts;
  if (ReadFacts(handle, facts) >= 0)
    directory.id = facts.id;
  directory.wide_name = std::move(wide_name);
  directory.clean = clean;
  return directory;
}

// Opens a directory below `parent` without following a link at its end. Answers 0, or the
// Windows error; `is_link` when what the name holds is a reparse point or stands elsewhere.
DWORD OpenSubdirectory(const HeldDirectory& parent, const std::wstring& wide, HANDLE& handle,
                       bool& is_link) {
  is_link = false;
  NTSTATUS status = OpenDirectoryBelow(parent.handle, wide, FILE_OPEN_REPARSE_POINT, handle);
  if (status < 0)
    return ErrorOf(status);
  HandleFacts facts;
  if (ReadFacts(handle, facts) < 0 || (facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
      (LinksAreFollowed() && !StandsIn(ObjectName(handle), parent.object_name, wide)))
    is_link = true;
  return 0;
}

// Opens a full DOS path from its drive's root down. A link at the end is refused when asked
// (error 1921); a link on the way is followed and leaves the rest of the chain not clean.
DWORD OpenChain(const std::string& full, bool refuse_link_at_end,
                std::vector<HeldDirectory>& chain) {
  HANDLE root = nullptr;
  NTSTATUS status =
      OpenRelative(nullptr, RootName(full[0]), DirectoryAccess, FILE_DIRECTORY_FILE, root);
  if (status < 0)
    return ErrorOf(status);
  chain.push_back(Hold(root, L"", true));
  std::size_t at = 3;
  while (at < full.size()) {
    std::size_t end = full.find('\\', at);
    if (end == std::string::npos)
      end = full.size();
    std::string component = full.substr(at, end - at);
    at = end + 1;
    if (component.empty())
      continue;
    bool last = at >= full.size();
    std::wstring wide = WideName(component);
    HANDLE handle = nullptr;
    bool is_link = false;
    DWORD error = OpenSubdirectory(chain.back(), wide, handle, is_link);
    if (error != 0)
      return error;
    if (is_link) {
      if (last && refuse_link_at_end) {
        // A target that is a link would erase what it leads to.
        CloseHandle(handle);
        return oserror::CantResolveFilename;
      }
      // An earlier link is followed, as the system follows it.
      CloseHandle(handle);
      status = OpenDirectoryBelow(chain.back().handle, wide, 0, handle);
      if (status < 0)
        return ErrorOf(status);
    }
    bool clean = chain.back().clean && !is_link;
    chain.push_back(Hold(handle, wide, clean));
  }
  return 0;
}

void CloseChain(std::vector<HeldDirectory>& chain) {
  for (HeldDirectory& directory : chain)
    CloseHandle(directory.handle);
  chain.clear();
}

// The drive's remembered directory, asked of the system the first time.
DWORD KnowDrive(int drive) {
  if (!drive_paths[drive].empty())
    return 0;
  char letter = static_cast<char>('A' + drive);
  HANDLE root = nullptr;
  NTSTATUS status =
      OpenRelative(nullptr, RootName(letter), DirectoryAccess, FILE_DIRECTORY_FILE, root);
  if (status < 0)
    return ErrorOf(status);
  CloseHandle(root);
  const wchar_t drive_only[3] = {static_cast<wchar_t>(letter), L':', L'\0'};
  wchar_t buffer[MAX_PATH];
  DWORD length = GetFullPathNameW(drive_only, MAX_PATH, buffer, nullptr);
  std::string path =
      length > 0 && length < MAX_PATH ? ByteName(std::wstring_view(buffer, length)) : std::string();
  if (!IsDriveForm(path) || DriveOf(path[0]) != drive)
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
  if (held.size() == 1 || (held.empty() && logical.size() <= 3))
    return; // ".." at a drive's root stays there
  if (!held.empty()) {
    HeldDirectory child = std::move(held.back());
    held.pop_back();
    CloseHandle(child.handle);
    left = {std::move(child.wide_name), child.id, 0};
  }
  std::size_t slash = logical.rfind('\\');
  logical.erase(slash < 3 ? 3 : slash);
  Moved();
  left.generation = generation;
}

void StepDown(const std::string& name) {
  DWORD error = 0;
  if (CurrentDirectoryHandle(error) == nullptr) {
    SetPendingChangeError(error);
    return;
  }
  const ListedItem* item = nullptr;
  std::wstring wide = WideOfName(name, &item);
  HANDLE handle = nullptr;
  bool is_link = false;
  error = OpenSubdirectory(held.back(), wide, handle, is_link);
  if (error != 0) {
    SetPendingChangeError(error);
    return;
  }
  if (is_link) {
    // The current directory may have been moved meanwhile: its name is read again.
    CurrentObjectName(true);
    CloseHandle(handle);
    error = OpenSubdirectory(held.back(), wide, handle, is_link);
    if (error != 0) {
      SetPendingChangeError(error);
      return;
    }
  }
  HeldDirectory directory = Hold(handle, wide, held.back().clean);
  // A link is never entered, nor a directory other than the one the search listed.
  if (is_link || (item != nullptr && item->id != 0 && item->id != directory.id)) {
    CloseHandle(handle);
    PendingIoResult = 3;
    return;
  }
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
  if (!IsDriveForm(full)) {
    SetPendingError(oserror::PathNotFound);
    return;
  }
  if (full.size() > 3 && full.back() == '\\')
    full.pop_back();
  full[0] = static_cast<char>(full[0] >= 'a' ? full[0] - 32 : full[0]);
  std::vector<HeldDirectory> chain;
  if (DWORD error = OpenChain(full, true, chain)) {
    CloseChain(chain);
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
    return held.back().handle;
  const std::string& logical = Logical();
  if (!IsDriveForm(logical)) {
    error = oserror::PathNotFound;
    return nullptr;
  }
  std::vector<HeldDirectory> chain;
  error = OpenChain(logical, false, chain);
  if (error != 0) {
    CloseChain(chain);
    return nullptr;
  }
  held = std::move(chain);
  return held.back().handle;
}

unsigned PositionGeneration() {
  return generation;
}

void NoteListed(const ListedItem& item) {
  listed = item;
  listed_generation = generation;
}

DWORD OpenDirectoryOfPath(std::string_view dos_path, HANDLE& handle) {
  std::string full = ExpandPath(SystemPath(dos_path));
  if (!IsDriveForm(full))
    return oserror::PathNotFound;
  NTSTATUS status = OpenRelative(nullptr, L"\\??\\" + WideName(full), DirectoryAccess,
                                 FILE_DIRECTORY_FILE, handle);
  if (status < 0) {
    DWORD error = ErrorOf(status);
    return error == oserror::FileNotFound ? oserror::PathNotFound : error;
  }
  return 0;
}

const std::wstring& CurrentObjectName(bool afresh) {
  static const std::wstring none;
  if (held.empty())
    return none;
  if (afresh && LinksAreFollowed())
    held.back().object_name = ObjectName(held.back().handle);
  return held.back().object_name;
}

const std::string& CurrentPath() {
  return Logical();
}

std::wstring WideOfName(std::string_view name, const ListedItem** item) {
  if (listed_generation == generation && listed.name == name) {
    if (item != nullptr)
      *item = &listed;
    return listed.wide;
  }
  if (item != nullptr)
    *item = nullptr;
  return WideName(name);
}

bool JustLeft(std::wstring_view wide, FileId& id) {
  if (left.generation != generation || left.wide_name.empty() ||
      CompareStringOrdinal(wide.data(), static_cast<int>(wide.size()), left.wide_name.data(),
                           static_cast<int>(left.wide_name.size()), TRUE) != CSTR_EQUAL)
    return false;
  id = left.id;
  return true;
}

bool ParentIsHeld() {
  // A step up from the drive's root goes nowhere; below a link, the directory above was never
  // reached from the root as itself.
  return held.size() >= 2 && held.back().clean;
}

std::string PrepareChange(std::string_view path) {
  CloseOpenEntry();
  return SystemPath(path);
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
  if (IsDriveForm(path)) {
    path[0] = static_cast<char>(path[0] >= 'a' ? path[0] - 32 : path[0]);
    if (path.size() > 3 && path.back() == '\\')
      path.pop_back();
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
