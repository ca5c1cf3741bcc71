#!/usr/bin/env bash
# Makes the Windows release zip with cpack on the Windows build and checks it:
#   check_windows_zip.sh WINDOWS_BUILD_DIR SOURCE_DIR OUT_DIR VERSION
# its list of files, the texts beside the program, and in vakrun.exe the version information
# and the manifest, read back from the PE file by binutils, and the address-space hardening
# flags. The zip stays in OUT_DIR.
set -euo pipefail
build=$1
source=$2
out=$3
version=$4
mkdir -p "$out"
rm -f "$out"/vakrun-*-win64.zip "$out"/vakrun-*-win64.zip.sha256
cpack --config "$build/CPackConfig.cmake" -G ZIP -B "$out" >"$out/cpack-zip.log" 2>&1 ||
  { cat "$out/cpack-zip.log" && exit 1; }
rm -rf "$out/_CPack_Packages"
zip=$out/vakrun-$version-win64.zip
echo "made $zip"

top=vakrun-$version-win64
expected="$top/LICENSE.txt
$top/README.md
$top/vakrun.exe
$top/vakrun.txt"
diff <(echo "$expected") <(unzip -Z1 "$zip" | grep -v '/$' | sort) ||
  { echo "the zip's files differ (< expected, > made)" && exit 1; }

unpacked=$(mktemp -d)
trap 'rm -rf -- "$unpacked"' EXIT
unzip -q "$zip" -d "$unpacked"
cd "$unpacked/$top"
cmp README.md "$source/README.md"
cmp LICENSE.txt "$source/LICENSE"
# The manual as plain text: its heading, no roff requests, no overstrikes or escapes.
grep -q '^NAME' vakrun.txt && grep -q 'vakrun - erase a directory tree' vakrun.txt
! grep -nP '^\.[A-Z]{1,2}( |$)|[\x00-\x08\x1b]|\\f[BIRP]' vakrun.txt ||
  { echo "vakrun.txt holds roff or terminal codes" && exit 1; }

# The resources as binutils decompiles them from the program: the version block and the manifest.
resources=$(x86_64-w64-mingw32-windres --input-format=coff --output-format=rc vakrun.exe)
holder=$(sed -n 's/^Copyright (c) //p' "$source/LICENSE")
IFS=. read -r major minor <<<"$version"
failures=0
has() { # what, then an extended regular expression that a line of the resources must match
  if grep -qE "$2" <<<"$resources"; then
    echo "yes: $1"
  else
    echo "NO:  $1"
    failures=$((failures + 1))
  fi
}
has "file version $version" "^ *FILEVERSION $major, *$minor, *0, *0$"
has "product version $version" "^ *PRODUCTVERSION $major, *$minor, *0, *0$"
has "file version text" "VALUE \"FileVersion\", \"$version\""
has "product version text" "VALUE \"ProductVersion\", \"$version\""
has "product name" 'VALUE "ProductName", "Vakrun"'
has "description" 'VALUE "FileDescription", "Vakrun - erase a directory tree, all of it"'
has "the licence's copyright" "VALUE \"LegalCopyright\", \"Copyright \\(c\\) $holder\\. MIT License\\.\""
has "original file name" 'VALUE "OriginalFilename", "vakrun.exe"'
has "U.S. English, Unicode strings" 'VALUE "Translation", 0x409, 1200'
has "the manifest (type 24, id 1)" '^1 24 '
has "the manifest's UTF-8 code page" 'activeCodePage'
# Relocated at a random address, with a non-executable stack and heap (binutils' defaults).
characteristics=$(x86_64-w64-mingw32-objdump -p vakrun.exe | sed -n '/^DllCharacteristics/,/^[A-Z]/p')
for flag in DYNAMIC_BASE HIGH_ENTROPY_VA NX_COMPAT; do
  grep -qw "$flag" <<<"$characteristics" && echo "yes: $flag" ||
    { echo "NO:  $flag" && failures=$((failures + 1)); }
done
(cd "$out" && sha256sum --check "$(basename "$zip").sha256")
exit $((failures > 0))
