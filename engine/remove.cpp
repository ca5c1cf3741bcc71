#include "engine/remove.h"

#include <cstdint>

#include "console/console_stream.h"
#include "console/prompts.h"
#include "engine/overlay.h"
#include "engine/progress.h"
#include "engine/report.h"
#include "platform/console.h"
#include "platform/dos/letter_case.h"
#include "platform/fs.h"
#include "settings/settings_block.h"

std::string GlobalPassword;

namespace {

std::string WithPassword(std::string_view name) {
  std::string path(name);
  path += GlobalPassword;
  return path;
}

[[noreturn]] void EndWith(std::string_view message, std::string_view subject) {
  std::string text(message);
  text += ShownName(subject);
  FatalMessage(PrintSummary, text);
}

// An attribute change that failed for good ends the run in words for its cause: a medium that is
// write-protected (the system's 19), or what the exit report says of the device error (the
// system's 19 to 31 are 150 to 162 there) or of any other number the change gave.
[[noreturn]] void EndAtAttributeChange(ResultCode result) {
  if (result == oserror::WriteProtect)
    FatalMessage(PrintSummary, "Disk is write-protected");
  bool device_error = result > oserror::WriteProtect && result <= oserror::GeneralFailure;
  FatalMessage(PrintSummary, FailureSentence(device_error ? result + 131 : result));
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
    bool attributes_skipped = false;
    OverlaySetEntryAttributes(WithPassword(name), ArchiveAttribute);
    ResultCode attribute_result = LastServiceResult;
    if (attribute_result == 5) {
      ReportSkippedAttributes(name);
      attributes_skipped = true;
    } else if (attribute_result == 2 || attribute_result == 3) {
      // The file vanished since the search listed it: the run ends as at its erase.
      EndWith("Unable to delete file ", name);
    } else if (attribute_result != 0 && attribute_result != 86) {
      EndAtAttributeChange(attribute_result);
    }
    SpinnerStep();
    OverlayEraseFile(WithPassword(name));
    ResultCode result = TakeIoResult();
    // Marked for deletion, the file stays while another program holds it open.
    if (result == 0 && LastEntryCause == EntryCause::DeletePending) {
      ReportEntryCause(name, LastEntryCause);
      MarkRunFailed();
      return;
    }
    if (result == 0) {
      ++RunTally.FilesDeleted;
      if (Options.ShowDeleted != 0)
        ReportDeleted(name);
      return;
    }
    if (result == 5 && attributes_skipped) {
      MarkRunFailed(); // the file stays, with no further line
      return;
    }
    if (result != 5 && result != 86)
      EndWith("Unable to delete file ", name);
    if (!PasswordStep(name))
      return;
  }
}

bool EnterSubdir(std::string_view name) {
  for (;;) {
    ChangeDirectory(WithPassword(name));
    ResultCode result = TakeIoResult();
    if (result == 0)
      return true;
    // A refusal the layer can name (a name the system cannot open, a directory going already)
    // asks for no password: the directory is passed over with a line that says why.
    if (result == 5 && ReportEntryCause(name, LastEntryCause)) {
      MarkRunFailed();
      return false;
    }
    if (result != 5 && result != 86)
      EndWith("Unable to change to ", name);
    if (!PasswordStep(name))
      return false;
  }
}

void StepUpToParent() {
  // The walk must go on from the directory it came from and nowhere else: a step up that fails
  // (the tree was moved meanwhile) ends the run.
  ChangeDirectory("..");
  if (TakeIoResult() != 0)
    FatalMessage(PrintSummary, "Unable to change to ..");
}

bool LeaveAndRemoveDir(std::string_view name) {
  CheckInterrupt();
  StepUpToParent();
  for (;;) {
    std::uint16_t saved_attributes = 0;
    if (Options.EmptyDirsOnly != 0)
      saved_attributes = GetEntryAttributes(WithPassword(name));
    OverlaySetEntryAttributes(WithPassword(name), ArchiveAttribute);
    ResultCode attribute_result = LastServiceResult;
    if (attribute_result == 5)
      ReportSkippedAttributes(name);
    else if (attribute_result != 0 && attribute_result != 2 && attribute_result != 3 &&
             attribute_result != 86)
      EndAtAttributeChange(attribute_result);
    SpinnerStep();
    OverlayRemoveEmptyDirectory(WithPassword(name));
    ResultCode result = TakeIoResult();
    EntryCause cause = LastEntryCause;
    // A directory another program holds open, or one that stays marked for deletion while another
    // program holds it, is not said to hold entries; it was to go, so the run failed.
    if ((result == 5 && cause == EntryCause::InUse) ||
        (result == 0 && cause == EntryCause::DeletePending)) {
      if (result == 5 && Options.EmptyDirsOnly != 0)
        OverlaySetEntryAttributes(WithPassword(name), saved_attributes);
      ReportEntryCause(name, cause);
      MarkRunFailed();
      return false;
    }
    if (result == 0) {
      ++RunTally.DirsRemoved;
      if (Options.ShowDeleted != 0)
        ReportRemoved(name);
      return true;
    }
    if (result == 5) {
      // Taken to mean that the directory is not empty.
      if (Options.EmptyDirsOnly != 0)
        OverlaySetEntryAttributes(WithPassword(name), saved_attributes);
      ReportNonEmpty(name, Options.EmptyDirsOnly != 0);
      return false;
    }
    if (result != 86)
      EndWith("Unable to remove directory ", ExpandPath(name));
    if (!PasswordStep(name))
      return true;
  }
}
