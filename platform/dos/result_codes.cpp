#include "platform/dos/result_codes.h"

ResultCode PendingIoResult = 0;
ResultCode LastServiceResult = 0;
EntryCause LastEntryCause = EntryCause::None;

ResultCode TakeIoResult() {
  ResultCode taken = PendingIoResult;
  PendingIoResult = 0;
  return taken;
}

ResultCode TranslatePendingError(std::uint32_t os_error) {
  if (os_error <= 18)
    return static_cast<ResultCode>(os_error);
  if (os_error <= 31)
    return static_cast<ResultCode>(os_error + 131);
  if (os_error == oserror::SharingViolation || os_error == oserror::DirNotEmpty ||
      os_error == oserror::AlreadyExists)
    return 5;
  return static_cast<ResultCode>(os_error & 0xFFFF);
}

ResultCode TranslateSearchError(std::uint32_t os_error) {
  std::uint32_t code = os_error == oserror::InvalidParameter ? 13 : os_error;
  if (code == oserror::FileNotFound)
    code = oserror::NoMoreFiles;
  return static_cast<ResultCode>(code & 0xFFFF);
}

void SetPendingError(std::uint32_t os_error) {
  PendingIoResult = TranslatePendingError(os_error);
}
