// DOS paths as text, the rules every layer and the program share: the separator, the drive's
// root and the components. Nothing here asks the system anything.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// A drive's root is its letter, a colon and a backslash ("C:\"): a full path of this length is
// a drive's root, and a longer one names something below it.
constexpr std::size_t DriveRootLength = 3;

// DOS turns every "/" into "\" before it looks at a path.
std::string WithBackslashes(std::string_view path);

// A to Z or a to z.
bool IsDriveLetter(char c);
// A drive letter, a colon and a backslash: how a full path on a drive begins.
bool StartsAtDriveRoot(std::string_view path);
// "X:\" and nothing more.
bool IsDriveRootPath(std::string_view path);
// A full path that names a drive ("X:" and on): what expansion gives for every path but a network
// one ("\\server\share").
bool IsOnDrive(std::string_view full_path);

// A full path longer than a drive's root: it names an entry below the root.
bool IsBelowRoot(std::string_view full_path);
// Drops the backslash a full path ends with, unless that backslash is a drive's root.
void DropTrailingBackslash(std::string& full_path);
// The directory that holds the last component of a full path; a drive's root keeps its
// backslash ("C:\" for "C:\OLD").
std::string_view ParentOf(std::string_view full_path);
// What follows the last backslash of a path (all of it when it has none).
std::string_view LastComponent(std::string_view path);

// The components of a path between its separators, empty ones left out: "/" for a Linux path,
// "\" for a DOS one (and ";" between the items of a list).
std::vector<std::string_view> PathComponents(std::string_view path, char separator);
