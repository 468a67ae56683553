#!/usr/bin/env bash
# Builds everything: the native program logic and tests (build/native), the product tqnx.dll for
# 32-bit Windows (build/win32) and, where Wine runs 64-bit code only, the x86_64 build of the same
# sources that the Wine tests load (build/win64).
#   build.sh --dist   only what the release archive holds: tqnx.dll and quorlex.exe for 32-bit
#                     Windows, tqnx.dll for x86_64
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"
cd "$quorlex_root"
jobs=${QUORLEX_JOBS:-2}

configure() {  # dir, extra cmake arguments...
  local dir=$1; shift
  [ -f "$dir/CMakeCache.txt" ] || cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
}

if [ "${1:-}" = --dist ]; then
  scripts/build-deps.sh i686
  scripts/build-deps.sh x86_64
  configure build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
  configure build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
  cmake --build build/win32 -j"$jobs" --target tqnx quorlex
  cmake --build build/win64 -j"$jobs" --target tqnx
  exit 0
fi

# The archive tools' libraries for each Windows target (cached: nothing to do once built).
scripts/build-deps.sh i686
[ "$QUORLEX_WINE_BITS" = 64 ] && scripts/build-deps.sh x86_64

configure build/native
configure build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
cmake --build build/native -j"$jobs"
cmake --build build/win32 -j"$jobs" --target tqnx host e2e_tests quorlex stress
if [ "$QUORLEX_WINE_BITS" = 64 ]; then
  configure build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
  cmake --build build/win64 -j"$jobs" --target tqnx host e2e_tests quorlex stress
fi
