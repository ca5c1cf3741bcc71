// Only code for Windows: record files over file handles, and the replacement of the running
// program's file by a new image.
//
// Windows refuses to open a running program for writing, but lets it be renamed. So a new image
// takes the program's place by renaming the program aside first; the image left aside cannot be
// removed while it runs and is removed at the next start.
#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/fs.h"
#include "platform/record.h"
#include "platform/record/record_handles.h"
#include "platform/win32/owned_handle.h"
#include "platform/win32/paths_win32.h"
#include "platform/win32/start_win32.h"

namespace {

// What an image renamed aside is called: the program's name and this ending, then a number.
constexpr std::string_view AsideEnding = ".old-";

HANDLE HandleOf(std::intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

// The console's handles stay open: they belong to the process, not to the record.
bool IsStandardHandle(HANDLE handle) {
  return handle == GetStdHandle(STD_INPUT_HANDLE) || handle == GetStdHandle(STD_OUTPUT_HANDLE) ||
         handle == GetStdHandle(STD_ERROR_HANDLE);
}

// Other processes may go on reading a file opened for reading only; a file opened for writing is
// the caller's alone.
DWORD SharingOf(std::uint8_t mode) {
  return mode == 0 ? FILE_SHARE_READ : 0;
}

// A record's name as the system gets it: a relative name is taken from the walk's current
// directory, which the process's own does not follow.
std::string RecordPath(std::string_view path) {
  std::string system = WithBackslashes(path);
  return system.empty() ? system : ExpandPath(system);
}

// Brings what the system holds of the file to the disk. Answers 0 or the error.
DWORD FlushToDisk(const std::string& path) {
  OwnedHandle handle = OwnFileHandle(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return handle && FlushFileBuffers(handle.get()) ? 0 : GetLastError();
}

// The directory part of a path, with its last "\".
std::string DirectoryOf(const std::string& path) {
  std::size_t cut = path.find_last_of("\\:");
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

} // namespace

std::intptr_t OpenRecordHandle(const std::string& name, HandleAccess access) {
  if (name.empty()) {
    HANDLE standard =
        GetStdHandle(access == HandleAccess::Read ? STD_INPUT_HANDLE : STD_OUTPUT_HANDLE);
    if (standard == nullptr || standard == INVALID_HANDLE_VALUE) {
      SetPendingError(ERROR_INVALID_HANDLE);
      return NoRecordHandle;
    }
    return reinterpret_cast<std::intptr_t>(standard);
  }
  DWORD rights = access == HandleAccess::Read    ? GENERIC_READ
                 : access == HandleAccess::Write ? GENERIC_WRITE
                                                 : GENERIC_READ | GENERIC_WRITE;
  DWORD disposition = access == HandleAccess::Create ? CREATE_ALWAYS : OPEN_EXISTING;
  HANDLE handle = CreateFileA(RecordPath(name).c_str(), rights, SharingOf(OpenMode), nullptr,
                              disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    SetPendingError(GetLastError());
    return NoRecordHandle;
  }
  return reinterpret_cast<std::intptr_t>(handle);
}

void CloseRecordHandle(std::intptr_t handle, bool report) {
  if (!IsStandardHandle(HandleOf(handle)) && !CloseHandle(HandleOf(handle)) && report)
    SetPendingError(GetLastError());
}

std::uint64_t ReadHandleBytes(std::intptr_t handle, void* buffer, std::uint64_t count) {
  const bool fill = GetFileType(HandleOf(handle)) == FILE_TYPE_DISK;
  std::uint64_t got = 0;
  while (got < count) {
    DWORD done = 0;
    DWORD chunk = static_cast<DWORD>(std::min<std::uint64_t>(count - got, MAXDWORD));
    if (!ReadFile(HandleOf(handle), static_cast<char*>(buffer) + got, chunk, &done, nullptr)) {
      DWORD error = GetLastError();
      if (error != ERROR_BROKEN_PIPE)
        SetPendingError(error);
      break;
    }
    if (done == 0)
      break;
    got += done;
    if (!fill)
      break;
  }
  return got;
}

std::uint64_t WriteHandleBytes(std::intptr_t handle, const void* buffer, std::uint64_t count) {
  std::uint64_t put = 0;
  while (put < count) {
    DWORD done = 0;
    DWORD chunk = static_cast<DWORD>(std::min<std::uint64_t>(count - put, MAXDWORD));
    if (!WriteFile(HandleOf(handle), static_cast<const char*>(buffer) + put, chunk, &done,
                   nullptr)) {
      SetPendingError(GetLastError());
      break;
    }
    if (done == 0) {
      SetPendingError(oserror::DiskFull);
      break;
    }
    put += done;
  }
  return put;
}

void SeekHandleByte(std::intptr_t handle, std::int64_t offset) {
  LARGE_INTEGER position;
  position.QuadPart = offset;
  if (!SetFilePointerEx(HandleOf(handle), position, nullptr, FILE_BEGIN))
    SetPendingError(GetLastError());
}

std::int64_t HandleSizeInBytes(std::intptr_t handle) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(HandleOf(handle), &size)) {
    SetPendingError(GetLastError());
    return 0;
  }
  return size.QuadPart;
}

std::string CreateFileBeside(std::string_view path) {
  if (PendingIoResult != 0)
    return {};
  std::string system = RecordPath(path);
  // Only a plain file the user may write is replaced: a link would be swapped for a copy of what
  // it leads to, and a read-only file could not be rewritten in place either.
  DWORD attributes = GetFileAttributesA(system.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    SetPendingError(GetLastError());
    return {};
  }
  if ((attributes &
       (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_READONLY)) != 0) {
    SetPendingError(oserror::AccessDenied);
    return {};
  }
  for (unsigned number = GetCurrentProcessId();; ++number) {
    std::string name = system + ".new-" + std::to_string(number);
    OwnedHandle handle = OwnFileHandle(CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr,
                                                   CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (handle)
      return name;
    DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
      SetPendingError(error);
      return {};
    }
  }
}

void ReplaceFileWith(std::string_view path, std::string_view new_image) {
  if (PendingIoResult != 0)
    return;
  std::string system = RecordPath(path);
  std::string image = RecordPath(new_image);
  DWORD attributes = GetFileAttributesA(system.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    SetPendingError(GetLastError());
    return;
  }
  // The new image reaches the disk before its name does.
  if (DWORD error = FlushToDisk(image); error != 0) {
    SetPendingError(error);
    return;
  }
  SetFileAttributesA(image.c_str(), attributes);
  // The program's name is free only once the program is renamed aside.
  std::string aside;
  for (unsigned number = GetCurrentProcessId();; ++number) {
    aside = system + std::string(AsideEnding) + std::to_string(number);
    if (MoveFileExA(system.c_str(), aside.c_str(), 0))
      break;
    DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
      SetPendingError(error);
      return;
    }
  }
  if (!MoveFileExA(image.c_str(), system.c_str(), 0)) {
    DWORD error = GetLastError();
    MoveFileExA(aside.c_str(), system.c_str(), 0); // the original name holds the original again
    SetPendingError(error);
    return;
  }
  // A running image stays until the next start; one that is not running goes now.
  DeleteFileA(aside.c_str());
}

void DiscardFile(std::string_view path) {
  ResultCode pending = PendingIoResult;
  DeleteFileA(RecordPath(path).c_str());
  PendingIoResult = pending;
}

void RemoveLeftoverImages() {
  char module[MAX_PATH * 4];
  DWORD length = GetModuleFileNameA(nullptr, module, sizeof module);
  if (length == 0 || length >= sizeof module)
    return;
  std::string program(module, length);
  std::string directory = DirectoryOf(program);
  std::string stem = program.substr(directory.size()) + std::string(AsideEnding);
  WIN32_FIND_DATAA data;
  OwnedFind search =
      OwnFind(FindFirstFileA((program + std::string(AsideEnding) + "*").c_str(), &data));
  if (!search)
    return;
  ResultCode pending = PendingIoResult;
  do {
    // Only files of the program's own naming (the system's search also matches short names).
    std::string_view name = data.cFileName;
    bool ours = name.size() > stem.size() && SameText(name.substr(0, stem.size()), stem) &&
                name.find_first_not_of("0123456789", stem.size()) == std::string_view::npos;
    if (!ours)
      continue;
    // Erased as the walk erases, so that a link of that name is never followed. One still running
    // elsewhere stays until a later start.
    PendingIoResult = 0;
    EraseFile(directory + data.cFileName);
  } while (FindNextFileA(search.get(), &data));
  PendingIoResult = pending;
}
