// What each step of the engine makes of a result. One table holds the rules of every step, files
// and directories side by side; what the layer said of the entry beyond the code (LastEntryCause)
// adjusts a few of them, in the functions below the table.
#include "engine/outcomes.h"

#include <string>

#include "console/prompts.h"
#include "engine/progress.h"
#include "engine/report.h"
#include "platform/fs.h"

namespace {

using enum Outcome;

// What a step makes of each result the engine tells apart; any other result ends the run.
struct Rules {
  Outcome success;  // 0
  Outcome gone;     // 2 file not found, 3 path not found
  Outcome denied;   // 5 access denied
  Outcome password; // 86 invalid password
};

// Where the rules of files and directories differ: at the attribute change, a file gone since the
// search listed it ends the run as one gone at its erase does, while a directory's 2 or 3 goes on
// to the removal, which decides. An 86 there goes on to the erase or removal, which asks for the
// password.
// clang-format off
//                                  0        2, 3     5               86
constexpr Rules FileAttributeRules{GoOn,    EndsRun, SkipAttributes, GoOn};
constexpr Rules EraseRules        {Done,    EndsRun, AskPassword,    AskPassword};
constexpr Rules DirAttributeRules {GoOn,    GoOn,    SkipAttributes, GoOn};
constexpr Rules ChangeIntoRules   {Done,    EndsRun, AskPassword,    AskPassword};
constexpr Rules RemovalRules      {Done,    EndsRun, NotEmpty,       AskPassword};
// clang-format on

Outcome Decide(const Rules& rules, ResultCode result) {
  switch (result) {
  case dosresult::Success:
    return rules.success;
  case dosresult::FileNotFound:
  case dosresult::PathNotFound:
    return rules.gone;
  case dosresult::AccessDenied:
    return rules.denied;
  case dosresult::InvalidPassword:
    return rules.password;
  default:
    return EndsRun;
  }
}

[[noreturn]] void EndNaming(std::string_view words, std::string_view subject) {
  std::string text(words);
  text += ShownName(subject);
  FatalMessage(PrintSummary, text);
}

} // namespace

Outcome AfterAttributeChange(EntryKind kind, ResultCode system_result) {
  // The system's numbers for these results are the DOS results' own.
  return Decide(kind == EntryKind::File ? FileAttributeRules : DirAttributeRules, system_result);
}

Outcome AfterErase(ResultCode result, EntryCause cause, bool attributes_refused) {
  Outcome outcome = Decide(EraseRules, result);
  // Marked for deletion, the file stays while another program holds it open.
  if (outcome == Done && cause == EntryCause::DeletePending)
    return StaysForCause;
  // Refused twice, the file stays with its attribute line: no password is asked.
  if (result == dosresult::AccessDenied && attributes_refused)
    return StaysSilently;
  return outcome;
}

Outcome AfterChangeInto(ResultCode result, EntryCause cause) {
  Outcome outcome = Decide(ChangeIntoRules, result);
  // A refusal the layer can name (a name the system cannot open, a directory going already)
  // asks for no password: the directory is passed over with a line that says why.
  if (result == dosresult::AccessDenied && cause != EntryCause::None)
    return StaysForCause;
  return outcome;
}

Outcome AfterRemoval(ResultCode result, EntryCause cause) {
  Outcome outcome = Decide(RemovalRules, result);
  // A directory another program holds open, or one that stays marked for deletion while another
  // program holds it, is not said to hold entries; it was to go, so the run failed.
  if ((outcome == NotEmpty && cause == EntryCause::InUse) ||
      (outcome == Done && cause == EntryCause::DeletePending))
    return StaysForCause;
  return outcome;
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
