// Only code for POSIX systems.
#include "platform/posix/errno_map.h"

#include <cerrno>

#include "platform/dos/result_codes.h"

std::uint32_t OsErrorFromErrno(int error) {
  using namespace oserror;
  switch (error) {
  case 0:
    return 0;
  case ENOENT:
    return FileNotFound;
  case ENOTDIR:
    return PathNotFound;
  case EMFILE:
  case ENFILE:
    return TooManyOpenFiles;
  case EACCES:
  case EPERM:
  case EISDIR: // unlinking a directory; EraseFile turns it into "file not found"
    return AccessDenied;
  case EBADF:
    return InvalidHandle;
  case ENOMEM:
    return NotEnoughMemory;
  case ENODEV:
    return InvalidDrive;
  case EXDEV:
    return NotSameDevice;
  case EROFS:
    return WriteProtect;
  case ENXIO:
  case ENOMEDIUM:
    return NotReady;
  case EIO:
    return GeneralFailure;
  case EBUSY:
  case ETXTBSY:
    return SharingViolation;
  case ENOTSUP:
    return NotSupported;
  case EINVAL:
    return InvalidParameter;
  case EPIPE:
    return BrokenPipe;
  case ENOSPC:
  case EDQUOT:
    return DiskFull;
  case ENOTEMPTY:
    return DirNotEmpty;
  case EEXIST:
    return AlreadyExists;
  case ENAMETOOLONG:
    return FilenameTooLong;
  case ELOOP: // a link where a directory was expected: never followed
    return CantResolveFilename;
  default:
    return GeneralFailure;
  }
}
