#include "rules/sources/chinalist_convert.h"

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

// The longest option name: the three replacement needles of an option fit in a small buffer.
constexpr size_t kOptionNeedleBytes = 16;

// Appends CR LF and the rule "**://" + prefix + pattern.
void AppendBrowserRule(Text& rules, TextView prefix, TextView pattern) {
    AppendParts(rules, {"\r\n**://", prefix, pattern});
}

// A filter that starts with its host: the host ends at the first "/", or failing that at the
// first "^". A named registrable domain also gets the "~." rule for its subdomains.
void AppendHostRule(Text& rules, TextView filter) {
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

void AppendAbpUrlRule(Text& rules, TextView filter) {
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

// One bit per entry of AbpOptionTable: set when the option follows a "," or "$" that starts a
// character. Only there can the replacements of an option change the line.
unsigned OptionsAfterSeparators(TextView line) {
    unsigned found = 0;
    for (size_t i = 0; i + 1 < line.size(); ++i) {
        if (line[i] != ',' && line[i] != '$') continue;
        const TextView rest = line.substr(i + 1);
        const char first = char(rest[0] | 0x20);  // every option begins with "~" or a letter
        unsigned here = 0;
        for (size_t k = 0; k < std::size(AbpOptionTable); ++k) {
            if (AbpOptionTable[k][0] == first && StartsWith(rest, AbpOptionTable[k])) here |= 1u << k;
        }
        if (here != 0 && IsCharacterStart(line, i)) found |= here;
    }
    return found;
}

// StripAbpOptions on `f` itself; false when the filter is dropped.
bool StripAbpOptionsInPlace(Text& f, bool& hasOptions) {
    hasOptions = FindExact(f, "$") != 0;
    if (!hasOptions) return true;
    unsigned present = OptionsAfterSeparators(f);
    for (size_t k = 0; k < std::size(AbpOptionTable) && present != 0; ++k) {
        if ((present & (1u << k)) == 0) continue;
        const TextView option = AbpOptionTable[k];
        char needle[kOptionNeedleBytes];
        needle[0] = ',';
        option.copy(needle + 1, option.size());
        ReplaceShorterInPlace(f, TextView(needle, option.size() + 1), "");
        needle[0] = '$';
        needle[option.size() + 1] = ',';
        ReplaceShorterInPlace(f, TextView(needle, option.size() + 2), "$");
        ReplaceShorterInPlace(f, TextView(needle, option.size() + 1), "$");
        present = OptionsAfterSeparators(f);  // a removal can join text into a later option
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
void ConvertUrlLine(Text& rules, TextView line, Text& f, bool trimmed = false) {
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
void AppendHidingRule(Text& rules, TextView prefix, TextView domain, TextView rest) {
    AppendParts(rules, {"\r\n**://", prefix, domain, "^*", rest});
}

// One raw "domain##selector" line converted and its rules appended.
void ConvertHidingLine(Text& rules, TextView line, const ShowMessageFn& showMessage) {
    const TextView d = TrimRuleTextView(line);
    if (d.empty()) return;
    if (d.substr(0, 2) == "##") {
        if (showMessage) showMessage(Text(d));
        AppendBrowserRule(rules, "*", d);
        return;
    }
    const size_t mark = FindExact(d, "##");
    if (mark == 0) return;
    const TextView domain = d.substr(0, mark - 1);
    const TextView rest = d.substr(mark - 1);  // "##" and the selector
    if (domain == "*") {
        AppendBrowserRule(rules, "*", rest);
        return;
    }
    AppendHidingRule(rules, "", domain, rest);
    if (!HasSubdomain(domain)) AppendHidingRule(rules, "~.", domain, rest);
}

enum BucketKind { kBlock, kWhite, kHide, kBucketKinds };

// Sorts the lines of a list into the three buckets: as raw lines (each one CR LF and the line),
// or converted at once into rules.
class ChinaListSorter {
public:
    ChinaListSorter(ChinaListBuckets& out, bool convert, ShowMessageFn showMessage)
        : out_(out), convert_(convert), showMessage_(std::move(showMessage)) {}

    // One line of the list (between line breaks).
    void SortLine(TextView line) {
        const TextView b = TrimRuleTextView(line);
        if (b.empty() || b[0] == '!') return;
        if (b.substr(0, 2) == "@@") return RawLine(kWhite, b.substr(2));
        const size_t mark = FindExact(b, "##");
        if (mark == 0) return RawLine(kBlock, b);
        const TextView selector = b.substr(mark + 1);
        // '##.ad' lists no domain and gives nothing; an empty item inside the list gives a
        // "##selector" line, which is shown and turned into a rule for all sites.
        ForEachItem(b.substr(0, mark - 1), ",", [&](TextView domain) {
            if (BeginsWith(domain, '~')) return;  // an excluded domain
            hideLine_.assign(domain);
            hideLine_ += "##";
            hideLine_ += selector;
            RawLine(kHide, hideLine_);
        });
    }

    // After the last line: the rule texts trimmed as the buckets are.
    void Finish() {
        if (!convert_) return;
        for (int kind = 0; kind < kBucketKinds; ++kind) {
            if (hasPending_[kind]) ConvertRawLine(BucketKind(kind), pending_[kind], true);
        }
        TrimRuleTextInPlace(out_.block);
        TrimRuleTextInPlace(out_.white);
        TrimRuleTextInPlace(out_.hide);
    }

private:
    Text& Bucket(BucketKind kind) { return kind == kBlock ? out_.block : kind == kWhite ? out_.white : out_.hide; }

    // Converting a raw line at once gives what converting its raw bucket would: that bucket is
    // split at every LF byte (an LF can be the second byte of a double-byte character), and
    // its last line loses a final CR byte that every other line keeps. A line that ends in a
    // CR byte therefore waits until it is known whether another one follows it.
    void RawLine(BucketKind kind, TextView raw) {
        if (!convert_) {
            Bucket(kind) += kCrLf;
            Bucket(kind) += raw;
            return;
        }
        if (hasPending_[kind]) {
            hasPending_[kind] = false;
            ConvertRawLine(kind, pending_[kind], false);
        }
        if (!raw.empty() && raw.back() == '\r') {
            pending_[kind].assign(raw);
            hasPending_[kind] = true;
            return;
        }
        // A blocking filter is the trimmed line itself; nothing in it to cut or trim again.
        if (kind == kBlock && raw.find('\n') == TextView::npos) return ConvertUrlLine(out_.block, raw, filter_, true);
        ConvertRawLine(kind, raw, false);
    }

    void ConvertRawLine(BucketKind kind, TextView raw, bool lastOfBucket) {
        size_t start = 0;
        for (;;) {
            const size_t lf = raw.find('\n', start);
            TextView piece = raw.substr(start, lf == TextView::npos ? TextView::npos : lf - start);
            if ((lf != TextView::npos || lastOfBucket) && !piece.empty() && piece.back() == '\r')
                piece.remove_suffix(1);
            if (kind == kHide) {
                ConvertHidingLine(out_.hide, piece, showMessage_);
            } else {
                ConvertUrlLine(Bucket(kind), piece, filter_);
            }
            if (lf == TextView::npos) return;
            start = lf + 1;
        }
    }

    ChinaListBuckets& out_;
    const bool convert_;
    const ShowMessageFn showMessage_;
    Text filter_, hideLine_;
    Text pending_[kBucketKinds];
    bool hasPending_[kBucketKinds] = {};
};

// The index of the next CR or LF that stands as a character of its own at or after `i` (a
// character start), or the length of the text.
size_t NextLineBreak(TextView text, size_t i) {
    const size_t n = text.size();
    while (i < n) {
        // Eight bytes at a time while none of them is a CR, an LF or a byte of 0x80 or more.
        constexpr uint64_t kOnes = 0x0101010101010101u, kHighs = 0x8080808080808080u;
        while (i + 8 <= n) {
            uint64_t v;
            std::memcpy(&v, text.data() + i, 8);
            const uint64_t lf = v ^ (kOnes * '\n'), cr = v ^ (kOnes * '\r');
            const uint64_t zeroByte = ((lf - kOnes) & ~lf) | ((cr - kOnes) & ~cr);
            if (((zeroByte | v) & kHighs) != 0) break;
            i += 8;
        }
        if (i >= n) break;
        const auto c = static_cast<unsigned char>(text[i]);
        if (IsLeadByte(c)) {
            i += 2;
        } else if (c == '\r' || c == '\n') {
            return i;
        } else {
            ++i;
        }
    }
    return n;
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
    ForEachRuleLine(rawFilters, [&](TextView line) { ConvertUrlLine(rules, line, f); });
    TrimRuleTextInPlace(rules);
    return rules;
}

Text ConvertHidingRules(const Text& rawRules, const ShowMessageFn& showMessage) {
    Text rules;
    ForEachRuleLine(TrimRuleTextView(rawRules), [&](TextView line) { ConvertHidingLine(rules, line, showMessage); });
    TrimRuleTextInPlace(rules);
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
