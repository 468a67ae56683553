// Finds which of many literal texts occur in a text, in one pass over it (an Aho-Corasick
// automaton over bytes). Used to find, for each rule, the anywhere patterns that may cover it.
#pragma once

#include <string_view>
#include <vector>

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
