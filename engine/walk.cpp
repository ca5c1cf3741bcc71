#include "engine/walk.h"

#include <string>

#include "console/prompts.h"
#include "engine/overlay.h"
#include "engine/progress.h"
#include "engine/remove.h"
#include "engine/report.h"
#include "platform/console.h"
#include "platform/dos/path_text.h"
#include "platform/fs.h"
#include "settings/settings_block.h"

namespace {

int depth = 0;

// Why a listing ended that must not pass for a whole one, in words; empty for the end of the
// entries, a refusal (access denied) and the like, which end it quietly.
std::string_view ListingFailure(ResultCode result) {
  switch (result) {
  case oserror::TooManyOpenFiles:
    return "Too many open files";
  case oserror::NotEnoughMemory:
  case oserror::OutOfMemory:
    return "Not enough memory";
  case oserror::NoSystemResources:
    return "Not enough system resources";
  case oserror::NotReady:
    return "Drive not ready";
  case oserror::IoDevice:
  case oserror::FileCorrupt:
  case oserror::DiskCorrupt:
    return "Problem reading from disk";
  default:
    // The other device errors: a write-protected medium to a general failure.
    return IsDeviceError(result) ? "Problem reading from disk" : "";
  }
}

// A listing cut short by a lack of resources or by a device error has left entries unseen, and
// its directory would then pass for one not empty: the run ends, naming the directory and why.
void EndIfListingFailed() {
  std::string_view cause = ListingFailure(LastServiceResult);
  if (cause.empty())
    return;
  std::string message = "Unable to read directory " + ShownName(ExpandPath(".")) + ": ";
  message += cause;
  FatalMessage(PrintSummary, message);
}

} // namespace

void DeleteFilesHere() {
  if (Options.EmptyDirsOnly != 0)
    return;
  SearchEntry entry;
  for (OverlayFindFirstEntry(MaskText(), FileSearchMask, entry); SearchGoesOn();
       OverlayFindNextEntry(entry)) {
    CheckInterrupt();
    if (LastServiceResult == dosresult::Success)
      RemoveFileEntry(entry.Name);
  }
  EndIfListingFailed();
}

void WalkSubdirs() {
  SearchEntry entry;
  for (OverlayFindFirstEntry("*.*", SubdirSearchMask, entry); SearchGoesOn();
       OverlayFindNextEntry(entry)) {
    CheckInterrupt();
    if ((entry.Attributes & DirectoryAttribute) == 0 || entry.Name == "." || entry.Name == "..")
      continue;
    if (depth >= MaxWalkDepth)
      RunError(runerror::NestedTooDeep);
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
  EndIfListingFailed();
}

void NoteDirectoryStayed() {
  if (Options.EmptyDirsOnly == 0 && MaskCoversAll(MaskText()))
    MarkRunFailed();
}

// A parent that holds something else ends the climb; that is no failure.
void DeleteParents() {
  std::string here = ExpandPath(".");
  if (!IsBelowRoot(here))
    return; // a drive's root: there is nothing above it
  std::string rest = here.substr(DriveRootLength);
  for (;;) {
    CheckInterrupt();
    // Only into a directory held on the way down from the drive's root: above a link, or once
    // the tree above has been changed, the climb ends quietly and touches nothing.
    if (!ParentIsHeld())
      return;
    std::size_t slash = rest.rfind('\\');
    std::string name(LastComponent(rest));
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
