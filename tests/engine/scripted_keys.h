// A key source for the engine tests in place of the terminal's: the keys a person types when a
// question waits for them, and Esc pressed at a chosen moment of the walk. It stands for keys
// typed at a terminal, so nothing is discarded at the start; once the answers run out a question
// reads Esc, as at the end of piped input.
#pragma once

#include <string_view>

// The keys that answer the questions, in order.
void ScriptKeys(std::string_view answers);
// Esc is waiting from now on, for the next poll of the walk.
void PressEscape();
