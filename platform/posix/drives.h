// Only code for POSIX systems. The drive table: "/" is Z: as under wine, and VAKRUN_DRIVES
// ("D=/some/dir;E=/other") maps more letters. Each drive remembers its own current directory.
#pragma once

#include <string>
#include <string_view>

// Reads VAKRUN_DRIVES. Answers an empty string or the problem with its value.
std::string LoadDriveTable();

// Index 0 = A: ... 25 = Z:. The current directory may lie outside every drive: it is then kept
// under NoDrive, in the form "\\?\unix\...", which the services refuse.
constexpr int NoDrive = 26;
// Index 0 = A: ... 25 = Z:.
bool DriveIsMapped(int drive);
// The Linux directory of the drive's root ("/" or a path without a trailing slash).
const std::string& DriveRoot(int drive);
// The drive's current directory as a full DOS path ("D:\" for its root).
std::string& DriveCurrent(int drive);

int CurrentDrive();
void SetCurrentDrive(int drive);

// Index of a drive letter (either case), or -1.
int DriveIndex(char letter);
