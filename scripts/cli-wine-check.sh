#!/usr/bin/env bash
# The command line's Windows build under Wine, against its native build: the same conversions,
# a package written and read back, and a fetch from the mirror (the Wine run unpacks a 7z
# attachment with the 7z library it maps from memory; the native run gets the ZIP). Prints one
# "ok ..." or "FAIL ..." line per check. Run by scripts/test.sh with the Wine prefix, the display
# and the mirror (QUORLEX_MIRROR) set up.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
native=$root/build/native/quorlex
exe=$QUORLEX_WIN_BUILD/quorlex.exe
work=$(mktemp -d /tmp/quorlex-cli-wine.XXXXXX)
trap 'rm -rf "$work"' EXIT
fixtures=$root/tests/mirror/fixtures

winpath() { printf 'Z:%s' "$(tr / '\\' <<<"$1")"; }
wine_cli() { "$WINE" "$exe" "$@" 2>"$work/wine-err" </dev/null | tr -d '\r'; }  # never a pipe into Wine's stdin
check() {  # name, then the two files that must be equal
  if [ -s "$2" ] && cmp -s "$2" "$3"; then echo "ok $1"; else echo "FAIL $1"; diff "$2" "$3" | head -5; fi
}

for case in "abp chinalist/adblock-lazy.txt" "kingsoft kingsoft/list_761e39dc276111df8e7700215a45ab18.txt" \
            "sitelist maxthon/SiteList.xml"; do
  set -- $case
  "$native" convert "$1" "$fixtures/$2" --utf8 >"$work/native-$1" 2>/dev/null
  wine_cli convert "$1" "$(winpath "$fixtures/$2")" --utf8 >"$work/wine-$1"
  check "quorlex.exe convert $1 gives the native output" "$work/native-$1" "$work/wine-$1"
done

# The removal of redundant rules on the converted list twice over: what stays, and why each
# other rule went.
cat "$work/native-abp" "$work/native-abp" >"$work/twice"
for flag in "" --removed; do
  "$native" prune --utf8 $flag "$work/twice" >"$work/native-prune$flag" 2>/dev/null
  wine_cli prune --utf8 $flag "$(winpath "$work/twice")" >"$work/wine-prune$flag"
  check "quorlex.exe prune $flag gives the native output" "$work/native-prune$flag" "$work/wine-prune$flag"
done

# A package written by the Windows build and read back by both builds.
mkdir -p "$work/profile" "$work/native-profile"
printf '**://ads.example.com^*\r\nexample.org##.ad\r\n' >"$work/rules.txt"
wine_cli package write "$(winpath "$work/profile")" --black "$(winpath "$work/rules.txt")" >/dev/null
"$native" package write "$work/native-profile" --black "$work/rules.txt" 2>/dev/null
"$native" package read "$work/native-profile" >"$work/native-read"
wine_cli package read "$(winpath "$work/profile")" >"$work/wine-read"
check "quorlex.exe package write, then read" "$work/native-read" "$work/wine-read"
"$native" package read "$work/profile" >"$work/native-reads-wine" 2>/dev/null
check "the native build reads the package quorlex.exe wrote" "$work/native-read" "$work/native-reads-wine"

# A fetch: the Maxthon attachment as 7z for the Windows build, as the default ZIP natively.
QUORLEX_RULE_HOST=$QUORLEX_MIRROR "$native" fetch maxthon chinalist kafan >"$work/native-fetch" 2>/dev/null
curl -s "http://$QUORLEX_MIRROR/test/maxthon?first=7z&linked=zip" >/dev/null
QUORLEX_RULE_HOST=$QUORLEX_MIRROR wine_cli fetch maxthon chinalist kafan >"$work/wine-fetch"
curl -s "http://$QUORLEX_MIRROR/test/maxthon?first=page&linked=zip" >/dev/null
check "quorlex.exe fetch (7z attachment) gives the native fetch's lists" "$work/native-fetch" "$work/wine-fetch"
exit 0
