// Only code for Windows: what the directory searches need of the walk's position.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/win32/handles_win32.h"

// One entry as a directory listing gave it.
struct ListedItem {
  std::string name; // in the program's bytes
  std::wstring wide;
  DWORD attributes = 0;
  FileId id = 0;
};

// The held handle of the current directory, opened from its drive's root when first needed.
// Null, with the Windows error, when it cannot be opened.
HANDLE CurrentDirectoryHandle(DWORD& error);

// Changes whenever the current directory does, so that what a listing said expires.
unsigned PositionGeneration();

// Remembers the entry a search of the current directory returned last, so that the operations on
// its name that follow open exactly the listed name and check that they hold the listed file.
void NoteListed(const ListedItem& item);

// Opens the directory a DOS path names (relative to the current directory or full), following
// any links on the way, as a search through a path does. Answers 0 or the Windows error.
DWORD OpenDirectoryOfPath(std::string_view dos_path, HANDLE& handle);

// The object name of the current directory (see ObjectName); read afresh when asked, since the
// directory may have been moved while the walk is in it.
const std::wstring& CurrentObjectName(bool afresh);

// The full DOS path of the current directory, kept as text.
const std::string& CurrentPath();

// The name of an entry of the current directory in wide characters: the exact listed name when
// it was the last one listed, with what the listing said of it in `listed`.
std::wstring WideOfName(std::string_view name, const ListedItem** listed);

// The file number of the directory the walk stepped up from last, when `wide` names it and the
// walk has not moved since.
bool JustLeft(std::wstring_view wide, FileId& id);

// Settles the entry the attribute and erase operations hold open (fs_win32.cpp); every change of
// directory calls it first.
void CloseOpenEntry();
