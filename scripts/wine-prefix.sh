#!/usr/bin/env bash
# Wine prefixes for the run and test commands.
#   wine-prefix.sh pristine      make the cached pristine prefix if it is not there yet
#   wine-prefix.sh fresh DIR     copy the pristine prefix to DIR (replacing DIR)
# Prefixes keep registry keys and cookies, so each test run starts from a fresh copy.
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"

pristine=$QUORLEX_PRISTINE_PREFIX

make_pristine() {
  [ -f "$pristine/.ready" ] && return 0
  rm -rf "$pristine" "$pristine.tmp"
  mkdir -p "$(dirname "$pristine")"
  echo "setup: creating the $QUORLEX_WINE_BITS-bit Wine prefix"
  WINEPREFIX="$pristine.tmp" "$WINE" wineboot -i >/dev/null 2>&1
  # Without a window manager Wine waits ~2 s on every top-level window destroy unless
  # it manages the windows itself.
  WINEPREFIX="$pristine.tmp" "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  WINEPREFIX="$pristine.tmp" "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
  WINEPREFIX="$pristine.tmp" "$WINESERVER" -w
  touch "$pristine.tmp/.ready"
  mv "$pristine.tmp" "$pristine"
}

case "${1:-}" in
  pristine) make_pristine ;;
  fresh)
    make_pristine
    dest=${2:?usage: wine-prefix.sh fresh DIR}
    rm -rf "$dest"; mkdir -p "$(dirname "$dest")"
    cp -a "$pristine" "$dest"
    rm -f "$dest/.ready"
    ;;
  *) echo "usage: $0 pristine | fresh DIR" >&2; exit 2 ;;
esac
