// The command-line options, their echo line and the tests of a typed mask.
#pragma once

#include <string_view>

#include "settings/settings_block.h"

// Said when the saved options cannot be read soundly or -R cannot save them.
constexpr std::string_view NotOriginalMessage =
    "Vakrun is not in its original form. Check compression and attributes!";

// --help or --version, the first of them wherever it stands, is answered on standard output and
// ends the run, before any other argument is acted on; otherwise nothing happens. Neither touches
// anything, so they are answered before the saved options are judged.
void AnswerHelpOrVersion();
// -R saved the options in this run.
extern bool OptionsSaved;

// Reads every argument into the options, then calls SetUpTarget. The first argument it refuses
// (an invalid option or mask, a conflicting pair, a second target word) ends the run with a
// problem line; what the arguments before it did (flips, a save by -R) stays.
void ParseOptions();
// Finishes the line "Using option(s): " with the switches in force, the mask and, for a dry run,
// "DryRun ".
void EchoOptions();
bool IsValidMask(std::string_view mask);
// What the option loop takes for -M: a valid mask of at most 12 characters (not bytes). A longer
// one is refused, never cut: a cut mask can take more files than the one typed.
bool IsAcceptedMask(std::string_view mask);
// Options the option loop could have made: no pair it refuses, switches of 0 or 1, and an empty
// mask or one that it takes. Saved options are acted on only when they pass.
bool OptionsAreSound(const OptionSet& options);
// Whether an argument is option -R (the letter alone), which starts from the built-in options when
// the saved ones are unsound, and so repairs the program.
bool CommandLineSaves();
