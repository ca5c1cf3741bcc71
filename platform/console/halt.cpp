// The end of the run, the same on every system: the exit-procedure chain, the run time's own
// failure report for an error no exit procedure took care of, and the process status.
#include <atomic>
#include <cstdio>

#include "platform/console.h"
#include "platform/console/process.h"
#include "platform/dos/result_codes.h"

ExitProcedure ExitHook = nullptr;
std::int32_t ExitCode = 0;
std::uint16_t ErrorNumber = 0;
const void* ErrorAddress = nullptr;

namespace {
bool run_failed = false;
// Set from a signal handler or the system's control thread; lock-free, so safe in both.
std::atomic<bool> user_interrupt{false}; // noted, not yet raised
std::atomic<int> interrupt_cause{0};
} // namespace

void NoteUserInterrupt(int cause) {
  int none = 0;
  interrupt_cause.compare_exchange_strong(none, cause);
  user_interrupt.store(true);
}

int UserInterruptCause() {
  return interrupt_cause.load();
}

bool UserInterruptNoted() {
  return user_interrupt.load();
}

void CheckUserInterrupt() {
  // The run-time error of a user interrupt, reported by the exit procedure.
  if (user_interrupt.exchange(false))
    RunError(runerror::UserBreak);
}

void MarkRunFailed() {
  run_failed = true;
}

void HaltProgram(std::uint8_t code) {
  ExitCode = code;
  // An exit procedure may call HaltProgram itself; that call runs the rest of the chain.
  while (ExitHook != nullptr) {
    PendingIoResult = 0;
    ExitProcedure procedure = ExitHook;
    ExitHook = nullptr;
    procedure();
  }
  if (ErrorAddress != nullptr) {
    char line[80];
    std::snprintf(line, sizeof line, "Runtime error %u at $%016llX", unsigned{ErrorNumber},
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(ErrorAddress)));
    FlushOutput();
    WriteErrorReportLine(line);
    std::snprintf(line, sizeof line, "  $%016llX",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(ErrorAddress)));
    WriteErrorReportLine(line);
    WriteErrorReportLine("");
  }
  FlushOutput();
  EndProcess(run_failed ? 1 : ExitCode);
}

[[gnu::noinline]] void RunError(std::uint16_t number) {
  ErrorNumber = number;
  ErrorAddress = __builtin_extract_return_addr(__builtin_return_address(0));
  HaltProgram(static_cast<std::uint8_t>(number & 0xFF));
}

void CheckIoResult() {
  if (PendingIoResult != 0)
    RunError(TakeIoResult());
}
