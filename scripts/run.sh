#!/usr/bin/env bash
# Opens the plug-in's window under Wine, loaded by the browser stand-in, on $DISPLAY (or on an
# Xvfb started here). The window stays until it is closed; then NP_Initialize's result is shown.
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"
source "$(dirname "$0")/xvfb.sh"
trap stop_xvfb EXIT

prefix=$quorlex_root/build/run-prefix
[ -d "$prefix" ] || "$quorlex_root/scripts/wine-prefix.sh" fresh "$prefix"
echo "Quorlex: window on display $DISPLAY ($QUORLEX_WINE_BITS-bit build); close it to end"
cd "$QUORLEX_WIN_BUILD"
WINEPREFIX=$prefix LC_ALL=zh_CN.UTF-8 "$WINE" host.exe tqnx.dll
