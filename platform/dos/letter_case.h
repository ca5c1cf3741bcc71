// Letter case as DOS knows it: only a to z have capitals. Options, masks and the names the dry run
// compares are upper-cased so; no byte from code 128 up changes, whatever its code page.
#pragma once

#include <string>
#include <string_view>

// a-z become A-Z; nothing else changes.
char UpperCaseChar(char c);
std::string UpperCaseString(std::string_view text);
