#include "engine/overlay.h"

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/remove.h"
#include "platform/dos/letter_case.h"
#include "platform/dos/path_text.h"
#include "platform/fs/fs_body.h"

bool DryRun = false;

namespace {

// What the dry run has erased or removed, by the full path of the directory that holds it: the
// names, and the same in capitals. A directory that a search lists as "Old" was hidden as
// "OLD" when the target or the climb of ParentDelete named it as typed, on a system that does not
// tell the two apart. A directory's names are let go once its own removal has been decided, since
// nothing looks into it again; so the memory follows the walk's depth, not the tree.
struct HiddenNames {
  std::unordered_set<std::string> names;
  std::unordered_set<std::string> folded;
};
std::unordered_map<std::string, HiddenNames> hidden;

std::string Joined(std::string_view directory, std::string_view name) {
  std::string path(directory);
  if (!path.ends_with('\\'))
    path += '\\';
  path += name;
  return path;
}

std::string FullPathOf(std::string_view path) {
  return IsBareName(path) ? Joined(ExpandPath("."), path) : ExpandPath(path);
}

// Each directory the walk searched, by its full path in capitals, as the layer named it
// while the walk was in it: the names hidden there begin with that.
std::unordered_map<std::string, std::string> searched_as;

// The full path of a name the engine hands over, without the password it appended. The target
// comes as typed; a layer that names it in other letters once it is entered has it so here too.
std::string FullPathOfOperand(std::string_view path) {
  if (!GlobalPassword.empty() && path.ends_with(GlobalPassword))
    path.remove_suffix(GlobalPassword.size());
  if (IsBareName(path))
    return FullPathOf(path);
  std::string full = ExpandPath(path);
  auto searched = searched_as.find(UpperCaseString(full));
  return searched == searched_as.end() ? full : searched->second;
}

void Hide(const std::string& full) {
  std::string name(LastComponent(full));
  HiddenNames& here = hidden[std::string(ParentOf(full))];
  here.folded.insert(UpperCaseString(name));
  here.names.insert(std::move(name));
}

void PassHidden(SearchEntry& entry) {
  if (!DryRun || hidden.empty())
    return;
  auto here = hidden.find(ExpandPath("."));
  if (here == hidden.end())
    return;
  while (LastServiceResult == dosresult::Success && here->second.names.contains(entry.Name))
    FindNextEntry(entry);
}

// 0 when every entry the layer lists in the directory is hidden; otherwise the system's error:
// "not empty", or the search's own "path not found".
std::uint32_t HoldsOnlyHidden(const std::string& directory) {
  std::vector<std::string> names;
  SearchEntry entry;
  // The search is read to its end, where the layer lets it go.
  FindFirstEntry(Joined(directory, "*.*"), EveryEntryMask, entry);
  for (; SearchGoesOn(); FindNextEntry(entry))
    if (entry.Name != "." && entry.Name != "..")
      names.push_back(entry.Name);
  if (LastServiceResult == dosresult::PathNotFound)
    return oserror::PathNotFound;
  // A directory that cannot be read to its end is taken to hold something.
  if (LastServiceResult != dosresult::NoMoreEntries)
    return oserror::DirNotEmpty;
  searched_as.erase(UpperCaseString(directory));
  auto found = hidden.find(directory);
  if (found == hidden.end())
    return names.empty() ? 0 : oserror::DirNotEmpty;
  HiddenNames here = std::move(found->second);
  hidden.erase(found);
  std::unordered_map<std::string, int> folded_names;
  for (const std::string& name : names)
    ++folded_names[UpperCaseString(name)];
  for (const std::string& name : names) {
    if (here.names.contains(name))
      continue;
    // Another letter case counts only where no other entry here has the same name so folded.
    std::string folded = UpperCaseString(name);
    if (folded_names[folded] == 1 && here.folded.contains(folded))
      continue;
    return oserror::DirNotEmpty;
  }
  return 0;
}

} // namespace

void OverlayFindFirstEntry(std::string_view pattern, std::uint16_t mask, SearchEntry& entry) {
  if (DryRun) {
    std::string here = ExpandPath(".");
    searched_as[UpperCaseString(here)] = here;
  }
  FindFirstEntry(pattern, mask, entry);
  PassHidden(entry);
}

void OverlayFindNextEntry(SearchEntry& entry) {
  FindNextEntry(entry);
  PassHidden(entry);
}

void OverlaySetEntryAttributes(std::string_view path, std::uint16_t attributes) {
  if (!DryRun) {
    SetEntryAttributes(path, attributes);
    return;
  }
  LastServiceResult = dosresult::Success;
  LastEntryCause = EntryCause::None;
}

void OverlayEraseFile(std::string_view path) {
  if (!DryRun) {
    EraseFile(path);
    return;
  }
  LastEntryCause = EntryCause::None;
  if (PendingIoResult != dosresult::Success)
    return;
  Hide(FullPathOfOperand(path));
}

void OverlayRemoveEmptyDirectory(std::string_view path) {
  if (!DryRun) {
    RemoveEmptyDirectory(path);
    return;
  }
  LastEntryCause = EntryCause::None;
  if (!RemovalGoesAhead(path))
    return;
  std::string full = FullPathOfOperand(path);
  if (!IsBelowRoot(full)) {
    SetPendingError(oserror::AccessDenied); // a drive's root is never removed
    return;
  }
  if (std::uint32_t error = HoldsOnlyHidden(full)) {
    SetPendingError(error);
    return;
  }
  Hide(full);
}
