// Only code for POSIX systems. The keyboard side of the console: a terminal on standard input is
// put into raw mode without echo for the run, and given back as it was on every end.
#pragma once

void StartKeyboard();
void RestoreTerminal();
