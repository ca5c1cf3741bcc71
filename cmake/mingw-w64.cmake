# Cross-builds the Windows x86-64 console program with Debian's mingw-w64 compilers:
#   cmake -S . -B build-win --toolchain cmake/mingw-w64.cmake && cmake --build build-win
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VAKRUN_MINGW_PREFIX x86_64-w64-mingw32)
# The posix thread model, which GoogleTest needs (std::mutex); linked statically below.
find_program(CMAKE_C_COMPILER NAMES ${VAKRUN_MINGW_PREFIX}-gcc-posix ${VAKRUN_MINGW_PREFIX}-gcc
             REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${VAKRUN_MINGW_PREFIX}-g++-posix ${VAKRUN_MINGW_PREFIX}-g++
             REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${VAKRUN_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VAKRUN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Linked statically: the program needs no DLL beyond the system's own.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

