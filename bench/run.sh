#!/usr/bin/env bash
# Builds vakrun for speed (Release, stripped) and the bench tool, then erases the bench trees
# side by side with rm. Slow (several minutes): run by hand, never from the test command.
#   bench/run.sh [--rounds N] [--trees wide,flat,4k,node,deep] [--modes quiet,file,pipe,pty]
#                [--dir DIR] [--seed N]
#   bench/run.sh --user nobody ...                   as root: the trees are made by that user and
#                                                    both programs run as it, through setpriv
#   bench/run.sh --baseline OLD ...                  an older vakrun (a stripped Release build)
#                                                    erases a third tree in the same rounds
#   bench/run.sh --wine [--rounds N] [--trees ...]   vakrun.exe under wine, against rm -rf and
#                                                    wine's own rd /s /q
#   bench/run.sh --wine --baseline OLD.exe ...       and an older vakrun.exe on the same trees
# The wine server requests per file and per directory, with the time of 10,000 empty files against
# rm -rf: bench/wine_requests.sh [--rounds N] [--exe VAKRUN.EXE].
set -euo pipefail
cd "$(dirname "$0")/.."

build=build-bench
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" --target vakrun -j"$(nproc)" >/dev/null
# The copy that is measured: stripped, as a package installs it.
strip -o "$build/vakrun-stripped" "$build/vakrun"
c++ -std=c++20 -O2 -Wall -Wextra -o "$build/tree_bench" bench/tree_bench.cpp -lutil

echo "vakrun $(git describe --always --dirty 2>/dev/null || echo '?'), rm: $(rm --version | head -1)"
echo "$(nproc) cores, $(uname -sr), trees on $(df -T "${TMPDIR:-/tmp}" | awk 'NR==2 {print $2}')"
if [ "${1:-}" != --wine ]; then
  exec "$build/tree_bench" --vakrun "$build/vakrun-stripped" "$@"
fi
shift

# The Windows build, in a wine prefix of its own; one wineserver serves every run, as it does for
# a person who runs several programs in a session.
win=build-bench-win
cmake -S . -B "$win" --toolchain cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DBUILD_TESTING=OFF >/dev/null
cmake --build "$win" --target vakrun -j"$(nproc)" >/dev/null
export WINEPREFIX="$PWD/$win/wineprefix" WINEDEBUG=-all
[ -d "$WINEPREFIX" ] || wineboot -i >/dev/null 2>&1 || true
wineserver -p 2>/dev/null || true # after wineboot its server is already up
trap 'wineserver -k 2>/dev/null || true' EXIT
echo "$(wine --version)"
"$build/tree_bench" --vakrun "$build/vakrun-stripped" --wine "$win/vakrun.exe" "$@"
