#!/usr/bin/env bash
# Installs what the build and the tests need (Debian packages), builds Vakrun for Linux and, with
# mingw-w64, for Windows, and runs every test; the Windows program's run under wine.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake make g++ libgtest-dev clang libclang-rt-14-dev g++-mingw-w64-x86-64 wine wine64 tmux)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi

jobs=$(nproc)
cmake -S . -B build-win --toolchain cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVAKRUN_TESTS=ON
cmake --build build-win -j"$jobs"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVAKRUN_TESTS=ON \
  -DVAKRUN_WINDOWS_EXE="$PWD/build-win/vakrun.exe"
cmake --build build -j"$jobs"
# Each fuzz target for a bounded time, after the kept crash inputs are replayed.
bash fuzz/run.sh 20
ctest --test-dir build --output-on-failure -j"$jobs"
