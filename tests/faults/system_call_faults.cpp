#include "system_call_faults.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <type_traits>
#include <unistd.h>

#include "platform/posix/system_calls.h"

namespace {

using AnyFunction = void (*)();

constexpr std::size_t CallCount = static_cast<std::size_t>(SystemCallIndex::Count);

// What the hook keeps of one call of the table.
struct Watch {
  AnyFunction called = nullptr; // the system's own function, or one put in its place
  unsigned long calls = 0;      // made since the hook was put in
  // Calls numbered fail_from to fail_until (both included, 0: none) fail with error.
  unsigned long fail_from = 0;
  unsigned long fail_until = 0;
  int error = 0;
};
Watch watches[CallCount];

// Counts the call; answers the error it is to fail with, or 0.
int CountAndJudge(Watch& watch) {
  unsigned long number = ++watch.calls;
  if (watch.fail_from == 0 || number < watch.fail_from || number > watch.fail_until)
    return 0;
  return watch.error;
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

// The wrapper the hook puts in each entry: it counts the call and makes it fail when it is to.
#define VAKRUN_WATCHED(NAME, FUNCTION, RESULT, PARAMETERS, ARGUMENTS)                              \
  RESULT Watched_##NAME PARAMETERS {                                                               \
    constexpr SystemCallIndex index = SystemCallIndex::NAME;                                       \
    Watch& watch = watches[static_cast<std::size_t>(index)];                                       \
    auto call = reinterpret_cast<decltype(&FUNCTION)>(watch.called);                               \
    int error = CountAndJudge(watch);                                                              \
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

} // namespace

void FailSystemCall(std::string_view name, unsigned long nth, int error, unsigned long times) {
  Watch& watch = Named(name);
  watch.fail_from = watch.calls + nth;
  watch.fail_until = times == 0 ? ULONG_MAX : watch.fail_from + times - 1;
  watch.error = error;
}

void ReplaceSystemCall(std::string_view name, void (*function)()) {
  Named(name).called = function;
}
