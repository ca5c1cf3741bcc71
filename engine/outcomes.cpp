// The results, step by step (0 success, 2 file not found, 3 path not found, 5 access denied, 86
// invalid password, "other" any other code):
//
//          | file: attributes | file: erase       | dir: attributes | dir: change into | dir:
//          removal
//   0      | go on            | done              | go on           | done             | done
//   2, 3   | ends the run     | ends the run      | go on           | ends the run     | ends the
//   run 5      | skip, go on      | password (*)      | skip, go on     | password (*)     | not
//   empty (*) 86     | go on            | password          | go on           | password         |
//   password other  | ends the run     | ends the run      | ends the run    | ends the run     |
//   ends the run
//
// (*) unless the layer said more of the entry (LastEntryCause), or the attribute change of the
// same file was refused already; a file or directory marked for deletion that another program
// still holds answers 0 and stays all the same.
#include "engine/outcomes.h"

#include <string>

#include "console/prompts.h"
#include "engine/progress.h"
#include "engine/report.h"
#include "platform/fs.h"

namespace {

[[noreturn]] void EndNaming(std::string_view words, std::string_view subject) {
  std::string text(words);
  text += ShownName(subject);
  FatalMessage(PrintSummary, text);
}

} // namespace

Outcome AfterAttributeChange(EntryKind kind, ResultCode system_result) {
  switch (system_result) {
  case oserror::Success:
  case oserror::InvalidPassword: // the erase or removal that follows asks for the password
    return Outcome::GoOn;
  case oserror::AccessDenied:
    return Outcome::SkipAttributes;
  case oserror::FileNotFound:
  case oserror::PathNotFound:
    // Where files and directories differ: a file gone since the search listed it ends the run as
    // one gone at its erase does; a directory's goes on to the removal, which decides.
    return kind == EntryKind::File ? Outcome::EndsRun : Outcome::GoOn;
  default:
    return Outcome::EndsRun;
  }
}

Outcome AfterErase(ResultCode result, EntryCause cause, bool attributes_refused) {
  switch (result) {
  case dosresult::Success:
    // Marked for deletion, the file stays while another program holds it open.
    return cause == EntryCause::DeletePending ? Outcome::StaysForCause : Outcome::Done;
  case dosresult::AccessDenied:
    // Refused twice, the file stays with its attribute line: no password is asked.
    return attributes_refused ? Outcome::StaysSilently : Outcome::AskPassword;
  case dosresult::InvalidPassword:
    return Outcome::AskPassword;
  default:
    return Outcome::EndsRun;
  }
}

Outcome AfterChangeInto(ResultCode result, EntryCause cause) {
  switch (result) {
  case dosresult::Success:
    return Outcome::Done;
  case dosresult::AccessDenied:
    // A refusal the layer can name (a name the system cannot open, a directory going already)
    // asks for no password: the directory is passed over with a line that says why.
    return cause != EntryCause::None ? Outcome::StaysForCause : Outcome::AskPassword;
  case dosresult::InvalidPassword:
    return Outcome::AskPassword;
  default:
    return Outcome::EndsRun;
  }
}

Outcome AfterRemoval(ResultCode result, EntryCause cause) {
  // A directory another program holds open, or one that stays marked for deletion while another
  // program holds it, is not said to hold entries; it was to go, so the run failed.
  switch (result) {
  case dosresult::Success:
    return cause == EntryCause::DeletePending ? Outcome::StaysForCause : Outcome::Done;
  case dosresult::AccessDenied:
    return cause == EntryCause::InUse ? Outcome::StaysForCause : Outcome::NotEmpty;
  case dosresult::InvalidPassword:
    return Outcome::AskPassword;
  default:
    return Outcome::EndsRun;
  }
}

// An attribute change that failed for good ends the run in words for its cause: a file that is
// gone as at its erase; a medium that is write-protected (the system's 19); or what the exit
// report says of the device error (the system's 19 to 31 are 150 to 162 there) or of any other
// number the change gave.
void EndAtAttributeChange(EntryKind kind, std::string_view name, ResultCode system_result) {
  if (kind == EntryKind::File &&
      (system_result == oserror::FileNotFound || system_result == oserror::PathNotFound))
    EndAtErase(name);
  if (system_result == oserror::WriteProtect)
    FatalMessage(PrintSummary, "Disk is write-protected");
  FatalMessage(PrintSummary,
               FailureSentence(IsDeviceError(system_result) ? DeviceResultOf(system_result)
                                                            : system_result));
}

void EndAtErase(std::string_view name) {
  EndNaming("Unable to delete file ", name);
}

void EndAtChangeInto(std::string_view name) {
  EndNaming("Unable to change to ", name);
}

void EndAtRemoval(std::string_view name) {
  EndNaming("Unable to remove directory ", ExpandPath(name));
}
