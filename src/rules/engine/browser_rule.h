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

#include <string_view>

enum class RuleKind { Unparsed, Blocking, Hiding };
enum class AddressKind { Host, Domain, Anywhere };

struct BrowserRule {
    RuleKind kind = RuleKind::Unparsed;
    AddressKind address = AddressKind::Host;
    std::string_view pattern;   // after "**://", up to the options or the "##"
    std::string_view host;      // Host: the host the pattern starts with; Domain: the one after "~."
    std::string_view rest;      // the pattern after the host (Anywhere: the whole pattern)
    std::string_view options;   // blocking rules: from the first "$" to the end, or empty
    std::string_view selector;  // hiding rules: everything after the first "##"
};

// Parses a trimmed line. The views point into `line`. A line that is none of the forms above
// (an empty pattern, a pattern that starts with no host, "~" without ".", an empty selector)
// is Unparsed.
BrowserRule ParseBrowserRule(std::string_view line);

// True when `s` provably blocks (or hides) everything `r` does, under every reading of the
// syntax that cannot be settled without the browser:
// - blocking rules need the same options text, and `s`'s pattern has to match `r`'s pattern
//   symbolically: an "*" of `r` is taken only by an "*" of `s`, a "^" of `r` by a "^" or an
//   "*" of `s`, and a "^" of `s` takes a "^" of `r` or one character of `r` that is a separator
//   under any reading ("/", ":", "?", "=", "&");
// - a host rule covers only rules for the same host;
// - "~.D" covers hosts that end in ".D" (not D itself: whether "~." includes the domain is not
//   known) when the host's rule goes on with "^", "/" or nothing, so that its host cannot run
//   on; and "~." rules for D or a domain ending in ".D" (read the same way as `s`);
// - an anywhere pattern covers a rule of any form whose whole text it covers; for a "~.D" rule,
//   both "D..." and "*.D..." (any subdomain, either reading of "~.");
// - the generic hiding rule "**://*##SEL" covers every hiding rule with the selector SEL.
bool RuleCovers(const BrowserRule& s, const BrowserRule& r);

// True when `s` is a hiding rule for every site ("**://*##" and a selector).
bool IsGenericHidingRule(const BrowserRule& s);

// The longest run of characters in `pattern` without "*" or "^" (the first of equal ones):
// every pattern that `pattern` covers contains it as it stands.
std::string_view LongestLiteralRun(std::string_view pattern);
