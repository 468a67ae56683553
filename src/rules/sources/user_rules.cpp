#include "rules/sources/user_rules.h"

#include <exception>

#include "common/encoding.h"
#include "common/rule_list.h"
#include "common/task_report.h"
#include "platform/files.h"
#include "rules/sources/source_steps.h"
#include "store/profile_locator.h"
#include "store/work_dir.h"
#include "store/zip_archive.h"

namespace {

const char kReadFailed[] = "用户规则获取失败！";

struct RuleFileRow {
    int kind;
    const char* name;
};
const RuleFileRow kRuleFiles[] = {
    {kRuleFileElement, "__user__element__"},
    {kRuleFileCss, "__user__css__"},
    {kRuleFileWhite, "__user__white__"},
};

const char* RuleFileName(int kind) {
    for (const RuleFileRow& row : kRuleFiles) {
        if (row.kind == kind) return row.name;
    }
    return nullptr;
}

// The text of the rule file `name` inside the package, read from a fresh work directory that
// is deleted again; false (with the status reported) when the package could not be unpacked,
// false without a message when the file is not in it (`unpacked` is then true).
bool ReadFromPackage(const Text& package, const char* name, Text& text, bool& unpacked) {
    const Text workDir = CreateWorkDir();
    if (workDir.empty()) {
        SetStatusText(kReadFailed);
        return false;
    }
    if (ExtractArchive(package, workDir) != kExtractDone) {
        SetStatusText(kReadFailed);
        platform::DeleteDirectoryTree(workDir);
        return false;
    }
    unpacked = true;
    const Text file = workDir + "\\" + name;
    ByteBuffer bytes;
    const bool read = platform::FileExists(file) && platform::ReadWholeFile(file, bytes);
    platform::DeleteDirectoryTree(workDir);
    if (!read) return false;
    text = Utf8ToGbk(bytes);
    return true;
}

// The rules after the count header, lines separated by LF, without one final LF.
Text RulesAfterHeader(const Text& file) {
    const size_t header = FindExact(file, "]\n");
    if (!header) return Text();
    Text rules = MidToEnd(file, long(header) + 2);
    if (Right(rules, 1) == "\n") rules = Left(rules, long(rules.size()) - 1);
    return rules;
}

Text WithoutBrowserRules(const Text& rules) {
    Text kept;
    for (const Text& line : Split(rules, "\n")) {
        if (Left(line, 2) == "**") continue;
        kept += kCrLf;
        kept += line;
    }
    return TrimRuleText(kept);
}

}  // namespace

Text ReadPackageRuleFile(int kind, bool customOnly) {
    bool packageRead = false;
    return ReadProfileRuleFile(FindProfileDir(), kind, customOnly, packageRead);
}

Text ReadProfileRuleFile(const Text& profile, int kind, bool customOnly, bool& packageRead) {
    packageRead = false;
    const char* name = RuleFileName(kind);
    if (!name || profile.empty()) return Text();
    const Text package = profile + "\\ContentListPackage";
    if (!platform::FileExists(package)) return Text();
    Text file;
    if (!ReadFromPackage(package, name, file, packageRead)) return Text();
    const Text rules = RulesAfterHeader(file);
    if (rules.empty()) return Text();
    return customOnly ? WithoutBrowserRules(rules) : ReplaceAllExact(rules, "\n", kCrLf);
}

namespace {

void ClearUserBuckets() {
    RuleBuckets& b = Buckets();
    Text().swap(b.UserBlockRules);
    Text().swap(b.UserWhiteRules);
    Text().swap(b.UserHideRules);
}

}  // namespace

void FetchUserRules(const SourceSelection& selection) {
    RuleBuckets& b = Buckets();
    SetStatusText("正在获取用户规则...");
    ClearUserBuckets();
    // Running out of memory on a large package is this step's failure.
    try {
        if (selection.Has(RuleSource::User)) {
            const struct {
                Text* bucket;
                int kind;
            } reads[] = {{&b.UserBlockRules, kRuleFileElement},
                         {&b.UserHideRules, kRuleFileCss},
                         {&b.UserWhiteRules, kRuleFileWhite}};
            for (const auto& read : reads)
                *read.bucket = TrimRuleText(ReadPackageRuleFile(read.kind, selection.userRulesCustomOnly));
        }
    } catch (const std::exception&) {
        ClearUserBuckets();
        SetStatusText(kReadFailed);
        return;
    }
    SetStatusText("用户规则获取完毕！");
}
