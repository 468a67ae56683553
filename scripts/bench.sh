#!/usr/bin/env bash
# The figures of the README's benchmark section, measured in one run on this machine:
#   1. the converters in-process (build/native/quorlex_bench, Google Benchmark): generated lists
#      at 1x, 4x and 16x, and the real published list of scripts/real-list.sh;
#   2. whole processes: `quorlex convert abp` on the real list and on an empty list, the median
#      of repeated runs (and their instruction counts under callgrind when valgrind is there).
# BASE=DIR also times DIR/quorlex and DIR/quorlex_bench (an earlier build) in the same run.
# RUNS=N sets the number of whole-process runs (default 30).
set -uo pipefail
cd "$(dirname "$0")/.."
runs=${RUNS:-30}
list=$(scripts/real-list.sh)
export QUORLEX_REAL_LIST=$list
empty=$(mktemp); : >"$empty"
trap 'rm -f "$empty"' EXIT

bench() {  # label, bench binary
  echo "== $1: converters in-process"
  "$2" --benchmark_min_time=${MIN_TIME:-2} 2>/dev/null | grep -E '^(Convert|RealList|Merge|Prune)'
}

process() {  # label, quorlex binary
  echo "== $1: whole process, median of $runs runs"
  python3 - "$2" "$runs" "$empty" "$list" <<'PY'
import statistics, subprocess, sys, time
cli, runs, empty, real = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
cases = [("convert abp (empty list)", [cli, "convert", "abp", empty])]
if real:
    cases.append(("convert abp (real list)", [cli, "convert", "abp", real]))
for name, argv in cases:
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        times.append(time.perf_counter() - start)
    print("%-28s median %7.1f ms   min %7.1f ms" % (name, 1000 * statistics.median(times), 1000 * min(times)))
PY
  if command -v valgrind >/dev/null; then
    for input in "$empty" ${list:+"$list"}; do
      ir=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null "$2" convert abp "$input" 2>&1 >/dev/null |
           sed -n 's/.*Collected : \([0-9]*\).*/\1/p')
      echo "instructions, convert abp $( [ "$input" = "$empty" ] && echo '(empty list)' || echo '(real list)'): $ir"
    done
  fi
}

[ -n "$list" ] && echo "real list: $list ($(wc -c <"$list") bytes, $(wc -l <"$list") lines)"
if [ -n "${BASE:-}" ]; then
  bench "before ($BASE)" "$BASE/quorlex_bench"
  bench "after" build/native/quorlex_bench
  process "before ($BASE)" "$BASE/quorlex"
  process "after" build/native/quorlex
else
  bench "converters" build/native/quorlex_bench
  process "quorlex" build/native/quorlex
fi
