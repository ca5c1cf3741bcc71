// Only code for Windows: what the directory searches need of the walk's position.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/win32/handles_win32.h"

// One entry as a directory listing gave it.
struct ListedItem {
  std::string name; // in the program's bytes, as the search hands it out (see DosName)
  NamedEntry named;
  DWORD attributes = 0;
};

// A listed name in the program's bytes. A ":" or "\" in it, which a Unix name under wine may
// hold, becomes U+F03A or U+F05C, as Cygwin and WSL store such names on Windows: the program
// then takes it for one name, never for a drive or a path. Every operation on the name opens
// the entry the directory listed, by its exact name.
std::string DosName(std::wstring_view listed);

// The held handle of the current directory, opened from its drive's root when first needed.
// Null, with the Windows error, when it cannot be opened.
HANDLE CurrentDirectoryHandle(DWORD& error);

// Changes whenever the current directory does, so that what a listing said expires.
unsigned PositionGeneration();
// Tells the held current directory apart from every other, and stays the same when the walk
// comes back to it from a subdirectory; 0 while none is held.
unsigned CurrentDirectoryMark();

// Remembers the entry a search of the current directory returned last, so that the operations on
// its name that follow open exactly the listed name and check that they hold the listed file.
void NoteListed(const ListedItem& item);

// Opens the directory a DOS path names (relative to the current directory or full), following
// any links on the way, as a search through a path does; the current directory, or a name in it,
// is opened through the held handle. Answers 0 or the Windows error.
DWORD OpenDirectoryOfPath(std::string_view dos_path, OwnedHandle& handle);

// The object name of the current directory (see ObjectName); read afresh when asked, since the
// directory may have been moved while the walk is in it.
const std::wstring& CurrentObjectName(bool afresh);

// The full DOS path of the current directory, kept as text.
const std::string& CurrentPath();

// How a name in the current directory is opened: as the entry the last search step listed when
// it is that one's name, as the directory the walk stepped up from last when it is that one's
// (each while the walk has not moved since), otherwise by the name itself.
NamedEntry NameInCurrent(std::string_view name);

// Settles the entry the attribute and erase operations hold open (fs_win32.cpp); every change of
// directory calls it first.
void CloseOpenEntry();
