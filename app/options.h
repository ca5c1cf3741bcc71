// The command-line options, their echo line and the two mask tests.
#pragma once

#include <string_view>

// Reads every argument into the options, then calls SetUpTarget.
void ParseOptions();
// Finishes the line "Using option(s): " with the switches in force and the mask.
void EchoOptions();
bool IsValidMask(std::string_view mask);
// True for masks of only "*", "." and "?" that hold a "*" or are "????????.???".
bool MaskCoversAll(std::string_view mask);
