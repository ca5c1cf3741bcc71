#!/usr/bin/env bash
# Makes the Debian package with cpack and checks it as a packager would:
#   check_deb.sh BUILD_DIR SOURCE_DIR
# the files it installs, lintian (no error, no warning), the program's hardening, the manual and
# changelog as compressed copies of the sources, and the checksum file beside the package. The
# package stays in BUILD_DIR/packages.
set -euo pipefail
build=$1
source=$2
here=$(dirname "$0")
command -v lintian >/dev/null || { echo "lintian is needed (scripts/test.sh installs it)" && exit 1; }
out=$build/packages
mkdir -p "$out"
rm -f "$out"/vakrun_*.deb "$out"/vakrun_*.deb.sha256
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" >"$out/cpack-deb.log" 2>&1 ||
  { cat "$out/cpack-deb.log" && exit 1; }
rm -rf "$out/_CPack_Packages"
package=$(ls "$out"/vakrun_*.deb)
echo "made $package"

# Installed where a Debian system looks for each: no more, no less.
expected="./usr/bin/vakrun
./usr/share/bash-completion/completions/vakrun
./usr/share/doc/vakrun/changelog.gz
./usr/share/doc/vakrun/copyright
./usr/share/fish/vendor_completions.d/vakrun.fish
./usr/share/man/man1/vakrun.1.gz
./usr/share/zsh/vendor-completions/_vakrun"
files=$(dpkg-deb --fsys-tarfile "$package" | tar -t | grep -v '/$' | sort)
diff <(echo "$expected") <(echo "$files") || { echo "the package's files differ (< expected, > made)" && exit 1; }

# Read by lintian with its informational tags shown, failing on any error or warning.
lintian --fail-on error,warning --display-info "$package"
echo "lintian: no error, no warning"

root=$(mktemp -d)
trap 'rm -rf -- "$root"' EXIT
dpkg-deb --extract "$package" "$root"
bash "$here/check_hardening.sh" "$root/usr/bin/vakrun"
zcat "$root/usr/share/man/man1/vakrun.1.gz" | cmp - "$source/man/vakrun.1"
zcat "$root/usr/share/doc/vakrun/changelog.gz" | cmp - "$source/packaging/debian/changelog"
cmp "$root/usr/share/doc/vakrun/copyright" "$source/packaging/debian/copyright"
# The copyright file's licence is LICENSE, word for word, and so is its holder.
diff <(awk 'text { print; next } previous == "" && $0 == "License: Expat" { text = 1 }
  { previous = $0 }' "$source/packaging/debian/copyright" | sed 's/^ //; s/^\.$//') \
  <(tail -n +5 "$source/LICENSE")
holder=$(sed -n 's/^Copyright (c) //p' "$source/LICENSE")
grep -qxF "Copyright: $holder" "$source/packaging/debian/copyright" ||
  { echo "the copyright file does not name \"$holder\"" && exit 1; }
# The version in the changelog is the package's.
version=$(dpkg-deb --field "$package" Version)
head -n 1 "$source/packaging/debian/changelog" | grep -qF "vakrun ($version)" ||
  { echo "the changelog's first entry is not version $version" && exit 1; }
(cd "$out" && sha256sum --check "$(basename "$package").sha256")
