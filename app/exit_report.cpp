#include "app/exit_report.h"

#include <string>

#include "console/prompts.h"
#include "engine/progress.h"
#include "platform/console.h"

namespace {

ExitProcedure saved_exit_procedure = nullptr;

std::string MessageFor(std::int32_t code) {
  switch (code) {
  case 100:
  case 161:
    return "Problem reading from disk";
  case 101:
  case 160:
    return "Problem writing to disk";
  case 152:
    return "Drive not ready";
  case 202:
    return "Directories nested too deep!";
  case 255:
    return "User interrupt via CNTRL-BREAK";
  default:
    return "Unexpected error " + std::to_string(code) +
           " occurred. Please check your DOS manual for details.";
  }
}

} // namespace

void ExitReport() {
  // Put the earlier procedure back first, so that it runs after this one however it ends.
  ExitHook = saved_exit_procedure;
  // The run time's own failure report is never printed once this procedure runs.
  ErrorAddress = nullptr;
  if (ExitCode == 0)
    return;
  FatalMessage(PrintSummary, MessageFor(ExitCode));
}

void InstallExitReport() {
  saved_exit_procedure = ExitHook;
  ExitHook = ExitReport;
}
