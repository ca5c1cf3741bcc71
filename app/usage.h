#pragma once

#include <string>

// A blank line, the version line and a blank line.
void ShowBanner();
// The usage screen with the switches in force, on the console stream; ends the run.
[[noreturn]] void ShowUsage();
// --help: the banner and the usage screen on standard output, as a log keeps them; ends the run.
[[noreturn]] void PrintHelp();
// --version: the version line alone on standard output; ends the run.
[[noreturn]] void PrintVersion();
std::string NotPrefix(unsigned char option_switch);
