// Only code for Windows: the native file calls of ntdll (mingw-w64 links them from libntdll).
#include "platform/win32/handles_win32.h"

extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE handle, HANDLE event, PVOID apc_routine,
                                               PVOID apc_context, PIO_STATUS_BLOCK io, PVOID buffer,
                                               ULONG length,
                                               FILE_INFORMATION_CLASS information_class,
                                               BOOLEAN single_entry, PUNICODE_STRING mask,
                                               BOOLEAN restart_scan);

namespace {

// The extended deletion of Windows 10 (1709 on; the read-only flag from 1809 on): its class is
// missing from the user-mode headers, its flags (FILE_DISPOSITION_FLAG_*) and record
// (FILE_DISPOSITION_INFO_EX) are in winbase.h.
constexpr auto FileDispositionInformationEx = static_cast<FILE_INFORMATION_CLASS>(64);

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

UNICODE_STRING Counted(std::wstring_view text) {
  UNICODE_STRING counted;
  counted.Buffer = const_cast<PWSTR>(text.data());
  counted.Length = counted.MaximumLength = static_cast<USHORT>(text.size() * sizeof(wchar_t));
  return counted;
}

NTSTATUS SetInformation(HANDLE handle, void* information, ULONG size,
                        FILE_INFORMATION_CLASS information_class) {
  IO_STATUS_BLOCK io;
  return NtSetInformationFile(handle, &io, information, size, information_class);
}

} // namespace

NTSTATUS OpenRelative(HANDLE root, std::wstring_view name, ACCESS_MASK access, ULONG options,
                      OwnedHandle& handle, ULONG share) {
  UNICODE_STRING text = Counted(name);
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, root, nullptr);
  IO_STATUS_BLOCK io;
  HANDLE opened = nullptr;
  NTSTATUS status =
      NtOpenFile(&opened, access | SYNCHRONIZE, &attributes, &io, share,
                 options | FILE_OPEN_FOR_BACKUP_INTENT | FILE_SYNCHRONOUS_IO_NONALERT);
  handle.reset(status < 0 ? nullptr : opened);
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
  return STATUS_SUCCESS;
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

bool SameName(std::wstring_view a, std::wstring_view b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

bool StandsIn(std::wstring_view opened, std::wstring_view directory, std::wstring_view name) {
  std::wstring expected(directory);
  if (expected.empty())
    return false;
  if (expected.back() != L'\\')
    expected += L'\\';
  expected += name;
  return SameName(WithoutTrailers(opened), WithoutTrailers(expected));
}

bool LinksAreFollowed() {
  static const bool under_wine =
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  return under_wine;
}

bool IsForbiddenInNames(wchar_t c) {
  return c < 32 || std::wstring_view(L"\"*/:<>?\\|").find(c) != std::wstring_view::npos;
}

bool HoldsForbiddenCharacter(std::wstring_view name) {
  for (wchar_t c : name)
    if (IsForbiddenInNames(c))
      return true;
  return false;
}

NTSTATUS FindEntry(HANDLE directory, std::wstring_view name, DirectoryEntry& found) {
  OwnedHandle listing;
  NTSTATUS status = OpenRelative(directory, L"", FILE_LIST_DIRECTORY, FILE_DIRECTORY_FILE, listing);
  if (status < 0)
    return status;
  std::vector<DirectoryEntry> entries;
  for (bool first = true;; first = false) {
    entries.clear();
    status = ListDirectory(listing.get(), entries, first, name);
    if (status < 0 || status == STATUS_NO_MORE_FILES)
      return status == STATUS_NO_MORE_FILES ? STATUS_NO_SUCH_FILE : status;
    for (DirectoryEntry& entry : entries) {
      if (SameName(entry.name, name) || SameName(entry.short_name, name)) {
        found = std::move(entry);
        return STATUS_SUCCESS;
      }
    }
  }
}

EntryCause CauseOfRefusal(NTSTATUS status, std::wstring_view name) {
  if (status == STATUS_DELETE_PENDING)
    return EntryCause::DeletePending;
  bool name_refused = status == STATUS_OBJECT_NAME_INVALID ||
                      status == STATUS_OBJECT_PATH_NOT_FOUND ||
                      status == STATUS_OBJECT_PATH_SYNTAX_BAD;
  return name_refused && HoldsForbiddenCharacter(name) ? EntryCause::InvalidName : EntryCause::None;
}

bool StandsAsNamed(std::wstring_view object_name, FileId id, HANDLE directory,
                   std::wstring_view directory_name, std::wstring_view name) {
  if (StandsIn(object_name, directory_name, name))
    return true;
  DirectoryEntry entry;
  return FindEntry(directory, name, entry) == STATUS_SUCCESS && entry.id == id &&
         StandsIn(object_name, directory_name, entry.name);
}

bool StillThere(HANDLE directory, std::wstring_view name, FileId id) {
  OwnedHandle handle;
  NTSTATUS status =
      OpenRelative(directory, name, FILE_READ_ATTRIBUTES, FILE_OPEN_REPARSE_POINT, handle);
  if (status == STATUS_DELETE_PENDING)
    return true;
  HandleFacts facts;
  if (status < 0 || ReadFacts(handle.get(), facts) < 0)
    return false;
  // Another file made under the name meanwhile is not the one that was erased.
  return id == 0 || facts.id == id;
}

NTSTATUS WriteAttributes(HANDLE handle, DWORD attributes) {
  Basic basic = {};
  // 0 would mean "leave them as they are".
  basic.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
  return SetInformation(handle, &basic, sizeof basic, FileBasicInformation);
}

NTSTATUS MarkForDeletion(HANDLE handle, bool extended) {
  if (extended) {
    FILE_DISPOSITION_INFO_EX disposition = {FILE_DISPOSITION_FLAG_DELETE |
                                            FILE_DISPOSITION_FLAG_POSIX_SEMANTICS |
                                            FILE_DISPOSITION_FLAG_IGNORE_READONLY_ATTRIBUTE};
    return SetInformation(handle, &disposition, sizeof disposition, FileDispositionInformationEx);
  }
  FILE_DISPOSITION_INFO disposition = {TRUE};
  return SetInformation(handle, &disposition, sizeof disposition, FileDispositionInformation);
}

bool ExtendedUnsupported(NTSTATUS status) {
  return status == STATUS_NOT_IMPLEMENTED || status == STATUS_INVALID_INFO_CLASS ||
         status == STATUS_INVALID_PARAMETER || status == STATUS_NOT_SUPPORTED;
}

bool OffersExtendedDeletion(HANDLE handle) {
  FILE_DISPOSITION_INFO_EX flags = {FILE_DISPOSITION_FLAG_IGNORE_READONLY_ATTRIBUTE};
  return SetInformation(handle, &flags, sizeof flags, FileDispositionInformationEx) >= 0;
}

NTSTATUS ListDirectory(HANDLE handle, std::vector<DirectoryEntry>& entries, bool restart,
                       std::wstring_view mask) {
  static std::vector<LONGLONG> buffer(64 * 1024 / sizeof(LONGLONG));
  UNICODE_STRING counted = Counted(mask);
  IO_STATUS_BLOCK io;
  NTSTATUS status = NtQueryDirectoryFile(handle, nullptr, nullptr, nullptr, &io, buffer.data(),
                                         static_cast<ULONG>(buffer.size() * sizeof(LONGLONG)),
                                         FileIdBothDirectoryInformation, FALSE,
                                         mask.empty() ? nullptr : &counted, restart);
  // A mask that matches nothing ends the listing as its end does.
  if (status == STATUS_NO_SUCH_FILE)
    return STATUS_NO_MORE_FILES;
  if (status < 0 || status == STATUS_NO_MORE_FILES)
    return status;
  const char* at = reinterpret_cast<const char*>(buffer.data());
  for (;;) {
    const FILE_ID_BOTH_DIR_INFORMATION* item =
        reinterpret_cast<const FILE_ID_BOTH_DIR_INFORMATION*>(at);
    DirectoryEntry entry;
    entry.name.assign(item->FileName, item->FileNameLength / sizeof(wchar_t));
    entry.short_name.assign(item->ShortName, item->ShortNameLength / sizeof(wchar_t));
    entry.attributes = item->FileAttributes;
    entry.id = item->FileId.QuadPart;
    entries.push_back(std::move(entry));
    if (item->NextEntryOffset == 0)
      return status;
    at += item->NextEntryOffset;
  }
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
