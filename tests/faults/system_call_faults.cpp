#include "system_call_faults.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <type_traits>
#include <unistd.h>

#include "platform/posix/system_calls.h"

namespace {

using AnyFunction = void (*)();

constexpr std::size_t CallCount = static_cast<std::size_t>(SystemCallIndex::Count);

// ---- What a call acts on
// -------------------------------------------------------------------------

std::string LinkTarget(const char* link) {
  char target[PATH_MAX];
  ssize_t size = readlink(link, target, sizeof target);
  return size > 0 ? std::string(target, static_cast<std::size_t>(size)) : std::string();
}

// The full path of what a descriptor holds; AT_FDCWD: the current directory.
std::string PathOfDescriptor(int fd) {
  if (fd == AT_FDCWD)
    return LinkTarget("/proc/self/cwd");
  char link[40];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  return LinkTarget(link);
}

// The full path a name given to a call stands for, relative to dir_fd; "." and ".." are taken as
// written, and a name of /proc/self/fd stands for what that descriptor holds.
std::string PathOfName(int dir_fd, const char* name) {
  std::string_view given = name;
  std::string path = given.starts_with("/proc/self/fd/") ? LinkTarget(name)
                     : given.starts_with('/')            ? std::string(given)
                                                         : PathOfDescriptor(dir_fd) + "/" + name;
  path = std::filesystem::path(path).lexically_normal().string();
  if (path.size() > 1 && path.ends_with('/'))
    path.pop_back();
  return path;
}

// What a call acts on, told by its parameters: a path, a name in a directory, a descriptor or a
// listing. getcwd acts on the current directory; geteuid on nothing.
std::string SubjectOf(const char* path, auto...) {
  return PathOfName(AT_FDCWD, path);
}
std::string SubjectOf(int dir_fd, const char* name, auto...) {
  return PathOfName(dir_fd, name);
}
std::string SubjectOf(int fd, auto...) {
  return PathOfDescriptor(fd);
}
std::string SubjectOf(DIR* dir) {
  return PathOfDescriptor(dirfd(dir));
}
std::string SubjectOf(char*, std::size_t) {
  return PathOfDescriptor(AT_FDCWD);
}
std::string SubjectOf() {
  return {};
}

// ---- The watch on each call
// ----------------------------------------------------------------------

struct Failure {
  std::string subject; // empty: every call
  int error;
  unsigned long from;  // the first call of those on the subject that fails, from 1
  unsigned long until; // the last one
  bool must_be_met = true;
  unsigned long seen = 0;
  unsigned long failed = 0;
};

// What the hook keeps of one call of the table.
struct Watch {
  AnyFunction called = nullptr; // the system's own function, or one put in its place
  std::vector<Failure> failures;
};
Watch watches[CallCount];

// The error the call is to fail with, or 0. `subject` tells what the call acts on.
template <typename Subject> int Judge(Watch& watch, Subject subject) {
  std::string acted_on;
  bool known = false;
  int error = 0;
  for (Failure& failure : watch.failures) {
    if (!failure.subject.empty()) {
      if (!known) {
        acted_on = subject();
        known = true;
      }
      if (acted_on != failure.subject)
        continue;
    }
    unsigned long number = ++failure.seen;
    if (error == 0 && number >= failure.from && number <= failure.until) {
      error = failure.error;
      ++failure.failed;
    }
  }
  return error;
}

// What a failed call answers: a null pointer, or -1.
template <typename Result> Result FailedAnswer() {
  if constexpr (std::is_pointer_v<Result>)
    return nullptr;
  else
    return static_cast<Result>(-1);
}

// close and closedir let go of what they were given even when they report a failure, as Linux
// does; every other call that fails does nothing.
constexpr bool ReleasesWhenFailing(SystemCallIndex index) {
  return index == SystemCallIndex::close || index == SystemCallIndex::closedir;
}

// The wrapper the hook puts in each entry: it makes the call fail when it is to, and otherwise
// calls the system's function or the one put in its place.
#define VAKRUN_WATCHED(NAME, FUNCTION, RESULT, PARAMETERS, ARGUMENTS)                              \
  RESULT Watched_##NAME PARAMETERS {                                                               \
    constexpr SystemCallIndex index = SystemCallIndex::NAME;                                       \
    Watch& watch = watches[static_cast<std::size_t>(index)];                                       \
    auto call = reinterpret_cast<decltype(&FUNCTION)>(watch.called);                               \
    int error = Judge(watch, [&] { return SubjectOf ARGUMENTS; });                                 \
    if (error == 0)                                                                                \
      return call ARGUMENTS;                                                                       \
    if constexpr (ReleasesWhenFailing(index))                                                      \
      call ARGUMENTS;                                                                              \
    errno = error;                                                                                 \
    return FailedAnswer<RESULT>();                                                                 \
  }
VAKRUN_SYSTEM_CALLS(VAKRUN_WATCHED)
#undef VAKRUN_WATCHED

const AnyFunction kWatched[] = {
#define VAKRUN_WATCHED_ENTRY(NAME, FUNCTION, RESULT, PARAMETERS, ARGUMENTS)                        \
  reinterpret_cast<AnyFunction>(&Watched_##NAME),
    VAKRUN_SYSTEM_CALLS(VAKRUN_WATCHED_ENTRY)
#undef VAKRUN_WATCHED_ENTRY
};

// The watch of the named call, with the hook's wrappers put in the table at the first use.
Watch& Named(std::string_view name) {
  static const bool put_in = [] {
    for (std::size_t i = 0; i < CallCount; ++i) {
      watches[i].called = SystemCalls[i].function;
      SystemCalls[i].function = kWatched[i];
    }
    return true;
  }();
  (void)put_in;
  for (std::size_t i = 0; i < CallCount; ++i)
    if (name == SystemCalls[i].name)
      return watches[i];
  std::abort(); // a name the table lacks is a mistake of the test
}

// The full path of an entry as the system gives it back, links above it resolved.
std::string RealPath(const std::string& path) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (real == nullptr)
    return path;
  std::string resolved = real;
  std::free(real);
  return resolved;
}

} // namespace

void FailSystemCall(std::string_view call, const std::string& subject, int error,
                    unsigned long times, unsigned long nth) {
  unsigned long until = times == 0 ? ULONG_MAX : nth + times - 1;
  Named(call).failures.push_back(
      {subject.empty() ? subject : RealPath(subject), error, nth, until});
}

void ForbidSystemCall(std::string_view call, int error) {
  Named(call).failures.push_back({"", error, 1, ULONG_MAX, false});
}

void ReplaceSystemCall(std::string_view call, void (*function)()) {
  Named(call).called = function;
}

std::vector<std::string> FailuresNotMet() {
  std::vector<std::string> not_met;
  for (std::size_t i = 0; i < CallCount; ++i)
    for (const Failure& failure : watches[i].failures)
      if (failure.must_be_met && failure.failed == 0)
        not_met.push_back(std::string(SystemCalls[i].name) + " " + failure.subject);
  return not_met;
}
