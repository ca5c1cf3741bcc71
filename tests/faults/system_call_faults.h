// The test hook of the Linux layer's table of system calls: the Nth call of a named call fails
// with a chosen error, or another function stands in for it. Only test programs link it; the
// first use puts a counting wrapper of its own in every entry of the table.
#pragma once

#include <string_view>

// Calls numbered nth to nth + times - 1 of the named system call, counted from now, fail with
// `error` and do nothing; times 0: every call from the nth on.
void FailSystemCall(std::string_view name, unsigned long nth, int error, unsigned long times = 1);
// Puts `function` (of the call's own type) in the named call's place; the failures above still
// come first.
void ReplaceSystemCall(std::string_view name, void (*function)());
