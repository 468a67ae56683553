#!/usr/bin/env bash
# Builds the native test suite with AddressSanitizer and UndefinedBehaviorSanitizer (g++) into
# build/asan and runs it with ctest. Any undefined behaviour aborts the process that hit it; every
# sanitizer report, also one from a helper process the tests start (the myrar extractor), is
# written under build/asan/reports and fails the run even when the test around it passed.
# Exit status: 0 when every test passed and no report was written.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
dir=build/asan
jobs=${QUORLEX_JOBS:-2}

flags="-O1 -fno-sanitize-recover=undefined"
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DQUORLEX_SANITIZE=ON \
  -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
cmake --build "$dir" -j"$jobs" --target quorlex_tests

reports=$root/$dir/reports
rm -rf "$reports"
mkdir -p "$reports"
export ASAN_OPTIONS="detect_leaks=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1:log_path=$reports/asan"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:log_path=$reports/ubsan"
export LSAN_OPTIONS="log_path=$reports/lsan:suppressions=$root/tests/sanitize/lsan.supp:print_suppressions=0"

status=0
ctest --test-dir "$dir" --output-on-failure -j"$jobs" --timeout 180 || status=$?

shopt -s nullglob
found=("$reports"/*)
if [ ${#found[@]} -gt 0 ]; then
  echo "sanitize: ${#found[@]} sanitizer report(s):"
  for f in "${found[@]}"; do
    echo "---- $f"
    cat "$f"
  done
  status=1
fi
[ "$status" -eq 0 ] && echo "sanitize: every test passed, no sanitizer report"
exit "$status"
