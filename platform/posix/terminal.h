// Only code for POSIX systems. The keyboard side of the console: a terminal on standard input is
// put into raw mode without echo for the run, and given back as it was on every end.
#pragma once

void StartKeyboard();
void RestoreTerminal();

// How many keys the program has read so far. A key is read where the user may stop, at a
// question, and change the tree meanwhile, so what was read of a directory before it is read
// afresh after it.
unsigned long KeysRead();
