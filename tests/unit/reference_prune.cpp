#include "reference_prune.h"

#include <algorithm>
#include <map>
#include <numeric>

#include "common/rule_list.h"
#include "rules/engine/browser_rule.h"

namespace reference {
namespace {

// Finds which of many literal texts occur in a text, in one pass over it (an Aho-Corasick
// automaton over bytes).
class LiteralScanner {
public:
    // Adds a literal (not empty, not added before) before Build; its id is the number of
    // literals added before it. The text must stay in place until Build.
    int Add(std::string_view literal);
    void Build();

    // Calls found(id) for every occurrence of every literal in `text` (an id once per place it
    // ends at).
    template <typename Found>
    void Scan(std::string_view text, Found&& found) const {
        if (nodes_.size() <= 1) return;
        int state = 0;
        for (char c : text) {
            state = Next(state, static_cast<unsigned char>(c));
            for (int s = links_[state].report; s > 0; s = nodes_[s].outputLink) found(nodes_[s].output);
        }
    }

private:
    struct Node {
        int output = -1;     // the literal that ends here, or -1
        int outputLink = 0;  // nearest node down the fail links with an output (0: none)
        int parent = 0;
        unsigned char byte = 0;  // on the edge from the parent
    };

    // What a step of the scan needs of a node, in one place: where its children are, its fail
    // link and the first node to report from (itself when a literal ends there; 0: none).
    struct Links {
        int firstChild = 0;
        int fail = 0;
        int report = 0;
    };

    int Child(int node, unsigned char c) const;  // -1 when there is no edge
    int Next(int state, unsigned char c) const;

    std::vector<std::string_view> literals_;
    std::vector<Node> nodes_;
    // The edges by node, a node's children side by side (a short search in memory already at
    // hand); the root's in a plain array.
    std::vector<Links> links_;  // by node, and one more for the end of the last one's children
    std::vector<unsigned char> childBytes_;
    std::vector<int> children_;
    int rootNext_[256];
};

int LiteralScanner::Add(std::string_view literal) {
    literals_.push_back(literal);
    return int(literals_.size()) - 1;
}

int LiteralScanner::Child(int node, unsigned char c) const {
    if (node == 0) return rootNext_[c];
    for (int k = links_[node].firstChild, end = links_[node + 1].firstChild; k < end; ++k)
        if (childBytes_[k] == c) return children_[k];
    return -1;
}

int LiteralScanner::Next(int state, unsigned char c) const {
    for (;;) {
        const int child = Child(state, c);
        if (child >= 0) return child;
        if (state == 0) return 0;
        state = links_[state].fail;
    }
}

void LiteralScanner::Build() {
    // The trie from the literals in sorted order: each one shares its path with the one before
    // it as far as their common start goes.
    std::vector<int> order(literals_.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [this](int a, int b) { return literals_[a] < literals_[b]; });
    nodes_.assign(1, Node());
    std::vector<int> path(1, 0);  // the nodes along the previous literal, by depth
    std::string_view previous;
    for (int id : order) {
        const std::string_view literal = literals_[id];
        size_t common = 0;
        while (common < previous.size() && common < literal.size() && previous[common] == literal[common]) ++common;
        path.resize(common + 1);
        for (size_t d = common; d < literal.size(); ++d) {
            Node n;
            n.parent = path.back();
            n.byte = static_cast<unsigned char>(literal[d]);
            path.push_back(int(nodes_.size()));
            nodes_.push_back(n);
        }
        nodes_[path.back()].output = id;
        previous = literal;
    }

    // Children side by side by parent; in sorted order they were made in byte order.
    const int count = int(nodes_.size());
    links_.assign(count + 1, Links());
    for (int v = 1; v < count; ++v) ++links_[nodes_[v].parent + 1].firstChild;
    for (int v = 0; v < count; ++v) links_[v + 1].firstChild += links_[v].firstChild;
    childBytes_.assign(count - 1, 0);
    children_.assign(count - 1, 0);
    std::vector<int> fill(count);
    for (int v = 0; v < count; ++v) fill[v] = links_[v].firstChild;
    std::fill(std::begin(rootNext_), std::end(rootNext_), -1);
    for (int v = 1; v < count; ++v) {
        const int k = fill[nodes_[v].parent]++;
        childBytes_[k] = nodes_[v].byte;
        children_[k] = v;
        if (nodes_[v].parent == 0) rootNext_[nodes_[v].byte] = v;
    }

    // Breadth first: a node's fail link lies nearer the root, so it is ready before the node.
    std::vector<int> queue(children_.begin(), children_.begin() + links_[1].firstChild);
    queue.reserve(count);
    for (size_t k = 0; k < queue.size(); ++k) {
        const int v = queue[k];
        Node& n = nodes_[v];
        const int fail = n.parent == 0 ? 0 : Next(links_[n.parent].fail, n.byte);
        links_[v].fail = fail;
        n.outputLink = nodes_[fail].output >= 0 ? fail : nodes_[fail].outputLink;
        links_[v].report = n.output >= 0 ? v : n.outputLink;
        queue.insert(queue.end(), children_.begin() + links_[v].firstChild, children_.begin() + links_[v + 1].firstChild);
    }
    std::vector<std::string_view>().swap(literals_);
}


// Where the rules that may cover a rule are found: the list's first copy of each text, in lists
// by the texts they are looked up by.
class CoverIndex {
public:
    CoverIndex(const std::vector<BrowserRule>& rules, const std::vector<int>& indexed) : rules_(rules) {
        std::map<std::string_view, int> literalIds;
        for (int i : indexed) {
            const BrowserRule& s = rules[i];
            if (s.kind == RuleKind::Hiding) {
                if (IsGenericHidingRule(s)) genericHiding_[Text(s.selector())].push_back(i);
                continue;
            }
            switch (s.address) {
            case AddressKind::Host: hosts_[Pair(s.host(), s.options())].push_back(i); break;
            case AddressKind::Domain: domains_[Pair(s.host(), s.options())].push_back(i); break;
            case AddressKind::Anywhere: {
                const std::string_view literal = LongestLiteralRun(s.pattern());
                if (literal.empty()) {
                    starOnly_[Text(s.options())].push_back(i);
                    break;
                }
                // One scanner entry for each distinct literal, and the rules behind each.
                auto id = literalIds.find(literal);
                if (id == literalIds.end()) {
                    id = literalIds.emplace(literal, scanner_.Add(literal)).first;
                    byLiteral_.emplace_back();
                }
                byLiteral_[size_t(id->second)].push_back(i);
                break;
            }
            }
        }
        scanner_.Build();
    }

    // Calls visit(s) for each rule that may cover rule `r` (a rule may come more than once)
    // until visit returns true; true then.
    template <typename Visit>
    bool AnyCandidate(int r, Visit&& visit) {
        const BrowserRule& rule = rules_[r];
        if (rule.kind == RuleKind::Hiding)
            return !IsGenericHidingRule(rule) && AnyIn(genericHiding_, Text(rule.selector()), visit);
        if (rule.address == AddressKind::Host && AnyIn(hosts_, Pair(rule.host(), rule.options()), visit)) return true;
        if (rule.address != AddressKind::Anywhere) {
            // The domain itself (a "~." rule's own), then every domain it is a subdomain of.
            if (rule.address == AddressKind::Domain && AnyIn(domains_, Pair(rule.host(), rule.options()), visit))
                return true;
            const std::string_view host = rule.host();
            for (size_t dot = host.find('.'); dot != std::string_view::npos; dot = host.find('.', dot + 1)) {
                if (AnyIn(domains_, Pair(host.substr(dot + 1), rule.options()), visit)) return true;
            }
        }
        literalsFound_.clear();
        scanner_.Scan(rule.pattern(), [this](int id) { literalsFound_.push_back(id); });
        for (int id : literalsFound_) {
            for (int s : byLiteral_[size_t(id)])
                if (visit(s)) return true;
        }
        return AnyIn(starOnly_, Text(rule.options()), visit);
    }

private:
    using Lists = std::map<Text, std::vector<int>>;

    static Text Pair(std::string_view a, std::string_view b) { return Text(a) + '\0' + Text(b); }

    template <typename Visit>
    static bool AnyIn(const Lists& lists, const Text& key, Visit& visit) {
        const auto found = lists.find(key);
        if (found == lists.end()) return false;
        for (int s : found->second)
            if (visit(s)) return true;
        return false;
    }

    const std::vector<BrowserRule>& rules_;
    Lists hosts_, domains_;                   // host rules and "~." rules, by host and options
    Lists starOnly_;                          // anywhere rules without a literal, by options
    std::vector<std::vector<int>> byLiteral_;  // anywhere rules, by the scanner's id of their literal
    Lists genericHiding_;                     // by selector
    LiteralScanner scanner_;
    std::vector<int> literalsFound_;
};

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

std::vector<int> CoveredBy(const std::vector<std::string_view>& lines) {
    const size_t n = lines.size();
    std::vector<int> coveredBy(n, -1);

    // Each text once: later copies are duplicates of the first.
    std::vector<BrowserRule> rules(n);
    std::vector<int> firstCopy(n, -1), indexed;
    std::map<std::string_view, int> firstLines;
    for (size_t i = 0; i < n; ++i) {
        const std::string_view trimmed = TrimRuleTextView(lines[i]);
        rules[i] = ParseBrowserRule(trimmed);
        if (rules[i].kind == RuleKind::Unparsed) continue;
        const auto first = firstLines.emplace(trimmed, int(i));
        if (!first.second) {
            firstCopy[i] = first.first->second;
            continue;
        }
        indexed.push_back(int(i));
    }

    // A rule is dominated by a rule that covers it and that it does not cover in turn (of two
    // that cover each other, the earlier one dominates). Domination has no loops, so following
    // it always ends at a rule that nothing dominates: that one stays and covers the whole chain.
    CoverIndex index(rules, indexed);
    std::vector<int> dominatedBy(n, -1), lastAsked(n, -1);
    for (size_t k = 0; k < indexed.size(); ++k) {
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
        coveredBy[i] = cover;
    }
    return coveredBy;
}

}  // namespace reference
