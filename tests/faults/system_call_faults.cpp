#include "system_call_faults.h"

#include <climits>
#include <cstdlib>

#include "platform/posix/system_calls.h"

namespace {

SystemCall& Named(std::string_view name) {
  for (std::size_t i = 0; i < SystemCallCount; ++i)
    if (name == SystemCalls[i].name)
      return SystemCalls[i];
  std::abort(); // a name the table lacks is a mistake of the test
}

} // namespace

void FailSystemCall(std::string_view name, unsigned long nth, int error, unsigned long times) {
  SystemCall& call = Named(name);
  call.fail_from = call.calls + nth;
  call.fail_until = times == 0 ? ULONG_MAX : call.fail_from + times - 1;
  call.error = error;
}

void ReplaceSystemCall(std::string_view name, void (*function)()) {
  Named(name).function = function;
}

void ClearSystemCallFailures() {
  for (std::size_t i = 0; i < SystemCallCount; ++i) {
    SystemCalls[i].function = SystemCalls[i].original;
    SystemCalls[i].fail_from = SystemCalls[i].fail_until = 0;
  }
}

unsigned long SystemCallsMade(std::string_view name) {
  return Named(name).calls;
}
