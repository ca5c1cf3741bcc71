// Only code for POSIX systems: every system call of the Linux file-system layer goes through one
// table of named entries, each holding the function it calls. The layer calls the wrappers in
// namespace sys, which answer exactly as the calls they stand for. A test program may make a
// chosen call of an entry fail, or put another function in its place (tests/faults); nothing in
// the program itself touches the table.
#pragma once

#include <cstddef>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>

// One entry of the table.
struct SystemCall {
  const char* name;   // the system call's own name
  void (*function)(); // what the wrapper calls, cast back to the call's own type
  void (*original)();
  unsigned long calls = 0; // made so far
  // Calls numbered fail_from to fail_until (both included, 0: none) fail with error and do
  // nothing: they answer -1 or a null pointer and set errno.
  unsigned long fail_from = 0;
  unsigned long fail_until = 0;
  int error = 0;
};

extern SystemCall SystemCalls[];
extern const std::size_t SystemCallCount;

// The layer creates nothing, so open and openat take no mode.
namespace sys {
int open(const char* path, int flags);
int openat(int dir_fd, const char* name, int flags);
int close(int fd);
int fstat(int fd, struct stat* status);
int fstatat(int dir_fd, const char* name, struct stat* status, int flags);
int stat(const char* path, struct stat* status);
int statx(int dir_fd, const char* name, int flags, unsigned int mask, struct statx* status);
int fstatvfs(int fd, struct statvfs* volume);
int statvfs(const char* path, struct statvfs* volume);
int chmod(const char* path, mode_t mode);
int fchmod(int fd, mode_t mode);
int unlinkat(int dir_fd, const char* name, int flags);
int fchdir(int fd);
char* getcwd(char* buffer, std::size_t size);
DIR* opendir(const char* path);
struct dirent* readdir(DIR* dir);
int closedir(DIR* dir);
char* realpath(const char* path, char* resolved);
uid_t geteuid();
// The files of /proc that tell the process's own powers.
std::FILE* fopen(const char* path, const char* mode);
} // namespace sys
