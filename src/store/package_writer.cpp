#include "store/package_writer.h"

#include <new>
#include <vector>

#include "common/encoding.h"
#include "common/task_report.h"
#include "store/package_files.h"
#include "store/profile_locator.h"
#include "store/zip_archive.h"

namespace {

const char kElementFile[] = "__user__element__";
const char kCssFile[] = "__user__css__";
const char kWhiteFile[] = "__user__white__";

const char kNoProfile[] = "写入失败，找不到浏览器用户目录！";
const char kNothingToSave[] = "写入失败，不能保存空数据！";
const char kFileError[] = "文件读写错误！请尝试手工更新规则";
const char kPackFailed[] = "写入失败，请尝试手工更新规则！";
const char kWritten[] = "写入成功！请立即重启浏览器以使规则生效";
// Neither the package nor its backup read back completely: the other rules are what could be
// read of it, and the damaged package is kept byte for byte as the backup. As short as the
// success text, so that the status line shows it whole.
const char kWrittenOverDamaged[] = "写入成功！原规则包已损坏，已保留为备份";

Text CountHeader(size_t count) { return "[count=" + std::to_string(count) + "]\n"; }

// A rule file of the new package: its entry name and its bytes.
struct RuleFile {
    const char* name;
    ByteBuffer bytes;
};

// The rule files of the chosen list.
std::vector<RuleFile> ListFiles(const Text& rules, WriteMode mode) {
    if (mode == WriteMode::Blacklist) {
        const BlacklistFiles files = BlacklistRuleFiles(rules);
        // The window ends up on top of the browser it writes for.
        RaiseWindow();
        return {{kElementFile, GbkToUtf8(files.element)}, {kCssFile, GbkToUtf8(files.css)}};
    }
    return {{kWhiteFile, GbkToUtf8(WhitelistRuleFile(rules))}};
}

// The rule file that an old file at the root is, or none: the names compared with ASCII case
// ignored, as Windows compares them.
const RuleFile* RewrittenBy(const ZipEntry& e, const std::vector<RuleFile>& files) {
    for (const RuleFile& f : files)
        if (ToUpperAscii(e.name) == ToUpperAscii(f.name)) return &f;
    return nullptr;
}

bool IsRootFile(const ZipEntry& e) { return !e.isFolder && !FindExact(e.name, "/") && !FindExact(e.name, "\\"); }

// The new package, laid out as a packed directory is: the files at the root first, then the
// folders with their contents. The old entries keep their order and every one is carried over
// unchanged, except that the chosen list's files take the place of their old ones (further
// copies of them dropped); rule files the old package lacked follow its root files.
bool BuildPackage(const std::vector<ArchiveEntry>& old, const std::vector<RuleFile>& files, ByteBuffer& archive) {
    ZipWriter zip;
    std::vector<const RuleFile*> added;
    auto add = [&](const RuleFile& f) {
        for (const RuleFile* done : added)
            if (done == &f) return true;
        added.push_back(&f);
        return zip.AddFile(f.name, f.bytes, false);
    };
    for (const ArchiveEntry& e : old) {
        if (!IsRootFile(e.entry)) continue;
        const RuleFile* rewritten = RewrittenBy(e.entry, files);
        if (!(rewritten ? add(*rewritten) : CopyArchiveEntry(zip, e))) return false;
    }
    for (const RuleFile& f : files)
        if (!add(f)) return false;
    for (const ArchiveEntry& e : old)
        if (!IsRootFile(e.entry) && !CopyArchiveEntry(zip, e)) return false;
    archive = zip.Finish();
    return true;
}

PackageWriteResult WriteNormalisedRules(const Text& profile, const Text& rules, WriteMode mode) {
    RemoveLeftoverPackages(profile);
    const StoredPackages previous = ReadStoredPackages(profile);
    ByteBuffer archive;
    if (!BuildPackage(previous.entries, ListFiles(rules, mode), archive)) return {false, kPackFailed};
    const Text temporary = WriteTemporaryPackage(profile, archive);
    if (temporary.empty()) return {false, kPackFailed};
    if (!InstallPackage(profile, temporary, previous.from == PreviousPackage::Package)) return {false, kFileError};
    const bool damaged = previous.from != PreviousPackage::None && !previous.complete;
    return {true, damaged ? kWrittenOverDamaged : kWritten};
}

}  // namespace

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

bool WriteRulesTask(const Text& rules, WriteMode mode) {
    SetCommandsEnabled(false);
    const PackageWriteResult result = WriteRulesToProfile(FindProfileDir(), rules, mode);
    SetStatusText(result.status);
    SetCommandsEnabled(true);
    return result.written;
}

PackageWriteResult WriteRulesToProfile(const Text& profile, const Text& rules, WriteMode mode) {
    if (profile.empty()) return {false, kNoProfile};
    const Text t = NormaliseRuleText(rules);
    if (t.empty()) return {false, kNothingToSave};
    try {
        return WriteNormalisedRules(profile, t, mode);
    } catch (const std::bad_alloc&) {
        // The old package and its backup hold whole in memory for a moment; a package too large
        // for the browser's address space is a failed write, never a crash.
        return {false, kPackFailed};
    }
}
