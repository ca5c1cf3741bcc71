#!/usr/bin/env bash
# Reads the hardening of a Linux build of vakrun from its ELF headers and dynamic symbols:
#   check_hardening.sh PROGRAM
# PIE, full RELRO (a GNU_RELRO segment and immediate binding), a stack that is not executable,
# the stack protector (__stack_chk_fail) and fortified calls (__*_chk). It works on a stripped
# program too, as a package installs it: all of it lies in what stripping keeps.
set -euo pipefail
program=$1
header=$(readelf --file-header --wide "$program")
segments=$(readelf --program-headers --wide "$program")
dynamic=$(readelf --dynamic --wide "$program")
symbols=$(readelf --dyn-syms --wide "$program")

failures=0
check() { # what, then a command that succeeds when the program has it
  local what=$1
  shift
  if "$@"; then
    echo "yes: $what"
  else
    echo "NO:  $what"
    failures=$((failures + 1))
  fi
}
check "position-independent executable" \
  grep -qE 'Type: +DYN' <<<"$header"
check "PIE flag" grep -qE 'FLAGS_1.*\bPIE\b' <<<"$dynamic"
check "read-only relocations (GNU_RELRO)" grep -qE '^ *GNU_RELRO ' <<<"$segments"
check "immediate binding (BIND_NOW)" grep -qE '\(FLAGS\).*\bBIND_NOW\b|FLAGS_1.*\bNOW\b' <<<"$dynamic"
check "stack not executable" grep -qE '^ *GNU_STACK( +[^ ]+){5} +RW ' <<<"$segments"
check "stack protector (__stack_chk_fail)" grep -qE ' __stack_chk_fail(@|$)' <<<"$symbols"
check "fortified calls (__*_chk)" grep -qE ' __[a-z0-9_]+_chk(@|$)' <<<"$symbols"
exit $((failures > 0))
