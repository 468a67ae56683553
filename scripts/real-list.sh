#!/usr/bin/env bash
# Prints the path of a real published Adblock Plus list: EasyList (about 2 MB, 76,000 lines) as
# Debian's package webext-ublock-origin-firefox ships it, downloaded with apt once and kept in
# build/real-list/. Prints nothing (and says why on stderr) when the package cannot be had, for
# instance offline. The list is data for the tests and benchmarks, not part of the program.
set -uo pipefail
cd "$(dirname "$0")/.."
dir=build/real-list
list=$dir/easylist.txt
if [ ! -s "$list" ]; then
  mkdir -p "$dir/deb"
  if ! (cd "$dir/deb" && apt-get download webext-ublock-origin-firefox >/dev/null 2>&1); then
    echo "real list: skipped (apt-get download webext-ublock-origin-firefox failed: offline?)" >&2
    exit 0
  fi
  rm -rf "$dir/x"
  dpkg-deb -x "$dir"/deb/*.deb "$dir/x"
  found=$(find "$dir/x" -path '*thirdparties/easylist/easylist.txt' | head -1)
  if [ -z "$found" ]; then
    echo "real list: skipped (no easylist.txt in the package)" >&2
    exit 0
  fi
  cp "$found" "$list"
  rm -rf "$dir/x" "$dir/deb"
fi
echo "$PWD/$list"
