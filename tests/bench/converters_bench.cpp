// Conversion speed of the rule converters on generated lists of realistic shape, at 1x, 4x and
// 16x the size of a large published list. Run: build/native/quorlex_bench
// (--benchmark_min_time=4 for steady figures: a single run of the 16x sizes mostly measures the
// first touch of fresh memory).
#include <benchmark/benchmark.h>

#include <string>

#include "common/rule_list.h"
#include "common/xml_reader.h"
#include "rules/sources/chinalist_convert.h"
#include "rules/sources/fetch_rules_task.h"
#include "rules/sources/kingsoft_convert.h"
#include "rules/sources/sitelist_convert.h"

namespace {

// About 2 MB for 60,000 lines: blocking filters with options, exceptions, hiding rules, paths.
Text AbpList(int lines) {
    Text list = "[Adblock Plus 1.1]\n";
    for (int i = 0; i < lines; ++i) {
        const std::string n = std::to_string(i);
        switch (i % 6) {
        case 0: list += "||ads" + n + ".example.com^$third-party,script\n"; break;
        case 1: list += "@@||ok" + n + ".example.org^$document\n"; break;
        case 2: list += "news" + n + ".example.cn,blog" + n + ".example.net##.ad-banner-" + n + "\n"; break;
        case 3: list += "/banner/" + n + "/*$image\n"; break;
        case 4: list += "|http://cdn" + n + ".example.com/ad.js|\n"; break;
        default: list += "! comment line number " + n + " of the generated list\n"; break;
        }
    }
    return list;
}

Text KingsoftList(int lines) {
    Text list;
    for (int i = 0; i < lines; ++i) {
        const std::string n = std::to_string(i);
        switch (i % 4) {
        case 0: list += "0,1,www.site" + n + ".com/ad/*,1\r\n"; break;
        case 1: list += "*.adserver" + n + ".net\r\n"; break;
        case 2: list += "http://img" + n + ".example.cn/banner?.gif\r\n"; break;
        default: list += ".tracker" + n + ".com/*\r\n"; break;
        }
    }
    return list;
}

Text SiteList(int entries) {
    Text xml = "<?xml version=\"1.0\" encoding=\"gb2312\"?>\n<sp>\n";
    for (int i = 0; i < entries; i += 4) {
        const std::string n = std::to_string(i);
        xml += "<site d=\"site" + n + ".com\"><whitelist><e mode=\"0\">/ok/" + n +
               "/*</e></whitelist><blacklist><e mode=\"0\">/ad/" + n + "/*</e><e mode=\"0\">ads" + n +
               ".example.com</e><e mode=\"1\">^http://x" + n + "\\.com/(a|b)\\.js</e></blacklist></site>\n";
    }
    return xml + "</sp>\n";
}

void ConvertAbp(benchmark::State& state) {
    const Text list = AbpList(int(60000 * state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(ConvertChinaList(list, nullptr));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(list.size()));
}

void ConvertKingsoft(benchmark::State& state) {
    const Text list = KingsoftList(int(60000 * state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(ConvertKingsoftList(list));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(list.size()));
}

void ConvertSites(benchmark::State& state) {
    const Text xml = SiteList(int(20000 * state.range(0)));
    XmlReader reader;
    for (auto _ : state) {
        SiteListRules rules;
        benchmark::DoNotOptimize(ConvertSiteListText(xml, reader, rules));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(xml.size()));
}

void MergeBuckets(benchmark::State& state) {
    const Text bucket = TrimRuleText(ConvertKingsoftList(KingsoftList(int(60000 * state.range(0)))));
    const Text empty;
    for (auto _ : state)
        benchmark::DoNotOptimize(MergeRuleBuckets({&bucket, &bucket, &empty, &bucket, &empty, &bucket}));
}

BENCHMARK(ConvertAbp)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(ConvertKingsoft)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(ConvertSites)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(MergeBuckets)->Arg(1)->Arg(16)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
