// The Maxthon source step: download the forum's rule attachment (following the download page
// when the answer is a page), save it into a fresh work directory, unpack it with the extractor
// its signature names, and convert the SiteList.xml found there.
#include "rules/sources/maxthon_source.h"

#include <exception>

#include "archive/rar_runner.h"
#include "archive/seven_zip.h"
#include "common/encoding.h"
#include "common/stop.h"
#include "common/task_report.h"
#include "platform/files.h"
#include "platform/threads.h"
#include "rules/sources/sitelist_convert.h"
#include "rules/sources/source_steps.h"
#include "store/work_dir.h"
#include "store/zip_archive.h"
#include "web/rule_sites.h"
#include "web/web_fetch.h"

namespace {

const char kAttachment[] = "attachment.php?aid=29080";
const char kFetchFailed[] = "傲游规则文件获取失败！";

// The one XML reader of the program: it reads SiteList.xml, and is left empty after each use.
XmlReader siteListReader;

struct Signature {
    MaxthonArchiveKind kind;
    const char* bytes;
    size_t length;
};

const Signature kSignatures[] = {
    {MaxthonArchiveKind::SevenZip, "\x37\x7A\xBC\xAF\x27\x1C", 6},
    {MaxthonArchiveKind::Zip, "\x50\x4B\x03\x04", 4},
    {MaxthonArchiveKind::Rar, "\x52\x61\x72\x21\x1A", 5},
};

// Sets the status, pauses 500 ms while messages keep being processed (long enough to read).
void Fail(const char* message) {
    SetStatusText(message);
    platform::PauseDispatching(500, &StopEvent());
}

void Unpack(MaxthonArchiveKind kind, const Text& archive, const Text& workDir) {
    switch (kind) {
    case MaxthonArchiveKind::SevenZip:
        ExtractWith7z(archive, workDir);
        break;
    case MaxthonArchiveKind::Zip:
        ExtractArchive(archive, workDir);
        break;
    case MaxthonArchiveKind::Rar: {
        Text destination = workDir;
        RunRarTool(archive, destination, std::nullopt, false);
        break;
    }
    case MaxthonArchiveKind::None:
        break;
    }
}

}  // namespace

MaxthonArchiveKind MaxthonArchiveKindOf(const ByteBuffer& download) {
    for (const Signature& s : kSignatures)
        if (download.size() >= s.length && download.compare(0, s.length, s.bytes, s.length) == 0) return s.kind;
    return MaxthonArchiveKind::None;
}

Text MaxthonPageLink(const ByteBuffer& page, bool& found) {
    const Text text = TextUpTo0(page);
    const size_t quote = Find(text, Text("\"") + kAttachment);
    found = quote != 0;
    if (!found) return "";
    const size_t start = quote + 1;
    const size_t end = Find(text, "\"", start);
    return end ? Mid(text, long(start), long(end - start)) : "";
}

void RemoveLeftMaxthonWorkDirs() {
    const Text tmp = TmpDirectory();
    if (tmp.empty()) return;
    std::vector<platform::DirectoryEntry> entries;
    if (!platform::ListDirectory(tmp, entries)) return;
    for (const platform::DirectoryEntry& e : entries) {
        const Text dir = tmp + e.name;
        if (e.isDirectory && ToLowerAscii(Right(e.name, 5)) == ".tqnx" && platform::FileExists(dir + "\\SiteList.rar"))
            platform::DeleteDirectoryTree(dir);
    }
}

namespace {

void ClearMaxthonBuckets() {
    RuleBuckets& b = Buckets();
    Text().swap(b.MaxthonBlockRules);
    Text().swap(b.MaxthonWhiteRules);
}

// The file read and converted, or false when it is no usable site list. A file longer than any
// download may be is not one: an archive that unpacks into gigabytes is refused here.
bool LoadAndConvert(const Text& workDir) {
    RuleBuckets& b = Buckets();
    ByteBuffer bytes;
    platform::ReadWholeFile(workDir + "\\SiteList.xml", bytes);
    if (bytes.size() > kMaxResponseBodyBytes) return false;
    if (!LoadSiteList(Utf8ToGbk(StripUtf8Bom(bytes)), siteListReader)) return false;
    ByteBuffer().swap(bytes);
    SetStatusText("开始处理傲游规则！");
    SiteListRules rules;
    ConvertLoadedSiteList(siteListReader, rules);
    b.MaxthonBlockRules = std::move(rules.blockRules);
    b.MaxthonWhiteRules = std::move(rules.whiteRules);
    return true;
}

void DownloadAndConvert();

}  // namespace

int ConvertSiteList(const Text& workDir) {
    ClearMaxthonBuckets();
    bool converted = false;
    try {
        converted = LoadAndConvert(workDir);
    } catch (const std::exception&) {  // out of memory: this file's failure
        siteListReader.Clear();
        ClearMaxthonBuckets();
    }
    if (!converted) {
        Fail("规则文件读取失败！");
        platform::DeleteDirectoryTree(workDir);
        return -1;
    }
    SetStatusText("成功获取傲游规则！");
    platform::DeleteDirectoryTree(workDir);
    return 0;
}

void ReleaseSiteListReader() { siteListReader.Clear(); }

void FetchMaxthonRules(const SourceSelection& selection) {
    if (!selection.Has(RuleSource::Maxthon)) return ClearMaxthonBuckets();
    // Running out of memory while downloading is this step's failure; the other sources go on.
    try {
        DownloadAndConvert();
    } catch (const std::exception&) {
        ClearMaxthonBuckets();
        Fail(kFetchFailed);
    }
}

namespace {

void DownloadAndConvert() {
    RemoveLeftMaxthonWorkDirs();
    Text workDir = NewWorkDirName();
    SetStatusText("正在获取傲游规则文件...");
    ByteBuffer download = WebFetch(RuleSiteUrl(kMaxthonForumHost, Text("/") + kAttachment));
    if (download.empty()) return Fail(kFetchFailed);
    MaxthonArchiveKind kind = MaxthonArchiveKindOf(download);
    if (kind == MaxthonArchiveKind::None) {
        bool found = false;
        const Text link = MaxthonPageLink(download, found);
        if (!found) return Fail(kFetchFailed);
        if (link.size() > 255 || link.size() < sizeof kAttachment - 1) {
            SetStatusText(kFetchFailed);
            return;
        }
        download = WebFetch(RuleSiteUrl(kMaxthonForumHost, "/" + link));
        kind = MaxthonArchiveKindOf(download);
        if (kind == MaxthonArchiveKind::None) return Fail(kFetchFailed);
    }
    SetStatusText("傲游规则文件获取成功！");
    for (int attempt = 1;; ++attempt) {
        if (platform::WriteWholeFile(workDir + "\\SiteList.rar", download)) break;
        if (attempt == 3) return Fail("傲游规则文件保存失败！");
        workDir = NewWorkDirName();
        if (!platform::CreateOneDirectory(workDir)) return Fail("工作目录创建失败！");
    }
    ByteBuffer().swap(download);  // on disk now; not kept while it is unpacked and converted
    SetStatusText("正在解压傲游规则文件...");
    Unpack(kind, workDir + "\\SiteList.rar", workDir);
    if (!platform::FileExists(workDir + "\\SiteList.xml")) return Fail("傲游规则文件解压失败！");
    SetStatusText("傲游规则文件解压完成！");
    ConvertSiteList(workDir);
}

}  // namespace
