#!/usr/bin/env bash
# Runs every test: the native suite (ctest), the static checks of the product DLL, the release
# archive (scripts/dist.sh and its checks), and the end-to-end suite under Wine (real DLL, real controls) on an Xvfb display, under a Chinese and
# a non-Chinese locale. Ends with one summary line "N passed, N failed".
set -uo pipefail
source "$(dirname "$0")/wine-env.sh"
cd "$quorlex_root"
artifacts=$quorlex_root/build/artifacts
mkdir -p "$artifacts"
passed=0
failed=0
count() { passed=$((passed + $1)); failed=$((failed + $2)); }

echo "== native unit tests"
ctest --test-dir build/native --output-on-failure -j2 --timeout 300 | tee "$artifacts/ctest.log"
summary=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$artifacts/ctest.log" | tail -1)
if [ -n "$summary" ]; then
  total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$summary")
  bad=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$summary")
  count $((total - bad)) "$bad"
else
  count 0 1
fi

echo "== converters against the step-by-step ones on a real published list (scripts/real-list.sh)"
real_list=$(scripts/real-list.sh)
if [ -z "$real_list" ]; then
  echo "skipped: no real list (see above)"
elif QUORLEX_REAL_LIST=$real_list build/native/quorlex_tests --gtest_filter='ConvertersAgree.RealPublishedList' \
     >"$artifacts/real-list.log" 2>&1; then
  echo "ok $real_list: the same rules as the step-by-step converters"; count 1 0
else
  tail -30 "$artifacts/real-list.log"; echo "FAIL real list (log build/artifacts/real-list.log)"; count 0 1
fi

echo "== native suite under AddressSanitizer and UndefinedBehaviorSanitizer (build/asan)"
if scripts/sanitize.sh >"$artifacts/sanitize.log" 2>&1; then
  tail -1 "$artifacts/sanitize.log"; count 1 0
else
  tail -60 "$artifacts/sanitize.log"; echo "FAIL sanitizer run (log build/artifacts/sanitize.log)"; count 0 1
fi

fuzz_seed=${QUORLEX_FUZZ_SEED:-1}
echo "== fuzz targets, a fixed number of runs each with seed $fuzz_seed (build/fuzz)"
scripts/fuzz.sh --runs "$fuzz_seed" | tee "$artifacts/fuzz.log"
count "$(grep -c 'nothing found$' "$artifacts/fuzz.log")" "$(grep -c 'FOUND\|^fuzz:' "$artifacts/fuzz.log")"

echo "== product DLL checks (build/win32/tqnx.dll)"
scripts/check-dll.sh build/win32/tqnx.dll | tee "$artifacts/dll-checks.log"
count "$(grep -c '^ok' "$artifacts/dll-checks.log")" "$(grep -c '^FAIL' "$artifacts/dll-checks.log")"

echo "== release archive (make dist), its entries, both DLLs and the install text"
scripts/dist.sh >"$artifacts/dist.log" 2>&1
status=$?
grep -a '^ok\|^FAIL\|^archive:' "$artifacts/dist.log"
dist_failed=$(grep -ac '^FAIL' "$artifacts/dist.log")
count "$(grep -ac '^ok' "$artifacts/dist.log")" "$dist_failed"
[ "$status" -ne 0 ] && [ "$dist_failed" -eq 0 ] && count 0 1  # ended without saying why

echo "== Wine end-to-end tests ($QUORLEX_WINE_BITS-bit build)"
export QUORLEX_OWN_DISPLAY=1
source scripts/xvfb.sh
prefix=$quorlex_root/build/wine-test-prefix
scripts/wine-prefix.sh fresh "$prefix"
export WINEPREFIX=$prefix
"$WINESERVER" -p >/dev/null 2>&1 </dev/null
# The local mirror of the rule sites. The suite's rule host is its port that never answers, so
# each window keeps its captions as laid out; the probe tests use QUORLEX_MIRROR for theirs.
mirror=$artifacts/mirror
rm -rf "$mirror"; mkdir -p "$mirror"
python3 tests/mirror/server.py --port-file "$mirror/port" --hold-port-file "$mirror/hold-port" \
  --log "$mirror/requests.log" --lifetime 3600 >"$mirror/server.log" 2>&1 </dev/null &
mirror_pid=$!
for _ in $(seq 100); do [ -s "$mirror/port" ] && break; sleep 0.1; done
export QUORLEX_RULE_HOST=127.0.0.1:$(cat "$mirror/hold-port" 2>/dev/null)
export QUORLEX_MIRROR=127.0.0.1:$(cat "$mirror/port" 2>/dev/null)
export QUORLEX_MIRROR_LOG='Z:'$(tr / '\\' <<<"$mirror/requests.log")
trap '"$WINESERVER" -k 2>/dev/null; kill $mirror_pid 2>/dev/null; stop_xvfb' EXIT
# Start the prefix's own services now, detached from this script's pipes: a service that
# inherited a test's output pipe would keep it open after the test ends.
"$WINE" wineboot >/dev/null 2>&1 </dev/null

# gtest XML: <testsuites tests="N" failures="F" disabled="D" errors="E" ...>
count_gtest() {  # xml file, exit status of the run
  local xml=$1 status=$2
  if [ ! -f "$xml" ]; then count 0 1; return; fi
  read -r t f e s < <(python3 - "$xml" <<'PY'
import sys, xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
skipped = sum(1 for c in root.iter('testcase') if c.find('skipped') is not None)
print(root.get('tests'), root.get('failures'), root.get('errors', '0'), skipped)
PY
)
  count $((t - f - e - s)) $((f + e))
  [ "$status" -ne 0 ] && [ $((f + e)) -eq 0 ] && count 0 1
  return 0
}

cd "$QUORLEX_WIN_BUILD"
for locale in zh_CN.UTF-8 C.UTF-8; do
  rm -f "$artifacts/e2e-$locale.xml"
  shot=""
  [ "$locale" = zh_CN.UTF-8 ] && shot='Z:'$(tr / '\\' <<<"$artifacts/window.bmp")
  echo "-- locale $locale"
  store=$artifacts/store-$locale  # the rule package the store test leaves for the zipfile check
  rm -rf "$store"
  LC_ALL=$locale QUORLEX_DLL=tqnx.dll QUORLEX_SCREENSHOT=$shot QUORLEX_STORE_CHECK='Z:'$(tr / '\\' <<<"$store") \
    timeout 900 "$WINE" e2e_tests.exe \
    --gtest_output="xml:Z:$(tr / '\\' <<<"$artifacts/e2e-$locale.xml")" >"$artifacts/e2e-$locale.log" 2>&1 </dev/null
  status=$?
  tr -d '\r' <"$artifacts/e2e-$locale.log"
  count_gtest "$artifacts/e2e-$locale.xml" "$status"
  echo "-- rule package written under $locale, read by python's zipfile"
  python3 "$quorlex_root/tests/wine/check_store_package.py" "$store" | tee "$artifacts/store-$locale.log"
  count "$(grep -c '^ok' "$artifacts/store-$locale.log")" "$(grep -c '^FAIL' "$artifacts/store-$locale.log")"
done
[ -f "$artifacts/window.bmp" ] && convert "$artifacts/window.bmp" "$artifacts/window.png" 2>/dev/null \
  && echo "screenshot: build/artifacts/window.png"

echo "-- the command line's Windows build (quorlex.exe) against its native build"
"$quorlex_root/scripts/cli-wine-check.sh" | tee "$artifacts/cli-wine.log"
count "$(grep -c '^ok' "$artifacts/cli-wine.log")" "$(grep -c '^FAIL' "$artifacts/cli-wine.log")"

rounds=${QUORLEX_STRESS_ROUNDS:-50}
echo "-- shutdown under load and write safety: host.exe with the plug-in, $rounds rounds each"
(cd "$QUORLEX_WIN_BUILD" && timeout 1800 "$WINE" stress.exe "$rounds" >"$artifacts/stress.log" 2>&1 </dev/null)
tr -d '\r' <"$artifacts/stress.log" | grep -a '^ok\|^FAIL'
count "$(grep -ac '^ok' "$artifacts/stress.log")" "$(grep -ac '^FAIL' "$artifacts/stress.log")"
grep -aq 'write killed at random' "$artifacts/stress.log" || count 0 1  # the run did not get to its end

echo "-- browser stand-in"
if LC_ALL=C.UTF-8 timeout 120 "$WINE" host.exe --entry-points --mime --shutdown --no-window tqnx.dll \
     >"$artifacts/host.log" 2>&1 </dev/null; then
  tr -d '\r' <"$artifacts/host.log"; count 1 0
else
  tr -d '\r' <"$artifacts/host.log"; echo "FAIL host.exe"; count 0 1
fi

echo
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
