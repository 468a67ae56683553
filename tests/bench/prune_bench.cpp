// Speed of the removal of redundant rules on the blacklist our ChinaList conversion writes for a
// generated Adblock Plus list of realistic shape: about 2 MB, about 60,000 rules (1x), and 16
// times that. Run: build/native/quorlex_bench --benchmark_filter=Prune
#include <benchmark/benchmark.h>

#include "abp_blacklist.h"
#include "rules/engine/redundant_rules.h"

namespace {

void Prune(benchmark::State& state) {
    const Text list = abp_blacklist::Blacklist(int(state.range(0)));
    size_t removed = 0, lines = 0;
    for (auto _ : state) {
        const PrunedRuleList p = PruneRuleList(list);
        removed = p.removedCount;
        benchmark::DoNotOptimize(p.kept.data());
    }
    for (char c : list) lines += c == '\n';
    state.counters["rules"] = double(lines + 1);
    state.counters["removed"] = double(removed);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(list.size()));
}

BENCHMARK(Prune)->Arg(1)->Arg(16)->Unit(benchmark::kMillisecond);

}  // namespace
