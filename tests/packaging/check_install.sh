#!/usr/bin/env bash
# Installs the Linux build with cmake --install under /usr/local, into a staging folder:
#   check_install.sh BUILD_DIR
# and checks that each file lands where its reader looks when the prefix is not /usr (zsh's
# site-functions, not Debian's vendor-completions).
set -euo pipefail
build=$1
stage=$(mktemp -d)
trap 'rm -rf -- "$stage"' EXIT
DESTDIR=$stage cmake --install "$build" --prefix /usr/local >"$stage.log" 2>&1 ||
  { cat "$stage.log" && rm -f "$stage.log" && exit 1; }
rm -f "$stage.log"
expected="./usr/local/bin/vakrun
./usr/local/share/bash-completion/completions/vakrun
./usr/local/share/doc/vakrun/changelog.gz
./usr/local/share/doc/vakrun/copyright
./usr/local/share/fish/vendor_completions.d/vakrun.fish
./usr/local/share/man/man1/vakrun.1.gz
./usr/local/share/zsh/site-functions/_vakrun"
diff <(echo "$expected") <(cd "$stage" && find . -type f | sort) ||
  { echo "the installed files differ (< expected, > installed)" && exit 1; }
# The program as built, runnable and not stripped (stripping is the packager's step).
cmp "$stage/usr/local/bin/vakrun" "$build/vakrun"
test -x "$stage/usr/local/bin/vakrun"
echo "cmake --install: every file in its place"
