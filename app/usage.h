#pragma once

#include <string>

void ShowBanner();
// The usage screen with the switches in force; ends the run.
[[noreturn]] void ShowUsage();
std::string NotPrefix(unsigned char option_switch);
