// Splits a Windows command line into words with the DOS quote rules: double and single quotes
// group blanks into a word, a doubled quote is dropped, and the other quote inside a quoted run is
// an ordinary character. A single quote that no later one closes is an ordinary character too
// (it's stays it's); an unclosed double quote runs to the end of the line. The first word (the
// program name) is dropped.
#pragma once

#include <string>
#include <string_view>
#include <vector>

std::vector<std::string> SplitCommandLine(std::string_view line);
