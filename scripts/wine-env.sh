# Sourced by the run and test scripts: chooses how Windows code runs on this machine.
#
# The product is the 32-bit (i686) tqnx.dll. Where the kernel runs 32-bit user code, Wine runs
# that build (WINEARCH=win32). Some virtual machines run 64-bit user code only (the i386 loader
# fails with "Exec format error"); there Wine runs the x86_64 build of the same sources instead.
quorlex_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
quorlex_cache=${QUORLEX_CACHE:-$HOME/.cache/quorlex}

if [ -z "${QUORLEX_WINE_BITS:-}" ]; then
  if [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
    QUORLEX_WINE_BITS=32
  else
    QUORLEX_WINE_BITS=64
  fi
fi

if [ "$QUORLEX_WINE_BITS" = 32 ]; then
  WINE=/usr/lib/wine/wine
  export WINEARCH=win32
  QUORLEX_WIN_BUILD=$quorlex_root/build/win32
else
  WINE=/usr/lib/wine/wine64
  export WINEARCH=win64
  QUORLEX_WIN_BUILD=$quorlex_root/build/win64
fi
WINESERVER=/usr/lib/wine/wineserver
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
QUORLEX_PRISTINE_PREFIX=$quorlex_cache/wine-pristine-$QUORLEX_WINE_BITS
export QUORLEX_WINE_BITS WINE WINESERVER QUORLEX_WIN_BUILD QUORLEX_PRISTINE_PREFIX
