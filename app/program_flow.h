// The run from start-up to its end: settings, exit procedure, options, the target, the drive-root
// question and the deletion passes in their fixed order.
#pragma once

#include <string>

extern std::string TargetPath;

[[noreturn]] void ProgramFlow();
// Finds, expands and enters the target; on return it is the current directory.
void SetUpTarget();
