// Only code for POSIX systems.
#include "platform/posix/system_calls.h"

#include <cstdlib>
#include <unistd.h>

namespace {

using AnyFunction = void (*)();

// The function the entry of a call holds, as the type of the system's own.
template <typename Function> Function* Current(SystemCallIndex index, Function*) {
  return reinterpret_cast<Function*>(SystemCalls[static_cast<std::size_t>(index)].function);
}

} // namespace

SystemCall SystemCalls[] = {
#define VAKRUN_ENTRY(NAME, FUNCTION, RESULT, PARAMETERS, ARGUMENTS)                                \
  {#NAME, reinterpret_cast<AnyFunction>(&FUNCTION)},
    VAKRUN_SYSTEM_CALLS(VAKRUN_ENTRY)
#undef VAKRUN_ENTRY
};

namespace sys {

#define VAKRUN_WRAPPER(NAME, FUNCTION, RESULT, PARAMETERS, ARGUMENTS)                              \
  RESULT NAME PARAMETERS {                                                                         \
    return Current(SystemCallIndex::NAME, &FUNCTION) ARGUMENTS;                                    \
  }
VAKRUN_SYSTEM_CALLS(VAKRUN_WRAPPER)
#undef VAKRUN_WRAPPER

} // namespace sys
