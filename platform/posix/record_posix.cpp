// Only code for POSIX systems: record files over file descriptors, and the replacement of a file
// by a new image through a rename.
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/dos/path_text.h"
#include "platform/posix/descriptors.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/paths.h"
#include "platform/record.h"
#include "platform/record/record_handles.h"

namespace {

// Record files are no part of the file-system layer: their calls go to the system directly.
using RecordFd = Descriptor<::close>;

void SetPendingErrno() {
  SetPendingError(OsErrorFromErrno(errno));
}

// Linux says ENOENT for a missing file and for a missing directory on the way; DOS tells them
// apart (2 and 3), by whether the directory that should hold the name is there.
void SetPendingNameError(const std::string& linux_name) {
  int error = errno;
  if (error == ENOENT) {
    std::string directory = linux_name.substr(0, linux_name.rfind('/') + 1);
    struct stat info;
    if (!directory.empty() && (::stat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))) {
      SetPendingError(oserror::PathNotFound);
      return;
    }
  }
  SetPendingError(OsErrorFromErrno(error));
}

// The Linux path of a DOS name; false with the error pending when it has none. Names reach the
// system with "/" turned into "\" as on DOS.
bool LinuxNameOf(std::string_view dos_name, std::string& linux_name) {
  // The program's own file and the copy made beside it go by their real path.
  if (LinuxPathOfUnixForm(dos_name, linux_name))
    return true;
  std::uint32_t error = LinuxPathOf(WithBackslashes(dos_name), linux_name);
  if (error != 0) {
    SetPendingError(error);
    return false;
  }
  return true;
}

// The console's handles stay open: they belong to the process, not to the record.
bool IsStandardHandle(std::intptr_t handle) {
  return handle >= 0 && handle <= 2;
}

// Gives the new image the owner and the mode of the file it replaces, and brings it to the disk
// before its name does, so that a crash leaves the old file or the new one whole. Answers 0 or
// the errno of the failure.
int SettleImage(const std::string& linux_image, const struct stat& info) {
  RecordFd fd(::open(linux_image.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!fd.is_open())
    return errno;
  // The owner first: a change of owner clears the set-user and set-group bits. Only root may give
  // a file away; others may still keep its group when they belong to it.
  if (::fchown(fd.get(), info.st_uid, info.st_gid) != 0 &&
      ::fchown(fd.get(), static_cast<uid_t>(-1), info.st_gid) != 0) {
    // Neither: the new image keeps the user as its owner, and the user's group.
  }
  if (::fchmod(fd.get(), info.st_mode & 07777) != 0 || ::fsync(fd.get()) != 0)
    return errno;
  return 0;
}

bool IsRegularFile(int fd) {
  struct stat info;
  return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace

// Linux has no sharing modes, so the exclusive use that OpenMode 1 and 2 ask for is not enforced.
std::intptr_t OpenRecordHandle(const std::string& name, HandleAccess access) {
  if (name.empty())
    return access == HandleAccess::Read ? STDIN_FILENO : STDOUT_FILENO;
  std::string linux_name;
  if (!LinuxNameOf(name, linux_name))
    return NoRecordHandle;
  int flags = access == HandleAccess::Read     ? O_RDONLY
              : access == HandleAccess::Write  ? O_WRONLY
              : access == HandleAccess::Create ? O_RDWR | O_CREAT | O_TRUNC
                                               : O_RDWR;
  RecordFd fd;
  do
    fd.reset(::open(linux_name.c_str(), flags | O_CLOEXEC, 0666));
  while (!fd.is_open() && errno == EINTR);
  if (!fd.is_open()) {
    SetPendingNameError(linux_name);
    return NoRecordHandle;
  }
  // A directory is no record file: the system refuses to open one as a file.
  struct stat info;
  if (::fstat(fd.get(), &info) == 0 && S_ISDIR(info.st_mode)) {
    SetPendingError(oserror::AccessDenied);
    return NoRecordHandle;
  }
  return fd.release();
}

void CloseRecordHandle(std::intptr_t handle, bool report) {
  // The descriptor is gone even when close reports a failure (EINTR included).
  if (!IsStandardHandle(handle) && ::close(static_cast<int>(handle)) != 0 && errno != EINTR &&
      report)
    SetPendingErrno();
}

std::uint64_t ReadHandleBytes(std::intptr_t handle, void* buffer, std::uint64_t count) {
  const int fd = static_cast<int>(handle);
  const bool fill = IsRegularFile(fd);
  std::uint64_t got = 0;
  while (got < count) {
    ssize_t n = ::read(fd, static_cast<char*>(buffer) + got, count - got);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0) {
      if (OsErrorFromErrno(errno) != oserror::BrokenPipe)
        SetPendingErrno();
      break;
    }
    if (n == 0)
      break;
    got += static_cast<std::uint64_t>(n);
    if (!fill)
      break;
  }
  return got;
}

std::uint64_t WriteHandleBytes(std::intptr_t handle, const void* buffer, std::uint64_t count) {
  const int fd = static_cast<int>(handle);
  std::uint64_t put = 0;
  while (put < count) {
    ssize_t n = ::write(fd, static_cast<const char*>(buffer) + put, count - put);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0) {
      SetPendingErrno();
      break;
    }
    if (n == 0) {
      SetPendingError(oserror::DiskFull);
      break;
    }
    put += static_cast<std::uint64_t>(n);
  }
  return put;
}

void SeekHandleByte(std::intptr_t handle, std::int64_t offset) {
  if (::lseek(static_cast<int>(handle), static_cast<off_t>(offset), SEEK_SET) < 0)
    SetPendingErrno();
}

std::int64_t HandleSizeInBytes(std::intptr_t handle) {
  struct stat info;
  if (::fstat(static_cast<int>(handle), &info) != 0) {
    SetPendingErrno();
    return 0;
  }
  return static_cast<std::int64_t>(info.st_size);
}

std::string CreateFileBeside(std::string_view path) {
  if (PendingIoResult != 0)
    return {};
  std::string linux_path;
  if (!LinuxNameOf(path, linux_path))
    return {};
  // Only a plain file is replaced: a link would be swapped for a copy of its target.
  struct stat info;
  if (::lstat(linux_path.c_str(), &info) != 0) {
    SetPendingNameError(linux_path);
    return {};
  }
  if (!S_ISREG(info.st_mode)) {
    SetPendingError(oserror::AccessDenied);
    return {};
  }
  // A rename only needs the directory's permission; the file itself must be one the user could
  // rewrite in place. A running executable answers ETXTBSY, which is what the rename gets round.
  if (::faccessat(AT_FDCWD, linux_path.c_str(), W_OK, AT_EACCESS) != 0 && errno != ETXTBSY) {
    SetPendingErrno();
    return {};
  }
  std::string::size_type slash = linux_path.rfind('/');
  std::string directory = linux_path.substr(0, slash + 1);
  // The name tells where the file came from, kept short enough for any file system.
  std::string stem = linux_path.substr(slash + 1, 200);
  std::string model = directory + stem + ".new.XXXXXX";
  // Only its name is handed on.
  RecordFd made(::mkostemp(model.data(), O_CLOEXEC));
  if (!made.is_open()) {
    SetPendingErrno();
    return {};
  }
  std::string unused;
  return LinuxPathOfUnixForm(path, unused) ? UnixFormOf(model) : DosPathOf(model);
}

void ReplaceFileWith(std::string_view path, std::string_view new_image) {
  if (PendingIoResult != 0)
    return;
  std::string linux_path, linux_image;
  if (!LinuxNameOf(path, linux_path) || !LinuxNameOf(new_image, linux_image))
    return;
  struct stat info;
  if (::lstat(linux_path.c_str(), &info) != 0) {
    SetPendingErrno();
    return;
  }
  if (int error = SettleImage(linux_image, info); error != 0) {
    SetPendingError(OsErrorFromErrno(error));
    return;
  }
  if (::rename(linux_image.c_str(), linux_path.c_str()) != 0) {
    SetPendingErrno();
    return;
  }
  std::string directory = linux_path.substr(0, linux_path.rfind('/') + 1);
  RecordFd dir_fd(
      ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir_fd.is_open())
    (void)::fsync(dir_fd.get());
}

void DiscardFile(std::string_view path) {
  ResultCode pending = PendingIoResult;
  PendingIoResult = 0;
  std::string linux_path;
  if (LinuxNameOf(path, linux_path))
    ::unlink(linux_path.c_str());
  PendingIoResult = pending;
}
