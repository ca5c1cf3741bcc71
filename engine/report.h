// The one-line reports for deleted, removed and skipped entries. Each clears the progress line,
// writes its prefix and the entry's full path on the standard output stream, and puts the
// progress line back. A dry run says "Would delete " and "Would remove " for what it hid.
#pragma once

#include <string>
#include <string_view>

#include "platform/dos/result_codes.h"

void ReportDeleted(std::string_view name);
void ReportRemoved(std::string_view name);
void ReportSkippedPassword(std::string_view name);
// An attribute change refused with 5: the line names a link the layer will not open as itself,
// or a name the system cannot open, where the layer says so (LastEntryCause); otherwise
// "Skipped attribute change on ".
void ReportSkippedAttributes(std::string_view name);
// A directory that stayed because it was not empty.
void ReportNonEmpty(std::string_view name, bool empty_dirs_only);
// An entry that stays for what the layer said of it (LastEntryCause) beyond a refusal's code: a
// directory another program holds open, an entry marked for deletion that another program still
// holds, a link or a name as above. False, with nothing written, for EntryCause::None.
bool ReportEntryCause(std::string_view name, EntryCause cause);

// A name or path as it is shown in report lines, questions and messages: each control character
// (below 32, 127, and the C1 controls U+0080 to U+009F) becomes "?", so that a name can neither
// forge a line nor send a command to the terminal. Every other byte stays as it is. A byte from
// 0x80 to 0x9F inside a valid UTF-8 sequence is part of a character and stays; one that is not
// is a C1 control of an 8-bit code page and becomes "?".
std::string ShownName(std::string_view name);
