// Only code for Windows: the start-up steps of the Windows bodies, called from the portable
// start-up procedures.
#pragma once

// Reads standard input as console key events or as bytes (from StartConsole).
void StartKeyboard();
// Set when a user interrupt is noted, so that a key read waiting on input wakes up.
void* InterruptEvent();

// Removes the program images that an earlier save with -R left beside the running executable,
// since a running image can be renamed on Windows but not removed (from StartFileSystem).
void RemoveLeftoverImages();
