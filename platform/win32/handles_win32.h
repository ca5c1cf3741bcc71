// Only code for Windows: the native file calls of ntdll that the file-system services make, and
// the small helpers around them. Every entry is opened relative to a directory handle, so no path
// is ever limited in length and every name means exactly what the directory lists. Every call of
// ntdll that changes a file goes through here.
#pragma once

#include <windows.h>
#include <winternl.h>
// After windows.h: the NT status values by their own names.
#include <ntstatus.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dos/result_codes.h"
#include "platform/win32/owned_handle.h"

// The file's number on its volume.
using FileId = std::int64_t;

// What an opened handle says of the file it holds.
struct HandleFacts {
  DWORD attributes = 0;
  DWORD reparse_tag = 0;
  FileId id = 0;
};

// Opens `name` relative to `root` (or a full NT path when root is null; an empty name opens
// root itself again), sharing it with every other user unless `share` says less. `options` adds
// FILE_OPEN_REPARSE_POINT (a link at the end of the name is opened itself, never followed),
// FILE_DIRECTORY_FILE and the like. Answers the NT status; the handle is empty on failure.
constexpr ULONG ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
NTSTATUS OpenRelative(HANDLE root, std::wstring_view name, ACCESS_MASK access, ULONG options,
                      OwnedHandle& handle, ULONG share = ShareAll);

// Reads the attributes, reparse tag and file number through the handle.
NTSTATUS ReadFacts(HANDLE handle, HandleFacts& facts);
// The number of names the file has.
ULONG LinkCount(HANDLE handle);

// The full name of what the handle holds, as the system resolves it: under wine the real place
// of the file, after any Unix symbolic link; on Windows the name it was opened by.
std::wstring ObjectName(HANDLE handle);

// Names compared as the file system compares them: character by character, letter case folded
// by simple upper-casing, never by a language's rules (which take "ß" for "ss", pass over a soft
// hyphen and join a letter with its combining accent).
bool SameName(std::wstring_view a, std::wstring_view b);

// True when `opened` (the object name of an entry) is `directory` (the object name of the
// directory it was opened in) followed by `name`: the entry stands where the name does and is
// not reached through a link. Letter case does not count, nor dots and blanks at the end of a
// component, which wine leaves out of some of the names it reports.
bool StandsIn(std::wstring_view opened, std::wstring_view directory, std::wstring_view name);

// True under wine, which follows every Unix symbolic link when it opens a name, whatever the
// options say, and shows a link to a file as a plain file. Only there must an opened entry be
// checked by name; Windows opens a reparse point itself and says what it is.
bool LinksAreFollowed();

// True when a Windows name cannot hold the character: a control character, or one of
// " * / : < > ? \ |. Under wine a Unix name may hold them.
bool IsForbiddenInNames(wchar_t c);
bool HoldsForbiddenCharacter(std::wstring_view name);

// One entry of a directory as its listing gives it.
struct DirectoryEntry {
  std::wstring name;       // the long name
  std::wstring short_name; // the 8.3 name, empty when the long name is one
  DWORD attributes = 0;
  FileId id = 0;
};

// Looks `name` up in the directory by its long or its 8.3 short name, as the system matches a
// name it opens; listed through a handle of its own, so that a listing of the directory in
// progress is not disturbed. Answers 0 or the NT status (STATUS_NO_SUCH_FILE when no entry bears
// the name).
NTSTATUS FindEntry(HANDLE directory, std::wstring_view name, DirectoryEntry& found);

// What a refusal to open the entry `name` says beyond its code: a file marked for deletion that
// another program still holds (it is going already), or a name the system cannot take, where
// the name holds a character that no Windows name may. None for every other refusal.
EntryCause CauseOfRefusal(NTSTATUS status, std::wstring_view name);

// How an entry of a directory is named for opening: by the name its directory listed, with the
// 8.3 name and the file number that listing gave, or by a name typed or built, with neither.
struct NamedEntry {
  std::wstring name;
  std::wstring short_name; // empty when unknown, or the long name is one
  FileId id = 0;           // the file the name held when it was listed or left; 0 when unknown
};

// Opens the entry: `open` is called with its name, and again with its 8.3 name when its own
// holds a character that the system cannot take in a name (under wine, a Unix name may) and
// the listing gave one. Answers the last status; `opened_by` is the name that was used.
template <typename Open>
NTSTATUS OpenNamed(const NamedEntry& named, Open open, std::wstring& opened_by) {
  opened_by = named.name;
  NTSTATUS status = open(named.name);
  if (CauseOfRefusal(status, named.name) == EntryCause::InvalidName && !named.short_name.empty() &&
      !HoldsForbiddenCharacter(named.short_name)) {
    opened_by = named.short_name;
    status = open(named.short_name);
  }
  return status;
}

// Under wine, which follows every link: true when what a handle holds (the file `id`, whose object
// name is `object_name`) stands in the directory (`directory`, whose object name is
// `directory_name`) under `name`, or under the long name of which `name` is the 8.3 short name.
// The caller reads the object name once and may ask again with the directory's name read afresh.
bool StandsAsNamed(std::wstring_view object_name, FileId id, HANDLE directory,
                   std::wstring_view directory_name, std::wstring_view name);

// True while the directory still holds the file `id` under `name` (any file there when the
// system gives no file numbers): a file marked for deletion stays until the last program that
// holds it open lets it go, where the system offers no POSIX deletion. Asked by opening the name
// again, which fails at once when the name has gone, the common case.
bool StillThere(HANDLE directory, std::wstring_view name, FileId id);

// Sets the attribute word through the handle (times unchanged).
NTSTATUS WriteAttributes(HANDLE handle, DWORD attributes);

// Marks the file or directory for deletion through the handle. With `extended`, the POSIX
// semantics (the name goes at once, even while others hold the file open) and "ignore the
// read-only attribute"; a system that does not offer them answers a status that
// ExtendedUnsupported recognises.
NTSTATUS MarkForDeletion(HANDLE handle, bool extended);
bool ExtendedUnsupported(NTSTATUS status);
// Asks, without deleting anything, whether the system offers the extended deletion: sets only
// the flag "ignore the read-only attribute" on the handle.
bool OffersExtendedDeletion(HANDLE handle);

// Lists the next entries of the directory through the handle, appending them to `entries`; the
// first call of a listing restarts it, and only that one takes a `mask` (none: every entry).
// STATUS_NO_MORE_FILES ends the listing.
NTSTATUS ListDirectory(HANDLE handle, std::vector<DirectoryEntry>& entries, bool restart,
                       std::wstring_view mask = {});

// The Windows error number of an NT status.
DWORD ErrorOf(NTSTATUS status);

// Names between the program's bytes (its ANSI code page, which the manifest makes UTF-8, as the
// command line and the console use) and the system's wide characters.
std::wstring WideName(std::string_view bytes);
std::string ByteName(std::wstring_view wide);
