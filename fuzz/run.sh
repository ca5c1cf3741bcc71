#!/usr/bin/env bash
# Builds the fuzz targets with clang, replays every kept crash input, then fuzzes each target for
# a bounded time (seconds per target, default 20). A new crash input is written to
# fuzz/regressions/<target>/ (commit it: it is replayed by every later run) and fails the run.
#   fuzz/run.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
build=build-fuzz
targets=(expand_path mask_match command_line settings_load)

cmake -S fuzz -B "$build" -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/#/fuzz_}" >/dev/null

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for target in "${targets[@]}"; do
  program="$build/fuzz_$target"
  kept=()
  for input in fuzz/regressions/"$target"/*; do
    [ -f "$input" ] && kept+=("$input")
  done
  if ((${#kept[@]})); then
    if ! "$program" "${kept[@]}" >"$build/$target.replay.log" 2>&1; then
      echo "fuzz $target: a kept crash input fails again"
      tail -n 30 "$build/$target.replay.log"
      status=1
      continue
    fi
  fi
  corpus="$build/corpus/$target"
  mkdir -p "$corpus" "fuzz/regressions/$target"
  seeds=()
  [ -d "fuzz/seeds/$target" ] && seeds=("fuzz/seeds/$target")
  dictionary=()
  [ -f "fuzz/$target.dict" ] && dictionary=(-dict="fuzz/$target.dict")
  if "$program" "$corpus" "${seeds[@]}" "${dictionary[@]}" -max_total_time="$seconds" \
    -max_len=16384 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="fuzz/regressions/$target/" >"$build/$target.log" 2>&1; then
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$build/$target.log" | grep -o '[0-9]*$')
    echo "fuzz $target: ${runs:-?} inputs in ${seconds}s, no crash (${#kept[@]} kept inputs replayed)"
  else
    echo "fuzz $target: CRASH, input kept in fuzz/regressions/$target/"
    grep -E 'ERROR|runtime error|SUMMARY|^(mask|words|.*: ")' "$build/$target.log" | head -n 20
    status=1
  fi
done
exit $status
