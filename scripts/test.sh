#!/usr/bin/env bash
# Installs what the build and the tests need (Debian packages), builds Vakrun for Linux and, with
# mingw-w64, for Windows, and runs every test; the Windows program's run under wine. The tests
# also make both packages (build/packages/: the .deb and the Windows zip, each with its .sha256)
# and check them. Then the Linux tests run again in a build under AddressSanitizer (with leak
# checking) and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake make g++ libgtest-dev clang libclang-rt-14-dev g++-mingw-w64-x86-64 wine wine64 tmux
  dpkg-dev file lintian groff-base unzip zsh fish)
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
# The sanitizer build: every Linux test but wine's and the packages'. -O1 with line tables only
# compiles in about half the time of -O2 -g, and a report still names every line.
cmake -S . -B build-san -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" \
  -DVAKRUN_SANITIZE=ON -DVAKRUN_TESTS=ON
cmake --build build-san -j"$jobs"
# Each fuzz target for a bounded time, after the kept crash inputs are replayed.
bash fuzz/run.sh 20
status=0
ctest --test-dir build --output-on-failure -j"$jobs" || status=1

# A report of either sanitizer ends the process that met it with a failure, and is also written
# to a file here, so that none passes unseen, not even one in a child whose output a test drops
# or in a run as another user (hence the open folder).
reports=$PWD/build-san/sanitizer-reports
rm -rf "$reports" && mkdir -m 1777 "$reports"
export ASAN_OPTIONS=detect_leaks=1:log_path=$reports/asan
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:log_path=$reports/ubsan
ctest --test-dir build-san --output-on-failure -j"$jobs" || status=1
if compgen -G "$reports/*" >/dev/null; then
  echo "Sanitizer reports:"
  head -n 60 "$reports"/*
  status=1
fi
exit $status
