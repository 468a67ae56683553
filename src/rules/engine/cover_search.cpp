#include "rules/engine/cover_search.h"

#include <algorithm>

namespace {

bool Dominates(const std::vector<BrowserRule>& rules, int s, int r) {
    const BrowserRule& cover = rules[size_t(s)];
    const BrowserRule& rule = rules[size_t(r)];
    return s != r && RuleCovers(cover, rule) && !(s > r && RuleCovers(rule, cover));
}

// In a long list the groups, and the rules they hold, lie far apart in memory. So the rules go
// in blocks through a pipeline of stages, each fetching what the next one reads: the keys'
// filter words, the slots of the keys that pass, the groups, the candidate rules, their
// patterns; then the candidates are tried. At each step every block in the pipeline moves on by
// one stage, so that what a stage fetches has a whole step to arrive before it is read.
class LookupPipeline {
public:
    LookupPipeline(const std::vector<BrowserRule>& rules, CoverIndex& index) : rules_(rules), index_(index) {}

    bool Run(const std::vector<int>& indexed, std::vector<int>& dominatedBy, bool (*stopped)()) {
        dominatedBy_ = &dominatedBy;
        const size_t blocks = (indexed.size() + kBlock - 1) / kBlock;
        for (size_t step = 0; step < blocks + kStages - 1; ++step) {
            if (stopped && step % kStopCheckSteps == 0 && stopped()) return false;
            for (size_t stage = 0; stage < kStages; ++stage) {
                if (step < stage || step - stage >= blocks) continue;
                const size_t b = step - stage;
                Block& block = pipeline_[b % kStages];
                if (stage == 0) {
                    block.rules = &indexed[b * kBlock];
                    block.count = std::min(kBlock, indexed.size() - b * kBlock);
                }
                RunStage(stage, block);
            }
        }
        return true;
    }

private:
    static constexpr size_t kBlock = 64;
    static constexpr size_t kStages = 6;
    static constexpr size_t kStopCheckSteps = 16;
    static constexpr size_t kFetchedPerGroup = 4;

    struct Lookup {
        uint64_t key;
        bool wanted;  // the key passed the filter
        HashGroups::Items items;
    };

    struct Block {
        const int* rules = nullptr;
        size_t count = 0;
        std::vector<Lookup> lookups;      // rule by rule, each rule's in order
        std::vector<size_t> firstLookup;  // by rule, and one more for the end
        std::vector<int> fetched;         // the first candidates of each group
    };

    void RunStage(size_t stage, Block& block) {
        std::vector<int>& dominatedBy = *dominatedBy_;
        const HashGroups& groups = index_.groups();
        switch (stage) {
        case 0:
            block.lookups.clear();
            block.firstLookup.clear();
            for (size_t k = 0; k < block.count; ++k) {
                block.firstLookup.push_back(block.lookups.size());
                if (dominatedBy[size_t(block.rules[k])] >= 0) continue;  // already
                keys_.clear();
                index_.LookupKeys(rules_[size_t(block.rules[k])], keys_);
                for (uint64_t key : keys_) block.lookups.push_back({key, false, {nullptr, nullptr}});
            }
            block.firstLookup.push_back(block.lookups.size());
            for (const Lookup& l : block.lookups) groups.PrefetchFilter(l.key);
            break;
        case 1:  // most keys stop at the filter
            for (Lookup& l : block.lookups) {
                l.wanted = groups.MayHave(l.key);
                if (l.wanted) groups.Prefetch(l.key);
            }
            break;
        case 2:
            for (Lookup& l : block.lookups) {
                if (!l.wanted) continue;
                l.items = groups.Find(l.key);
                if (l.items.begin != l.items.end) __builtin_prefetch(l.items.begin);
            }
            break;
        case 3:
            block.fetched.clear();
            for (const Lookup& l : block.lookups) {
                for (const int* s = l.items.begin; s != l.items.end && s != l.items.begin + kFetchedPerGroup; ++s) {
                    block.fetched.push_back(*s);
                    __builtin_prefetch(&rules_[size_t(*s)]);
                }
            }
            break;
        case 4:
            for (int s : block.fetched) __builtin_prefetch(rules_[size_t(s)].line + BrowserRule::kPatternBegin);
            break;
        default:
            for (size_t k = 0; k < block.count; ++k) {
                int& by = dominatedBy[size_t(block.rules[k])];
                if (by < 0) by = FirstDominating(block, k);
            }
            break;
        }
    }

    // The block's k-th rule: the first candidate that dominates it, or -1.
    int FirstDominating(const Block& block, size_t k) const {
        const int r = block.rules[k];
        for (size_t j = block.firstLookup[k]; j < block.firstLookup[k + 1]; ++j) {
            for (const int* s = block.lookups[j].items.begin; s != block.lookups[j].items.end; ++s)
                if (Dominates(rules_, *s, r)) return *s;
        }
        return -1;
    }

    const std::vector<BrowserRule>& rules_;
    CoverIndex& index_;
    std::vector<int>* dominatedBy_ = nullptr;
    Block pipeline_[kStages];  // block b at pipeline_[b % kStages]
    std::vector<uint64_t> keys_;
};

}  // namespace

void FetchRules(const std::vector<BrowserRule>& rules, const std::vector<int>& indexes) {
    for (int i : indexes) __builtin_prefetch(&rules[size_t(i)]);
    for (int i : indexes) __builtin_prefetch(rules[size_t(i)].line + BrowserRule::kPatternBegin);
}

void DominatedWithinHostGroups(const std::vector<BrowserRule>& rules, const CoverIndex& index,
                               std::vector<int>& dominatedBy) {
    // Group by group, each rule trying the others by line; the rules of a few groups fetched at
    // once.
    std::vector<HashGroups::Items> shared;
    index.ForEachSharedHostGroup([&](HashGroups::Items items) { shared.push_back(items); });
    std::vector<int> fetched;
    for (size_t first = 0; first < shared.size();) {
        size_t last = first;
        fetched.clear();
        for (; last < shared.size() && fetched.size() < 256; ++last)
            fetched.insert(fetched.end(), shared[last].begin, shared[last].end);
        FetchRules(rules, fetched);
        for (; first < last; ++first) {
            for (const int* r = shared[first].begin; r != shared[first].end; ++r) {
                for (const int* s = shared[first].begin; s != shared[first].end; ++s) {
                    if (!Dominates(rules, *s, *r)) continue;
                    dominatedBy[size_t(*r)] = *s;
                    break;
                }
            }
        }
    }
}

bool DominatedByLookups(const std::vector<BrowserRule>& rules, CoverIndex& index, const std::vector<int>& indexed,
                        std::vector<int>& dominatedBy, bool (*stopped)()) {
    return LookupPipeline(rules, index).Run(indexed, dominatedBy, stopped);
}
