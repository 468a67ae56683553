#!/usr/bin/env bash
# Opens the plug-in's window under Wine, loaded by the browser stand-in, on $DISPLAY (or on an
# Xvfb started here). The window stays until it is closed; then NP_Initialize's result is shown.
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"
source "$(dirname "$0")/xvfb.sh"
# The rule sites come from the local mirror (tests/mirror), so the window shows dated captions
# and fetches rules without the Internet.
mirror=$quorlex_root/build/run-mirror
rm -rf "$mirror"; mkdir -p "$mirror"
python3 "$quorlex_root/tests/mirror/server.py" --port-file "$mirror/port" --lifetime 86400 \
  >"$mirror/server.log" 2>&1 </dev/null &
mirror_pid=$!
trap 'kill $mirror_pid 2>/dev/null; stop_xvfb' EXIT
for _ in $(seq 100); do [ -s "$mirror/port" ] && break; sleep 0.1; done
export QUORLEX_RULE_HOST=127.0.0.1:$(cat "$mirror/port")

prefix=$quorlex_root/build/run-prefix
[ -d "$prefix" ] || "$quorlex_root/scripts/wine-prefix.sh" fresh "$prefix"
echo "Quorlex: window on display $DISPLAY ($QUORLEX_WINE_BITS-bit build); close it to end"
cd "$QUORLEX_WIN_BUILD"
WINEPREFIX=$prefix LC_ALL=zh_CN.UTF-8 "$WINE" host.exe tqnx.dll
