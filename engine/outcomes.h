// What a result of the file-system layer means for the entry the engine is working on. The rules
// for files and directories stand side by side here: what is taken in stride, what leaves the
// entry where it is (and says why), what asks for a DR-DOS password, and what ends the run, in
// which words. The sequences of engine/remove.cpp and the entry into the target act on the answer.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/dos/result_codes.h"

enum class EntryKind : std::uint8_t { File, Directory };

enum class Outcome : std::uint8_t {
  GoOn,           // after the attribute change: on to the erase or the removal
  SkipAttributes, // the attribute change was refused: said, and on to the erase or removal
  Done,           // erased, removed or entered
  AskPassword,    // a refusal that may stem from a password: the password step, then again
  StaysForCause,  // stays for what the layer said of it (LastEntryCause), which is said
  StaysSilently,  // a file whose attribute change was refused too: its line is written already
  NotEmpty,       // a directory whose removal was refused: taken to hold entries
  EndsRun,        // the run ends, in the words of the End... function of the same step
};

// The change to archive only before an erase or a removal. It reports the system's own number
// (no translation), so that a device error is 19 to 31 here.
Outcome AfterAttributeChange(EntryKind kind, ResultCode system_result);
// The erase of a file; `attributes_refused` when its attribute change was refused.
Outcome AfterErase(ResultCode result, EntryCause cause, bool attributes_refused);
// The change into a subdirectory. The target is entered with EntryCause::None: its refusal asks
// for a password whatever the layer says of it.
Outcome AfterChangeInto(ResultCode result, EntryCause cause);
// The removal of a directory, from its parent.
Outcome AfterRemoval(ResultCode result, EntryCause cause);

// The words that end the run where the function of the same step answered EndsRun. Each prints
// the summary first.
[[noreturn]] void EndAtAttributeChange(EntryKind kind, std::string_view name,
                                       ResultCode system_result);
[[noreturn]] void EndAtErase(std::string_view name);
[[noreturn]] void EndAtChangeInto(std::string_view name);
[[noreturn]] void EndAtRemoval(std::string_view name);
