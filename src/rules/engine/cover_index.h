// The rules of a list that may cover others (the first copy of each text), grouped by the keys
// under which a rule looks for the rules that may cover it: a host rule under its host, a "~."
// rule under its domain (each with its options), an anywhere rule under the longest literal run
// of its pattern and its options (under its options alone when it has none), a generic hiding
// rule under its selector. The keys are hashes, so a rule found still has to pass RuleCovers.
#pragma once

#include <cstdint>
#include <vector>

#include "rules/engine/browser_rule.h"
#include "rules/engine/hash_groups.h"
#include "rules/engine/literal_scanner.h"

class CoverIndex {
public:
    void Add(const BrowserRule& rule, int line);  // before Build
    void Build();

    // Calls visit(items) for each group of two or more host rules of one host, or of "~." rules
    // of one domain, and one options text.
    template <typename Visit>
    void ForEachSharedHostGroup(Visit&& visit) const {
        for (size_t k = 0; k + 1 < sharedHosts_.size(); k += 2)
            visit(HashGroups::Items{hostLines_.data() + sharedHosts_[k], hostLines_.data() + sharedHosts_[k + 1]});
        groups_.ForEachGroup([&](uint64_t key, HashGroups::Items items) {
            if (GroupOf(key) == Group::Domain && items.end - items.begin >= 2) visit(items);
        });
    }

    // Appends the keys of the groups in which `rule` looks for rules that may cover it, in the
    // order they are tried, after its own host's or "~." domain's: the "~." rules of each domain
    // its host is a subdomain of, longest first; the anywhere rules by where their literal first
    // ends in the pattern (a longer literal first where two end together); the anywhere rules
    // without a literal. For a hiding rule, the generic rules with its selector. A key may have
    // no group.
    void LookupKeys(const BrowserRule& rule, std::vector<uint64_t>& keys);

    const HashGroups& groups() const { return groups_; }

private:
    enum class Group : uint8_t { Host, Domain, Literal, StarOnly, GenericHiding };

    // A key of a group: a text's key with the kind of group in its three low bits.
    static uint64_t KeyOf(Group group, uint64_t key) { return (key & ~uint64_t(7)) | (uint64_t(group) + 1); }
    static Group GroupOf(uint64_t key) { return Group((key & 7) - 1); }
    void AddKey(Group group, uint64_t key, int line);
    void AddLookup(Group group, uint64_t key, std::vector<uint64_t>& keys) const;

    // A place where a literal may end in a rule's pattern, in the order the groups are tried.
    struct Span {
        uint64_t order;  // where it ends, then the longer first
        uint64_t key;    // of its text and the rule's options
    };

    // Nothing looks host rules up by key: they are only sorted into groups.
    std::vector<std::pair<uint64_t, int>> hosts_;  // key and line, before Build
    std::vector<int> hostLines_;                   // by key, then by line
    std::vector<size_t> sharedHosts_;              // where each group of two or more begins and ends
    HashGroups groups_;                            // the others
    LiteralScanner scanner_;  // where the literal runs may stand in a pattern
    size_t counts_[5] = {};   // rules by group: no lookups in a kind of group that has none
    std::vector<Span> spans_;
};
