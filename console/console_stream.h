// The console stream: every text of the program but the per-entry report lines. Each statement
// is checked for a pending input/output failure, which becomes a run-time error.
#pragma once

#include <cstdint>
#include <string_view>

// Writes without a line end and flushes.
void ConsoleWrite(std::string_view text);
// Writes and ends the line.
void ConsoleWriteLine(std::string_view text);
// Write text, or a number with no padding, without a line end and without flushing: parts of a
// longer statement.
void ConsolePut(std::string_view text);
void ConsolePutNumber(std::int64_t number);
void ConsoleEndLine();
void ConsoleFlush();
// One line on the standard output stream: the prefix, the text and the line end.
void StandardWriteLine(std::string_view prefix, std::string_view text);
