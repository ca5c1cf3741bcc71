// File-system services in DOS terms: drive letters with a current directory per drive, DOS
// attribute bits, wildcard searches and DOS-style result codes (platform/dos/result_codes.h).
// Paths are full strings and are never cut.
//
// What a body may remember or put off between calls, and nothing else:
// - The walk's position: the current directory and the directories above it are held (open
//   handles or descriptors), so a step up with ".." returns to the directory the walk came from,
//   whatever the name ".." leads to by then.
// - A search lists its directory when it starts: FindNextEntry hands out the entries listed then
//   (one erased since may still be handed out, and an operation on it answers "not found").
// - What the last search step in the current directory said of the entry it returned, and which
//   directory the last step up left: until the position changes, a step into that name and a
//   change or removal of the directory left act only on that very entry, and answer "not found"
//   or "access denied" where the name now holds another.
// - What it learned of the current directory (its file system, whether that is read-only) holds
//   until the position changes.
// - A directory the walk entered whose owner made it read-only may be made writable for the
//   erase or removal of what it holds; its mode is given back when the walk leaves it.
// - A SetEntryAttributes that clears read-only, hidden and system may be put off until the
//   EraseFile or RemoveEmptyDirectory of that name that follows, and is made when that does not
//   erase the entry, at the latest at the next change of directory or the next attribute, erase
//   or removal call that names another entry. For a file the last search step listed, a process
//   that may change every mode may instead erase the file at once (such a process is refused a
//   change only where the erase would be refused too), and the EraseFile that follows answers 0.
//   A put-off change answers 0 at once; either way GetEntryAttributes then answers the
//   attributes as changed, or "not found" once the file is erased.
// - The entry an attribute operation opened may stay open for the calls on the same name that
//   follow while the position stays; GetEntryAttributes may answer from it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/dos/result_codes.h"

// DOS attribute bits.
constexpr std::uint16_t ReadOnlyAttribute = 0x01;
constexpr std::uint16_t HiddenAttribute = 0x02;
constexpr std::uint16_t SystemAttribute = 0x04;
constexpr std::uint16_t VolumeLabelAttribute = 0x08;
constexpr std::uint16_t DirectoryAttribute = 0x10;
constexpr std::uint16_t ArchiveAttribute = 0x20;
// A symbolic link, junction or other reparse point. Such an entry never carries the directory bit
// in a search, so the walk removes it as an entry and never enters it.
constexpr std::uint32_t ReparsePointAttribute = 0x400;

// The search masks the walk uses. Read-only and archive never keep an entry out; hidden, system,
// volume label and directory let in only entries whose bits of those four are all in the mask.
// Every file, whatever its read-only, hidden, system or archive bits; never a directory (0x27).
constexpr std::uint16_t FileSearchMask =
    ReadOnlyAttribute | HiddenAttribute | SystemAttribute | ArchiveAttribute;
// Files and directories alike, hidden and system ones included (0x17).
constexpr std::uint16_t SubdirSearchMask =
    ReadOnlyAttribute | HiddenAttribute | SystemAttribute | DirectoryAttribute;
// Every entry: all six bits (0x3F).
constexpr std::uint16_t EveryEntryMask = ReadOnlyAttribute | HiddenAttribute | SystemAttribute |
                                         VolumeLabelAttribute | DirectoryAttribute |
                                         ArchiveAttribute;

// What a search has listed of its directory, as each body keeps it. It belongs to its
// SearchEntry: it goes when the search ends, when another search starts in the entry, or with
// the entry itself, so a search the caller leaves part-way holds nothing after it.
struct SearchListing;
struct ReleaseSearchListing {
  void operator()(SearchListing* listing) const; // defined by each body
};

// One directory search in progress. The caller owns it and reads Name and Attributes; the rest
// belongs to the layer and must not be changed between calls.
struct SearchEntry {
  std::string Name;
  std::uint32_t Attributes = 0;
  // Private to the layer.
  std::string Pattern;
  bool TakesEveryName = false; // the pattern is "*.*"
  std::uint16_t ExcludeMask = 0;
  std::unique_ptr<SearchListing, ReleaseSearchListing> Listing; // none once the search ended
  bool AtDriveRoot = false;
  int DotsListed = 0;
};

// Report through LastServiceResult (search translation). An entry with hidden, system, volume
// label or directory set is returned only when each of those bits it has is in the mask.
void FindFirstEntry(std::string_view pattern, std::uint16_t mask, SearchEntry& entry);
void FindNextEntry(SearchEntry& entry);

// Report through LastServiceResult, with the system's error number untranslated.
std::uint16_t GetEntryAttributes(std::string_view path);
void SetEntryAttributes(std::string_view path, std::uint16_t attributes);

// Report through PendingIoResult and do nothing while it is non-zero.
//
// Where a body says more of the entry through LastEntryCause (platform/dos/result_codes.h), these,
// SetEntryAttributes and a step into a subdirectory answer 5 for the refusal it names (a link, a
// name the system cannot open, a directory in use), so that the walk goes on; an entry marked for
// deletion that another program still holds answers 0, the erase or removal having been made.
void EraseFile(std::string_view path);
void RemoveEmptyDirectory(std::string_view path);
void ChangeDirectory(std::string_view path);

// True when a step up from the current directory lands in a directory the layer holds, reached
// from its drive's root without any link; false at a drive's root, or where the path above was
// broken by a link. The climb of ParentDelete asks before each step and ends where it is false.
bool ParentIsHeld();

// 0 = the current drive, 1 = A:, 2 = B:, ... Always runs; a failure sets PendingIoResult and
// answers the drive letter followed by ":\". Drive 0 fails while the current directory the run
// started in cannot be read (it was removed, say), until the run changes directory.
std::string GetDriveDirectory(std::uint8_t drive);

// The full form of a path: drive letter, colon and root backslash (or a network root), "." and
// ".." resolved, letter case kept but for the drive letter. Never fails and leaves
// PendingIoResult as it found it.
std::string ExpandPath(std::string_view path);

// Sets up the drives and the current directory. Answers an empty string, or the text of a
// problem that must end the run (a malformed drive table).
std::string StartFileSystem();
