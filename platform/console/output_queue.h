// The text of the two output streams on its way to the system, the same on every system. It
// waits in one queue, so that the text of both streams stays in order where they lead to one
// place, and is handed to the system when the program waits for a key, when it ends, when 64 KiB
// wait, or when 50 ms have passed (at the next statement or at the walk's next poll, whichever
// comes first): a system call per statement would slow a large erase down. The queue takes the
// statements of platform/console/statement_output.h and gives FlushOutput and ReleaseWaitingOutput.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Sink 0 takes the console stream, sink 1 the standard output stream.

// Defined by the system's console body: the time on a clock that only goes forward, in
// nanoseconds; the text as it is shown (the bell is never written); and the hand-over of bytes
// to a sink, false when the sink fails (a closed pipe, a full disk).
std::int64_t OutputClockNs();
void AppendShown(std::string& bytes, std::string_view text);
bool WriteSink(int sink, std::string_view bytes);

// For the system's console body, at its start: both streams lead to one place, so their text
// goes through sink 1 alone; or they are known to lead to different places, so the order between
// them does not matter and each sink's waiting text goes in one write (without either, the text
// of the two sinks is handed over in the order it came); and the clock of the flush rule starts.
void ShareOneSink();
void SinksApart();
void StartOutputClock();

// Hands bytes to a sink at once, past the queue; a sink that has failed gets nothing more.
void WriteSinkNow(int sink, std::string_view bytes);
