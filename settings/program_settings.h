// The options saved inside the program's own executable file.
#pragma once

#include <string_view>

#include "settings/settings_block.h"

// What start-up found in the program file.
enum class StoredSettings {
  None,    // no stored block: the built-in settings stay in force
  Loaded,  // a sound block, now in force
  Unsound, // a block cut short, failing its checksum or holding options the check refuses: the
           // built-in settings stay in force, and the caller decides whether the run may go on
};

// Answers whether the option loop could have saved these options.
using OptionsCheck = bool (*)(const OptionSet& options);

// Reads the first stored block of the file over the built-in settings, only when it is sound.
StoredSettings LoadSettingsFrom(std::string_view path, OptionsCheck sound);
// Start-up: the same for the running program's own file.
StoredSettings LoadProgramSettings(OptionsCheck sound);

// Option -R: stores the settings block as it stands into the executable. True on success; on
// failure the executable is as it was.
bool SaveProgramSettings();
