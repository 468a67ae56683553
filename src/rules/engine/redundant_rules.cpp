#include "rules/engine/redundant_rules.h"

#include <string_view>

#include "common/rule_list.h"
#include "rules/engine/browser_rule.h"
#include "rules/engine/hash_groups.h"
#include "rules/engine/literal_scanner.h"

namespace {

// Where the rules that may cover a rule are found. The rules indexed are the list's first copy
// of each text; the keys are hashes, so a candidate still has to pass RuleCovers.
class CoverIndex {
public:
    CoverIndex(const std::vector<BrowserRule>& rules, const std::vector<int>& indexed) : rules_(rules) {
        HashGroups literalIds;
        std::vector<std::string_view> literals;
        for (int i : indexed) {
            const BrowserRule& s = rules[i];
            if (s.kind == RuleKind::Hiding) {
                if (IsGenericHidingRule(s)) genericHiding_.Add(TextKey(s.selector()), i);
                continue;
            }
            switch (s.address) {
            case AddressKind::Host: hosts_.Add(TextKey(s.host(), s.options()), i); break;
            case AddressKind::Domain: domains_.Add(TextKey(s.host(), s.options()), i); break;
            case AddressKind::Anywhere: {
                const std::string_view literal = LongestLiteralRun(s.pattern());
                if (literal.empty()) {
                    starOnly_.Add(TextKey(s.options()), i);
                } else {
                    anywhere_.push_back(i);
                    literals.push_back(literal);
                }
                break;
            }
            }
        }
        // One scanner entry for each distinct literal, and the rules behind each.
        for (size_t k = 0; k < literals.size(); ++k) literalIds.Add(TextKey(literals[k]), int(k));
        literalIds.Build();
        std::vector<int> idOf(literals.size(), -1);
        for (size_t k = 0; k < literals.size(); ++k) {
            const HashGroups::Items same = literalIds.Find(TextKey(literals[k]));
            for (const int* j = same.begin; j != same.end && idOf[k] < 0; ++j) {
                if (size_t(*j) < k && literals[size_t(*j)] == literals[k]) idOf[k] = idOf[size_t(*j)];
            }
            if (idOf[k] < 0) idOf[k] = scanner_.Add(literals[k]);
            byLiteral_.Add(uint64_t(idOf[k]) + 1, anywhere_[k]);
        }
        scanner_.Build();
        for (HashGroups* index : {&hosts_, &domains_, &starOnly_, &byLiteral_, &genericHiding_}) index->Build();
    }

    // Calls visit(s) for each rule that may cover rule `r` (a rule may come more than once)
    // until visit returns true; true then.
    template <typename Visit>
    bool AnyCandidate(int r, Visit&& visit) {
        const BrowserRule& rule = rules_[r];
        if (rule.kind == RuleKind::Hiding)
            return !IsGenericHidingRule(rule) && AnyIn(genericHiding_.Find(TextKey(rule.selector())), visit);
        if (rule.address == AddressKind::Host && AnyIn(hosts_.Find(TextKey(rule.host(), rule.options())), visit))
            return true;
        if (rule.address != AddressKind::Anywhere) {
            // The domain itself (a "~." rule's own), then every domain it is a subdomain of.
            if (rule.address == AddressKind::Domain && AnyIn(domains_.Find(TextKey(rule.host(), rule.options())), visit))
                return true;
            const std::string_view host = rule.host();
            for (size_t dot = host.find('.'); dot != std::string_view::npos; dot = host.find('.', dot + 1)) {
                if (AnyIn(domains_.Find(TextKey(host.substr(dot + 1), rule.options())), visit)) return true;
            }
        }
        literalsFound_.clear();
        scanner_.Scan(rule.pattern(), [this](int id) { literalsFound_.push_back(id); });
        for (int id : literalsFound_) {
            if (AnyIn(byLiteral_.Find(uint64_t(id) + 1), visit)) return true;
        }
        return AnyIn(starOnly_.Find(TextKey(rule.options())), visit);
    }

private:
    template <typename Visit>
    static bool AnyIn(HashGroups::Items items, Visit& visit) {
        for (const int* s = items.begin; s != items.end; ++s)
            if (visit(*s)) return true;
        return false;
    }

    const std::vector<BrowserRule>& rules_;
    HashGroups hosts_, domains_;  // host rules and "~." rules, by host and options
    HashGroups starOnly_;         // anywhere rules without a literal, by options
    HashGroups byLiteral_;        // anywhere rules, by the scanner's id of their literal
    HashGroups genericHiding_;    // by selector
    std::vector<int> anywhere_;
    LiteralScanner scanner_;
    std::vector<int> literalsFound_;
};

constexpr size_t kStopCheckEvery = 1024;

bool Stopped(bool (*stopped)(), size_t i) { return stopped && i % kStopCheckEvery == 0 && stopped(); }

// For each rule that some other rule dominates, the end of its chain of dominating rules: a
// rule that nothing dominates, which stays. -1 for a rule that stays itself.
std::vector<int> ChainEnds(const std::vector<int>& dominatedBy) {
    const int n = int(dominatedBy.size());
    std::vector<int> end(n, -2);  // -2: not known yet
    std::vector<int> walk(n, -1), path;
    for (int i = 0; i < n; ++i) {
        path.clear();
        int j = i;
        while (end[j] == -2 && dominatedBy[j] >= 0 && walk[j] != i) {
            walk[j] = i;
            path.push_back(j);
            j = dominatedBy[j];
        }
        int top;
        if (end[j] != -2) {
            top = end[j] >= 0 ? end[j] : j;  // the known end of j's chain, or j, which stays
        } else if (dominatedBy[j] < 0) {
            end[j] = -1;  // nothing dominates j: it stays
            top = j;
        } else {
            top = -1;  // back at j: a loop, which domination cannot make; all of it stays
        }
        for (int p : path) end[p] = top;
    }
    return end;
}

}  // namespace

RedundantRules FindRedundantRules(const std::vector<std::string_view>& lines, bool (*stopped)()) {
    const size_t n = lines.size();
    RedundantRules result;
    result.coveredBy.assign(n, -1);

    // Each text once: later copies are duplicates of the first. The first line of each text is
    // kept in an open-addressing table by the text's key (one probe for most lines).
    std::vector<std::string_view> trimmed(n);
    std::vector<BrowserRule> rules(n);
    std::vector<int> firstCopy(n, -1), indexed;
    struct FirstLine {
        uint64_t key = 0;  // 0: empty
        int line = 0;
    };
    size_t size = 16;
    while (size < n * 2) size *= 2;
    std::vector<FirstLine> firstLines(size);
    for (size_t i = 0; i < n; ++i) {
        if (Stopped(stopped, i)) return result;
        trimmed[i] = TrimRuleTextView(lines[i]);
        rules[i] = ParseBrowserRule(trimmed[i]);
        if (rules[i].kind == RuleKind::Unparsed) continue;
        const uint64_t key = TextKey(trimmed[i]);
        size_t slot = FirstSlot(key, size);
        for (; firstLines[slot].key != 0; slot = (slot + 1) & (size - 1)) {
            const FirstLine& f = firstLines[slot];
            if (f.key == key && trimmed[size_t(f.line)] == trimmed[i]) {
                firstCopy[i] = f.line;
                break;
            }
        }
        if (firstCopy[i] >= 0) continue;
        firstLines[slot] = {key, int(i)};
        indexed.push_back(int(i));
    }

    // A rule is dominated by a rule that covers it and that it does not cover in turn (of two
    // that cover each other, the earlier one dominates). Domination has no loops, so following
    // it always ends at a rule that nothing dominates: that one stays and covers the whole chain.
    CoverIndex index(rules, indexed);
    std::vector<int> dominatedBy(n, -1), lastAsked(n, -1);
    for (size_t k = 0; k < indexed.size(); ++k) {
        if (Stopped(stopped, k)) return result;
        const int r = indexed[k];
        index.AnyCandidate(r, [&](int s) {
            if (s == r || lastAsked[s] == r) return false;
            lastAsked[s] = r;
            if (!RuleCovers(rules[s], rules[r])) return false;
            if (s > r && RuleCovers(rules[r], rules[s])) return false;
            dominatedBy[r] = s;
            return true;
        });
    }
    const std::vector<int> ends = ChainEnds(dominatedBy);

    for (size_t i = 0; i < n; ++i) {
        if (rules[i].kind == RuleKind::Unparsed) continue;
        const int first = firstCopy[i] >= 0 ? firstCopy[i] : int(i);
        int cover = ends[first];
        if (cover < 0 && first != int(i)) cover = first;
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
    pruned.kept.reserve(list.size() + lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        Text& out = found.coveredBy[i] < 0 ? pruned.kept : pruned.removed;
        out += lines[i];
        out += kCrLf;
    }
    pruned.removedCount = found.removedCount;
    return pruned;
}
