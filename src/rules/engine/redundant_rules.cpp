#include "rules/engine/redundant_rules.h"

#include <string_view>

#include "common/rule_list.h"
#include "rules/engine/browser_rule.h"
#include "rules/engine/cover_index.h"
#include "rules/engine/cover_search.h"
#include "rules/engine/hash_groups.h"

namespace {

constexpr size_t kStopCheckEvery = 1024;

bool Stopped(bool (*stopped)(), size_t i) { return stopped && i % kStopCheckEvery == 0 && stopped(); }

// How many lines ahead of the one placed in the table of first lines the pass over the lines
// works out a key and fetches its slot: in a long list the slots lie far apart in memory.
constexpr size_t kAhead = 16;

constexpr int kUnparsed = -2;

// The first line of each text: an open-addressing table of lines by their text's key (one probe
// for most lines), half as large again as the lines. It holds the top half of each key and finds
// a key's slot from the bottom half: unless it compares texts, lines whose keys' top halves meet
// in it are taken for copies without a look at their texts.
class FirstLines {
public:
    FirstLines(size_t lines, bool compareTexts) : compareTexts_(compareTexts), table_(lines + lines / 2 + 1) {}

    void Prefetch(uint64_t key) const { __builtin_prefetch(&table_[FirstSlot(key)]); }

    // The first line with the text of line i (whose key is `key`), or -1 when it is line i.
    int Place(const std::vector<BrowserRule>& rules, size_t i, uint64_t key) {
        const uint32_t tag = uint32_t(key >> 32);
        size_t slot = FirstSlot(key);
        for (; table_[slot].line >= 0; slot = slot + 1 == table_.size() ? 0 : slot + 1) {
            const Entry& e = table_[slot];
            if (e.tag == tag && (!compareTexts_ || rules[size_t(e.line)].text() == rules[i].text())) return e.line;
        }
        table_[slot] = {tag, int(i)};
        return -1;
    }

private:
    struct Entry {
        uint32_t tag = 0;  // the key's top half
        int line = -1;     // -1: empty
    };

    size_t FirstSlot(uint64_t key) const { return size_t((key & 0xFFFFFFFFu) * uint64_t(table_.size()) >> 32); }

    bool compareTexts_;
    std::vector<Entry> table_;
};

// One pass over the lines: each is parsed, its text's key worked out and its slot in the table
// of first lines fetched a few lines before it is placed there. firstCopy[i] is the first line
// with the text of line i (-1 for the first itself, kUnparsed for a line of no known form); the
// first lines are listed in order and go in the index. False when `stopped` ended the pass.
bool FindFirstCopies(const std::vector<std::string_view>& lines, bool compareTexts, std::vector<BrowserRule>& rules,
                     std::vector<int>& firstCopy, std::vector<int>& firsts, CoverIndex& index, bool (*stopped)()) {
    const size_t n = lines.size();
    FirstLines table(n, compareTexts);
    rules.clear();
    rules.reserve(n);
    firstCopy.assign(n, -1);
    firsts.clear();
    firsts.reserve(n);
    uint64_t ahead[kAhead];  // the keys of the lines parsed but not yet placed
    for (size_t i = 0; i < n + kAhead; ++i) {
        if (i >= kAhead) {
            const size_t j = i - kAhead;
            const uint64_t key = ahead[j % kAhead];
            if (key == 0) {
                firstCopy[j] = kUnparsed;
            } else {
                firstCopy[j] = table.Place(rules, j, key);
                if (firstCopy[j] < 0) {
                    firsts.push_back(int(j));
                    index.Add(rules[j], int(j));
                }
            }
        }
        if (i >= n) continue;
        if (Stopped(stopped, i)) return false;
        rules.push_back(ParseBrowserRule(TrimRuleTextView(lines[i])));
        const uint64_t key = rules[i].kind == RuleKind::Unparsed ? 0 : TextKey(rules[i].text());
        ahead[i % kAhead] = key;
        if (key != 0) table.Prefetch(key);
    }
    return true;
}

// Whether each line taken for a copy has the text of the line it was taken for a copy of. The
// first lines are far apart in a long list: they are fetched a few hundred at a time.
bool CopiesHaveTheirTexts(const std::vector<BrowserRule>& rules, const std::vector<int>& firstCopy) {
    constexpr size_t kChunk = 256;
    std::vector<int> copies, firsts;
    for (size_t i = 0; i < firstCopy.size(); ++i) {
        if (firstCopy[i] >= 0) {
            copies.push_back(int(i));
            firsts.push_back(firstCopy[i]);
        }
        if (copies.size() < kChunk && i + 1 < firstCopy.size()) continue;
        FetchRules(rules, firsts);
        for (size_t c = 0; c < copies.size(); ++c)
            if (rules[size_t(firsts[c])].text() != rules[size_t(copies[c])].text()) return false;
        copies.clear();
        firsts.clear();
    }
    return true;
}

// Turns each rule's dominating rule into the end of its chain of dominating rules: a rule that
// nothing dominates, which stays. -1 (a rule that stays itself) stays as it is.
void FollowChains(std::vector<int>& dominatedBy) {
    // While it works: the end e of a chain already followed is kept as kEnds - e, below the
    // mark of a rule on the path being followed.
    constexpr int kOnPath = -2, kEnds = -3;
    std::vector<int>& end = dominatedBy;
    std::vector<int> path;
    for (size_t i = 0; i < end.size(); ++i) {
        path.clear();
        size_t j = i;
        while (end[j] >= 0) {
            const size_t next = size_t(end[j]);
            end[j] = kOnPath;
            path.push_back(int(j));
            j = next;
        }
        int top;
        if (end[j] == kOnPath) {
            top = -1;  // back on the path: a loop, which domination cannot make; all of it stays
        } else if (end[j] == -1) {
            top = int(j);  // nothing dominates j: it stays
        } else {
            top = kEnds - end[j];  // the known end of j's chain
        }
        for (int p : path) end[size_t(p)] = top < 0 ? -1 : kEnds - top;
    }
    for (int& e : end)
        if (e <= kEnds) e = kEnds - e;
}

}  // namespace

RedundantRules FindRedundantRules(const std::vector<std::string_view>& lines, bool (*stopped)()) {
    const size_t n = lines.size();
    RedundantRules result;
    // Until the end, coveredBy holds each line's first copy (kUnparsed for a line of no known form).
    std::vector<int>& firstCopy = result.coveredBy;
    const auto stop = [&] {
        result.coveredBy.assign(n, -1);
        return result;
    };

    // Each text once: later copies are duplicates of the first. Two texts whose keys share their
    // top half and meet in the table are next to never seen; when they are, the pass runs again
    // comparing texts as it goes.
    std::vector<BrowserRule> rules;
    std::vector<int> indexed;
    CoverIndex index;
    if (!FindFirstCopies(lines, false, rules, firstCopy, indexed, index, stopped)) return stop();
    if (!CopiesHaveTheirTexts(rules, firstCopy)) {
        index = CoverIndex();
        if (!FindFirstCopies(lines, true, rules, firstCopy, indexed, index, stopped)) return stop();
    }
    index.Build();

    // A rule is dominated by a rule that covers it and that it does not cover in turn. Domination
    // has no loops, so following it always ends at a rule that nothing dominates: that one stays
    // and covers the whole chain.
    std::vector<int> dominatedBy(n, -1);
    DominatedWithinHostGroups(rules, index, dominatedBy);
    if (!DominatedByLookups(rules, index, indexed, dominatedBy, stopped)) return stop();
    FollowChains(dominatedBy);
    const std::vector<int>& ends = dominatedBy;

    for (size_t i = 0; i < n; ++i) {
        const int first = firstCopy[i] == kUnparsed ? -1 : firstCopy[i] >= 0 ? firstCopy[i] : int(i);
        int cover = first < 0 ? -1 : ends[size_t(first)];
        if (cover < 0 && first >= 0 && first != int(i)) cover = first;
        result.coveredBy[i] = cover;
        if (cover >= 0) ++result.removedCount;
    }
    result.complete = true;
    return result;
}

PrunedRuleList PruneRuleList(const Text& list, bool (*stopped)()) {
    const std::vector<std::string_view> lines = SplitRuleLineViews(list);
    const RedundantRules found = FindRedundantRules(lines, stopped);
    PrunedRuleList pruned;
    pruned.complete = found.complete;
    if (!found.complete) return pruned;
    size_t sizes[2] = {};  // of the kept and the removed text
    for (size_t i = 0; i < lines.size(); ++i) sizes[found.coveredBy[i] >= 0] += lines[i].size() + kCrLf.size();
    pruned.kept.reserve(sizes[0]);
    pruned.removed.reserve(sizes[1]);
    for (size_t i = 0; i < lines.size(); ++i) {
        Text& out = found.coveredBy[i] < 0 ? pruned.kept : pruned.removed;
        out += lines[i];
        out += kCrLf;
    }
    pruned.removedCount = found.removedCount;
    return pruned;
}
