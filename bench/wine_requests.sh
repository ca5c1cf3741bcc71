#!/usr/bin/env bash
# The Windows build under wine against native rm -rf on 10,000 empty files, and the wine server
# requests it makes per file and per directory. Slow (a few minutes): run by hand, never from the
# test command.
#   bench/wine_requests.sh [--rounds N] [--exe VAKRUN.EXE]
# Without --exe it builds vakrun.exe (Release, mingw-w64) in build-bench-win/. The trees are made
# in a folder of their own under $TMPDIR (or /tmp) and removed; wine runs in a prefix of its own,
# made once in build-bench-win/wineprefix, whose server is started first and stopped at the end,
# so that the timed runs do not pay for it. Times are medians of alternating runs; the start-up
# of one run (the program on an empty folder) is given apart. The requests come from the server's
# own trace (wineserver -d1) of runs on 2,000 files in one folder and on 400 empty folders (each
# entered, listed, left and removed), less a run on an empty folder; the processor time is the
# program's and its server's together.
set -euo pipefail
cd "$(dirname "$0")/.."

rounds=5
exe=""
while (($#)); do
  case $1 in
  --rounds)
    rounds=$2
    shift 2
    ;;
  --exe)
    exe=$(realpath "$2")
    shift 2
    ;;
  *)
    echo "usage: bench/wine_requests.sh [--rounds N] [--exe VAKRUN.EXE]" >&2
    exit 2
    ;;
  esac
done

win=build-bench-win
if [ -z "$exe" ]; then
  cmake -S . -B "$win" --toolchain cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
    -DBUILD_TESTING=OFF >/dev/null
  cmake --build "$win" --target vakrun -j"$(nproc)" >/dev/null
  exe=$PWD/$win/vakrun.exe
fi
mkdir -p "$win"
export WINEPREFIX="$PWD/$win/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
[ -d "$WINEPREFIX" ] || { wineboot -i >/dev/null 2>&1 && wineserver -w; } || true
work=$(mktemp -d "${TMPDIR:-/tmp}/wine_requests.XXXXXX")
trace=$work/server.log
cleanup() {
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

dos_path() { # Z: is the root of the Linux file system in every wine prefix.
  local path=${1//\//\\}
  echo "Z:$path"
}
make_tree() { # make_tree PATH SHAPE: dirs (100 folders of 100 files), flat (10,000 files in one)
  mkdir "$1"
  if [ "$2" = dirs ]; then
    (cd "$1" && seq -f 'd%03g' 100 | xargs mkdir && for d in d*; do
      (cd "$d" && seq -f 'f%03g' 100 | xargs touch)
    done)
  elif [ "$2" = flat ]; then
    (cd "$1" && seq -f 'f%05g' 10000 | xargs touch)
  elif [ "$2" = files ]; then
    (cd "$1" && seq -f 'f%04g' 2000 | xargs touch)
  elif [ "$2" = folders ]; then
    (cd "$1" && seq -f 'd%03g' 400 | xargs mkdir)
  fi
}
now() { date +%s.%N; }
seconds() { # seconds COMMAND...: the wall time of the command, its output dropped
  local start
  start=$(now)
  "$@" >/dev/null 2>&1 || true
  echo "$(now) - $start" | bc -l
}
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR]=$1} END {print (NR%2 ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2)}'; }
server_pid() {
  local pid
  for pid in $(pgrep -x wineserver64 || pgrep -x wineserver || true); do
    if tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qx "WINEPREFIX=$WINEPREFIX"; then
      echo "$pid"
      return
    fi
  done
}
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

if [ "$exe" = "$PWD/$win/vakrun.exe" ]; then
  label="vakrun.exe $(git describe --always --dirty 2>/dev/null || echo '?')"
else
  label=$exe
fi
echo "$label, $(wine --version), rm: $(rm --version | head -1)"
echo "$(nproc) cores, $(uname -sr), trees on $(df -T "$work" | awk 'NR==2 {print $2}')"

# ---- Times, with a server that is already running ----
wineserver -p
wine "$exe" --version >/dev/null 2>&1 || true
server=$(server_pid)
hz=$(getconf CLK_TCK)
for shape in dirs flat; do
  exe_times=() rm_times=() start_times=() ratios=() cpu_times=()
  for ((round = 0; round < rounds; ++round)); do
    make_tree "$work/a" "$shape"
    make_tree "$work/b" "$shape"
    mkdir "$work/empty"
    sync
    for k in 0 1; do
      if (((k + round) % 2 == 0)); then
        before=$(ticks "$server")
        exe_times+=("$(seconds /usr/bin/time -f '%U %S' -o "$work/cpu" wine "$exe" -D "$(dos_path "$work/a")")")
        cpu_times+=("$(echo "$(awk '{print $1 + $2}' "$work/cpu") + ($(ticks "$server") - $before) / $hz" | bc -l)")
      else
        rm_times+=("$(seconds rm -rf "$work/b")")
      fi
    done
    start_times+=("$(seconds wine "$exe" -D "$(dos_path "$work/empty")")")
    ratios+=("$(echo "${exe_times[-1]} / ${rm_times[-1]}" | bc -l)")
    if [ -e "$work/a" ] || [ -e "$work/b" ] || [ -e "$work/empty" ]; then
      echo "wine_requests: a tree was left" >&2
      exit 1
    fi
  done
  printf '%-5s vakrun.exe %6.0f ms (cpu %5.0f ms)  rm %5.0f ms  ratio %5.1fx  start-up %4.0f ms  load %s\n' \
    "$shape" "$(echo "$(median "${exe_times[@]}") * 1000" | bc -l)" \
    "$(echo "$(median "${cpu_times[@]}") * 1000" | bc -l)" \
    "$(echo "$(median "${rm_times[@]}") * 1000" | bc -l)" "$(median "${ratios[@]}")" \
    "$(echo "$(median "${start_times[@]}") * 1000" | bc -l)" "$(cut -d' ' -f1-3 /proc/loadavg)"
done

# ---- Requests, from the trace of a server of its own ----
wineserver -k
wineserver -w
wineserver -d1 -f -p >"$trace" 2>&1 &
sleep 1
wine "$exe" --version >/dev/null 2>&1 || true
count() { # count SHAPE: the requests of one run, by name
  make_tree "$work/c" "$1"
  local from
  from=$(stat -c %s "$trace")
  wine "$exe" -D "$(dos_path "$work/c")" >/dev/null 2>&1 || true
  sleep 0.5
  # A request is traced as "id: name( ... )", its reply as "id: name() = status { ... }".
  tail -c +$((from + 1)) "$trace" | grep -vF ') = ' | grep -oE '^[0-9a-f]{4}: [a-z_]+\(' |
    sed -E 's/^[0-9a-f]+: //; s/\($//' | sort | uniq -c >"$work/count-$1"
}
count none
count files
count folders
wineserver -k
awk -v work="$work" 'BEGIN {
    while ((getline line < (work "/count-none")) > 0) { split(line, f, " "); base[f[2]] = f[1] }
    while ((getline line < (work "/count-files")) > 0) { split(line, f, " "); files[f[2]] = f[1]; seen[f[2]] = 1 }
    while ((getline line < (work "/count-folders")) > 0) { split(line, f, " "); dirs[f[2]] = f[1]; seen[f[2]] = 1 }
    printf "%-28s %8s %8s\n", "request", "per file", "per dir"
    # What start-up asks varies by a few dozen requests from run to run; less than a tenth of a
    # request per entry is taken for that.
    for (name in seen) {
      per_file = (files[name] - base[name]) / 2000; per_dir = (dirs[name] - base[name]) / 400
      if (per_file < 0.1) per_file = 0
      if (per_dir < 0.1) per_dir = 0
      if (per_file > 0 || per_dir > 0) printf "%-28s %8.2f %8.2f\n", name, per_file, per_dir
      total_file += per_file; total_dir += per_dir
    }
    printf "%-28s %8.2f %8.2f\n", "all", total_file, total_dir
  }'
