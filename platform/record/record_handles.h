// The system's side of record files: handles opened, moved through, read, written and closed.
// platform/record/record.cpp keeps the states and their result codes (102 to 105) for both systems;
// platform/posix/record_posix.cpp and platform/win32/record_win32.cpp hold these bodies. Each
// reports a failure through PendingIoResult.
#pragma once

#include <cstdint>
#include <string>

enum class HandleAccess : std::uint8_t { Read, Write, ReadWrite, Create };

// Opens the named file for the access asked (Create makes it, or cuts it to length 0, for
// reading and writing). An empty name stands for standard input (Read) or standard output. The
// handle, or NoRecordHandle with the error pending.
std::intptr_t OpenRecordHandle(const std::string& name, HandleAccess access);
// Closes a handle of OpenRecordHandle; the console's own handles stay open. `report`: whether a
// failure is made pending.
void CloseRecordHandle(std::intptr_t handle, bool report);
// Move up to `count` bytes; they answer how many moved. A read from a file on disk takes all the
// file has; from a pipe or a terminal, what is there. A broken pipe is the end of the data.
std::uint64_t ReadHandleBytes(std::intptr_t handle, void* buffer, std::uint64_t count);
std::uint64_t WriteHandleBytes(std::intptr_t handle, const void* buffer, std::uint64_t count);
void SeekHandleByte(std::intptr_t handle, std::int64_t offset);
std::int64_t HandleSizeInBytes(std::intptr_t handle);
