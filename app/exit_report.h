#pragma once

// The exit procedure: turns a run-time error into a sentence after the summary.
void ExitReport();
// Installs ExitReport in front of the procedure that held the slot.
void InstallExitReport();
