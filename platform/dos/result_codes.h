// DOS-style result codes of the file-system and record-file services, and the two latched
// results through which they report. The logic above the platform only compares these numbers.
#pragma once

#include <cstdint>

using ResultCode = std::uint16_t;

// Set by EraseFile, RemoveEmptyDirectory, ChangeDirectory, GetDriveDirectory and the record
// files. While it is non-zero those operations (except GetDriveDirectory) do nothing at all, so a
// caller that ignores a failure also loses the operations after it until the result is taken.
extern ResultCode PendingIoResult;

// Written by every search and attribute operation; reading it changes nothing.
extern ResultCode LastServiceResult;

// Returns PendingIoResult and resets it to 0.
ResultCode TakeIoResult();

// What a layer knows of the entry of the last SetEntryAttributes, EraseFile, RemoveEmptyDirectory
// or ChangeDirectory beyond the code that call gave, where the code alone would tell it wrong: a
// refusal is 5 whatever its cause, and an erase that is accepted answers 0 even where the name
// stays until another program lets the file go. Each of those calls sets it, None where there is
// nothing to add. Only the Windows layer has anything to add.
enum class EntryCause : std::uint8_t {
  None,
  Link,          // 5: a link the layer will not open as itself (under wine); left as it is
  InvalidName,   // 5: a name the system cannot open (under wine, a Unix name with "?" or "\")
  InUse,         // 5: another program holds the directory open and keeps it from going
  DeletePending, // 0 or 5: marked for deletion, and stays listed while another program holds it
};
extern EntryCause LastEntryCause;

// Windows error numbers the layers produce (both builds speak in these).
namespace oserror {
constexpr std::uint32_t FileNotFound = 2;
constexpr std::uint32_t PathNotFound = 3;
constexpr std::uint32_t TooManyOpenFiles = 4;
constexpr std::uint32_t AccessDenied = 5;
constexpr std::uint32_t InvalidHandle = 6;
constexpr std::uint32_t NotEnoughMemory = 8;
constexpr std::uint32_t OutOfMemory = 14;
constexpr std::uint32_t InvalidDrive = 15;
constexpr std::uint32_t CurrentDirectory = 16;
constexpr std::uint32_t NotSameDevice = 17;
constexpr std::uint32_t NoMoreFiles = 18;
constexpr std::uint32_t WriteProtect = 19;
constexpr std::uint32_t NotReady = 21;
constexpr std::uint32_t Crc = 23;
constexpr std::uint32_t ReadFault = 30;
constexpr std::uint32_t GeneralFailure = 31;
constexpr std::uint32_t SharingViolation = 32;
constexpr std::uint32_t NotSupported = 50;
constexpr std::uint32_t InvalidPassword = 86;
constexpr std::uint32_t InvalidParameter = 87;
constexpr std::uint32_t BadNetPath = 53;
constexpr std::uint32_t BrokenPipe = 109;
constexpr std::uint32_t DiskFull = 112;
constexpr std::uint32_t DirNotEmpty = 145;
constexpr std::uint32_t AlreadyExists = 183;
constexpr std::uint32_t FilenameTooLong = 206;
constexpr std::uint32_t IoDevice = 1117;
constexpr std::uint32_t FileCorrupt = 1392;
constexpr std::uint32_t DiskCorrupt = 1393;
constexpr std::uint32_t NoSystemResources = 1450;
constexpr std::uint32_t CantResolveFilename = 1921;
} // namespace oserror

// The translation for PendingIoResult: 0-18 unchanged; 19-31 (write-protected medium to general
// failure) become the device errors 150-162; a sharing violation, a directory that is not empty
// and a name that already exists all become 5 (access denied); anything else keeps its low 16 bits.
ResultCode TranslatePendingError(std::uint32_t os_error);

// The translation for directory searches: 87 becomes 13, and then "file not found" becomes 18
// ("no more entries").
ResultCode TranslateSearchError(std::uint32_t os_error);

// PendingIoResult := TranslatePendingError(os_error).
void SetPendingError(std::uint32_t os_error);
