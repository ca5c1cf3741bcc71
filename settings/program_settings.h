// The options saved inside the program's own executable file.
#pragma once

// Start-up: reads the first stored block of the executable over the built-in settings, when the
// file holds one. Nothing is reported either way.
void LoadProgramSettings();

// Option -R: stores the settings block as it stands into the executable. True on success; on
// failure the executable is as it was.
bool SaveProgramSettings();
