// quorlex package read PROFILE_DIR | package write PROFILE_DIR --black FILE | --white FILE
#include <optional>

#include "cli.h"
#include "platform/files.h"
#include "rules/sources/fetch_rules_task.h"
#include "rules/sources/user_rules.h"
#include "store/package_writer.h"

namespace {

int Usage() {
    Print(stderr,
          "usage: quorlex package read PROFILE_DIR [--black-only|--white-only] [--utf8]\n"
          "       quorlex package write PROFILE_DIR --black FILE | --white FILE [--utf8]\n"
          "read prints the rules of the browser's rule package PROFILE_DIR\\ContentListPackage: the\n"
          "blacklist (__user__element__, then __user__css__), a line \"[white]\", the whitelist\n"
          "(__user__white__). write puts the rules of FILE (one per line; GBK, or UTF-8 with --utf8)\n"
          "into the package as the blacklist or the whitelist, exactly as the window's write buttons\n"
          "do: the previous package is kept as ContentListPackage.Backup.\n",
          true);
    return 2;
}

// The profile directory as the program spells paths, or empty after saying why.
Text ProfileDir(const Text& arg) {
    if (!platform::DirectoryExists(arg)) {
        Say("quorlex package: no such directory " + arg);
        return Text();
    }
    return arg;
}

int Read(const Args& args) {
    ListOutput output;
    Text dir;
    for (const Text& a : args) {
        if (TakeListOption(a, output)) continue;
        if (!dir.empty() || a.rfind("--", 0) == 0) return Usage();
        dir = a;
    }
    if (dir.empty() || (output.blackOnly && output.whiteOnly)) return Usage();
    const Text profile = ProfileDir(dir);
    if (profile.empty()) return 1;
    const Text package = profile + "\\ContentListPackage";
    if (!platform::FileExists(package)) {
        Say("quorlex package: no rule package " + package);
        return 1;
    }
    Text files[3];
    const int kinds[3] = {kRuleFileElement, kRuleFileCss, kRuleFileWhite};
    for (int i = 0; i < 3; ++i) {
        bool read = false;
        files[i] = ReadProfileRuleFile(profile, kinds[i], false, read);
        if (!read) {
            Say("quorlex package: cannot unpack " + package);
            return 1;
        }
    }
    PrintLists(MergeRuleBuckets({&files[0], &files[1]}), files[2], output);
    return 0;
}

int Write(const Args& args) {
    Text dir, file;
    std::optional<WriteMode> mode;
    bool utf8 = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const Text& a = args[i];
        if (a == "--utf8") {
            utf8 = true;
        } else if (a == "--black" || a == "--white") {
            if (mode || i + 1 == args.size()) return Usage();
            mode = a == "--black" ? WriteMode::Blacklist : WriteMode::Whitelist;
            file = args[++i];
        } else if (dir.empty() && a.rfind("--", 0) != 0) {
            dir = a;
        } else {
            return Usage();
        }
    }
    if (dir.empty() || !mode) return Usage();
    const Text profile = ProfileDir(dir);
    if (profile.empty()) return 1;
    ByteBuffer bytes;
    if (!platform::ReadWholeFile(file, bytes)) {
        Say("quorlex package: cannot read " + file);
        return 1;
    }
    const Text rules = RuleFileText(bytes, utf8);
    const PackageWriteResult result = WriteRulesToProfile(profile, rules, *mode);
    Say(result.status);
    return result.written ? 0 : 1;
}

}  // namespace

int RunPackage(const Args& args) {
    if (args.empty()) return Usage();
    if (args[0] == "--help" || args[0] == "-h") return Usage(), 0;
    ReportProgressOnStderr();
    const Args rest(args.begin() + 1, args.end());
    for (const Text& a : rest) {
        if (a == "--help" || a == "-h") return Usage(), 0;
    }
    if (args[0] == "read") return Read(rest);
    if (args[0] == "write") return Write(rest);
    Say("quorlex package: unknown action " + args[0]);
    return Usage();
}
