#include "rules/engine/literal_scanner.h"

#include <algorithm>
#include <numeric>

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
