// Only code for Windows: the native file calls of ntdll that the file-system services make, and
// the small helpers around them. Every entry is opened relative to a directory handle, so no path
// is ever limited in length and every name means exactly what the directory lists.
#pragma once

#include <windows.h>
#include <winternl.h>

#include <cstdint>
#include <string>
#include <string_view>

// The file's number on its volume.
using FileId = std::int64_t;

// What an opened handle says of the file it holds.
struct HandleFacts {
  DWORD attributes = 0;
  DWORD reparse_tag = 0;
  FileId id = 0;
};

// Opens `name` relative to `root` (or a full NT path when root is null), sharing it with every
// other user. `options` adds FILE_OPEN_REPARSE_POINT (a link at the end of the name is opened
// itself, never followed), FILE_DIRECTORY_FILE and the like. Answers the NT status; the handle
// is null on failure.
NTSTATUS OpenRelative(HANDLE root, std::wstring_view name, ACCESS_MASK access, ULONG options,
                      HANDLE& handle);

// Reads the attributes, reparse tag and file number through the handle.
NTSTATUS ReadFacts(HANDLE handle, HandleFacts& facts);
// The number of names the file has.
ULONG LinkCount(HANDLE handle);

// The full name of what the handle holds, as the system resolves it: under wine the real place
// of the file, after any Unix symbolic link; on Windows the name it was opened by.
std::wstring ObjectName(HANDLE handle);

// True when `opened` (the object name of an entry) is `directory` (the object name of the
// directory it was opened in) followed by `name`: the entry stands where the name does and is
// not reached through a link. Letter case does not count, nor dots and blanks at the end of a
// component, which wine leaves out of some of the names it reports.
bool StandsIn(std::wstring_view opened, std::wstring_view directory, std::wstring_view name);

// True under wine, which follows every Unix symbolic link when it opens a name, whatever the
// options say, and shows a link to a file as a plain file. Only there must an opened entry be
// checked by name; Windows opens a reparse point itself and says what it is.
bool LinksAreFollowed();

// Sets the attribute word through the handle (times unchanged).
NTSTATUS WriteAttributes(HANDLE handle, DWORD attributes);

// Marks the file or directory for deletion through the handle. With `extended`, the POSIX
// semantics (the name goes at once, even while others hold the file open) and "ignore the
// read-only attribute"; a system that does not offer them answers a status that
// ExtendedUnsupported recognises.
NTSTATUS MarkForDeletion(HANDLE handle, bool extended);
bool ExtendedUnsupported(NTSTATUS status);

// Lists directory entries through the handle into `buffer`; the first call of a listing
// restarts it. STATUS_NO_MORE_FILES ends it.
NTSTATUS ListDirectory(HANDLE handle, void* buffer, ULONG size, bool restart);

// The Windows error number of an NT status.
DWORD ErrorOf(NTSTATUS status);

// Names between the program's bytes (its ANSI code page, which the manifest makes UTF-8, as the
// command line and the console use) and the system's wide characters.
std::wstring WideName(std::string_view bytes);
std::string ByteName(std::wstring_view wide);
