// An in-memory body of the file-system services of platform/fs.h, for the engine tests: a tree of
// entries with DOS attributes and DR-DOS passwords on drives C: and D:, a current directory per
// drive, searches through the shared wildcard matcher, failures scripted per operation and name,
// and a record of the calls made. It stands in for the system's body at link time, so the engine,
// the program flow and the console code run unchanged over it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dos/result_codes.h"

// Empties the tree, the scripts and the record; drives C: and D: exist, C: is current at its root.
void ResetMemoryFs();
// Adds an entry by its full path ("C:\T\F.TXT"); a directory carries the directory bit. An entry
// with a password refuses every operation but reading its attributes with 86 unless the name
// carries ";" and that password.
void AddMemoryEntry(std::string_view path, std::uint16_t attributes,
                    std::string_view password = {});
// The next `times` calls of `operation` (its name in fs.h) on `argument` exactly as the caller
// hands it over (password suffix included, letter case ignored) fail with the system's error
// number `os_error`, translated as a system's body translates it; 0 times: every call. For the
// searches the argument is the name of the entry the step would return.
void ScriptFailure(std::string_view operation, std::string_view argument, std::uint32_t os_error,
                   int times = 0);
// The next call of `operation` on `argument` gives the system's error `os_error` (0: the call is
// accepted and changes nothing) and leaves `cause` in LastEntryCause, as the Windows layer tells
// what it knows of an entry beyond the code (a link, a name it cannot open, a directory in use,
// a file that stays marked for deletion).
void ScriptCause(std::string_view operation, std::string_view argument, std::uint32_t os_error,
                 EntryCause cause);
// Esc is pressed just before the first call of `operation` on `argument`.
void ScriptEscBefore(std::string_view operation, std::string_view argument);

// One line per call made: the operation, its argument (and attribute word), "=" and the code it
// gave, or "skipped" for an operation that did nothing while a result was pending. Where a
// search step returned its entry, the line names it.
const std::vector<std::string>& MemoryRecord();
// The entries left, each as its full path, a blank and its attribute word, in the order they were
// added.
std::vector<std::string> MemoryTree();
