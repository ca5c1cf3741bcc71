// Where a finished write statement goes: platform/console/statements.cpp gathers the text of each
// statement on every system, and the system's console code (platform/posix/console_posix.cpp,
// platform/win32/console_win32.cpp) takes it from there.
#pragma once

#include <string_view>

#include "platform/console.h"

// Takes the whole text of one statement of the stream, its line end included.
void HandOverStatement(OutputStream stream, std::string_view text);
// True once a write of the standard output stream has failed (a full disk, a closed pipe).
bool StandardOutputFailed();

// Shows text of a question on the terminal or console the keys are typed at (see ShowQuestion).
void ShowOnKeyboard(std::string_view text);
