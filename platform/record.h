// Record files: a file handled as a run of fixed-size records, named by a DOS path. The settings
// store reads and rewrites the program's own executable through these, with 1-byte records so
// that every count and position is in bytes.
//
// Every operation but BindFileName reports through PendingIoResult (platform/dos/result_codes.h)
// and does nothing while it is non-zero. Besides the system's codes:
//   102  the file was never bound to a name
//   103  the file is not open
//   104  reading from a file open for output only
//   105  writing to a file open for input only
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/dos/result_codes.h"

enum class RecordState : std::uint8_t { Unbound, Closed, Input, Output, InputOutput };

struct RecordFile {
  std::string Name;
  RecordState State = RecordState::Unbound;
  std::uint32_t RecordSize = 0;
  // The system's handle; NoRecordHandle while closed.
  std::intptr_t Handle = -1;
};

constexpr std::intptr_t NoRecordHandle = -1;

// The access OpenExistingFile asks for: 0 read only, 1 write only, 2 read and write. 2 at start;
// the caller sets it before opening. With 1 or 2 the file is meant for the caller's use alone
// where the system can lock it.
extern std::uint8_t OpenMode;

// Forgets any earlier state (nothing is closed) and leaves the file closed, bound to the name.
void BindFileName(RecordFile& file, std::string_view name);

// Opens the named file, which must exist, with the access OpenMode selects. An open file is closed
// first. A record size of 0 gives 2; an empty name stands for standard input (OpenMode 0) or
// standard output.
void OpenExistingFile(RecordFile& file, std::uint32_t record_size);
// As OpenExistingFile, but the file is created, or cut to length 0, and open for reading and
// writing whatever OpenMode says.
void CreateNewFile(RecordFile& file, std::uint32_t record_size);

// Answer the number of whole records moved. A read that meets the end of the file is short and
// no error.
std::uint16_t ReadRecords(RecordFile& file, void* buffer, std::uint16_t count);
std::uint16_t WriteRecords(RecordFile& file, const void* buffer, std::uint16_t count);

// Moves to record n (from 0).
void SeekRecord(RecordFile& file, std::int64_t n);
// The size in whole records; the position does not change.
std::int64_t FileSizeInRecords(RecordFile& file);
// A handle that refers to the console is left open.
void CloseRecordFile(RecordFile& file);

// Replacing a file that cannot be rewritten where it stands (a running executable). The new image
// is built in a file beside the old one, then put in its place in one step, so that the file is
// never seen half-written.

// Creates an empty file with a fresh name in the directory of `path` and answers its DOS path.
// Reports through PendingIoResult: 5 when `path` is not a plain file that the user may write
// (rewriting it in place would fail the same way), or the system's refusal of a new file there.
std::string CreateFileBeside(std::string_view path);
// Puts `new_image` in the place of `path` in one step, with the access rights of `path` (and its
// owner, where the user may give it). Reports through PendingIoResult; on a failure `path` is as
// it was and `new_image` still exists.
void ReplaceFileWith(std::string_view path, std::string_view new_image);
// Removes a file made by CreateFileBeside that is not wanted. Runs whatever PendingIoResult holds
// and leaves it as it is: a cleanup has nobody to report to.
void DiscardFile(std::string_view path);
