// What the portable end-of-run sequence needs from each system. Used only inside platform/.
#pragma once

#include <string_view>

// Hands every buffered byte of both streams to the system.
void FlushOutput();
// Writes a line of the run time's own failure report where the system's error text goes.
void WriteErrorReportLine(std::string_view line);
// Restores the terminal and ends the process with the status.
[[noreturn]] void EndProcess(int status);

// Called from a signal or console-control handler: only notes the interrupt.
void NoteUserInterrupt();
bool UserInterruptNoted();
