#pragma once

#include <string>

// A blank line, the version line and a blank line.
void ShowBanner();
// The banner alone; ends the run.
[[noreturn]] void ShowVersion();
// The usage screen with the switches in force; ends the run.
[[noreturn]] void ShowUsage();
std::string NotPrefix(unsigned char option_switch);
