// Only code for POSIX systems. A Linux name may hold any byte but "/" and NUL, while DOS paths
// give "\" (separator), ":" (drive) and ";" (password) a meaning of their own. Names are mapped
// reversibly into the DOS namespace with private-use characters, as Cygwin and WSL do:
// "\" -> U+F05C, ":" -> U+F03A, ";" -> U+F03B, and a literal U+F000, U+F03A, U+F03B or U+F05C is
// kept by putting U+F000 before it. The console shows the Linux bytes again.
#pragma once

#include <string>
#include <string_view>

// A Linux name (one component) as the DOS layer sees it.
std::string EncodeName(std::string_view linux_name);
// The same without a copy where it can: the name itself when the mapping leaves it alone (the
// common case), otherwise its mapped form, built in `buffer`.
std::string_view EncodedName(std::string_view linux_name, std::string& buffer);
// A DOS name (one component) back to the Linux bytes.
std::string DecodeName(std::string_view dos_name);
// A typed argument: only ";" and the private characters are mapped, since "\" and ":" keep
// their DOS meaning in a typed path.
std::string EncodeArgument(std::string_view argument);
// True when the text holds nothing that DecodeName would change (the common case).
bool IsPlainText(std::string_view text);
