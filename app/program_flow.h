// The run from start-up to its end: settings, exit procedure, options, the target, the drive-root
// question and the deletion passes in their fixed order.
#pragma once

#include <string>

extern std::string TargetPath;
extern std::string StartDirectory;
extern std::string DriveDirectory;

[[noreturn]] void ProgramFlow();
// Finds, expands and enters the target; on return it is the current directory.
void SetUpTarget();
// Puts back the current directory of the target's drive, then the starting one.
void RestoreDirectories();
