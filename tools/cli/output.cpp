#include <cstdio>

#include "cli.h"
#include "common/rule_list.h"
#include "common/task_report.h"
#include "rules/sources/convert_text.h"
#include "common/encoding.h"

void Print(FILE* stream, const Text& text, bool utf8) {
    // GbkToWide converts the terminator too: cut the UTF-8 text there.
    const ByteBuffer bytes = utf8 ? TextUpTo0(WideToUtf8(GbkToWide(text))) : text;
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

// The rules of a RuleList, one per LF-ended line, appended to `out`; blank lines are left out.
void AppendRules(Text& out, const Text& rules) {
    ForEachRuleLine(TrimRuleTextView(rules), [&](TextView rule) {
        if (TrimRuleTextView(rule).empty()) return;
        out += rule;
        out += '\n';
    });
}

}  // namespace

void PrintLists(const Text& black, const Text& white, const ListOutput& out) {
    // Built whole and converted once: the lists run to tens of thousands of rules.
    Text text;
    text.reserve(black.size() + white.size() + 16);
    if (!out.whiteOnly) AppendRules(text, black);
    if (!out.blackOnly && !out.whiteOnly) text += "[white]\n";
    if (!out.blackOnly) AppendRules(text, white);
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
