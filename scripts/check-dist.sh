#!/usr/bin/env bash
# Checks a release archive made by scripts/dist.sh, one line per check: "ok <what>" or
# "FAIL <what>": its entries, both DLLs as check-dll.sh checks the product (exports, imports,
# version resource, manifest), the command-line program and the install text.
#   check-dist.sh dist/quorlex-<version>-win32.zip
# Exit status: the number of failed checks.
set -uo pipefail
archive=${1:?usage: check-dist.sh dist/quorlex-VERSION-win32.zip}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/check-lib.sh"
name=$(basename "$archive" .zip)
version=${name#quorlex-}; version=${version%-win32}
work=$(mktemp -d /tmp/quorlex-dist.XXXXXX)
trap 'rm -rf "$work"' EXIT

check "$name.zip reads back whole" unzip -tq "$archive"
entries=$(unzip -Z1 "$archive" 2>/dev/null | sort | tr '\n' ' ')
expected=$(printf '%s\n' "$name/" "$name/INSTALL.txt" "$name/quorlex.exe" "$name/tqnx.dll" "$name/x64/" \
  "$name/x64/tqnx.dll" | sort | tr '\n' ' ')
check "entries are exactly $expected(got: $entries)" test "$entries" = "$expected"
unzip -q "$archive" -d "$work" 2>/dev/null
dir=$work/$name

# The DLLs: every check of the product, for each architecture.
failed_dlls=0
"$here/check-dll.sh" "$dir/tqnx.dll" i686 | sed 's/$/ (tqnx.dll)/' || failed_dlls=$?
"$here/check-dll.sh" "$dir/x64/tqnx.dll" x86_64 | sed 's/$/ (x64\\tqnx.dll)/' || failed_dlls=$((failed_dlls + $?))
failed=$((failed + failed_dlls))
product_version=$(i686-w64-mingw32-windres -i "$dir/tqnx.dll" -O rc 2>/dev/null |
  sed -n 's/.*VALUE "ProductVersion", "\([0-9.]*\).*/\1/p' | head -1)
check "the archive is named after the plug-in's product version ($version, got: $product_version)" \
  test "$version" = "$product_version"

exe_headers=$(i686-w64-mingw32-objdump -p "$dir/quorlex.exe" 2>/dev/null)
exe_imports=$(imports_of "$exe_headers")
check "quorlex.exe is a 32-bit PE (pei-i386)" grep -q 'file format pei-i386' <<<"$(i686-w64-mingw32-objdump -f "$dir/quorlex.exe" 2>/dev/null)"
check "quorlex.exe runs in a console" grep -Eq '^Subsystem[[:space:]]+0*3[[:space:]]' <<<"$exe_headers"
check "quorlex.exe imports from system DLLs only (got: $exe_imports)" only_system_dlls $exe_imports

install=$dir/INSTALL.txt
check "INSTALL.txt names the version" grep -q "Quorlex $version for Windows" "$install"
check "INSTALL.txt has Windows line ends" test "$(grep -c $'\r$' "$install")" = "$(wc -l <"$install")"
for topic in '"plugins" folder' 'ContentListPackage.Backup' 'myrar.exe' 'Macromedia'; do
  check "INSTALL.txt tells of $topic" grep -q "$topic" "$install"
done
exit $failed
