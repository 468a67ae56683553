// Conversion speed of the rule converters on generated lists of realistic shape, at 1x, 4x and
// 16x the size of a large published list, and on a real published list when QUORLEX_REAL_LIST
// names one (scripts/real-list.sh). Run: build/native/quorlex_bench, or scripts/bench.sh for
// the figures of the README.
//
// Each conversion also reports peak_per_input: the most memory held at once during one
// conversion (the input list included), as a multiple of the input's size, counted by this
// program's own operator new.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <new>
#include <sstream>
#include <string>

#include "common/rule_list.h"
#include "common/xml_reader.h"
#include "rules/sources/chinalist_convert.h"
#include "rules/sources/fetch_rules_task.h"
#include "rules/sources/kingsoft_convert.h"
#include "rules/sources/sitelist_convert.h"
#include "common/encoding.h"

// ---- memory held, counted by operator new -----------------------------------------------------

namespace {

std::atomic<size_t> heldBytes{0}, peakBytes{0};

void* Allocate(size_t size) {
    // The size is kept in front of the block, so that a plain delete knows it.
    void* block = std::malloc(size + 16);
    if (!block) throw std::bad_alloc();
    *static_cast<size_t*>(block) = size;
    const size_t held = heldBytes += size;
    for (size_t peak = peakBytes; held > peak && !peakBytes.compare_exchange_weak(peak, held);) {
    }
    return static_cast<char*>(block) + 16;
}

void Release(void* p) {
    if (!p) return;
    void* block = static_cast<char*>(p) - 16;
    heldBytes -= *static_cast<size_t*>(block);
    std::free(block);
}

}  // namespace

void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, size_t) noexcept { Release(p); }
void operator delete[](void* p, size_t) noexcept { Release(p); }

namespace {

// Runs `convert` once outside the timing and reports its peak as a multiple of `inputBytes`
// (the input is held during the conversion and counts).
template <typename Convert>
void ReportPeak(benchmark::State& state, size_t inputBytes, Convert convert) {
    const size_t before = heldBytes;
    peakBytes = before;
    convert();
    state.counters["peak_per_input"] = double(peakBytes - before + inputBytes) / double(inputBytes);
}

// ---- generated lists ---------------------------------------------------------------------------

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

// The bytes of the real list named by QUORLEX_REAL_LIST (scripts/real-list.sh), or empty.
const ByteBuffer& RealListBytes() {
    static const ByteBuffer bytes = [] {
        const char* path = std::getenv("QUORLEX_REAL_LIST");
        if (!path || !*path) return ByteBuffer();
        std::ifstream in(path, std::ios::binary);
        std::ostringstream read;
        read << in.rdbuf();
        return ByteBuffer(read.str());
    }();
    return bytes;
}

// ---- benchmarks --------------------------------------------------------------------------------

void ConvertAbp(benchmark::State& state) {
    const Text list = AbpList(int(60000 * state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(ConvertChinaList(list, nullptr));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(list.size()));
    ReportPeak(state, list.size(), [&] { ConvertChinaList(list, nullptr); });
}

void ConvertKingsoft(benchmark::State& state) {
    const Text list = KingsoftList(int(60000 * state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(ConvertKingsoftList(list));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(list.size()));
    ReportPeak(state, list.size(), [&] { ConvertKingsoftList(list); });
}

void ConvertSites(benchmark::State& state) {
    const Text xml = SiteList(int(20000 * state.range(0)));
    XmlReader reader;
    for (auto _ : state) {
        SiteListRules rules;
        benchmark::DoNotOptimize(ConvertSiteListText(xml, reader, rules));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(xml.size()));
    ReportPeak(state, xml.size(), [&] {
        SiteListRules rules;
        ConvertSiteListText(xml, reader, rules);
    });
}

// The whole ChinaList step on the real list once it is downloaded: decoding and conversion.
void RealListAbp(benchmark::State& state) {
    const ByteBuffer& bytes = RealListBytes();
    if (bytes.empty()) return state.SkipWithError("QUORLEX_REAL_LIST names no list (scripts/real-list.sh)");
    for (auto _ : state) benchmark::DoNotOptimize(ConvertChinaList(Utf8ToGbk(bytes), nullptr));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
    ReportPeak(state, bytes.size(), [&] { ConvertChinaList(Utf8ToGbk(bytes), nullptr); });
}

void RealListUtf8ToGbk(benchmark::State& state) {
    const ByteBuffer& bytes = RealListBytes();
    if (bytes.empty()) return state.SkipWithError("QUORLEX_REAL_LIST names no list (scripts/real-list.sh)");
    for (auto _ : state) benchmark::DoNotOptimize(Utf8ToGbk(bytes));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
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
BENCHMARK(RealListAbp)->Unit(benchmark::kMillisecond);
BENCHMARK(RealListUtf8ToGbk)->Unit(benchmark::kMillisecond);
BENCHMARK(MergeBuckets)->Arg(1)->Arg(16)->Unit(benchmark::kMillisecond);

}  // namespace

// glibc hands out blocks above its mmap threshold (which grows with use up to 32 MB) as fresh
// mappings and returns them on free, so the 16x sizes alone would fault in new pages on every
// iteration while the smaller ones reuse warm memory. A fixed threshold at the top and no trimming
// make every size reuse its memory, and the figures compare the conversions, not the kernel's
// zeroing of pages.
int main(int argc, char** argv) {
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
