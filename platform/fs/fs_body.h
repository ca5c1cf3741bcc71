// What every body of the file-system services of platform/fs.h does alike around its own
// primitives, and the steps of a change of directory that each system's body gives.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// A name in the current directory: no separator, no drive, neither "." nor "..".
bool IsBareName(std::string_view path);

// The guard of RemoveEmptyDirectory: "." is the current directory, which is never removed (16);
// nothing happens for an empty path or while a result is pending. True when the removal goes on.
bool RemovalGoesAhead(std::string_view path);

// The start of SetEntryAttributes: LastServiceResult is 0, or 5 for a change that would set the
// volume-label bit, which is never made. True when the change is refused.
bool VolumeLabelRefused(std::uint16_t attributes);

// ChangeDirectory (platform/fs/change_directory.cpp) does nothing for an empty path or while a
// result is pending, then takes one of these steps, which each system's body gives.

// Settles what the body holds in the current directory before it may change, and answers the path
// as the body takes it ("\" as the separator).
std::string PrepareChange(std::string_view path);
// ".." (at a drive's root the position stays).
void StepUp();
// A bare name: the entry of the current directory.
void StepDown(const std::string& name);
// A drive alone ("X:"): that drive's current directory.
void ChangeDrive(char letter);
// Any other path, entered by its full form.
void ChangeToPath(const std::string& path);
