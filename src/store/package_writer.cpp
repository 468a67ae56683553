#include "store/package_writer.h"

#include "common/controls.h"
#include "common/globals.h"
#include "common/window_link.h"
#include "common/worker_threads.h"
#include "platform/files.h"
#include "platform/window.h"
#include "store/profile_locator.h"
#include "store/work_dir.h"
#include "store/zip_archive.h"
#include "web/decode.h"

namespace {

const char kPackageName[] = "\\ContentListPackage";
const char kBackupName[] = "\\ContentListPackage.Backup";
const char kElementFile[] = "\\__user__element__";
const char kCssFile[] = "\\__user__css__";
const char kWhiteFile[] = "\\__user__white__";

const char kNoProfile[] = "写入失败，找不到浏览器用户目录！";
const char kNothingToSave[] = "写入失败，不能保存空数据！";
const char kNoWorkDir[] = "写入失败，无法创建临时目录！";
const char kFileError[] = "文件读写错误！请尝试手工更新规则";
const char kPackFailed[] = "写入失败，请尝试手工更新规则！";
const char kWritten[] = "写入成功！请立即重启浏览器以使规则生效";

struct WriteButton {
    ControlId editBox;
    int mode;
    int slot;
    const char* status;
};
const WriteButton kBlacklistButton = {编辑框_黑名单, kWriteModeBlacklist, kWriteBlacklistSlot,
                                      "正将过滤规则写到规则文件..."};
const WriteButton kWhitelistButton = {编辑框_白名单, kWriteModeWhitelist, kWriteWhitelistSlot,
                                      "正将白名单写到规则文件..."};

void RunWriteRulesTask() { WriteRulesTask(); }

void OnWriteClicked(const WriteButton& button) {
    if (LongCommandRunning()) return;
    SetStatusText(button.status);
    Globals& g = G();
    g.PendingWriteText.Set(platform::GetControlText(button.editBox));
    g.PendingWriteMode = button.mode;
    StartTask(button.slot, RunWriteRulesTask);
}

Text CountHeader(size_t count) { return "[count=" + std::to_string(count) + "]\n"; }

bool WriteRuleFile(const Text& path, const Text& text) { return platform::WriteWholeFile(path, GbkToUtf8(text)); }

// The rule files of the chosen list, written into the work directory.
bool WriteListFiles(const Text& workDir, const Text& rules, int mode) {
    if (mode == kWriteModeBlacklist) {
        const BlacklistFiles files = BlacklistRuleFiles(rules);
        // Off and on again: the window ends up on top of the browser it writes for.
        SetWindowTopmostState(false);
        SetWindowTopmostState(true);
        return WriteRuleFile(workDir + kElementFile, files.element) && WriteRuleFile(workDir + kCssFile, files.css);
    }
    return WriteRuleFile(workDir + kWhiteFile, WhitelistRuleFile(rules));
}

}  // namespace

void OnWriteBlacklistClicked() { OnWriteClicked(kBlacklistButton); }
void OnWriteWhitelistClicked() { OnWriteClicked(kWhitelistButton); }

Text NormaliseRuleText(const Text& text) {
    Text t = ReplaceAllExact(RemoveAll(TextUpTo0(text), " "), "\r", "\n");
    while (FindExact(t, "\n\n")) t = ReplaceAllExact(t, "\n\n", "\n");
    return TrimRuleText(t);
}

BlacklistFiles BlacklistRuleFiles(const Text& rules) {
    Text blocking, hiding;
    size_t e = 0, h = 0;
    for (const Text& line : Split(rules, "\n")) {
        if (line.empty()) continue;
        const bool hides = Contains(line, "##");
        Text& list = hides ? hiding : blocking;
        list += "\n";
        list += line;
        ++(hides ? h : e);
    }
    return {CountHeader(e) + TrimRuleText(blocking), CountHeader(h) + TrimRuleText(hiding)};
}

Text WhitelistRuleFile(const Text& rules) {
    // A normalised text has no empty line and no LF at either end: one rule per line.
    return CountHeader(Split(rules, "\n").size()) + rules + "\n";
}

void RestorePreviousPackage(const Text& profile, bool movedToBackup, bool packingFailed) {
    const Text package = profile + kPackageName;
    if (packingFailed && platform::FileExists(package)) platform::DeleteFileAt(package);
    if (movedToBackup) platform::RenamePath(profile + kBackupName, package);
}

bool WriteRulesTask() {
    Globals& g = G();
    const Text t = g.PendingWriteText.Get();
    const int mode = g.PendingWriteMode;
    SetCommandsEnabled(false);
    const PackageWriteResult result = WriteRulesToProfile(FindProfileDir(), t, mode);
    SetStatusText(result.status);
    SetCommandsEnabled(true);
    return result.written;
}

PackageWriteResult WriteRulesToProfile(const Text& profile, const Text& rules, int mode) {
    if (profile.empty()) return {false, kNoProfile};
    const Text t = NormaliseRuleText(rules);
    if (t.empty()) return {false, kNothingToSave};
    const Text workDir = CreateWorkDir();
    if (workDir.empty()) return {false, kNoWorkDir};

    const Text package = profile + kPackageName;
    const Text backup = profile + kBackupName;
    const bool hadPackage = platform::FileExists(package);
    if (hadPackage) {
        ExtractArchive(package, workDir);  // a damaged package still gives what it can
        if (platform::FileExists(backup)) platform::DeleteFileAt(backup);
        // Packing over a package that could not be moved aside would leave no copy of it.
        if (!platform::RenamePath(package, backup)) {
            platform::DeleteDirectoryTree(workDir);
            return {false, kFileError};
        }
    }

    if (!WriteListFiles(workDir, t, mode)) {
        RestorePreviousPackage(profile, hadPackage, false);
        return {false, kFileError};
    }
    if (CompressDirectory(workDir, package) != kCompressDone) {
        RestorePreviousPackage(profile, hadPackage, true);
        return {false, kPackFailed};
    }
    platform::DeleteDirectoryTree(workDir);
    return {true, kWritten};
}
