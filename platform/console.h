// Console and process services: the two output streams, keys, the command-line arguments and the
// end of the run with its exit-procedure chain and run-time errors.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The console stream carries all text but the per-entry report lines, which go to the standard
// output stream. Both end lines with carriage return and line feed.
enum class OutputStream { Console, Standard };

// The text of one write statement collects until FlushLine or EndLine. While PendingIoResult is
// non-zero these write nothing, so the CheckIoResult that follows raises the pending result.
void WriteText(OutputStream stream, std::string_view text, int width = 0);
void WriteChar(OutputStream stream, char c, int width = 0);
void WriteNumber(OutputStream stream, std::int64_t number, int width = 0);
void EndLine(OutputStream stream);
void FlushLine(OutputStream stream);

// Raises a run-time error with the pending result's number when one is pending.
void CheckIoResult();

// True when the console stream is shown on a terminal or console. Otherwise it is a log (a file
// or a pipe): no progress line, spinner or line clearing goes there, and each line ends once.
bool ConsoleIsScreen();
// The width of the terminal or console window the console stream is shown on; 80 when unknown.
int ConsoleColumns();
// In a log: whether the console stream's last line is still open (holds text, no line end yet).
bool ConsoleLineOpen();
// Hands every waiting byte to the system at once.
void ShowPendingOutput();
// Hands output over that has waited about 50 ms; called at every poll of the walk, so that
// waiting text reaches the screen even when nothing new is written.
void ReleaseWaitingOutput();

// Questions in sight: when keys are typed at a terminal or console but the console stream is a
// log, the text of a question (everything on the console stream since the last LeaveQuestion) and
// its answer are shown there too. ShowQuestion is called before each key of an answer is read.
void ShowQuestion();
void LeaveQuestion();
// The echo of a masked answer where the keys are typed, when questions are shown there; a log
// never gets it.
void EchoWhereTyped(std::string_view text);

// A user interrupt (Ctrl-C, Ctrl-Break, a hang-up, a kill, a closed console) is only noted when it
// arrives; this raises it as run-time error 255, at the walk's next step or in a key read.
void CheckUserInterrupt();

// Keys: Esc is 27, Enter 13, Backspace 8, printable characters themselves (in the console's input
// code page), and every other key 0 followed by its PC scan code on the next read.
bool KeyAvailable();
std::uint8_t ReadKeyChar();
// True when keys come from a person at a console or terminal, false for a pipe or a file.
bool KeysAreTyped();

// Argument 0 is the full path of the running executable; 1..n the words after the program name.
int ArgumentCount();
std::string ArgumentAt(int index);

using ExitProcedure = void (*)();
extern ExitProcedure ExitHook;
extern std::int32_t ExitCode;
extern std::uint16_t ErrorNumber;
extern const void* ErrorAddress;

// Ends the run: runs the exit-procedure chain, reports an unhandled run-time error, flushes the
// streams, restores the terminal and ends the process.
[[noreturn]] void HaltProgram(std::uint8_t code);
[[noreturn]] void RunError(std::uint16_t number);

// The run failed: a "PROBLEM: " line was written, an entry it was to erase stays, or the command
// line held arguments but no target. The process ends with status 1 whatever the exit code.
void MarkRunFailed();

// Fills the argument table and opens the streams. Called once, first thing in main().
void StartConsole(int argc, char** argv);
