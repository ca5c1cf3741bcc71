#include "engine/remove.h"

#include <cstdint>

#include "console/console_stream.h"
#include "console/prompts.h"
#include "engine/outcomes.h"
#include "engine/overlay.h"
#include "engine/progress.h"
#include "engine/report.h"
#include "platform/console.h"
#include "platform/dos/letter_case.h"
#include "platform/fs.h"
#include "settings/settings_block.h"

std::string GlobalPassword;

namespace {

// The name with the password in force after it, built in `buffer` only when there is one: every
// file passes here twice.
std::string_view WithPassword(std::string_view name, std::string& buffer) {
  if (GlobalPassword.empty())
    return name;
  buffer.assign(name);
  buffer += GlobalPassword;
  return buffer;
}

// Archive only, which clears read-only, hidden and system. True when the change was refused (and
// said so); the erase or removal is tried all the same.
bool ClearAttributes(EntryKind kind, std::string_view name) {
  std::string buffer;
  OverlaySetEntryAttributes(WithPassword(name, buffer), ArchiveAttribute);
  ResultCode result = LastServiceResult;
  Outcome outcome = AfterAttributeChange(kind, result);
  if (outcome == Outcome::EndsRun)
    EndAtAttributeChange(kind, name, result);
  if (outcome != Outcome::SkipAttributes)
    return false;
  ReportSkippedAttributes(name);
  return true;
}

// The entry stays for what the layer said of it, and the line says so: it was to go.
void StaysForCause(std::string_view name, EntryCause cause) {
  ReportEntryCause(name, cause);
  MarkRunFailed();
}

} // namespace

void AskPassword(std::string_view name) {
  if (Options.SkipPasswords != 0) {
    GlobalPassword.clear();
    return;
  }
  // The carriage return writes over the progress line; it is not cleared first.
  ConsolePut("\r");
  ConsolePut(ShownName(ExpandPath(UpperCaseString(name))));
  ConsolePut(" is password-protected.");
  ConsoleEndLine();
  ConsoleWrite("Please enter new GLOBAL password: ");
  // The suffix holds the ";" too, so the answer takes at most 19 characters.
  std::string answer = ReadMasked(GlobalPasswordCapacity - 1);
  if (answer == std::string(1, '\0'))
    answer.clear(); // Esc: the same as an empty answer
  GlobalPassword = answer;
  ClearLine();
  ShowWorking();
}

bool PasswordStep(std::string_view name) {
  std::string refused = GlobalPassword;
  AskPassword(name);
  if (!GlobalPassword.empty()) {
    GlobalPassword = (";" + GlobalPassword).substr(0, GlobalPasswordCapacity);
    if (GlobalPassword != refused)
      return true;
    GlobalPassword.clear();
  }
  ReportSkippedPassword(name);
  MarkRunFailed(); // the entry stays
  return false;
}

void RemoveFileEntry(std::string_view name) {
  for (;;) {
    bool attributes_refused = ClearAttributes(EntryKind::File, name);
    SpinnerStep();
    std::string buffer;
    OverlayEraseFile(WithPassword(name, buffer));
    switch (AfterErase(TakeIoResult(), LastEntryCause, attributes_refused)) {
    case Outcome::Done:
      ++RunTally.FilesDeleted;
      if (Options.ShowDeleted != 0)
        ReportDeleted(name);
      return;
    case Outcome::StaysForCause:
      StaysForCause(name, LastEntryCause);
      return;
    case Outcome::StaysSilently:
      MarkRunFailed(); // the file stays, with no further line
      return;
    case Outcome::AskPassword:
      if (!PasswordStep(name))
        return;
      break;
    default: // EndsRun
      EndAtErase(name);
    }
  }
}

bool EnterSubdir(std::string_view name) {
  std::string buffer;
  for (;;) {
    ChangeDirectory(WithPassword(name, buffer));
    switch (AfterChangeInto(TakeIoResult(), LastEntryCause)) {
    case Outcome::Done:
      return true;
    case Outcome::StaysForCause:
      StaysForCause(name, LastEntryCause);
      return false;
    case Outcome::AskPassword:
      if (!PasswordStep(name))
        return false;
      break;
    default: // EndsRun
      EndAtChangeInto(name);
    }
  }
}

void StepUpToParent() {
  // The walk must go on from the directory it came from and nowhere else: a step up that fails
  // (the tree was moved meanwhile) ends the run.
  ChangeDirectory("..");
  if (TakeIoResult() != dosresult::Success)
    FatalMessage(PrintSummary, "Unable to change to ..");
}

bool LeaveAndRemoveDir(std::string_view name) {
  CheckInterrupt();
  StepUpToParent();
  std::string buffer;
  for (;;) {
    std::uint16_t saved_attributes = 0;
    if (Options.EmptyDirsOnly != 0)
      saved_attributes = GetEntryAttributes(WithPassword(name, buffer));
    ClearAttributes(EntryKind::Directory, name);
    SpinnerStep();
    OverlayRemoveEmptyDirectory(WithPassword(name, buffer));
    ResultCode result = TakeIoResult();
    EntryCause cause = LastEntryCause;
    Outcome outcome = AfterRemoval(result, cause);
    switch (outcome) {
    case Outcome::Done:
      ++RunTally.DirsRemoved;
      if (Options.ShowDeleted != 0)
        ReportRemoved(name);
      return true;
    case Outcome::AskPassword:
      if (!PasswordStep(name))
        return true;
      continue;
    case Outcome::EndsRun:
      EndAtRemoval(name);
    default:
      break;
    }
    // A refused removal puts back the attributes EmptyDirsOnly keeps; one marked for deletion is
    // going all the same.
    if (result != dosresult::Success && Options.EmptyDirsOnly != 0)
      OverlaySetEntryAttributes(WithPassword(name, buffer), saved_attributes);
    if (outcome == Outcome::NotEmpty)
      ReportNonEmpty(name, Options.EmptyDirsOnly != 0);
    else
      StaysForCause(name, cause);
    return false;
  }
}
