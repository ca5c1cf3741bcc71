// Record files on every system: the states a file goes through and the result an
// operation in the wrong state gives. The system's handles are platform/record/record_handles.h.
#include "platform/record.h"

#include "platform/record/record_handles.h"

std::uint8_t OpenMode = 2;

namespace {

bool IsOpen(const RecordFile& file) {
  return file.State == RecordState::Input || file.State == RecordState::Output ||
         file.State == RecordState::InputOutput;
}

void OpenRecordFile(RecordFile& file, std::uint32_t record_size, HandleAccess access,
                    RecordState state) {
  if (PendingIoResult != 0)
    return;
  // Reopening an open file closes it first; a failure of that close is not this call's.
  if (IsOpen(file)) {
    CloseRecordHandle(file.Handle, false);
    file.Handle = NoRecordHandle;
    file.State = RecordState::Closed;
  }
  if (file.State == RecordState::Unbound) {
    PendingIoResult = dosresult::NotBound;
    return;
  }
  if (record_size == 0) {
    PendingIoResult = dosresult::FileNotFound;
    return;
  }
  std::intptr_t handle = OpenRecordHandle(file.Name, access);
  if (handle == NoRecordHandle)
    return;
  file.Handle = handle;
  file.RecordSize = record_size;
  file.State = state;
}

// Whether the file is open, for any use; the code of the refusal is set when not.
bool ReadyForAny(const RecordFile& file) {
  if (PendingIoResult != 0)
    return false;
  if (!IsOpen(file)) {
    PendingIoResult = dosresult::NotOpen;
    return false;
  }
  return true;
}

// Whether the file may be read (or written): a file open the other way only gives 104 (or 105).
bool ReadyFor(const RecordFile& file, bool output) {
  if (PendingIoResult == 0 && file.State == (output ? RecordState::Input : RecordState::Output)) {
    PendingIoResult = output ? dosresult::NotOpenForOutput : dosresult::NotOpenForInput;
    return false;
  }
  return ReadyForAny(file);
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
    OpenRecordFile(file, record_size, HandleAccess::Read, RecordState::Input);
    break;
  case 1:
    OpenRecordFile(file, record_size, HandleAccess::Write, RecordState::Output);
    break;
  default:
    OpenRecordFile(file, record_size, HandleAccess::ReadWrite, RecordState::InputOutput);
    break;
  }
}

void CreateNewFile(RecordFile& file, std::uint32_t record_size) {
  OpenRecordFile(file, record_size, HandleAccess::Create, RecordState::InputOutput);
}

std::uint16_t ReadRecords(RecordFile& file, void* buffer, std::uint16_t count) {
  if (!ReadyFor(file, false))
    return 0;
  std::uint64_t got = ReadHandleBytes(file.Handle, buffer, std::uint64_t{count} * file.RecordSize);
  return static_cast<std::uint16_t>(got / file.RecordSize);
}

std::uint16_t WriteRecords(RecordFile& file, const void* buffer, std::uint16_t count) {
  if (!ReadyFor(file, true))
    return 0;
  std::uint64_t put = WriteHandleBytes(file.Handle, buffer, std::uint64_t{count} * file.RecordSize);
  return static_cast<std::uint16_t>(put / file.RecordSize);
}

void SeekRecord(RecordFile& file, std::int64_t n) {
  if (ReadyForAny(file))
    SeekHandleByte(file.Handle, n * file.RecordSize);
}

std::int64_t FileSizeInRecords(RecordFile& file) {
  if (!ReadyForAny(file))
    return 0;
  std::int64_t bytes = HandleSizeInBytes(file.Handle);
  return PendingIoResult != 0 ? 0 : bytes / file.RecordSize;
}

void CloseRecordFile(RecordFile& file) {
  if (!ReadyForAny(file))
    return;
  std::intptr_t handle = file.Handle;
  file.Handle = NoRecordHandle;
  file.State = RecordState::Closed;
  CloseRecordHandle(handle, true);
}
