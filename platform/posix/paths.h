// Only code for POSIX systems. Conversions between the DOS paths the program speaks and the
// Linux paths they stand for, through the drive table ("/" is Z:, VAKRUN_DRIVES adds letters).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The Linux path a DOS path names (relative forms are expanded against the current drive and
// directory first). A password suffix (";" and what follows) is dropped. Answers 0, or the
// Windows error number: 15 for a drive without a mapping, 53 for a network path.
std::uint32_t LinuxPathOf(std::string_view dos_path, std::string& linux_path);

// The DOS path of an absolute Linux path: the drive whose root is the longest prefix of it,
// then the components with the characters DOS reserves mapped reversibly. A path that no drive
// covers gets the form wine gives it, "\\?\unix\" and its components, which names no drive:
// the file-system services refuse it.
std::string DosPathOf(std::string_view linux_path);

// The form "\\?\unix\..." of an absolute Linux path, whatever the drives.
std::string UnixFormOf(std::string_view linux_path);
// The Linux path of that form; false for any other path.
bool LinuxPathOfUnixForm(std::string_view dos_path, std::string& linux_path);

// An argument that begins with "/" as the DOS path of the Linux path it is: "." and ".." are
// resolved in its text, then it goes to the drive whose root is its longest prefix.
std::string DosPathOfArgument(std::string_view linux_path);
