// The small console routines the rest of the program shares: the fatal message, line clearing,
// the yes/no answer, the Esc check, the spinner and masked entry.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

using PreliminaryAction = void (*)();

// Runs the action (the summary, where one is given), writes "PROBLEM: " and the message on a
// line of its own and ends the run. An empty message ends the run without writing anything.
[[noreturn]] void FatalMessage(PreliminaryAction action, std::string_view message);

// The sentence for a failure number: a run-time error, or a device error of a file operation
// (150 to 162: the system's 19 to 31 plus 131). The numbers without words of their own give
// "Unexpected error " and the number.
std::string FailureSentence(std::int32_t code);

// 80, or the width of a narrower terminal or console window.
int ScreenWidth();

// On a screen: carriage return, ScreenWidth() - 1 blanks, carriage return. In a log: a line end
// when the last line is still open, else nothing.
void ClearLine();
// One key, not echoed: Y or y (or the Y key of a Greek layout) is yes, anything else no.
bool AskYesNo();
// Does not wait. Reads at most one key and answers whether it was Esc.
bool EscPressed();
// Discards keys typed ahead (at a terminal; a pipe's scripted answers are kept).
void FlushKeys();
// Backspace and the next spinner character (nothing in a log).
void SpinnerStep();
// Each typed character shows as "*"; Backspace erases, Enter ends, Esc gives the one-character
// text holding 0. Never longer than `maximum`.
std::string ReadMasked(int maximum);
// `one` when the count is 1 or -1, else `several`.
std::string_view ChooseByCount(std::int64_t count, std::string_view one, std::string_view several);
