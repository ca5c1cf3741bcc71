// The file-system services of platform/fs.h over a tree held in memory, with the result codes a
// Windows system gives (the error numbers pass through the same translations as in the system
// bodies).
#include "memory_fs.h"

#include <algorithm>

#include "platform/fs.h"
#include "platform/fs/fs_body.h"
#include "platform/fs/search.h"
#include "scripted_keys.h"

namespace {

struct Node {
  std::string path; // full DOS path, no trailing "\"
  std::uint16_t attributes;
  std::string password;
};

struct Failure {
  std::string operation;
  std::string argument;
  std::uint32_t os_error;
  int times; // 0: every call
};

struct ScriptedCause {
  std::string operation;
  std::string argument;
  std::uint32_t os_error;
  EntryCause cause;
};

struct EscPress {
  std::string operation;
  std::string argument;
};

std::vector<Node> nodes;
std::vector<Failure> failures;
std::vector<ScriptedCause> causes;
std::vector<EscPress> esc_presses;
std::vector<std::string> record;
std::string drive_current[26];
int current_drive = 2;

std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper)
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 32);
  return upper;
}

bool SameName(std::string_view a, std::string_view b) {
  return Upper(a) == Upper(b);
}

void Record(std::string line, ResultCode code) {
  record.push_back(line + " = " + std::to_string(code));
}

void RecordSkipped(std::string line) {
  record.push_back(line + " skipped");
}

// The scripted error of this call, or 0. Esc scripted for it is pressed first.
std::uint32_t ScriptedError(std::string_view operation, std::string_view argument) {
  for (auto it = esc_presses.begin(); it != esc_presses.end(); ++it)
    if (it->operation == operation && SameName(it->argument, argument)) {
      esc_presses.erase(it);
      PressEscape();
      break;
    }
  for (Failure& failure : failures) {
    if (failure.operation != operation || !SameName(failure.argument, argument) ||
        failure.times < 0)
      continue;
    if (failure.times > 0 && --failure.times == 0)
      failure.times = -1; // used up
    return failure.os_error;
  }
  return 0;
}

// A call with a cause scripted for it: sets LastEntryCause (None for every other call) and gives
// the scripted error in `error`.
bool TakeScriptedCause(std::string_view operation, std::string_view argument,
                       std::uint32_t& error) {
  LastEntryCause = EntryCause::None;
  for (auto it = causes.begin(); it != causes.end(); ++it)
    if (it->operation == operation && SameName(it->argument, argument)) {
      LastEntryCause = it->cause;
      error = it->os_error;
      causes.erase(it);
      return true;
    }
  return false;
}

std::string ParentOf(std::string_view full) {
  std::size_t slash = full.rfind('\\');
  return std::string(full.substr(0, slash < 3 ? 3 : slash));
}

std::string NameOf(std::string_view full) {
  return std::string(full.substr(full.rfind('\\') + 1));
}

Node* Find(std::string_view full) {
  for (Node& node : nodes)
    if (SameName(node.path, full))
      return &node;
  return nullptr;
}

bool IsDriveRoot(std::string_view full) {
  return full.size() == 3 && full[1] == ':' && full[2] == '\\';
}

bool DirectoryExists(std::string_view full) {
  if (IsDriveRoot(full))
    return !drive_current[full[0] - 'A'].empty();
  Node* node = Find(full);
  return node != nullptr && (node->attributes & DirectoryAttribute) != 0;
}

bool HasChildren(std::string_view full) {
  return std::any_of(nodes.begin(), nodes.end(),
                     [&](const Node& node) { return SameName(ParentOf(node.path), full); });
}

// A path as the caller hands it over: its full form and the password after ";".
struct Named {
  std::string full;
  std::string password;
};

Named Resolve(std::string_view path) {
  std::size_t semicolon = path.find(';');
  Named named;
  if (semicolon != std::string_view::npos)
    named.password = path.substr(semicolon + 1);
  named.full = ExpandPath(path.substr(0, semicolon));
  if (named.full.size() > 3 && named.full.back() == '\\')
    named.full.pop_back();
  return named;
}

// The error for an entry that is not there: its directory, or the entry itself.
std::uint32_t MissingError(const Named& named) {
  return DirectoryExists(ParentOf(named.full)) ? oserror::FileNotFound : oserror::PathNotFound;
}

bool PasswordRefused(const Node& node, const Named& named) {
  return !node.password.empty() && !SameName(node.password, named.password);
}

// ---- Searches
// -------------------------------------------------------------------------------------

} // namespace

struct SearchListing {
  std::string directory;
  std::vector<std::string> names; // as listed when the search started
  std::size_t next = 0;
};

void ReleaseSearchListing::operator()(SearchListing* listing) const {
  delete listing;
}

namespace {

void MatchStep(std::string_view operation, SearchEntry& entry) {
  SearchListing* search = entry.Listing.get();
  for (;;) {
    if (search->next == search->names.size()) {
      EndSearch(entry, oserror::NoMoreFiles);
      return;
    }
    std::string name = search->names[search->next++];
    std::uint32_t attributes = DirectoryAttribute;
    if (name != "." && name != "..") {
      std::string full = search->directory;
      if (full.size() > 3)
        full += '\\';
      Node* node = Find(full + name);
      if (node == nullptr)
        continue; // erased since the listing
      attributes = node->attributes;
    }
    if (!SearchTakes(entry, name, attributes))
      continue;
    if (std::uint32_t error = ScriptedError(operation, name); error != 0) {
      LastServiceResult = TranslateSearchError(error);
      Record(std::string(operation) + " " + name, LastServiceResult);
      return;
    }
    entry.Name = name;
    entry.Attributes = attributes;
    return;
  }
}

} // namespace

// ---- Set-up and inspection
// ------------------------------------------------------------------------

void ResetMemoryFs() {
  nodes.clear();
  failures.clear();
  causes.clear();
  esc_presses.clear();
  record.clear();
  for (std::string& current : drive_current)
    current.clear();
  drive_current['C' - 'A'] = "C:\\";
  drive_current['D' - 'A'] = "D:\\";
  current_drive = 'C' - 'A';
  PendingIoResult = 0;
  LastServiceResult = 0;
  LastEntryCause = EntryCause::None;
}

void AddMemoryEntry(std::string_view path, std::uint16_t attributes, std::string_view password) {
  nodes.push_back({std::string(path), attributes, std::string(password)});
}

void ScriptFailure(std::string_view operation, std::string_view argument, std::uint32_t os_error,
                   int times) {
  failures.push_back({std::string(operation), std::string(argument), os_error, times});
}

void ScriptCause(std::string_view operation, std::string_view argument, std::uint32_t os_error,
                 EntryCause cause) {
  causes.push_back({std::string(operation), std::string(argument), os_error, cause});
}

void ScriptEscBefore(std::string_view operation, std::string_view argument) {
  esc_presses.push_back({std::string(operation), std::string(argument)});
}

const std::vector<std::string>& MemoryRecord() {
  return record;
}

std::vector<std::string> MemoryTree() {
  std::vector<std::string> paths;
  for (const Node& node : nodes)
    paths.push_back(node.path + " " + std::to_string(node.attributes));
  return paths;
}

// ---- Services
// -------------------------------------------------------------------------------------

void FindFirstEntry(std::string_view pattern, std::uint16_t mask, SearchEntry& entry) {
  std::string_view directory_part = StartSearch(pattern, mask, entry);
  std::string directory =
      directory_part.empty() ? drive_current[current_drive] : ExpandPath(directory_part);
  if (directory.size() > 3 && directory.back() == '\\')
    directory.pop_back();
  std::string line = "FindFirstEntry " + std::string(pattern) + " " + std::to_string(mask);
  if (!DirectoryExists(directory)) {
    LastServiceResult = TranslateSearchError(oserror::PathNotFound);
    Record(line, LastServiceResult);
    return;
  }
  entry.Listing.reset(new SearchListing{directory, {}, 0});
  SearchListing* search = entry.Listing.get();
  if (!IsDriveRoot(directory))
    search->names = {".", ".."};
  for (const Node& node : nodes)
    if (SameName(ParentOf(node.path), directory))
      search->names.push_back(NameOf(node.path));
  Record(line, 0);
  MatchStep("FindFirstEntry", entry);
}

void StepSearch(SearchEntry& entry) {
  MatchStep("FindNextEntry", entry);
}

std::uint16_t GetEntryAttributes(std::string_view path) {
  std::string line = "GetEntryAttributes " + std::string(path);
  LastServiceResult = static_cast<ResultCode>(ScriptedError("GetEntryAttributes", path));
  std::uint16_t attributes = 0;
  if (LastServiceResult == 0) {
    Named named = Resolve(path);
    if (Node* node = Find(named.full))
      attributes = node->attributes;
    else if (!IsDriveRoot(named.full))
      LastServiceResult = static_cast<ResultCode>(MissingError(named));
    else
      attributes = DirectoryAttribute;
  }
  Record(line, LastServiceResult);
  return attributes;
}

void SetEntryAttributes(std::string_view path, std::uint16_t attributes) {
  std::string line = "SetEntryAttributes " + std::string(path) + " " + std::to_string(attributes);
  std::uint32_t caused = 0;
  bool scripted = TakeScriptedCause("SetEntryAttributes", path, caused);
  if (!VolumeLabelRefused(attributes))
    LastServiceResult = static_cast<ResultCode>(ScriptedError("SetEntryAttributes", path));
  if (scripted)
    LastServiceResult = static_cast<ResultCode>(caused);
  else if (LastServiceResult == 0) {
    Named named = Resolve(path);
    Node* node = Find(named.full);
    if (IsDriveRoot(named.full))
      ; // a drive's root keeps its attributes
    else if (node == nullptr)
      LastServiceResult = static_cast<ResultCode>(MissingError(named));
    else if (PasswordRefused(*node, named))
      LastServiceResult = oserror::InvalidPassword;
    else
      node->attributes = static_cast<std::uint16_t>((node->attributes & DirectoryAttribute) |
                                                    (attributes & ~DirectoryAttribute));
  }
  Record(line, LastServiceResult);
}

void EraseFile(std::string_view path) {
  std::string line = "EraseFile " + std::string(path);
  if (PendingIoResult != 0)
    return RecordSkipped(line);
  std::uint32_t error = ScriptedError("EraseFile", path);
  if (!TakeScriptedCause("EraseFile", path, error) && error == 0) {
    Named named = Resolve(path);
    Node* node = Find(named.full);
    if (node == nullptr)
      error = MissingError(named);
    else if ((node->attributes & DirectoryAttribute) != 0)
      error = oserror::FileNotFound; // erasing a directory
    else if (PasswordRefused(*node, named))
      error = oserror::InvalidPassword;
    else if ((node->attributes & ReadOnlyAttribute) != 0)
      error = oserror::AccessDenied;
    else
      nodes.erase(nodes.begin() + (node - nodes.data()));
  }
  if (error != 0)
    SetPendingError(error);
  Record(line, PendingIoResult);
}

void RemoveEmptyDirectory(std::string_view path) {
  std::string line = "RemoveEmptyDirectory " + std::string(path);
  if (!RemovalGoesAhead(path)) {
    if (path == ".")
      Record(line, PendingIoResult);
    else if (!path.empty())
      RecordSkipped(line);
    return;
  }
  std::uint32_t error = ScriptedError("RemoveEmptyDirectory", path);
  if (!TakeScriptedCause("RemoveEmptyDirectory", path, error) && error == 0) {
    Named named = Resolve(path);
    Node* node = Find(named.full);
    bool is_current = false;
    for (const std::string& current : drive_current)
      if (SameName(current, named.full) || Upper(current).starts_with(Upper(named.full) + "\\"))
        is_current = true;
    if (IsDriveRoot(named.full))
      error = oserror::AccessDenied;
    else if (node == nullptr)
      error = MissingError(named);
    else if ((node->attributes & DirectoryAttribute) == 0)
      error = 267; // not a directory
    else if (PasswordRefused(*node, named))
      error = oserror::InvalidPassword;
    else if (HasChildren(named.full))
      error = oserror::DirNotEmpty;
    else if ((node->attributes & ReadOnlyAttribute) != 0)
      error = oserror::AccessDenied;
    else if (is_current)
      error = oserror::SharingViolation;
    else
      nodes.erase(nodes.begin() + (node - nodes.data()));
  }
  if (error != 0)
    SetPendingError(error);
  Record(line, PendingIoResult);
}

void ChangeDirectory(std::string_view path) {
  if (path.empty())
    return;
  std::string line = "ChangeDirectory " + std::string(path);
  if (PendingIoResult != 0)
    return RecordSkipped(line);
  std::uint32_t error = ScriptedError("ChangeDirectory", path);
  if (!TakeScriptedCause("ChangeDirectory", path, error) && error == 0) {
    Named named = Resolve(path);
    int drive = named.full[0] - 'A';
    Node* node = Find(named.full);
    if (named.full.size() < 3 || named.full[1] != ':' || drive < 0 || drive >= 26 ||
        drive_current[drive].empty())
      error = oserror::InvalidDrive;
    else if (path.size() == 2 && path[1] == ':')
      current_drive = drive; // the drive's own current directory
    else if (!DirectoryExists(named.full))
      error = node != nullptr ? 267 : oserror::PathNotFound;
    else if (node != nullptr && PasswordRefused(*node, named))
      error = oserror::InvalidPassword;
    else {
      current_drive = drive;
      drive_current[drive] = IsDriveRoot(named.full) ? named.full : node->path;
    }
  }
  if (error != 0) {
    SetPendingError(error);
    if (PendingIoResult == 2)
      PendingIoResult = 3;
  }
  Record(line, PendingIoResult);
}

// No links here: every directory but a drive's root has a parent reached from the root.
bool ParentIsHeld() {
  return drive_current[current_drive].size() > 3;
}

std::string GetDriveDirectory(std::uint8_t drive) {
  if (drive == 0)
    return drive_current[current_drive];
  if (drive > 26 || drive_current[drive - 1].empty()) {
    SetPendingError(oserror::InvalidDrive);
    return std::string(1, static_cast<char>('@' + drive)) + ":\\";
  }
  return drive_current[drive - 1];
}

// The tree and the current directory are set up by the test before the run.
std::string StartFileSystem() {
  return {};
}
