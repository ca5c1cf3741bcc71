// What happens to one entry of the tree: erasing a file, stepping into a subdirectory, and
// stepping up out of a directory to remove it, with the DR-DOS password step where a refusal may
// stem from a password.
#pragma once

#include <string>
#include <string_view>

// Empty, or ";" and the last password typed, at most 20 characters in all. Appended to every
// name handed to an attribute, erase, removal or change-directory operation.
extern std::string GlobalPassword;
constexpr int GlobalPasswordCapacity = 20;

// Asks for a new global password (nothing with SkipPasswords); GlobalPassword holds the answer
// as typed, without the ";" that the caller puts in front.
void AskPassword(std::string_view name);
// The password step after a refusal of `name`: asks, and answers true (retry) when a new password
// is in force, or reports the entry as skipped and answers false. An answer that is the password
// just refused for this entry passes it over as an empty answer does, so that a scripted answer
// (`yes |`) cannot ask forever.
bool PasswordStep(std::string_view name);

void RemoveFileEntry(std::string_view name);
// True when the subdirectory is now current; false when it was passed over.
bool EnterSubdir(std::string_view name);
// Steps up to the directory the walk came from; ends the run when that is impossible.
void StepUpToParent();
// Steps up to the parent and removes `name` there. False only when it stayed as not empty.
bool LeaveAndRemoveDir(std::string_view name);
