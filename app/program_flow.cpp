#include "app/program_flow.h"

#include "app/exit_report.h"
#include "app/options.h"
#include "app/usage.h"
#include "console/console_stream.h"
#include "console/prompts.h"
#include "engine/outcomes.h"
#include "engine/overlay.h"
#include "engine/progress.h"
#include "engine/remove.h"
#include "engine/report.h"
#include "engine/walk.h"
#include "platform/console.h"
#include "platform/dos/path_text.h"
#include "platform/fs.h"
#include "settings/program_settings.h"
#include "settings/settings_block.h"

std::string TargetPath;

namespace {

// A drive root erased whole, with a mask that takes every file, is confirmed first.
void ConfirmDriveRoot() {
  ConsoleWrite("\a\rYou're about to ERASE EVERYTHING ");
  ConsoleWrite("using above option(s) ");
  ConsolePut("on drive ");
  ConsolePut(TargetPath.substr(0, 1));
  ConsolePut(":");
  ConsoleEndLine();
  ConsoleWrite("Are you sure you want to proceed? (y/N) ");
  if (AskYesNo()) {
    ConsoleWriteLine("Yes");
    return;
  }
  ConsoleWriteLine("No");
  PrintSummary();
  HaltProgram(0);
}

// A drive letter, a colon and a backslash, or a network path ("\\SERVER\SHARE").
bool IsFullPath(std::string_view path) {
  return StartsAtDriveRoot(path) || path.starts_with("\\\\");
}

void EnterTarget() {
  GlobalPassword.clear();
  for (;;) {
    ChangeDirectory(TargetPath + GlobalPassword);
    switch (AfterChangeInto(TakeIoResult(), EntryCause::None)) {
    case Outcome::Done:
      return;
    case Outcome::AskPassword:
      if (PasswordStep(TargetPath))
        break;
      PrintSummary();
      HaltProgram(0);
    default: // EndsRun
      EndAtChangeInto(TargetPath);
    }
  }
}

} // namespace

void SetUpTarget() {
  StartDirectory = GetDriveDirectory(0);
  // A current directory that cannot be read (removed, say) is no base for a target: only a full
  // path is taken then, never one made from the root.
  bool start_known = TakeIoResult() == dosresult::Success;
  DriveDirectory = StartDirectory;

  // The target is the first argument that does not begin with "-"; the option loop has refused a
  // second one.
  int target = 0;
  for (int i = 1; i <= ArgumentCount() && target == 0; ++i) {
    std::string argument = ArgumentAt(i);
    if (argument.empty() || argument[0] != '-')
      target = i;
  }
  TargetPath = target == 0 ? std::string() : ArgumentAt(target);
  // Arguments without a target, or with an empty one (a script's empty variable), are no success;
  // a command line that saved the options with -R and named no target did all it was asked.
  if (TargetPath.empty()) {
    if (target != 0 || !OptionsSaved)
      MarkRunFailed();
    ShowUsage();
  }
  EchoOptions();

  TargetPath = WithBackslashes(TargetPath);
  // Relative to the current directory, to the current drive's root ("\TMP") or to a drive's
  // current directory ("Z:TMP"): the drive the unread directory lies on is not known either.
  if (!start_known && !IsFullPath(TargetPath))
    FatalMessage(PrintSummary,
                 "Cannot read the current directory to find " + ShownName(TargetPath));
  TargetPath = ExpandPath(TargetPath);
  DropTrailingBackslash(TargetPath);
  // A network path ("\\server\share") has no drive letter and ends here.
  if (TargetPath[0] < 'A' || TargetPath[0] > 'Z')
    FatalMessage(PrintSummary, "Invalid drive specified");
  std::string drive = TargetPath.substr(0, 2);
  ChangeDirectory(drive);
  if (TakeIoResult() != dosresult::Success)
    FatalMessage(PrintSummary, "Cannot log to drive " + drive);
  DriveDirectory = GetDriveDirectory(0);

  EnterTarget();
  // What was entered decides too: a directory that is its drive's root under another name (a
  // mount of it, say) is that root, and the question is asked.
  std::string entered = GetDriveDirectory(0);
  if (IsDriveRootPath(entered) && entered[0] == TargetPath[0])
    TargetPath = entered;
  // A dry run touches nothing, so there is nothing to confirm.
  if (IsDriveRootPath(TargetPath) && Options.EmptyDirsOnly == 0 && MaskCoversAll(MaskText()) &&
      !DryRun)
    ConfirmDriveRoot();
  ShowWorking();
  ShowPendingOutput(); // the echo line and the progress line are seen at once
}

void ProgramFlow() {
  std::string problem = StartFileSystem();
  if (!problem.empty())
    FatalMessage(nullptr, problem);
  StoredSettings stored = LoadProgramSettings(OptionsAreSound);
  AnswerHelpOrVersion();
  InstallExitReport();
  // Unsound saved options end the run before anything is touched; -R saves sound ones instead.
  if (stored == StoredSettings::Unsound && !CommandLineSaves())
    FatalMessage(nullptr, NotOriginalMessage);
  FlushKeys();
  if (ArgumentCount() == 0)
    ShowUsage();
  ParseOptions();

  if (Options.SubDirsOnly == 0)
    DeleteFilesHere();
  WalkSubdirs();
  // A drive's root is never removed, and that is no failure.
  if (Options.SubDirsOnly == 0 && Options.FilesOnly == 0 && !LeaveAndRemoveDir(TargetPath) &&
      IsBelowRoot(TargetPath))
    NoteDirectoryStayed();
  if (Options.ParentDelete != 0)
    DeleteParents();
  PrintSummary();
  HaltProgram(0);
}
