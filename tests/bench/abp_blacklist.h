// The blacklist our ChinaList conversion writes for a generated Adblock Plus list of realistic
// shape, about 2 MB (60,000 rules) times `times`: what the removal of redundant rules is measured
// on, and what its tests compare before and after a change.
#pragma once

#include <random>
#include <string>
#include <vector>

#include "rules/sources/chinalist_convert.h"
#include "rules/sources/fetch_rules_task.h"

namespace abp_blacklist {

// Domains, their subdomains and paths, hosts the converters cannot tell apart from a pattern
// (unknown top-level domains: anywhere rules with a long literal), path and name patterns,
// options, hiding rules with their generic form now and then, exceptions, comments and repeats:
// the mix of a merged published list, a part of it redundant.
inline Text AbpList(size_t bytes, unsigned seed) {
    std::mt19937 rng(seed);
    const auto number = [&](int n) { return std::to_string(std::uniform_int_distribution<int>(0, n - 1)(rng)); };
    const int sites = int(bytes / 60);
    Text list = "[Adblock Plus 2.0]\n";
    std::vector<Text> recent;
    while (list.size() < bytes) {
        const Text site = "news-portal-" + number(sites) + (rng() % 3 ? ".com" : ".com.cn");
        const Text selector = ".ad-banner-container-" + number(20000);
        Text line;
        switch (rng() % 24) {
        case 0: case 1: case 2: case 3: line = "||" + site + "^"; break;
        case 4: case 5: line = "||ads" + number(20) + "." + site + "^"; break;
        case 6: line = "||" + site + "/static/ads/" + number(1000) + "/banner_300x250.gif"; break;
        case 7: line = "||" + site + "^$script,third-party"; break;
        case 8: case 9: case 10: line = "||tracker-" + number(sites) + "-network.online^"; break;
        case 11: line = "/ads/" + number(sites) + "/side_banner_*"; break;
        case 12: line = "-ad-banner-" + number(sites) + "."; break;
        case 13: case 14: line = site + "##" + selector; break;
        case 15: line = "*##" + selector; break;
        case 16: case 17: line = "@@||" + site + "/static/ok/"; break;
        case 18: case 19: case 20: line = "! ---------- rules for " + site + " ----------"; break;
        case 21: line = "/static/js/advert_loader_" + number(sites) + ".js"; break;
        default: line = recent.empty() ? "! comment" : recent[rng() % recent.size()]; break;
        }
        if (recent.size() < 64) recent.push_back(line); else recent[rng() % 64] = line;
        list += line;
        list += '\n';
    }
    return list;
}

// The blacklist box after a fetch of such a list, `times` 2 MB long: blocking rules, then hiding
// rules.
inline Text Blacklist(int times) {
    const ChinaListBuckets b = ConvertChinaList(AbpList(size_t(times) * 2 * 1024 * 1024, 1000u), nullptr);
    return MergeRuleBuckets({&b.block, &b.hide});
}

}  // namespace abp_blacklist
