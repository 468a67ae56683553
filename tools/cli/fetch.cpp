// quorlex fetch [SOURCES...]: the fetch button without the window.
#include "cli.h"
#include "common/window_link.h"
#include "rules/sources/fetch_rules_task.h"
#include "rules/sources/source_steps.h"
#include "ui/layout.h"

namespace {

struct Source {
    const char* name;
    ControlId box;
    bool kingsoftList;  // one of the six that "kingsoft" names
    const char* what;
};

const Source kSources[] = {
    {"maxthon", 选择框_傲游论坛规则, false, "the Maxthon forum's SiteList archive"},
    {"kafan", 选择框_卡饭论坛规则, true, "Kingsoft list: Kafan forum rules"},
    {"chinalist", 选择框_ChinaList规则, false, "the ChinaList Lazy Adblock Plus list"},
    {"novel", 选择框_小说网站广告过滤, true, "Kingsoft list: novel sites"},
    {"movie", 选择框_电影网站广告过滤, true, "Kingsoft list: film sites"},
    {"anime", 选择框_动漫网站广告过滤, true, "Kingsoft list: anime sites"},
    {"malicious", 选择框_不良网站恶意元素过滤, true, "Kingsoft list: malicious elements"},
    {"hot-novel", 选择框_热门小说网站广告过滤, true, "Kingsoft list: popular novel sites"},
    {"user", 选择框_用户原有规则, false, "the rules in the running browser's rule package"},
};

int Usage() {
    Text help =
        "usage: quorlex fetch [--all-user] [--black-only|--white-only] [--utf8] [SOURCE...]\n"
        "Runs the window's fetch with the given sources ticked (none given: those the window starts\n"
        "with) and prints the merged lists: the blacklist rules, a line \"[white]\", the whitelist\n"
        "rules. Progress goes to standard error. \"kingsoft\" names all six Kingsoft lists; with\n"
        "--all-user the user source keeps every rule of the package, not only the user's own.\n";
    for (const Source& s : kSources) help += HelpLine(s.name, s.what, 11);
    Print(stderr, help, true);
    return 2;
}

// Ticks the source named `name`; false for an unknown name.
bool Tick(const Text& name) {
    bool found = false;
    for (const Source& s : kSources) {
        if (name == s.name || (name == "kingsoft" && s.kingsoftList)) {
            SetTickedState(s.box, true);
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

    // The window's starting states, then the chosen sources instead of its check boxes.
    for (int i = 0; i < kMainWindowControlCount; ++i) {
        const platform::ControlSpec& c = kMainWindowControls[i];
        SetTickedState(ControlId(c.id), c.initiallyOn);
    }
    if (!sources.empty()) {
        for (const Source& s : kSources) SetTickedState(s.box, false);
        for (const Text& name : sources) {
            if (!Tick(name)) return Say("quorlex fetch: unknown source " + name), Usage();
        }
    }
    if (allUser) {
        SetTickedState(单选框_用户原有规则_全部, true);
        SetTickedState(单选框_用户原有规则_自定义规则, false);
    }
    ReportProgressOnStderr();
    FetchRulesTask();
    PrintLists(Buckets().BlacklistText, Buckets().WhitelistText, output);
    return 0;
}
