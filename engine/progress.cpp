#include "engine/progress.h"

#include "console/console_stream.h"
#include "console/prompts.h"
#include "engine/overlay.h"
#include "platform/console.h"
#include "platform/fs.h"

Tally RunTally;
std::string StartDirectory;
std::string DriveDirectory;

void ShowWorking() {
  LeaveQuestion();
  if (ConsoleIsScreen())
    ConsoleWrite("\rWorking  ");
}

void CheckInterrupt() {
  if (EscPressed())
    ConfirmTerminate();
}

void ConfirmTerminate() {
  ClearLine();
  ConsoleWrite("You pressed ESC. Do you want to terminate program? (y/N) ");
  if (AskYesNo()) {
    ConsoleWriteLine("Yes");
    PrintSummary();
    HaltProgram(0); // the entry being worked on is left as it is
  }
  ClearLine();
  ShowWorking();
}

void RestoreDirectories() {
  ChangeDirectory(DriveDirectory);
  TakeIoResult();
  ChangeDirectory(StartDirectory);
  TakeIoResult();
}

void PrintSummary() {
  // An interrupt noted since the walk's last step is told after this summary, not lost; once
  // the exit report runs (a failure number is set), a second one changes nothing.
  if (ExitCode == 0)
    CheckUserInterrupt();
  // Every report line is written before the summary: one that cannot be written ends the run
  // here, and the summary then comes before the problem.
  FlushLine(OutputStream::Standard);
  CheckIoResult();
  RestoreDirectories();
  ClearLine();
  ConsolePut(DryRun ? "Would delete " : "Deleted ");
  ConsolePutNumber(static_cast<std::int64_t>(RunTally.FilesDeleted));
  ConsolePut(" file");
  ConsolePut(ChooseByCount(static_cast<std::int64_t>(RunTally.FilesDeleted), "", "s"));
  ConsolePut(" and ");
  ConsolePutNumber(static_cast<std::int64_t>(RunTally.DirsRemoved));
  ConsolePut(" dir");
  ConsolePut(ChooseByCount(static_cast<std::int64_t>(RunTally.DirsRemoved), "", "s"));
  ConsoleEndLine();
}
