#include "rules/engine/cover_index.h"

#include <algorithm>
#include <string_view>

#include "rules/engine/radix_sort.h"

void CoverIndex::AddKey(Group group, uint64_t key, int line) {
    if (group == Group::Host)
        hosts_.emplace_back(key, line);
    else
        groups_.Add(KeyOf(group, key), line);
    ++counts_[int(group)];
}

void CoverIndex::Add(const BrowserRule& rule, int line) {
    if (rule.kind == RuleKind::Hiding) {
        if (IsGenericHidingRule(rule)) AddKey(Group::GenericHiding, TextKey(rule.selector()), line);
        return;
    }
    if (rule.kind != RuleKind::Blocking) return;
    const uint64_t options = TextKey(rule.options());
    switch (rule.address) {
    case AddressKind::Host: AddKey(Group::Host, CombineKeys(TextKey(rule.host()), options), line); break;
    case AddressKind::Domain: AddKey(Group::Domain, CombineKeys(TextKey(rule.host()), options), line); break;
    case AddressKind::Anywhere: {
        const std::string_view literal = LongestLiteralRun(rule.pattern());
        if (literal.empty()) {
            AddKey(Group::StarOnly, options, line);
        } else {
            AddKey(Group::Literal, CombineKeys(TextKey(literal), options), line);
            scanner_.Add(literal);
        }
        break;
    }
    }
}

void CoverIndex::Build() {
    unsigned bits = 1;
    while ((size_t(1) << bits) < hosts_.size() && bits < 63) ++bits;
    SortByKey(hosts_, bits);
    hostLines_.resize(hosts_.size());
    for (size_t i = 0; i < hosts_.size(); ++i) {
        hostLines_[i] = hosts_[i].second;
        if (i > 0 && hosts_[i].first == hosts_[i - 1].first) continue;
        size_t end = i + 1;
        while (end < hosts_.size() && hosts_[end].first == hosts_[i].first) ++end;
        if (end - i >= 2) sharedHosts_.insert(sharedHosts_.end(), {i, end});
    }
    std::vector<std::pair<uint64_t, int>>().swap(hosts_);
    groups_.Build();
    scanner_.Build();
}

void CoverIndex::AddLookup(Group group, uint64_t key, std::vector<uint64_t>& keys) const {
    if (counts_[int(group)] != 0) keys.push_back(KeyOf(group, key));
}

void CoverIndex::LookupKeys(const BrowserRule& rule, std::vector<uint64_t>& keys) {
    if (rule.kind == RuleKind::Hiding) {
        if (!IsGenericHidingRule(rule)) AddLookup(Group::GenericHiding, TextKey(rule.selector()), keys);
        return;
    }
    if (rule.kind != RuleKind::Blocking) return;
    const uint64_t options = TextKey(rule.options());
    if (rule.address != AddressKind::Anywhere && counts_[int(Group::Domain)] != 0) {
        const std::string_view host = rule.host();
        for (size_t dot = host.find('.'); dot != std::string_view::npos; dot = host.find('.', dot + 1))
            AddLookup(Group::Domain, CombineKeys(TextKey(host.substr(dot + 1)), options), keys);
    }
    if (counts_[int(Group::Literal)] != 0) {
        const std::string_view pattern = rule.pattern();
        spans_.clear();
        scanner_.Scan(pattern, [&](size_t begin, size_t length) {
            const uint64_t end = begin + length;
            spans_.push_back({end << 32 | uint32_t(~uint32_t(length)), CombineKeys(TextKey(pattern.substr(begin, length)), options)});
        });
        // Each literal once, where it first ends.
        std::sort(spans_.begin(), spans_.end(),
                  [](const Span& a, const Span& b) { return a.key != b.key ? a.key < b.key : a.order < b.order; });
        spans_.erase(std::unique(spans_.begin(), spans_.end(), [](const Span& a, const Span& b) { return a.key == b.key; }),
                     spans_.end());
        std::sort(spans_.begin(), spans_.end(), [](const Span& a, const Span& b) { return a.order < b.order; });
        for (const Span& span : spans_) AddLookup(Group::Literal, span.key, keys);
    }
    AddLookup(Group::StarOnly, options, keys);
}
