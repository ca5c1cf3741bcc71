#!/usr/bin/env bash
# Counts the instructions a vakrun build executes in user space while it erases the same tree,
# under valgrind's callgrind: a figure that the load of the machine does not change, for comparing
# two builds (hardening flags, a change in the walk) on a shared machine where wall times mean
# little. Each program erases a fresh copy of the tree once per mode and run:
#   -D (quiet) and ShowDeleted (a line per entry, to /dev/null).
#   bench/instructions.sh [--tree 4k|wide|flat|deep] [--runs N] VAKRUN [OTHER_VAKRUN ...]
set -euo pipefail
cd "$(dirname "$0")/.."

tree=4k
runs=1
programs=()
while (($#)); do
  case $1 in
  --tree) tree=$2 && shift 2 ;;
  --runs) runs=$2 && shift 2 ;;
  *) programs+=("$1") && shift ;;
  esac
done
((${#programs[@]})) || { sed -n '2,7p' "$0" && exit 2; }
command -v valgrind >/dev/null || { echo "instructions.sh: valgrind is needed" && exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/vakrun-instructions.XXXXXX")
trap 'rm -rf -- "$work"' EXIT
c++ -std=c++20 -O2 -o "$work/tree_bench" bench/tree_bench.cpp -lutil

echo "tree $tree, $runs run(s) per mode, as $(id -un); instructions in user space (callgrind Ir)"
for program in "${programs[@]}"; do
  for mode in -D ShowDeleted; do
    counts=()
    for ((run = 0; run < runs; ++run)); do
      "$work/tree_bench" --make "$tree" "$work/tree"
      options=()
      [ "$mode" = -D ] && options=(-D)
      valgrind --tool=callgrind --callgrind-out-file=/dev/null "$program" "${options[@]}" \
        "$work/tree" </dev/null >/dev/null 2>"$work/log"
      [ ! -e "$work/tree" ] || { echo "instructions.sh: $program left the tree" && exit 1; }
      counts+=("$(sed -n 's/.*Collected : *\([0-9]*\).*/\1/p' "$work/log")")
    done
    printf '%-40s %-12s %s\n' "$program" "$mode" "${counts[*]}"
  done
done
