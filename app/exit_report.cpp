#include "app/exit_report.h"

#include "console/prompts.h"
#include "engine/progress.h"
#include "platform/console.h"

namespace {

ExitProcedure saved_exit_procedure = nullptr;

} // namespace

void ExitReport() {
  // Put the earlier procedure back first, so that it runs after this one however it ends.
  ExitHook = saved_exit_procedure;
  // The run time's own failure report is never printed once this procedure runs.
  ErrorAddress = nullptr;
  if (ExitCode == 0)
    return;
  FatalMessage(PrintSummary, FailureSentence(ExitCode));
}

void InstallExitReport() {
  saved_exit_procedure = ExitHook;
  ExitHook = ExitReport;
}
