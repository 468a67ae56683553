#include <cstdio>
#include <cstring>

#include "cli.h"
#include "common/rule_list.h"
#include "common/task_report.h"
#include "rules/sources/convert_text.h"
#include "common/encoding.h"

void Print(FILE* stream, const Text& text, bool utf8) {
    if (!utf8) {
        fwrite(text.data(), 1, text.size(), stream);
        return;
    }
    // The text up to its first NUL, converted a piece at a time so that a long list is never
    // held whole as UTF-16. Pieces end after an LF, which is never the second byte of a
    // double-byte character, so each converts as it would within the whole.
    const TextView gbk = TextView(text).substr(0, text.find('\0'));
    constexpr size_t kPiece = 1 << 16;
    ByteBuffer bytes;
    bytes.reserve(gbk.size() + gbk.size() / 4);
    for (size_t start = 0; start < gbk.size();) {
        size_t end = gbk.size();
        if (end - start > kPiece) {
            const size_t lf = gbk.rfind('\n', start + kPiece - 1);
            const size_t next = lf != TextView::npos && lf >= start ? lf : gbk.find('\n', start + kPiece);
            if (next != TextView::npos) end = next + 1;
        }
        // GbkToWide converts the terminator too: cut the UTF-8 text there.
        bytes += TextUpTo0(WideToUtf8(GbkToWide(Text(gbk.substr(start, end - start)))));
        start = end;
    }
    fwrite(bytes.data(), 1, bytes.size(), stream);
}

void Say(const Text& gbk) {
    Print(stderr, gbk + "\n", true);
}

Text RuleFileText(const ByteBuffer& bytes, bool utf8) {
    return utf8 ? Utf8ToGbk(StripUtf8Bom(bytes)) : TextUpTo0(bytes);
}

Text HelpLine(const Text& name, const Text& what, size_t width) {
    return "  " + name + Text(name.size() < width ? width - name.size() : 1, ' ') + what + "\n";
}

bool TakeListOption(const Text& arg, ListOutput& out) {
    const struct {
        const char* name;
        bool ListOutput::*flag;
    } kOptions[] = {
        {"--black-only", &ListOutput::blackOnly},
        {"--white-only", &ListOutput::whiteOnly},
        {"--utf8", &ListOutput::utf8},
    };
    for (const auto& o : kOptions) {
        if (arg == o.name) return out.*o.flag = true;
    }
    return false;
}

namespace {

// The rules of a RuleList rewritten in place, one per LF-ended line; blank lines are left out.
// No line grows but by the LF that replaces its line end, so each is moved to where the lines
// before it end, never past the bytes still to be read.
void RulesAsLines(Text& rules) {
    const TextView trimmed = TrimRuleTextView(rules);
    if (trimmed.empty()) return rules.clear();
    const size_t offset = size_t(trimmed.data() - rules.data()), length = trimmed.size();
    rules.reserve(rules.size() + 1);  // a last line without a line end gets one
    size_t write = 0;
    ForEachRuleLine(TextView(rules.data() + offset, length), [&](TextView rule) {
        if (TrimRuleTextView(rule).empty()) return;
        const size_t from = size_t(rule.data() - rules.data());
        std::memmove(&rules[write], rules.data() + from, rule.size());
        write += rule.size();
        if (write == rules.size()) rules.push_back('\n');
        else rules[write] = '\n';
        ++write;
    });
    rules.resize(write);
}

}  // namespace

void PrintLists(Text black, Text white, const ListOutput& out) {
    // Written in one buffer and converted once: the lists run to tens of thousands of rules.
    Text& text = black;
    if (out.whiteOnly) {
        text.clear();
    } else {
        RulesAsLines(text);
    }
    if (!out.blackOnly && !out.whiteOnly) text += "[white]\n";
    if (!out.blackOnly) {
        RulesAsLines(white);
        text += white;
    }
    Print(stdout, text, out.utf8);
}

namespace {

// Status texts and task messages as lines on stderr; the rest of what the window would show is
// not wanted here.
class StderrReport : public TaskReport {
public:
    void Status(const Text& text) override { Say(text); }
    void Message(const Text& text, const Text& caption) override { Say(caption + text); }
};

StderrReport stderrReport;

}  // namespace

void ReportProgressOnStderr() { InstallTaskReport(&stderrReport); }
