// Only code for POSIX systems. The Windows error number each errno stands for, so that both
// builds translate the same numbers into the same result codes.
#pragma once

#include <cstdint>

std::uint32_t OsErrorFromErrno(int error);
