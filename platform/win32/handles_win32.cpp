// Only code for Windows: the native file calls of ntdll (mingw-w64 links them from libntdll).
#include "platform/win32/handles_win32.h"

#include <vector>

extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE handle, HANDLE event, PVOID apc_routine,
                                               PVOID apc_context, PIO_STATUS_BLOCK io, PVOID buffer,
                                               ULONG length,
                                               FILE_INFORMATION_CLASS information_class,
                                               BOOLEAN single_entry, PUNICODE_STRING mask,
                                               BOOLEAN restart_scan);

namespace {

// Not in every header set: the extended deletion of Windows 10 (1709 on, the read-only flag from
// 1809 on).
constexpr auto FileDispositionInformationExClass = static_cast<FILE_INFORMATION_CLASS>(64);
constexpr ULONG DispositionDelete = 0x1;
constexpr ULONG DispositionPosixSemantics = 0x2;
constexpr ULONG DispositionIgnoreReadOnly = 0x10;

struct DispositionEx {
  ULONG Flags;
};

struct Basic {
  LARGE_INTEGER CreationTime;
  LARGE_INTEGER LastAccessTime;
  LARGE_INTEGER LastWriteTime;
  LARGE_INTEGER ChangeTime;
  ULONG FileAttributes;
};

bool IsTrailer(wchar_t c) {
  return c == L'.' || c == L' ';
}

// Every component without the dots and blanks at its end.
std::wstring WithoutTrailers(std::wstring_view text) {
  std::wstring result;
  result.reserve(text.size());
  for (wchar_t c : text) {
    if (c == L'\\')
      while (!result.empty() && IsTrailer(result.back()))
        result.pop_back();
    result += c;
  }
  while (!result.empty() && IsTrailer(result.back()))
    result.pop_back();
  return result;
}

bool SameIgnoringCase(std::wstring_view a, std::wstring_view b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

} // namespace

NTSTATUS OpenRelative(HANDLE root, std::wstring_view name, ACCESS_MASK access, ULONG options,
                      HANDLE& handle) {
  UNICODE_STRING text;
  text.Buffer = const_cast<PWSTR>(name.data());
  text.Length = text.MaximumLength = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, root, nullptr);
  IO_STATUS_BLOCK io;
  handle = nullptr;
  NTSTATUS status =
      NtOpenFile(&handle, access | SYNCHRONIZE, &attributes, &io,
                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                 options | FILE_OPEN_FOR_BACKUP_INTENT | FILE_SYNCHRONOUS_IO_NONALERT);
  if (status < 0)
    handle = nullptr;
  return status;
}

NTSTATUS ReadFacts(HANDLE handle, HandleFacts& facts) {
  IO_STATUS_BLOCK io;
  FILE_ATTRIBUTE_TAG_INFORMATION tag;
  NTSTATUS status =
      NtQueryInformationFile(handle, &io, &tag, sizeof tag, FileAttributeTagInformation);
  if (status < 0)
    return status;
  facts.attributes = tag.FileAttributes;
  facts.reparse_tag = tag.ReparseTag;
  LARGE_INTEGER id;
  status = NtQueryInformationFile(handle, &io, &id, sizeof id, FileInternalInformation);
  if (status < 0)
    return status;
  facts.id = id.QuadPart;
  return 0;
}

ULONG LinkCount(HANDLE handle) {
  IO_STATUS_BLOCK io;
  FILE_STANDARD_INFORMATION standard;
  if (NtQueryInformationFile(handle, &io, &standard, sizeof standard, FileStandardInformation) < 0)
    return 1;
  return standard.NumberOfLinks;
}

std::wstring ObjectName(HANDLE handle) {
  std::vector<char> buffer(1024);
  for (;;) {
    ULONG needed = 0;
    NTSTATUS status = NtQueryObject(handle, ObjectNameInformation, buffer.data(),
                                    static_cast<ULONG>(buffer.size()), &needed);
    if (status >= 0) {
      const UNICODE_STRING* name = reinterpret_cast<const UNICODE_STRING*>(buffer.data());
      return std::wstring(name->Buffer, name->Length / sizeof(wchar_t));
    }
    if (needed <= buffer.size() || buffer.size() > 200'000)
      return {};
    buffer.resize(needed + 64);
  }
}

bool StandsIn(std::wstring_view opened, std::wstring_view directory, std::wstring_view name) {
  std::wstring expected(directory);
  if (expected.empty())
    return false;
  if (expected.back() != L'\\')
    expected += L'\\';
  expected += name;
  std::wstring a = WithoutTrailers(opened), b = WithoutTrailers(expected);
  return SameIgnoringCase(a, b);
}

bool LinksAreFollowed() {
  static const bool under_wine =
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  return under_wine;
}

NTSTATUS WriteAttributes(HANDLE handle, DWORD attributes) {
  Basic basic = {};
  // 0 would mean "leave them as they are".
  basic.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
  IO_STATUS_BLOCK io;
  return NtSetInformationFile(handle, &io, &basic, sizeof basic, FileBasicInformation);
}

NTSTATUS MarkForDeletion(HANDLE handle, bool extended) {
  IO_STATUS_BLOCK io;
  if (extended) {
    DispositionEx disposition = {DispositionDelete | DispositionPosixSemantics |
                                 DispositionIgnoreReadOnly};
    return NtSetInformationFile(handle, &io, &disposition, sizeof disposition,
                                FileDispositionInformationExClass);
  }
  BOOLEAN del = TRUE;
  return NtSetInformationFile(handle, &io, &del, sizeof del, FileDispositionInformation);
}

bool ExtendedUnsupported(NTSTATUS status) {
  constexpr NTSTATUS NotImplemented = static_cast<NTSTATUS>(0xC0000002);
  constexpr NTSTATUS InvalidInfoClass = static_cast<NTSTATUS>(0xC0000003);
  constexpr NTSTATUS InvalidParameter = static_cast<NTSTATUS>(0xC000000D);
  constexpr NTSTATUS NotSupported = static_cast<NTSTATUS>(0xC00000BB);
  return status == NotImplemented || status == InvalidInfoClass || status == InvalidParameter ||
         status == NotSupported;
}

NTSTATUS ListDirectory(HANDLE handle, void* buffer, ULONG size, bool restart) {
  IO_STATUS_BLOCK io;
  return NtQueryDirectoryFile(handle, nullptr, nullptr, nullptr, &io, buffer, size,
                              FileIdBothDirectoryInformation, FALSE, nullptr, restart);
}

DWORD ErrorOf(NTSTATUS status) {
  return RtlNtStatusToDosError(status);
}

std::wstring WideName(std::string_view bytes) {
  if (bytes.empty())
    return {};
  int length =
      MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), length);
  return wide;
}

std::string ByteName(std::wstring_view wide) {
  if (wide.empty())
    return {};
  int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                   0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(), length,
                      nullptr, nullptr);
  return bytes;
}
