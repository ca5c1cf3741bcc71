// Only code for Windows: the file-system services over kernel32.
//
// Safety comes first here, and the system does not provide it on its own. A name may be a link
// that the system follows: under wine every Unix symbolic link is, and a link to a file does not
// even say that it is one. So a name is changed, erased, removed or entered only when the file it
// opens is the entry in the directory where the name stands (its final path says so), and a
// directory link is never entered. And ".." is taken from the text of the current directory, so
// a directory of the tree renamed meanwhile can send a step up elsewhere: every step up is
// checked against the identity of the directory the walk came from.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/fs.h"
#include "platform/result_codes.h"
#include "platform/win32/paths_win32.h"
#include "platform/win32/start_win32.h"

namespace {

// ---- What a name opens ------------------------------------------------------------------------

struct FileIdentity {
  DWORD volume = 0;
  DWORD index_high = 0;
  DWORD index_low = 0;
  bool operator==(const FileIdentity&) const = default;
};

struct OpenedEntry {
  bool opened = false;
  DWORD error = 0; // why it could not be opened
  std::optional<FileIdentity> identity;
  DWORD attributes = 0;
  DWORD links = 0;
  std::string final_path; // empty when the system cannot tell
};

std::string FinalPathOf(HANDLE handle) {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    DWORD length = GetFinalPathNameByHandleA(handle, path.data(), static_cast<DWORD>(path.size()),
                                             FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0)
      return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(length + 1);
  }
}

// Opens the entry itself where the system can (a reparse point, not what it leads to) and
// reads what it is. Nothing is changed.
OpenedEntry Open(const std::string& path) {
  OpenedEntry entry;
  HANDLE handle = CreateFileA(
      path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    entry.error = GetLastError();
    return entry;
  }
  entry.opened = true;
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileInformationByHandle(handle, &info)) {
    entry.identity =
        FileIdentity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    entry.attributes = info.dwFileAttributes;
    entry.links = info.nNumberOfLinks;
  }
  entry.final_path = FinalPathOf(handle);
  CloseHandle(handle);
  return entry;
}

std::string_view LastComponent(std::string_view path) {
  std::size_t cut = path.find_last_of('\\');
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

// ---- Position ---------------------------------------------------------------------------------

// The current directory as the system has it, whatever its length.
std::string CurrentDirectory() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(path.size()), path.data());
    if (length == 0)
      return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(length);
  }
}

struct Lookup;
void ForgetLookup();

// What is known of the current directory, forgotten whenever it changes.
std::optional<OpenedEntry> here;
// The identities of the directories the walk stepped down from, to check each step up against.
std::vector<std::optional<FileIdentity>> came_from;

const OpenedEntry& Here() {
  if (!here)
    here = Open(".");
  return *here;
}

// DOS keeps a current directory per drive; Windows keeps them in "=X:" variables, which the
// system reads for a path like "X:" or "X:name".
void Moved() {
  here.reset();
  ForgetLookup();
  std::string current = CurrentDirectory();
  if (current.size() >= 2 && current[1] == ':') {
    char letter =
        current[0] >= 'a' && current[0] <= 'z' ? static_cast<char>(current[0] - 32) : current[0];
    const char variable[4] = {'=', letter, ':', '\0'};
    SetEnvironmentVariableA(variable, current.c_str());
  }
}

// ---- Links --------------------------------------------------------------------------------------

// Where the last component of a path starts: after its last "\" or after the colon of "X:name".
std::size_t NameStart(const std::string& path) {
  std::size_t cut = path.find_last_of('\\');
  if (cut != std::string::npos)
    return cut + 1;
  return path.size() >= 2 && path[1] == ':' ? 2 : 0;
}

struct Lookup {
  bool names_entry = false; // false for a root, or a path ending in "." or "..": nothing to check
  OpenedEntry entry;
  bool is_link = false; // a reparse point, or a name the system follows to another file
};

// Looks at the entry a path names: whether it opens, and whether what opens stands where the name
// does.
Lookup LookUp(std::string path) {
  Lookup lookup;
  while (path.size() > 1 && path.back() == '\\' && path[path.size() - 2] != ':')
    path.pop_back();
  std::size_t start = NameStart(path);
  std::string name = path.substr(start);
  if (name.empty() || name == "." || name == "..")
    return lookup;
  lookup.names_entry = true;
  lookup.entry = Open(path);
  if (!lookup.entry.opened)
    return lookup;
  if ((lookup.entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    lookup.is_link = true;
    return lookup;
  }
  const std::string& final_path = lookup.entry.final_path;
  std::string parent_final;
  if (start == 0) {
    parent_final = Here().final_path;
  } else {
    std::string parent = path.substr(0, start);
    if (parent.back() == ':')
      parent += '.';
    parent_final = Open(parent).final_path;
  }
  // Where the system cannot tell, the name is taken for a link: nothing is risked on it.
  std::string_view final_name = LastComponent(final_path);
  std::string expected = parent_final;
  if (!expected.ends_with('\\'))
    expected += '\\';
  expected += final_name;
  bool same_name = SameText(final_name, name);
  if (!same_name) {
    // A short name ("PROGRA~1") opens the entry of its long name.
    char long_path[MAX_PATH * 4];
    DWORD length = GetLongPathNameA(path.c_str(), long_path, sizeof long_path);
    same_name = length > 0 && length < sizeof long_path &&
                SameText(final_name, LastComponent(std::string_view(long_path, length)));
  }
  lookup.is_link =
      final_path.empty() || parent_final.empty() || !same_name || !SameText(final_path, expected);
  return lookup;
}

// The look an attribute change took at a name, kept for the erase or removal that follows it at
// once: under wine each look opens the file and asks for its final path, and a second one would
// cost every file as much again. Used once, and forgotten when the current directory changes. An
// attribute change itself always looks afresh, since it acts on what the look says the attributes
// are.
struct RememberedLookup {
  std::string path;
  Lookup lookup;
};
std::optional<RememberedLookup> remembered;

void ForgetLookup() {
  remembered.reset();
}

Lookup LookUpOnce(const std::string& path) {
  std::optional<RememberedLookup> taken = std::move(remembered);
  remembered.reset();
  if (taken && taken->path == path)
    return taken->lookup;
  return LookUp(path);
}

// Answers 0 when an operation may act on the name, else the error number it gives instead. A
// name that cannot be opened now is not acted on later (under wine the current directory is a
// path, and what it leads to may have changed in between), and a link that the system would
// follow elsewhere is refused. A reparse point is acted on: the system acts on the link itself,
// never on what it leads to.
DWORD Refusal(const Lookup& lookup) {
  if (!lookup.names_entry)
    return 0;
  if (!lookup.entry.opened)
    return lookup.entry.error;
  if (lookup.is_link && (lookup.entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
    return ERROR_ACCESS_DENIED;
  return 0;
}

// Wine lists a Unix pipe, socket or device like a file, but refuses every call that names it with
// "invalid parameter". Such an entry is refused as access denied, so the walk reports it and goes
// on instead of ending the run.
bool CannotBeNamed(const std::string& path) {
  return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES &&
         GetLastError() == ERROR_INVALID_PARAMETER;
}

// ---- Changing directory -------------------------------------------------------------------------

void SetPendingChangeError(DWORD error) {
  // Changing to a directory that is not there is "path not found", never "file not found".
  ResultCode code = TranslatePendingError(error);
  PendingIoResult = code == 2 ? 3 : code;
}

bool IsBareName(const std::string& path) {
  return !path.empty() && path.find('\\') == std::string::npos &&
         !(path.size() >= 2 && path[1] == ':') && path != "." && path != "..";
}

bool IsDriveRoot(const std::string& path) {
  return path.ends_with(":\\");
}

void StepUp() {
  if (!SetCurrentDirectoryA("..")) {
    SetPendingChangeError(GetLastError());
    return;
  }
  Moved();
  if (came_from.empty())
    return;
  std::optional<FileIdentity> expected = came_from.back();
  came_from.pop_back();
  // Back anywhere else, the walk would go on in a directory it was never asked to erase.
  if (expected && Here().identity != expected)
    PendingIoResult = 3;
}

void StepDown(const std::string& name) {
  Lookup lookup = LookUp(name);
  if (!lookup.entry.opened) {
    SetPendingChangeError(lookup.entry.error);
    return;
  }
  if (lookup.is_link || !lookup.entry.identity) {
    PendingIoResult = 3;
    return;
  }
  std::optional<FileIdentity> parent = Here().identity;
  std::string previous = CurrentDirectory();
  if (!SetCurrentDirectoryA(name.c_str())) {
    SetPendingChangeError(GetLastError());
    return;
  }
  Moved();
  // The directory must be the one just looked at, not one swapped in since.
  if (Here().identity != lookup.entry.identity) {
    SetCurrentDirectoryA(previous.c_str());
    Moved();
    PendingIoResult = 3;
    return;
  }
  came_from.push_back(parent);
}

void ChangeToPath(const std::string& path) {
  Lookup lookup = LookUp(path);
  if (lookup.names_entry && !lookup.entry.opened) {
    SetPendingChangeError(lookup.entry.error);
    return;
  }
  if (lookup.is_link) {
    // A target that is a link would erase what it leads to.
    SetPendingError(oserror::CantResolveFilename);
    return;
  }
  if (!SetCurrentDirectoryA(path.c_str())) {
    SetPendingChangeError(GetLastError());
    return;
  }
  Moved();
  came_from.clear();
  if (!IsDriveRoot(CurrentDirectory()))
    came_from.push_back(Open("..").identity);
}

} // namespace

// ---- Services -----------------------------------------------------------------------------------

std::uint16_t GetEntryAttributes(std::string_view path) {
  LastServiceResult = 0;
  DWORD attributes = GetFileAttributesA(std::string(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    LastServiceResult = static_cast<ResultCode>(GetLastError());
    return 0;
  }
  return static_cast<std::uint16_t>(AsListed(attributes));
}

void SetEntryAttributes(std::string_view path, std::uint16_t attributes) {
  LastServiceResult = 0;
  if ((attributes & VolumeLabelAttribute) != 0) {
    LastServiceResult = oserror::AccessDenied;
    return;
  }
  std::string text(path);
  if (CannotBeNamed(text)) {
    LastServiceResult = oserror::AccessDenied;
    return;
  }
  std::string system = SystemPath(text);
  ForgetLookup();
  Lookup lookup = LookUp(system);
  if (DWORD refusal = Refusal(lookup)) {
    // A link is reported and left where it is, with what it leads to unchanged.
    LastServiceResult = static_cast<ResultCode>(refusal);
    return;
  }
  // A read-only file with other names keeps its mode, since those names may lie outside the
  // target: it is reported and left too.
  if (lookup.entry.links > 1 && (lookup.entry.attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
      (lookup.entry.attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
      (attributes & ReadOnlyAttribute) == 0) {
    LastServiceResult = oserror::AccessDenied;
    return;
  }
  remembered = RememberedLookup{system, lookup};
  // Only the read-only, hidden and system bits can stand in the way of an erase; a change of the
  // others alone is not made (under wine every change is a costly round trip).
  constexpr DWORD Protecting =
      FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  if (lookup.names_entry && lookup.entry.identity &&
      ((lookup.entry.attributes ^ attributes) & Protecting) == 0)
    return;
  if (!SetFileAttributesA(text.c_str(), attributes))
    LastServiceResult = static_cast<ResultCode>(GetLastError());
}

void EraseFile(std::string_view path) {
  if (PendingIoResult != 0)
    return;
  std::string system = SystemPath(path);
  if (DWORD refusal = Refusal(LookUpOnce(system))) {
    SetPendingError(refusal);
    return;
  }
  if (DeleteFileA(system.c_str()))
    return;
  DWORD error = GetLastError();
  if (error == ERROR_INVALID_PARAMETER && CannotBeNamed(system)) {
    SetPendingError(oserror::AccessDenied);
    return;
  }
  if (error == ERROR_ACCESS_DENIED) {
    DWORD attributes = GetFileAttributesA(system.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) ==
            (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) {
      // A directory link or junction is removed as an entry: the link goes, what it leads to
      // stays.
      if (RemoveDirectoryA(system.c_str()))
        return;
      error = GetLastError();
    } else if (attributes == INVALID_FILE_ATTRIBUTES ||
               (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      // Erasing a directory, or a name that cannot be looked at, is "file not found".
      error = ERROR_FILE_NOT_FOUND;
    }
  }
  SetPendingError(error);
}

void RemoveEmptyDirectory(std::string_view path) {
  if (path == ".") {
    PendingIoResult = 16;
    return;
  }
  if (path.empty() || PendingIoResult != 0)
    return;
  std::string system = SystemPath(path);
  if (DWORD refusal = Refusal(LookUpOnce(system))) {
    SetPendingError(refusal);
    return;
  }
  if (!RemoveDirectoryA(system.c_str()))
    SetPendingError(GetLastError());
}

void ChangeDirectory(std::string_view path) {
  if (path.empty() || PendingIoResult != 0)
    return;
  std::string system = SystemPath(path);
  if (system == "..")
    StepUp();
  else if (IsBareName(system))
    StepDown(system);
  else
    ChangeToPath(system);
}

std::string GetDriveDirectory(std::uint8_t drive) {
  std::string current = CurrentDirectory();
  if (drive == 0)
    return current;
  char letter = static_cast<char>('@' + drive);
  if (current.size() >= 2 && current[1] == ':' &&
      (current[0] == letter || current[0] == letter + 32))
    return current;
  // The drive is made current for a moment, which is how the system tells its directory.
  const char drive_only[3] = {letter, ':', '\0'};
  std::string directory;
  if (SetCurrentDirectoryA(drive_only)) {
    directory = CurrentDirectory();
  } else {
    SetPendingError(GetLastError());
    directory = std::string(1, letter) + ":\\";
  }
  SetCurrentDirectoryA(current.c_str());
  here.reset();
  return directory;
}

std::string StartFileSystem() {
  RemoveLeftoverImages();
  Moved();
  return {};
}
