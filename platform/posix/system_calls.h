// Only code for POSIX systems: every system call of the Linux file-system layer goes through one
// table of named entries, each holding the function it calls. The layer calls the wrappers in
// namespace sys, which call what the entry holds. The shipped table holds the system's own
// functions and nothing else; a test program may put functions of its own in their place, to
// count calls or make chosen ones fail (tests/faults). Nothing in the program touches the table.
#pragma once

#include <cstddef>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>

// Every call of the table, once: its name, the function it stands for, what it answers, its
// parameters and the arguments it passes on. The entries, their order and the wrappers are all
// made from this list, so no name can stand beside another call's slot. The layer creates
// nothing, so open and openat take no mode.
// clang-format off
#define VAKRUN_SYSTEM_CALLS(CALL)                                                                  \
  CALL(open, ::open, int, (const char* path, int flags), (path, flags))                            \
  CALL(openat, ::openat, int, (int dir_fd, const char* name, int flags), (dir_fd, name, flags))    \
  CALL(close, ::close, int, (int fd), (fd))                                                        \
  CALL(fstat, ::fstat, int, (int fd, struct stat* status), (fd, status))                           \
  CALL(fstatat, ::fstatat, int, (int dir_fd, const char* name, struct stat* status, int flags),    \
       (dir_fd, name, status, flags))                                                              \
  CALL(stat, ::stat, int, (const char* path, struct stat* status), (path, status))                 \
  CALL(statx, ::statx, int,                                                                        \
       (int dir_fd, const char* name, int flags, unsigned int mask, struct statx* status),         \
       (dir_fd, name, flags, mask, status))                                                        \
  CALL(fstatvfs, ::fstatvfs, int, (int fd, struct statvfs* volume), (fd, volume))                  \
  CALL(statvfs, ::statvfs, int, (const char* path, struct statvfs* volume), (path, volume))        \
  CALL(chmod, ::chmod, int, (const char* path, mode_t mode), (path, mode))                         \
  CALL(fchmod, ::fchmod, int, (int fd, mode_t mode), (fd, mode))                                   \
  CALL(unlinkat, ::unlinkat, int, (int dir_fd, const char* name, int flags),                       \
       (dir_fd, name, flags))                                                                      \
  CALL(fchdir, ::fchdir, int, (int fd), (fd))                                                      \
  CALL(getcwd, ::getcwd, char*, (char* buffer, std::size_t size), (buffer, size))                  \
  CALL(opendir, ::opendir, DIR*, (const char* path), (path))                                       \
  CALL(readdir, ::readdir, struct dirent*, (DIR* dir), (dir))                                      \
  CALL(closedir, ::closedir, int, (DIR* dir), (dir))                                               \
  CALL(realpath, ::realpath, char*, (const char* path, char* resolved), (path, resolved))          \
  CALL(geteuid, ::geteuid, uid_t, (), ())
// clang-format on

// The slot of each call in the table.
enum class SystemCallIndex : std::size_t {
#define VAKRUN_SLOT(NAME, FUNCTION, RESULT, PARAMETERS, ARGUMENTS) NAME,
  VAKRUN_SYSTEM_CALLS(VAKRUN_SLOT)
#undef VAKRUN_SLOT
      Count
};

// One entry of the table: the call's own name, and the function its wrapper calls, kept as any
// function and cast back to the type of the call it stands for.
struct SystemCall {
  const char* name;
  void (*function)();
};
extern SystemCall SystemCalls[static_cast<std::size_t>(SystemCallIndex::Count)];

// The wrappers: sys::open and so on, each answering as the call it stands for.
namespace sys {
#define VAKRUN_WRAPPER(NAME, FUNCTION, RESULT, PARAMETERS, ARGUMENTS) RESULT NAME PARAMETERS;
VAKRUN_SYSTEM_CALLS(VAKRUN_WRAPPER)
#undef VAKRUN_WRAPPER
} // namespace sys
