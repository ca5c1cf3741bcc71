// DOS-style result codes of the file-system and record-file services, the two latched results
// through which they report, and the run-time error numbers with which a failure ends the run.
// The logic above the platform compares these numbers, by the names given here.
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

// After a search step: whether it handed out an entry to look at. A step that gives 86 (an entry
// a password protects) goes on too; any other code ends the search.
bool SearchGoesOn();

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

// The DOS results the services report through the two latched results: the names the logic
// compares against. They are another kind than the system's error numbers below (oserror), which a
// body hands to the translations; the two agree only from 0 to 18.
namespace dosresult {
constexpr ResultCode Success = 0;
constexpr ResultCode FileNotFound = 2; // also: erasing a name that is a directory
constexpr ResultCode PathNotFound = 3; // also: changing to a directory that is not there
// Also: a directory that is not empty, a sharing violation, a name that exists already, a
// volume-label attribute asked for.
constexpr ResultCode AccessDenied = 5;
constexpr ResultCode InvalidData = 13;      // the system rejected a search's parameter
constexpr ResultCode CurrentDirectory = 16; // removing "."
constexpr ResultCode NoMoreEntries = 18;    // a search has nothing more to hand out
constexpr ResultCode InvalidPassword = 86;  // a DR-DOS file password missing or wrong
// A record file in the wrong state for the operation.
constexpr ResultCode NotBound = 102;
constexpr ResultCode NotOpen = 103;
constexpr ResultCode NotOpenForInput = 104;
constexpr ResultCode NotOpenForOutput = 105;
// The device errors, 150 to 162: the system's 19 (a write-protected medium) to 31 (a general
// failure), plus 131.
constexpr ResultCode WriteProtected = 150;
constexpr ResultCode DriveNotReady = 152;
constexpr ResultCode WriteFault = 160;
constexpr ResultCode ReadFault = 161;
constexpr ResultCode GeneralFailure = 162;
} // namespace dosresult

// Run-time error numbers: the exit code of a run that a failure ended, which the exit report puts
// in words. A result left pending at a write ends the run with that result's own number instead.
namespace runerror {
constexpr std::uint16_t DiskRead = 100;
constexpr std::uint16_t DiskWrite = 101;     // a report line could not be written
constexpr std::uint16_t NestedTooDeep = 202; // the walk went deeper than it may
constexpr std::uint16_t UserBreak = 255;     // Ctrl-C, Ctrl-Break, a hang-up, a kill
} // namespace runerror

// Windows error numbers the layers produce (both builds speak in these).
namespace oserror {
constexpr std::uint32_t Success = 0;
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

// Whether a system error number is a device error: a write-protected medium (19) to a general
// failure (31).
bool IsDeviceError(std::uint32_t os_error);
// The DOS result of a device error: 150 to 162.
ResultCode DeviceResultOf(std::uint32_t os_error);

// The translation for PendingIoResult: 0-18 unchanged; 19-31 (write-protected medium to general
// failure) become the device errors 150-162; a sharing violation, a directory that is not empty
// and a name that already exists all become 5 (access denied); anything else keeps its low 16 bits.
ResultCode TranslatePendingError(std::uint32_t os_error);

// The translation for directory searches: 87 becomes 13, and then "file not found" becomes 18
// ("no more entries").
ResultCode TranslateSearchError(std::uint32_t os_error);

// PendingIoResult := TranslatePendingError(os_error).
void SetPendingError(std::uint32_t os_error);
