// Only code for Windows: record files over file handles, and the replacement of the running
// program's file by a new image.
//
// Windows refuses to open a running program for writing, but lets it be renamed. So a new image
// takes the program's place by renaming the program aside first; the image left aside cannot be
// removed while it runs and is removed at the next start.
#include <windows.h>

#include <string>

#include "platform/fs.h"
#include "platform/record.h"
#include "platform/win32/paths_win32.h"
#include "platform/win32/start_win32.h"

std::uint8_t OpenMode = 2;

namespace {

constexpr ResultCode NotBound = 102;
constexpr ResultCode NotOpen = 103;
constexpr ResultCode NotOpenForInput = 104;
constexpr ResultCode NotOpenForOutput = 105;

// What an image renamed aside is called: the program's name and this ending, then a number.
constexpr std::string_view AsideEnding = ".old-";

HANDLE HandleOf(const RecordFile& file) {
  return reinterpret_cast<HANDLE>(file.Handle);
}

bool IsOpen(const RecordFile& file) {
  return file.State == RecordState::Input || file.State == RecordState::Output ||
         file.State == RecordState::InputOutput;
}

// The console's handles stay open: they belong to the process, not to the record.
bool IsStandardHandle(HANDLE handle) {
  return handle == GetStdHandle(STD_INPUT_HANDLE) || handle == GetStdHandle(STD_OUTPUT_HANDLE) ||
         handle == GetStdHandle(STD_ERROR_HANDLE);
}

void ReleaseHandle(RecordFile& file) {
  if (!IsStandardHandle(HandleOf(file)))
    CloseHandle(HandleOf(file));
  file.Handle = NoRecordHandle;
  file.State = RecordState::Closed;
}

// Other processes may go on reading a file opened for reading only; a file opened for writing is
// the caller's alone.
DWORD SharingOf(std::uint8_t mode) {
  return mode == 0 ? FILE_SHARE_READ : 0;
}

void OpenRecordFile(RecordFile& file, std::uint32_t record_size, DWORD access, DWORD disposition,
                    RecordState state) {
  if (PendingIoResult != 0)
    return;
  if (IsOpen(file))
    ReleaseHandle(file);
  if (file.State == RecordState::Unbound) {
    PendingIoResult = NotBound;
    return;
  }
  if (record_size == 0) {
    PendingIoResult = oserror::FileNotFound;
    return;
  }
  HANDLE handle;
  if (file.Name.empty()) {
    handle = GetStdHandle(state == RecordState::Input ? STD_INPUT_HANDLE : STD_OUTPUT_HANDLE);
  } else {
    handle = CreateFileA(SystemPath(file.Name).c_str(), access, SharingOf(OpenMode), nullptr,
                         disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      SetPendingError(GetLastError());
      return;
    }
  }
  file.Handle = reinterpret_cast<std::intptr_t>(handle);
  file.RecordSize = record_size;
  file.State = state;
}

// The directory part of a path, with its last "\".
std::string DirectoryOf(const std::string& path) {
  std::size_t cut = path.find_last_of("\\:");
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

} // namespace

void BindFileName(RecordFile& file, std::string_view name) {
  file = RecordFile{};
  file.Name = name;
  file.State = RecordState::Closed;
}

void OpenExistingFile(RecordFile& file, std::uint32_t record_size) {
  switch (OpenMode) {
  case 0:
    OpenRecordFile(file, record_size, GENERIC_READ, OPEN_EXISTING, RecordState::Input);
    break;
  case 1:
    OpenRecordFile(file, record_size, GENERIC_WRITE, OPEN_EXISTING, RecordState::Output);
    break;
  default:
    OpenRecordFile(file, record_size, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING,
                   RecordState::InputOutput);
    break;
  }
}

void CreateNewFile(RecordFile& file, std::uint32_t record_size) {
  OpenRecordFile(file, record_size, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS,
                 RecordState::InputOutput);
}

std::uint16_t ReadRecords(RecordFile& file, void* buffer, std::uint16_t count) {
  if (PendingIoResult != 0)
    return 0;
  if (file.State == RecordState::Output) {
    PendingIoResult = NotOpenForInput;
    return 0;
  }
  if (file.State != RecordState::Input && file.State != RecordState::InputOutput) {
    PendingIoResult = NotOpen;
    return 0;
  }
  const DWORD wanted = DWORD{count} * file.RecordSize;
  // A file on disk gives all it has; a pipe or the console gives what is there.
  const bool fill = GetFileType(HandleOf(file)) == FILE_TYPE_DISK;
  DWORD got = 0;
  while (got < wanted) {
    DWORD done = 0;
    if (!ReadFile(HandleOf(file), static_cast<char*>(buffer) + got, wanted - got, &done, nullptr)) {
      // A broken pipe is the end of the data.
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
  return static_cast<std::uint16_t>(got / file.RecordSize);
}

std::uint16_t WriteRecords(RecordFile& file, const void* buffer, std::uint16_t count) {
  if (PendingIoResult != 0)
    return 0;
  if (file.State == RecordState::Input) {
    PendingIoResult = NotOpenForOutput;
    return 0;
  }
  if (file.State != RecordState::Output && file.State != RecordState::InputOutput) {
    PendingIoResult = NotOpen;
    return 0;
  }
  const DWORD wanted = DWORD{count} * file.RecordSize;
  DWORD put = 0;
  while (put < wanted) {
    DWORD done = 0;
    if (!WriteFile(HandleOf(file), static_cast<const char*>(buffer) + put, wanted - put, &done,
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
  return static_cast<std::uint16_t>(put / file.RecordSize);
}

void SeekRecord(RecordFile& file, std::int64_t n) {
  if (PendingIoResult != 0)
    return;
  if (!IsOpen(file)) {
    PendingIoResult = NotOpen;
    return;
  }
  LARGE_INTEGER position;
  position.QuadPart = n * file.RecordSize;
  if (!SetFilePointerEx(HandleOf(file), position, nullptr, FILE_BEGIN))
    SetPendingError(GetLastError());
}

std::int64_t FileSizeInRecords(RecordFile& file) {
  if (PendingIoResult != 0)
    return 0;
  if (!IsOpen(file)) {
    PendingIoResult = NotOpen;
    return 0;
  }
  LARGE_INTEGER size;
  if (!GetFileSizeEx(HandleOf(file), &size)) {
    SetPendingError(GetLastError());
    return 0;
  }
  return size.QuadPart / file.RecordSize;
}

void CloseRecordFile(RecordFile& file) {
  if (PendingIoResult != 0)
    return;
  if (!IsOpen(file)) {
    PendingIoResult = NotOpen;
    return;
  }
  HANDLE handle = HandleOf(file);
  file.Handle = NoRecordHandle;
  file.State = RecordState::Closed;
  if (!IsStandardHandle(handle) && !CloseHandle(handle))
    SetPendingError(GetLastError());
}

std::string CreateFileBeside(std::string_view path) {
  if (PendingIoResult != 0)
    return {};
  std::string system = SystemPath(path);
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
    HANDLE handle = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      CloseHandle(handle);
      return name;
    }
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
  std::string system = SystemPath(path);
  std::string image = SystemPath(new_image);
  DWORD attributes = GetFileAttributesA(system.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    SetPendingError(GetLastError());
    return;
  }
  // The new image reaches the disk before its name does.
  HANDLE handle = CreateFileA(image.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE || !FlushFileBuffers(handle)) {
    SetPendingError(GetLastError());
    if (handle != INVALID_HANDLE_VALUE)
      CloseHandle(handle);
    return;
  }
  CloseHandle(handle);
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
  DeleteFileA(SystemPath(path).c_str());
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
  HANDLE search = FindFirstFileA((program + std::string(AsideEnding) + "*").c_str(), &data);
  if (search == INVALID_HANDLE_VALUE)
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
  } while (FindNextFileA(search, &data));
  FindClose(search);
  PendingIoResult = pending;
}
