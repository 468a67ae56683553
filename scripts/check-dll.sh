#!/usr/bin/env bash
# Static checks of the built product DLL, one line per check: "ok <what>" or "FAIL <what>".
#   check-dll.sh path/to/tqnx.dll [i686|x86_64]   (default i686: the 32-bit product)
# Exit status: the number of failed checks.
set -u
dll=${1:?usage: check-dll.sh path/to/tqnx.dll [i686|x86_64]}
arch=${2:-i686}
case "$arch" in
  i686) format=pei-i386; bits=32 ;;
  x86_64) format=pei-x86-64; bits=64 ;;
  *) echo "check-dll: unknown arch $arch" >&2; exit 2 ;;
esac
objdump=$arch-w64-mingw32-objdump
windres=$arch-w64-mingw32-windres
source "$(dirname "$0")/check-lib.sh"

headers=$($objdump -p "$dll" 2>/dev/null)
exports=$(printf '%s\n' "$headers" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -o 'NP_[A-Za-z]*' | sort | tr '\n' ' ')
imports=$(imports_of "$headers")
resources=$($windres -i "$dll" -O rc 2>/dev/null)

check "$bits-bit PE ($format)" grep -q "file format $format" <<<"$($objdump -f "$dll")"
check "export directory names the module tqnx.dll" grep -Eq '^Name[[:space:]]+[0-9a-f]+ tqnx\.dll$' <<<"$headers"
check "exactly the four NPAPI exports (got: $exports)" test "$exports" = "NP_GetEntryPoints NP_GetMIMEDescription NP_Initialize NP_Shutdown "
check "imports from system DLLs only (got: $imports)" only_system_dlls $imports
check "file version 3.0.0.0" grep -Eq 'FILEVERSION 3, *0, *0, *0' <<<"$resources"
check "product version 3.0.0.0" grep -Eq 'PRODUCTVERSION 3, *0, *0, *0' <<<"$resources"
check "file type DLL" grep -Eq 'FILETYPE (0x2|2|VFT_DLL)' <<<"$resources"
check "one string table for 0804/04B0" test "$(grep -ci 'BLOCK "[0-9a-f]\{8\}"' <<<"$resources")" = 1 -a "$(grep -ci 'BLOCK "080404b0"' <<<"$resources")" = 1
for name in FileDescription ProductName Comments; do
  check "$name is Quorlex" grep -Eq "VALUE \"$name\", \"Quorlex(\\\\0)?\"" <<<"$resources"
done
check "version texts 3.0.0.0" grep -Eq 'VALUE "FileVersion", "3\.0\.0\.0' <<<"$resources"
check "translation 0x0804, 0x04B0" grep -Eiq 'VALUE "Translation", 0x804, 0x4b0|VALUE "Translation", 0x804, 1200' <<<"$resources"
# Its own manifest (resource 2, RT_MANIFEST) asks for Common Controls 6.0.
manifest=$(sed -n '/^2 24 /,/^END/p' <<<"$resources")
check "manifest resource 2 asks for Common Controls 6.0" \
  grep -q 'name=""Microsoft.Windows.Common-Controls"" version=""6.0.0.0""' <<<"$manifest"
exit $failed
