#include "rules/sources/chinalist_convert.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <utility>

#include "common/rule_list.h"
#include "rules/engine/host_check.h"
#include "rules/engine/url_pattern.h"
#include "rules/sources/convert_text.h"

// One pass over the list: each line is looked at where it stands in the list text, converted in
// one reused buffer and its rules appended to the bucket it belongs to. What the conversion
// produces is defined by the step-by-step form of it (sort the lines into three raw buckets, then
// split and convert each bucket); the places where that form's splits and trims leave a mark are
// marked below.

namespace {

// ABP options the browser has no use for, removed in this order. "image,~image" is a single
// entry: the pair cancels out, while "image" alone stays.
const TextView AbpOptionTable[] = {
    "~third-party", "~match-case", "~collapse", "~stylesheet", "~subdocument", "~document",
    "~other",       "donottrack",  "popup",     "image,~image", "third-party", "match-case",
    "collapse",     "stylesheet",  "subdocument", "document",   "other",
};

// The start of a rule: "**://", after CR LF unless it is the first. The rule texts are trimmed
// when they are done, and no rule starts with a blank, so leaving out the CR LF in front of the
// first changes nothing but the bytes moved to cut it off.
TextView RuleStart(const TextAppender& rules) { return rules.Size() != 0 ? "\r\n**://" : "**://"; }

// Appends the rule "**://" + prefix + pattern.
void AppendBrowserRule(TextAppender& rules, TextView prefix, TextView pattern) {
    rules.Append({RuleStart(rules), prefix, pattern});
}

// A filter that starts with its host: the host ends at the first "/", or failing that at the
// first "^". A named registrable domain also gets the "~." rule for its subdomains.
void AppendHostRule(TextAppender& rules, TextView filter) {
    size_t end = FindExact(filter, "/");
    if (end == 0) end = FindExact(filter, "^");
    const TextView host = end == 0 ? filter : filter.substr(0, end - 1);
    switch (HostCheck(host)) {
        case -1:
            AppendBrowserRule(rules, "*", filter);
            break;
        case 0:  // a numeric address has no subdomains
            AppendBrowserRule(rules, "", filter);
            break;
        default:
            AppendBrowserRule(rules, "", filter);
            if (!HasSubdomain(host)) AppendBrowserRule(rules, "~.", filter);
            break;
    }
}

void AppendAbpUrlRule(TextAppender& rules, TextView filter) {
    if (filter.substr(0, 2) == "||") {
        AppendHostRule(rules, filter.substr(2));
        return;
    }
    // Any other filter that names a scheme keeps what follows the scheme.
    if (const size_t scheme = FindExact(filter, "://")) {
        AppendBrowserRule(rules, "", filter.substr(scheme + 2));
    } else if (BeginsWith(filter, '|')) {
        AppendBrowserRule(rules, "", filter.substr(1));
    } else if (BeginsWith(filter, '*')) {
        AppendBrowserRule(rules, "", filter);
    } else if (BeginsWith(filter, '.')) {
        AppendBrowserRule(rules, "~", filter);
    } else {
        AppendHostRule(rules, filter);
    }
}

// For each byte, the entries of AbpOptionTable (one bit each) whose name begins with that byte,
// ASCII case ignored: after a separator, only these can follow.
struct OptionStarts {
    unsigned mask[256] = {};
    OptionStarts() {
        for (size_t k = 0; k < std::size(AbpOptionTable); ++k) {
            const auto first = static_cast<unsigned char>(AbpOptionTable[k][0]);
            mask[first] |= 1u << k;
            if (first >= 'a' && first <= 'z') mask[first - 'a' + 'A'] |= 1u << k;
        }
    }
};
const OptionStarts kOptionStarts;

// Does the option name (lower-case ASCII) stand at `at`, ASCII case ignored?
bool OptionNameAt(TextView line, size_t at, TextView name) {
    if (name.size() > line.size() - at) return false;
    for (size_t k = 0; k < name.size(); ++k) {
        const char h = line[at + k], n = name[k];
        if (h != n && !(n >= 'a' && n <= 'z' && char(h | 0x20) == n)) return false;
    }
    return true;
}

// Bit k of `wanted` kept when option k follows a "," or "$" that starts a character: only there
// can the replacements of an option change the line.
unsigned OptionsAfterSeparators(TextView line, unsigned wanted) {
    unsigned found = 0;
    for (size_t i = FindEitherByte(line, 0, ',', '$'); i + 1 < line.size(); i = FindEitherByte(line, i + 1, ',', '$')) {
        unsigned here = 0;
        for (unsigned c = kOptionStarts.mask[static_cast<unsigned char>(line[i + 1])] & wanted & ~found; c != 0; c &= c - 1) {
            const unsigned k = unsigned(__builtin_ctz(c));
            if (OptionNameAt(line, i + 1, AbpOptionTable[k])) here |= 1u << k;
        }
        if (here != 0 && IsCharacterStart(line, i)) found |= here;
    }
    return found;
}

// ReplaceAll(f, separator + name + (comma ? "," : ""), to) in place, for a one-byte `to` or
// none: every occurrence that starts a character, ASCII case ignored, left to right.
void ReplaceOptionInPlace(Text& f, char separator, TextView name, bool comma, TextView to) {
    const size_t m = 1 + name.size() + (comma ? 1 : 0);
    size_t read = 0, write = 0;
    for (size_t i = 0, known = 0; i + m <= f.size();) {
        const void* p = std::memchr(f.data() + i, separator, f.size() - m + 1 - i);
        if (!p) break;
        i = size_t(static_cast<const char*>(p) - f.data());
        // Bytes from `known` on are still the original ones: `write` never passes `read`.
        if (!IsCharacterStart(TextView(f).substr(known), i - known)) {
            known = ++i;
            continue;
        }
        known = i;
        if (!OptionNameAt(f, i + 1, name) || (comma && f[i + m - 1] != ',')) {
            ++i;
            continue;
        }
        std::memmove(&f[write], f.data() + read, i - read);
        write += i - read;
        if (!to.empty()) f[write++] = to[0];
        read = known = i = i + m;  // the needle is ASCII: a character starts after it
    }
    std::memmove(&f[write], f.data() + read, f.size() - read);
    f.resize(write + f.size() - read);
}

// StripAbpOptions on `f` itself; false when the filter is dropped.
bool StripAbpOptionsInPlace(Text& f, bool& hasOptions) {
    hasOptions = FindExact(f, "$") != 0;
    if (!hasOptions) return true;
    constexpr unsigned kAll = (1u << std::size(AbpOptionTable)) - 1;
    for (unsigned present = OptionsAfterSeparators(f, kAll); present != 0;) {
        const unsigned k = unsigned(__builtin_ctz(present));
        const TextView option = AbpOptionTable[k];
        ReplaceOptionInPlace(f, ',', option, false, "");
        ReplaceOptionInPlace(f, '$', option, true, "$");
        ReplaceOptionInPlace(f, '$', option, false, "$");
        // A removal can join text into a later option, never into this one or an earlier one
        // that mattered: those are done.
        present = OptionsAfterSeparators(f, kAll & ~((2u << k) - 1));
    }
    if (!f.empty() && f.back() == '$') return false;
    const size_t dollar = FindExact(f, "$");
    if (dollar == 0) return true;  // not reached: the replacements keep every "$"
    if (dollar > 1 && f[dollar - 2] == '*') return true;
    const bool host = HostCheck(TextView(f).substr(0, dollar - 1)) != -1;
    f.replace(dollar - 1, 1, host ? "^*$" : "*$");
    return true;
}

void CloseAbpPatternInPlace(Text& f, bool hasOptions) {
    if ((!f.empty() && f.back() == '*') || hasOptions) return;
    // A final "|" byte may be the second half of a double-byte character: only a "|" of its
    // own is the end anchor (cutting half a character off would let the rule run into the next).
    if (!f.empty() && f.back() == '|' && IsCharacterStart(f, f.size() - 1)) {
        f.pop_back();
        return;
    }
    if (!EndsWithFileType(f)) f += '*';
}

// One raw filter line converted and its rules appended; `f` is the buffer the line is rewritten in.
// A line that is trimmed already (`trimmed`) is not trimmed again.
void ConvertUrlLine(TextAppender& rules, TextView line, Text& f, bool trimmed = false) {
    if (!trimmed) line = TrimRuleTextView(line);
    if (line.empty()) return;
    f.assign(line);
    bool hasOptions = false;  // the replacements keep every "$": a filter with one still has it
    if (!StripAbpOptionsInPlace(f, hasOptions)) return;
    CloseAbpPatternInPlace(f, hasOptions);
    RepairSchemeInPlace(f);  // 'http:/x' becomes 'http://x'
    AppendAbpUrlRule(rules, f);
}

// "**://" + prefix + domain + "^*" + "##selector".
void AppendHidingRule(TextAppender& rules, TextView prefix, TextView domain, TextView rest) {
    rules.Append({RuleStart(rules), prefix, domain, "^*", rest});
}

// The rules for one domain (not empty) and `rest`, "##" and the selector.
void AppendHidingRules(TextAppender& rules, TextView domain, TextView rest) {
    if (domain == "*") {
        AppendBrowserRule(rules, "*", rest);
        return;
    }
    AppendHidingRule(rules, "", domain, rest);
    if (!HasSubdomain(domain)) AppendHidingRule(rules, "~.", domain, rest);
}

// One raw "domain##selector" line converted and its rules appended.
void ConvertHidingLine(TextAppender& rules, TextView line, const ShowMessageFn& showMessage) {
    const TextView d = TrimRuleTextView(line);
    if (d.empty()) return;
    if (d.substr(0, 2) == "##") {
        if (showMessage) showMessage(Text(d));
        AppendBrowserRule(rules, "*", d);
        return;
    }
    const size_t mark = FindExact(d, "##");
    if (mark == 0) return;
    AppendHidingRules(rules, d.substr(0, mark - 1), d.substr(mark - 1));
}

enum BucketKind { kBlock, kWhite, kHide, kBucketKinds };

// Sorts the lines of a list into the three buckets: as raw lines (each one CR LF and the line),
// or converted at once into rules.
class ChinaListSorter {
public:
    ChinaListSorter(ChinaListBuckets& out, bool convert, ShowMessageFn showMessage)
        : buckets_{TextAppender(out.block), TextAppender(out.white), TextAppender(out.hide)},
          convert_(convert),
          showMessage_(std::move(showMessage)) {}

    // One line of the list (between line breaks).
    void SortLine(TextView line) {
        const TextView b = TrimRuleTextView(line);
        if (b.empty() || b[0] == '!') return;
        if (b.substr(0, 2) == "@@") return RawLine(kWhite, b.substr(2));
        const size_t mark = FindExact(b, "##");
        if (mark == 0) return RawLine(kBlock, b);
        const TextView rest = b.substr(mark - 1);  // "##" and the selector
        // The raw line of a domain, domain + rest, converts to the rules of the domain and rest
        // when nothing in it is cut or trimmed again: no CR or LF byte, no blank at its start,
        // and no "#" or lead byte at the domain's end that could move the first "##".
        const bool noBreaks = convert_ && FindEitherByte(b, 0, '\r', '\n') == b.size();
        // '##.ad' lists no domain and gives nothing; an empty item inside the list gives a
        // "##selector" line, which is shown and turned into a rule for all sites.
        ForEachItem(b.substr(0, mark - 1), ",", [&](TextView domain) {
            if (BeginsWith(domain, '~')) return;  // an excluded domain
            if (noBreaks && !domain.empty() && !MayTrimAtRuleTextEdge(static_cast<unsigned char>(domain[0])) &&
                domain.back() != '#' && !IsLeadByte(static_cast<unsigned char>(domain.back()))) {
                ConvertPending(kHide);
                return AppendHidingRules(Bucket(kHide), domain, rest);
            }
            hideLine_.assign(domain);
            hideLine_ += rest;
            RawLine(kHide, hideLine_);
        });
    }

    // After the last line: the rule texts trimmed as the buckets are.
    void Finish() {
        for (int kind = 0; kind < kBucketKinds; ++kind) {
            if (hasPending_[kind]) ConvertRawLine(BucketKind(kind), pending_[kind], true);
            Text& bucket = buckets_[kind].Finish();
            if (convert_) TrimRuleTextInPlace(bucket);
        }
    }

private:
    TextAppender& Bucket(BucketKind kind) { return buckets_[kind]; }

    // Converting a raw line at once gives what converting its raw bucket would: that bucket is
    // split at every LF byte (an LF can be the second byte of a double-byte character), and
    // its last line loses a final CR byte that every other line keeps. A line that ends in a
    // CR byte therefore waits until it is known whether another one follows it.
    void RawLine(BucketKind kind, TextView raw) {
        if (!convert_) return Bucket(kind).Append({kCrLf, raw});
        ConvertPending(kind);
        if (!raw.empty() && raw.back() == '\r') {
            pending_[kind].assign(raw);
            hasPending_[kind] = true;
            return;
        }
        // A blocking filter is the trimmed line itself; nothing in it to cut or trim again.
        if (kind == kBlock && raw.find('\n') == TextView::npos) return ConvertUrlLine(Bucket(kBlock), raw, filter_, true);
        ConvertRawLine(kind, raw, false);
    }

    // The waiting line, now that another one follows it.
    void ConvertPending(BucketKind kind) {
        if (!hasPending_[kind]) return;
        hasPending_[kind] = false;
        ConvertRawLine(kind, pending_[kind], false);
    }

    void ConvertRawLine(BucketKind kind, TextView raw, bool lastOfBucket) {
        size_t start = 0;
        for (;;) {
            const size_t lf = raw.find('\n', start);
            TextView piece = raw.substr(start, lf == TextView::npos ? TextView::npos : lf - start);
            if ((lf != TextView::npos || lastOfBucket) && !piece.empty() && piece.back() == '\r')
                piece.remove_suffix(1);
            if (kind == kHide) {
                ConvertHidingLine(Bucket(kHide), piece, showMessage_);
            } else {
                ConvertUrlLine(Bucket(kind), piece, filter_);
            }
            if (lf == TextView::npos) return;
            start = lf + 1;
        }
    }

    TextAppender buckets_[kBucketKinds];  // in the order of BucketKind
    const bool convert_;
    const ShowMessageFn showMessage_;
    Text filter_, hideLine_;
    Text pending_[kBucketKinds];
    bool hasPending_[kBucketKinds] = {};
};

// The index of the next CR or LF that stands as a character of its own at or after `i` (a
// character start), or the length of the text.
size_t NextLineBreak(TextView text, size_t i) {
    // Up to the first CR, LF or byte of 0x80 or more; a lead byte and the byte after it are
    // stepped over.
    for (;;) {
        i = swar::FindFirst(text, i, [](uint64_t v) { return swar::Equal(v, '\n') | swar::Equal(v, '\r') | swar::High(v); });
        if (i >= text.size() || !IsLeadByte(static_cast<unsigned char>(text[i]))) return std::min(i, text.size());
        i += 2;
    }
}

// Every line of the list after the first (the list's "[Adblock Plus ...]" header) to `sorter`.
void SortListLines(const Text& listText, ChinaListSorter& sorter) {
    const TextView text = listText;
    for (size_t start = NextLineBreak(text, 0) + 1; start < text.size();) {
        const size_t end = NextLineBreak(text, start);
        sorter.SortLine(text.substr(start, end - start));
        start = end + 1;
    }
    sorter.Finish();
}

}  // namespace

Text StripAbpOptions(const Text& line) {
    Text f = line;
    bool hasOptions = false;
    return StripAbpOptionsInPlace(f, hasOptions) ? f : Text();
}

Text CloseAbpPattern(const Text& line) {
    Text f = line;
    CloseAbpPatternInPlace(f, FindExact(f, "$") != 0);
    return f;
}

Text ConvertAbpUrlRules(const Text& rawFilters) {
    Text rules, f;
    TextAppender out(rules);
    ForEachRuleLine(rawFilters, [&](TextView line) { ConvertUrlLine(out, line, f); });
    TrimRuleTextInPlace(out.Finish());
    return rules;
}

Text ConvertHidingRules(const Text& rawRules, const ShowMessageFn& showMessage) {
    Text rules;
    TextAppender out(rules);
    ForEachRuleLine(TrimRuleTextView(rawRules), [&](TextView line) { ConvertHidingLine(out, line, showMessage); });
    TrimRuleTextInPlace(out.Finish());
    return rules;
}

ChinaListBuckets SortChinaListLines(const Text& listText) {
    ChinaListBuckets raw;
    ChinaListSorter sorter(raw, false, nullptr);
    SortListLines(listText, sorter);
    return raw;
}

ChinaListBuckets ConvertChinaList(const Text& listText, const ShowMessageFn& showMessage) {
    ChinaListBuckets rules;
    ChinaListSorter sorter(rules, true, showMessage);
    SortListLines(listText, sorter);
    return rules;
}
