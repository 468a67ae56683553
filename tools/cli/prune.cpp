// quorlex prune [--utf8] [--removed] FILE
#include "cli.h"
#include "common/rule_list.h"
#include "platform/files.h"
#include "platform/threads.h"
#include "rules/engine/redundant_rules.h"

namespace {

int Usage() {
    Print(stderr,
          "usage: quorlex prune [--utf8] [--removed] FILE\n"
          "Prints the rules of FILE (browser rules, one per line, as the blacklist box holds them;\n"
          "GBK, or UTF-8 with --utf8, which also makes the output UTF-8) without those that other\n"
          "rules of FILE already cover, as the window's remove-redundant button does. A rule goes\n"
          "only when a rule that stays blocks or hides everything it does:\n"
          "  1. an exact duplicate (blanks at the ends aside) of an earlier line; the first stays;\n"
          "  2. a blocking rule covered by another blocking rule with the same options: the other\n"
          "     pattern matches every address this one does (\"**://~.D\" covers the subdomains of\n"
          "     D, \"**://*...\" any rule whose whole text it matches, a host rule only its own host);\n"
          "  3. a hiding rule for some sites (\"**://HOST^*##SEL\") when the generic rule\n"
          "     \"**://*##SEL\" is in the list.\n"
          "Lines that are no such rule stay as they are and never cover others.\n"
          "--removed prints instead each removed rule, a TAB and the rule that covers it.\n"
          "The number of rules removed, and how long the search took, are reported on standard\n"
          "error.\n",
          true);
    return 2;
}

}  // namespace

int RunPrune(const Args& args) {
    bool utf8 = false, removed = false;
    Text file;
    for (const Text& a : args) {
        if (a == "--help" || a == "-h") return Usage(), 0;
        if (a == "--utf8") {
            utf8 = true;
        } else if (a == "--removed") {
            removed = true;
        } else if (file.empty() && a.rfind("--", 0) != 0) {
            file = a;
        } else {
            Say("quorlex prune: unexpected " + a);
            return Usage();
        }
    }
    if (file.empty()) return Usage();
    ByteBuffer bytes;
    if (!platform::ReadWholeFile(file, bytes)) {
        Say("quorlex prune: cannot read " + file);
        return 1;
    }
    const Text list = RuleFileText(bytes, utf8);
    const std::vector<std::string_view> lines = SplitRuleLineViews(list);
    const uint64_t start = platform::MonotonicMs();
    const RedundantRules found = FindRedundantRules(lines);
    const uint64_t ms = platform::MonotonicMs() - start;

    // Built whole and converted once: lists run to tens of thousands of rules.
    Text out;
    out.reserve(bytes.size() + lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        const int cover = found.coveredBy[i];
        if (removed != (cover >= 0)) continue;
        out += lines[i];
        if (removed) {
            out += '\t';
            out += lines[size_t(cover)];
        }
        out += '\n';
    }
    Print(stdout, out, utf8);
    Say("quorlex prune: " + std::to_string(found.removedCount) + " of " + std::to_string(lines.size()) +
        " lines removed (" + std::to_string(ms) + " ms)");
    return 0;
}
