// quorlex fetch [SOURCES...]: the fetch button without the window.
#include "cli.h"
#include "common/rule_sources.h"
#include "rules/sources/fetch_rules_task.h"
#include "rules/sources/source_steps.h"

namespace {

int Usage() {
    Text help =
        "usage: quorlex fetch [--all-user] [--black-only|--white-only] [--utf8] [SOURCE...]\n"
        "Runs the window's fetch with the given sources ticked (none given: those the window starts\n"
        "with) and prints the merged lists: the blacklist rules, a line \"[white]\", the whitelist\n"
        "rules. Progress goes to standard error. \"kingsoft\" names all six Kingsoft lists; with\n"
        "--all-user the user source keeps every rule of the package, not only the user's own.\n";
    for (const RuleSourceRow& s : kRuleSources) help += HelpLine(s.name, s.description, 11);
    Print(stderr, help, true);
    return 2;
}

// Ticks the source named `name` ("kingsoft": every Kingsoft list); false for an unknown name.
bool Tick(const Text& name, SourceSelection& selection) {
    bool found = false;
    for (const RuleSourceRow& s : kRuleSources) {
        if (name == s.name || (name == "kingsoft" && s.kingsoftRuleId)) {
            selection.Tick(s.source, true);
            found = true;
        }
    }
    return found;
}

}  // namespace

int RunFetch(const Args& args) {
    ListOutput output;
    bool allUser = false;
    Args sources;
    for (const Text& a : args) {
        if (a == "--help" || a == "-h") return Usage(), 0;
        if (TakeListOption(a, output)) continue;
        if (a == "--all-user") allUser = true;
        else if (a.rfind("--", 0) == 0) return Say("quorlex fetch: unknown option " + a), Usage();
        else sources.push_back(a);
    }
    if (output.blackOnly && output.whiteOnly) return Usage();

    // The window's starting states, or the chosen sources instead of its check boxes.
    SourceSelection selection = StartingSelection();
    if (!sources.empty()) {
        selection.ticked.fill(false);
        for (const Text& name : sources) {
            if (!Tick(name, selection)) return Say("quorlex fetch: unknown source " + name), Usage();
        }
    }
    if (allUser) selection.userRulesCustomOnly = false;
    ReportProgressOnStderr();
    FetchRulesTask(selection);
    PrintLists(Buckets().BlacklistText, Buckets().WhitelistText, output);
    return 0;
}
