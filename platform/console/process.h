// What the portable end-of-run sequence needs from each system. Used only inside platform/.
#pragma once

#include <string_view>

// Hands every buffered byte of both streams to the system.
void FlushOutput();
// Writes a line of the run time's own failure report where the system's error text goes.
void WriteErrorReportLine(std::string_view line);
// Restores the terminal and ends the process with the status; after a user interrupt, the way
// the system ends a process interrupted so (by the same signal, or with Windows' status for
// Ctrl-C), so that a shell or a script that started the run stops too.
[[noreturn]] void EndProcess(int status);

// Called from a signal or console-control handler: only notes the interrupt and its cause, the
// signal's number (on Windows any number above 0). The first cause noted is kept.
void NoteUserInterrupt(int cause);
bool UserInterruptNoted();
// The cause of the first user interrupt of the run, 0 when there was none.
int UserInterruptCause();
