// The progress line, the Esc question and the tally with its summary line.
#pragma once

#include <cstdint>
#include <string>

struct Tally {
  std::uint64_t FilesDeleted = 0;
  std::uint64_t DirsRemoved = 0;
};
extern Tally RunTally;

// The directories put back at the end of the run: the one current at start, and the current
// directory of the target's drive (set up with the target).
extern std::string StartDirectory;
extern std::string DriveDirectory;

// Carriage return and "Working  "; the next spinner step writes over the second blank. A log
// gets no progress line.
void ShowWorking();
// When Esc was pressed, asks whether to stop (and may end the run).
void CheckInterrupt();
void ConfirmTerminate();
// Puts back the current directory of the target's drive, then the starting one.
void RestoreDirectories();
// Restores the starting directories and writes "Deleted N file(s) and M dir(s)" ("Would delete"
// in a dry run).
void PrintSummary();
