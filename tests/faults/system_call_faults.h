// The test hook of the Linux layer's table of system calls: chosen calls of a named call fail
// with a chosen error, or another function stands in for it. Only test programs link it; the
// first use puts a wrapper of its own in every entry of the table.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Calls of the named system call fail with `error` and do nothing: those that act on `subject`,
// the nth of them counted from now and the times - 1 after it (times 0: every one from the nth
// on). A call acts on the entry or directory it names, by a path, by a name in a directory, or by
// a descriptor or a listing it is given (getcwd: the current directory); the subject is the full
// path of that entry. An empty subject stands for every call, whatever it acts on.
void FailSystemCall(std::string_view call, const std::string& subject, int error,
                    unsigned long times = 1, unsigned long nth = 1);
// Every call of the named system call fails with `error` and does nothing: a call the run is never
// to make, so that none coming is no failure left unmet.
void ForbidSystemCall(std::string_view call, int error);
// Puts `function` (of the call's own type) in the named call's place; the failures above still
// come first.
void ReplaceSystemCall(std::string_view call, void (*function)());
// The failures asked for by FailSystemCall that no call has met yet, each as the call's name and
// its subject.
std::vector<std::string> FailuresNotMet();
