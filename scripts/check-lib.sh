# Sourced by the static checks of the built files: one line per check, "ok <what>" or
# "FAIL <what>", and a count of the failed ones in $failed.
failed=0
check() {  # description, then a command that must succeed
  local what=$1; shift
  if "$@" >/dev/null 2>&1; then echo "ok $what"; else echo "FAIL $what"; failed=$((failed + 1)); fi
}

# The DLLs a Windows program may import: those every Windows system has.
system_dlls=" kernel32.dll user32.dll gdi32.dll comctl32.dll advapi32.dll wininet.dll shell32.dll msvcrt.dll ole32.dll ws2_32.dll "
imports_of() {  # objdump -p output: the imported DLLs, lower case, space-separated
  grep 'DLL Name:' <<<"$1" | awk '{print tolower($3)}' | sort -u | tr '\n' ' '
}
only_system_dlls() {  # DLL names...
  local d
  for d in "$@"; do case "$system_dlls" in *" $d "*) ;; *) return 1 ;; esac; done
}
