#!/usr/bin/env bash
# A first run: builds the program alone (no tests, so GoogleTest is not needed), makes a small
# demo tree in a temporary folder and erases it with the defaults, every line shown.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build --log-level=WARNING
cmake --build build --target vakrun -j"$(nproc)"

demo=$(mktemp -d "${TMPDIR:-/tmp}/vakrun-demo.XXXXXX")
trap 'rm -rf -- "$demo"' EXIT
mkdir -p "$demo/old-build/src/sub"
touch "$demo/old-build/notes.txt" "$demo/old-build/src/main.o" "$demo/old-build/src/sub/util.o"
echo
echo "$ build/vakrun $demo/old-build"
build/vakrun "$demo/old-build"
