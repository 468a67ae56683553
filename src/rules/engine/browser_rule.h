// A small model of the browser rule syntax, as the converters write it, and the test whether one
// rule blocks (or hides) everything another one does.
//
//   "**://" HOST REST        a rule for a host; REST is the rest of the pattern
//   "**://~." HOST REST      the same for the domain HOST and its subdomains
//   "**://*" REST            a pattern that may start anywhere after the scheme
//   ... "$" OPTIONS          a blocking rule's options
//   ... "##" SELECTOR        an element-hiding rule (no options)
//
// In a pattern "*" stands for any run of characters and "^" for a separator. A host is a run of
// ASCII letters, digits, ".", "-" and "_". Texts are GBK; a double-byte character is one
// character of a pattern.
#pragma once

#include <cstdint>
#include <string_view>

enum class RuleKind : uint8_t { Unparsed, Blocking, Hiding };
enum class AddressKind : uint8_t { Host, Domain, Anywhere };

// Kept small (up to millions of them are held at once): the line and where its parts end.
struct BrowserRule {
    const char* line = nullptr;
    RuleKind kind = RuleKind::Unparsed;
    AddressKind address = AddressKind::Host;
    uint32_t hostEnd = 0;     // Host, Domain: where the host ends; Anywhere: kPatternBegin
    uint32_t patternEnd = 0;  // where the options or the "##" begin
    uint32_t lineEnd = 0;

    // The whole (trimmed) line.
    std::string_view text() const { return Part(0, lineEnd); }
    // After "**://", up to the options or the "##".
    std::string_view pattern() const { return Part(kPatternBegin, patternEnd); }
    // Host: the host the pattern starts with; Domain: the one after "~."; Anywhere: empty.
    std::string_view host() const { return Part(hostBegin(), hostEnd); }
    // The pattern after the host (Anywhere: the whole pattern).
    std::string_view rest() const { return Part(hostEnd, patternEnd); }
    // Blocking rules: from the first "$" to the end, or empty.
    std::string_view options() const { return kind == RuleKind::Blocking ? Part(patternEnd, lineEnd) : Part(0, 0); }
    // Hiding rules: everything after the first "##".
    std::string_view selector() const { return kind == RuleKind::Hiding ? Part(patternEnd + 2, lineEnd) : Part(0, 0); }

    static constexpr uint32_t kPatternBegin = 5;  // after "**://"

private:
    uint32_t hostBegin() const { return kPatternBegin + (address == AddressKind::Domain ? 2 : 0); }
    std::string_view Part(uint32_t begin, uint32_t end) const {
        return line ? std::string_view(line + begin, end - begin) : std::string_view();
    }
};

// Parses a trimmed line; the rule points into it. A line that is none of the forms above (an
// empty pattern, a pattern that starts with no host, "~" without ".", an empty selector) or
// that is longer than any rule (4 GB) is Unparsed.
BrowserRule ParseBrowserRule(std::string_view line);

// True when `s` provably blocks (or hides) everything `r` does, under every reading of the
// syntax that cannot be settled without the browser:
// - blocking rules need the same options text, and `s`'s pattern has to match `r`'s pattern
//   symbolically: an "*" of `r` is taken only by an "*" of `s`, a "^" of `r` by a "^" or an
//   "*" of `s`, and a "^" of `s` takes a "^" of `r` or one character of `r` that is a separator
//   under any reading ("/", ":", "?", "=", "&");
// - a host rule covers only rules for the same host;
// - "~.D" covers hosts that end in ".D" (not D itself: whether "~." includes the domain is not
//   known) when the host's rule goes on with "^", one of those separators or nothing, so that
//   its host cannot run on; and "~." rules for D or a domain ending in ".D" (read the same way
//   as `s`);
// - an anywhere pattern covers a rule of any form whose whole text it covers; for a "~.D" rule,
//   both "D..." and "*.D..." (any subdomain, either reading of "~.");
// - the generic hiding rule "**://*##SEL" covers every hiding rule with the selector SEL.
bool RuleCovers(const BrowserRule& s, const BrowserRule& r);

// True when `s` is a hiding rule for every site ("**://*##" and a selector).
bool IsGenericHidingRule(const BrowserRule& s);

// The longest run of characters in `pattern` without "*" or "^" (the first of equal ones):
// every pattern that `pattern` covers contains it as it stands.
std::string_view LongestLiteralRun(std::string_view pattern);
