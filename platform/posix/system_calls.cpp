// Only code for POSIX systems.
#include "platform/posix/system_calls.h"

#include <cerrno>
#include <cstdlib>
#include <unistd.h>

namespace {

using AnyFunction = void (*)();

template <typename F> constexpr SystemCall Entry(const char* name, F* function) {
  AnyFunction any = reinterpret_cast<AnyFunction>(function);
  return {name, any, any};
}

// The order of the table.
enum Index : std::size_t {
  Open,
  Openat,
  Close,
  Fstat,
  Fstatat,
  Stat,
  Statx,
  Fstatvfs,
  Statvfs,
  Chmod,
  Fchmod,
  Unlinkat,
  Fchdir,
  Getcwd,
  Opendir,
  Readdir,
  Closedir,
  Realpath,
  Geteuid,
  Fopen,
  EntryCount
};

// Counts the call, and answers true when it is to fail; errno then holds the error.
bool Fails(Index index) {
  SystemCall& call = SystemCalls[index];
  unsigned long number = ++call.calls;
  if (call.fail_from == 0 || number < call.fail_from || number > call.fail_until)
    return false;
  errno = call.error;
  return true;
}

template <typename F> F* Function(Index index, F*) {
  return reinterpret_cast<F*>(SystemCalls[index].function);
}

} // namespace

SystemCall SystemCalls[] = {
    Entry("open", &::open),       Entry("openat", &::openat),     Entry("close", &::close),
    Entry("fstat", &::fstat),     Entry("fstatat", &::fstatat),   Entry("stat", &::stat),
    Entry("statx", &::statx),     Entry("fstatvfs", &::fstatvfs), Entry("statvfs", &::statvfs),
    Entry("chmod", &::chmod),     Entry("fchmod", &::fchmod),     Entry("unlinkat", &::unlinkat),
    Entry("fchdir", &::fchdir),   Entry("getcwd", &::getcwd),     Entry("opendir", &::opendir),
    Entry("readdir", &::readdir), Entry("closedir", &::closedir), Entry("realpath", &::realpath),
    Entry("geteuid", &::geteuid), Entry("fopen", &std::fopen),
};
const std::size_t SystemCallCount = sizeof SystemCalls / sizeof SystemCalls[0];
static_assert(sizeof SystemCalls / sizeof SystemCalls[0] == EntryCount);

namespace sys {

int open(const char* path, int flags) {
  return Fails(Open) ? -1 : Function(Open, &::open)(path, flags);
}
int openat(int dir_fd, const char* name, int flags) {
  return Fails(Openat) ? -1 : Function(Openat, &::openat)(dir_fd, name, flags);
}
int close(int fd) {
  // A failing close still closes the descriptor, as Linux does.
  if (Fails(Close)) {
    int error = errno;
    Function(Close, &::close)(fd);
    errno = error;
    return -1;
  }
  return Function(Close, &::close)(fd);
}
int fstat(int fd, struct stat* status) {
  return Fails(Fstat) ? -1 : Function(Fstat, &::fstat)(fd, status);
}
int fstatat(int dir_fd, const char* name, struct stat* status, int flags) {
  return Fails(Fstatat) ? -1 : Function(Fstatat, &::fstatat)(dir_fd, name, status, flags);
}
int stat(const char* path, struct stat* status) {
  return Fails(Stat) ? -1 : Function(Stat, &::stat)(path, status);
}
int statx(int dir_fd, const char* name, int flags, unsigned int mask, struct statx* status) {
  return Fails(Statx) ? -1 : Function(Statx, &::statx)(dir_fd, name, flags, mask, status);
}
int fstatvfs(int fd, struct statvfs* volume) {
  return Fails(Fstatvfs) ? -1 : Function(Fstatvfs, &::fstatvfs)(fd, volume);
}
int statvfs(const char* path, struct statvfs* volume) {
  return Fails(Statvfs) ? -1 : Function(Statvfs, &::statvfs)(path, volume);
}
int chmod(const char* path, mode_t mode) {
  return Fails(Chmod) ? -1 : Function(Chmod, &::chmod)(path, mode);
}
int fchmod(int fd, mode_t mode) {
  return Fails(Fchmod) ? -1 : Function(Fchmod, &::fchmod)(fd, mode);
}
int unlinkat(int dir_fd, const char* name, int flags) {
  return Fails(Unlinkat) ? -1 : Function(Unlinkat, &::unlinkat)(dir_fd, name, flags);
}
int fchdir(int fd) {
  return Fails(Fchdir) ? -1 : Function(Fchdir, &::fchdir)(fd);
}
char* getcwd(char* buffer, std::size_t size) {
  return Fails(Getcwd) ? nullptr : Function(Getcwd, &::getcwd)(buffer, size);
}
DIR* opendir(const char* path) {
  return Fails(Opendir) ? nullptr : Function(Opendir, &::opendir)(path);
}
struct dirent* readdir(DIR* dir) {
  return Fails(Readdir) ? nullptr : Function(Readdir, &::readdir)(dir);
}
int closedir(DIR* dir) {
  // As close: the listing is closed all the same.
  if (Fails(Closedir)) {
    int error = errno;
    Function(Closedir, &::closedir)(dir);
    errno = error;
    return -1;
  }
  return Function(Closedir, &::closedir)(dir);
}
char* realpath(const char* path, char* resolved) {
  return Fails(Realpath) ? nullptr : Function(Realpath, &::realpath)(path, resolved);
}
uid_t geteuid() {
  // It never fails; a test may put another function in its place.
  Fails(Geteuid);
  return Function(Geteuid, &::geteuid)();
}
std::FILE* fopen(const char* path, const char* mode) {
  return Fails(Fopen) ? nullptr : Function(Fopen, &std::fopen)(path, mode);
}

} // namespace sys
