#include "platform/dos/result_codes.h"

ResultCode PendingIoResult = 0;
ResultCode LastServiceResult = 0;
EntryCause LastEntryCause = EntryCause::None;

ResultCode TakeIoResult() {
  ResultCode taken = PendingIoResult;
  PendingIoResult = 0;
  return taken;
}

bool SearchGoesOn() {
  return LastServiceResult == dosresult::Success || LastServiceResult == dosresult::InvalidPassword;
}

bool IsDeviceError(std::uint32_t os_error) {
  return os_error >= oserror::WriteProtect && os_error <= oserror::GeneralFailure;
}

ResultCode DeviceResultOf(std::uint32_t os_error) {
  return static_cast<ResultCode>(os_error - oserror::WriteProtect + dosresult::WriteProtected);
}

ResultCode TranslatePendingError(std::uint32_t os_error) {
  if (os_error <= oserror::NoMoreFiles)
    return static_cast<ResultCode>(os_error);
  if (IsDeviceError(os_error))
    return DeviceResultOf(os_error);
  if (os_error == oserror::SharingViolation || os_error == oserror::DirNotEmpty ||
      os_error == oserror::AlreadyExists)
    return dosresult::AccessDenied;
  return static_cast<ResultCode>(os_error & 0xFFFF);
}

ResultCode TranslateSearchError(std::uint32_t os_error) {
  std::uint32_t code = os_error == oserror::InvalidParameter ? dosresult::InvalidData : os_error;
  if (code == oserror::FileNotFound)
    code = dosresult::NoMoreEntries;
  return static_cast<ResultCode>(code & 0xFFFF);
}

void SetPendingError(std::uint32_t os_error) {
  PendingIoResult = TranslatePendingError(os_error);
}
