#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang (cmake/fuzz.cmake) into build/fuzz and
# runs each of them, in one of two ways:
#
#   scripts/fuzz.sh [SECONDS]     a search: each target for SECONDS (default 10) on its working
#                                 corpus build/fuzz/corpus/<target>, which starts as a copy of the
#                                 seeds in tests/fuzz/corpus/<target> and keeps what earlier
#                                 searches found
#   scripts/fuzz.sh --runs [SEED] the check the tests run: each target for its fixed number of
#                                 executions (the table below) with a fixed seed (default 1),
#                                 from its seeds alone, so that every run on every machine tries
#                                 the same inputs
#
# Nothing is ever written into the repository. Prints one line per target with the executions
# run. An input that crashes, leaks, hangs or runs out of memory is kept under
# build/fuzz/findings/<target>/ and its path printed; the exit status is then 1. Every path
# given to libFuzzer is absolute: a target may change its working directory.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
dir=$root/build/fuzz
jobs=${QUORLEX_JOBS:-2}
fixed_addresses=()
if [ "${1:-}" = --runs ]; then
  mode=runs
  seed=${2:-1}
  setarch "$(uname -m)" -R true 2>/dev/null && fixed_addresses=(setarch "$(uname -m)" -R)
else
  mode=time
  seconds=${1:-10}
fi

# Longest input per target: archives and images need room for their tables, texts are cut
# shorter so that each run tries more of them.
declare -A max_len=(
  [zip_archive]=65536 [memory_library]=65536 [user_rules]=32768 [xml_sitelist]=16384
  [kingsoft_convert]=16384 [chinalist_convert]=16384 [html_probes]=16384 [http_headers]=4096
  [redundant_rules]=16384
)
# Executions per target in the --runs check, about ten seconds or less each on a slow shared
# machine: zip_archive and user_rules go through real files for every input (user_rules
# unpacks a package six times), so they get fewer.
declare -A runs=(
  [zip_archive]=1500 [memory_library]=20000 [user_rules]=600 [xml_sitelist]=8000
  [kingsoft_convert]=8000 [chinalist_convert]=8000 [html_probes]=8000 [http_headers]=20000
  [redundant_rules]=8000
)

mkdir -p "$dir"
if ! cmake -S . -B "$dir" -DQUORLEX_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >"$dir/configure.log" 2>&1; then
  cat "$dir/configure.log"
  echo "fuzz: configuring $dir failed"
  exit 2
fi
if ! cmake --build "$dir" -j"$jobs" --target fuzz_targets >"$dir/build.log" 2>&1; then
  tail -40 "$dir/build.log"
  echo "fuzz: building the targets failed (log $dir/build.log)"
  exit 2
fi

export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# The inputs libFuzzer kept for a failure, newest first.
failures() { ls -t "$1" 2>/dev/null | grep -E '^(crash|leak|timeout|oom)-' | sed "s|^|$1/|"; }

status=0
for source in tests/fuzz/*.cpp; do
  target=$(basename "$source" .cpp)
  findings=$dir/findings/$target
  log=$dir/logs/$target.log
  if [ "$mode" = runs ]; then
    # A fresh copy of the seeds each time: what earlier runs found must not change the inputs.
    corpus=$dir/check-corpus/$target
    rm -rf "$corpus"
    # Nothing that depends on time or addresses: no corpus reloads by the clock, no mutations
    # from compared values (some of those are addresses or times), and the same addresses in
    # every run (no address-space randomisation, where setarch can switch it off).
    limits=(-runs="${runs[$target]:-20000}" -seed="$seed" -reload=0 -use_cmp=0)
  else
    corpus=$dir/corpus/$target
    limits=(-max_total_time="$seconds")
  fi
  mkdir -p "$corpus" "$findings" "$dir/logs"
  cp -n tests/fuzz/corpus/"$target"/* "$corpus"/ 2>/dev/null
  before=$(failures "$findings" | wc -l)
  "${fixed_addresses[@]}" "$dir/bin/fuzz_$target" "$corpus" "${limits[@]}" -max_len="${max_len[$target]:-16384}" \
    -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 -artifact_prefix="$findings/" >"$log" 2>&1
  rc=$?
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if [ "$rc" -ne 0 ] || [ "$(failures "$findings" | wc -l)" -gt "$before" ]; then
    status=1
    found=$(failures "$findings" | head -1)
    echo "$target: ${executions:-?} executions, FOUND ${found:-a failure (exit $rc)} (log $log)"
    grep -m1 -E 'ERROR: |check failed' "$log" | sed 's/^/    /'
  elif [ "$mode" = runs ]; then
    echo "$target: ${executions:-?} executions with seed $seed, nothing found"
  else
    echo "$target: ${executions:-?} executions in ${seconds}s, nothing found"
  fi
done
exit "$status"
