#!/usr/bin/env bash
# Static checks of the built product DLL, one line per check: "ok <what>" or "FAIL <what>".
# Exit status: the number of failed checks.
set -u
dll=${1:?usage: check-dll.sh path/to/tqnx.dll}
objdump=i686-w64-mingw32-objdump
windres=i686-w64-mingw32-windres
failed=0
check() {  # description, then a command that must succeed
  local what=$1; shift
  if "$@" >/dev/null 2>&1; then echo "ok $what"; else echo "FAIL $what"; failed=$((failed + 1)); fi
}

headers=$($objdump -p "$dll" 2>/dev/null)
exports=$(printf '%s\n' "$headers" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -o 'NP_[A-Za-z]*' | sort | tr '\n' ' ')
imports=$(printf '%s\n' "$headers" | grep 'DLL Name:' | awk '{print tolower($3)}' | sort -u | tr '\n' ' ')
resources=$($windres -i "$dll" -O rc 2>/dev/null)

check "32-bit PE (pei-i386)" grep -q 'file format pei-i386' <<<"$($objdump -f "$dll")"
check "export directory names the module tqnx.dll" grep -Eq '^Name[[:space:]]+[0-9a-f]+ tqnx\.dll$' <<<"$headers"
check "exactly the four NPAPI exports (got: $exports)" test "$exports" = "NP_GetEntryPoints NP_GetMIMEDescription NP_Initialize NP_Shutdown "
system_dlls=" kernel32.dll user32.dll gdi32.dll comctl32.dll advapi32.dll wininet.dll shell32.dll msvcrt.dll ole32.dll ws2_32.dll "
only_system() { local d; for d in $imports; do case "$system_dlls" in *" $d "*) ;; *) return 1 ;; esac; done; }
check "imports from system DLLs only (got: $imports)" only_system
check "file version 3.0.0.0" grep -Eq 'FILEVERSION 3, *0, *0, *0' <<<"$resources"
check "product version 3.0.0.0" grep -Eq 'PRODUCTVERSION 3, *0, *0, *0' <<<"$resources"
check "file type DLL" grep -Eq 'FILETYPE (0x2|2|VFT_DLL)' <<<"$resources"
check "one string table for 0804/04B0" test "$(grep -ci 'BLOCK "[0-9a-f]\{8\}"' <<<"$resources")" = 1 -a "$(grep -ci 'BLOCK "080404b0"' <<<"$resources")" = 1
for name in FileDescription ProductName Comments; do
  check "$name is Quorlex" grep -Eq "VALUE \"$name\", \"Quorlex(\\\\0)?\"" <<<"$resources"
done
check "version texts 3.0.0.0" grep -Eq 'VALUE "FileVersion", "3\.0\.0\.0' <<<"$resources"
check "translation 0x0804, 0x04B0" grep -Eiq 'VALUE "Translation", 0x804, 0x4b0|VALUE "Translation", 0x804, 1200' <<<"$resources"
exit $failed
