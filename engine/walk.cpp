#include "engine/walk.h"

#include <string>

#include "console/prompts.h"
#include "engine/overlay.h"
#include "engine/progress.h"
#include "engine/remove.h"
#include "platform/console.h"
#include "platform/fs.h"
#include "settings/settings_block.h"

namespace {

// Every file, whatever its read-only, hidden, system or archive bits; never a directory.
constexpr std::uint16_t FileSearchMask = 0x27;
// Files and directories alike, hidden and system ones included.
constexpr std::uint16_t SubdirSearchMask = 0x17;

int depth = 0;

bool SearchGoesOn() {
  return LastServiceResult == 0 || LastServiceResult == 86;
}

} // namespace

void DeleteFilesHere() {
  if (Options.EmptyDirsOnly != 0)
    return;
  SearchEntry entry;
  for (OverlayFindFirstEntry(MaskText(), FileSearchMask, entry); SearchGoesOn();
       OverlayFindNextEntry(entry)) {
    CheckInterrupt();
    if (LastServiceResult == 0)
      RemoveFileEntry(entry.Name);
  }
}

void WalkSubdirs() {
  SearchEntry entry;
  for (OverlayFindFirstEntry("*.*", SubdirSearchMask, entry); SearchGoesOn();
       OverlayFindNextEntry(entry)) {
    CheckInterrupt();
    if ((entry.Attributes & DirectoryAttribute) == 0 || entry.Name == "." || entry.Name == "..")
      continue;
    if (depth >= MaxWalkDepth)
      RunError(202);
    // The name is copied: the search goes on below and must not change it meanwhile.
    std::string name = entry.Name;
    if (!EnterSubdir(name))
      continue;
    ++depth;
    SpinnerStep();
    DeleteFilesHere();
    WalkSubdirs();
    --depth;
    if (Options.FilesOnly != 0)
      StepUpToParent();
    else if (!LeaveAndRemoveDir(name))
      NoteDirectoryStayed();
  }
}

void NoteDirectoryStayed() {
  if (Options.EmptyDirsOnly == 0 && MaskCoversAll(MaskText()))
    MarkRunFailed();
}

// A parent that holds something else ends the climb; that is no failure.
void DeleteParents() {
  std::string here = ExpandPath(".");
  if (here.size() <= 3)
    return; // a drive's root: there is nothing above it
  std::string rest = here.substr(3);
  for (;;) {
    CheckInterrupt();
    // Only into a directory held on the way down from the drive's root: above a link, or once
    // the tree above has been changed, the climb ends quietly and touches nothing.
    if (!ParentIsHeld())
      return;
    std::size_t slash = rest.rfind('\\');
    std::string name = slash == std::string::npos ? rest : rest.substr(slash + 1);
    rest.erase(slash == std::string::npos ? 0 : slash);
    if (!LeaveAndRemoveDir(name)) {
      ChangeDirectory(name + GlobalPassword);
      TakeIoResult();
      return;
    }
    if (slash == std::string::npos)
      return; // that was the directory right below the root, which is never attempted
  }
}

bool MaskCoversAll(std::string_view mask) {
  if (mask.empty() || mask.find_first_not_of("*.?") != std::string_view::npos)
    return false;
  return mask == "????????.???" || mask.find('*') != std::string_view::npos;
}
