// The Maxthon source step: signatures, the download page's link, leftover work directories, and
// the whole step through the headless window against the local mirror: every kind of attachment
// and download page the mirror can answer, every failure row, the save attempts, and a host
// where nothing answers.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "archive/seven_zip.h"
#include "extract.h"
#include "mirror_process.h"
#include "platform/native/files_test_hooks.h"
#include "rar4_writer.h"
#include "rules/sources/maxthon_source.h"
#include "rules/sources/source_steps.h"
#include "ui/controls.h"
#include "window_harness.h"

namespace t = platform::test;
namespace fs = std::filesystem;

namespace {

Text ProgramPath(const fs::path& p) { return ReplaceAllExact(p.string(), "/", "\\"); }

TEST(MaxthonSignatures, KindByTheFirstBytes) {
    struct Row {
        ByteBuffer bytes;
        MaxthonArchiveKind kind;
    } rows[] = {
        {ByteBuffer("\x37\x7A\xBC\xAF\x27\x1C\x00\x04", 8), MaxthonArchiveKind::SevenZip},
        {"PK\x03\x04rest", MaxthonArchiveKind::Zip},
        {"Rar!\x1A\x07", MaxthonArchiveKind::Rar},
        {"Rar!\x1A", MaxthonArchiveKind::Rar},
        {"Rar!", MaxthonArchiveKind::None},  // shorter than the signature
        {"\x37\x7A\xBC\xAF\x27", MaxthonArchiveKind::None},
        {"PK\x05\x06", MaxthonArchiveKind::None},
        {"<html>", MaxthonArchiveKind::None},
        {"", MaxthonArchiveKind::None},
    };
    for (const Row& r : rows) EXPECT_EQ(MaxthonArchiveKindOf(r.bytes), r.kind) << r.bytes;
}

TEST(MaxthonPage, LinkBetweenQuotes) {
    struct Row {
        ByteBuffer page;
        bool found;
        Text link;
    } rows[] = {
        {"<a href=\"attachment.php?aid=29080&amp;k=1\">x</a>", true, "attachment.php?aid=29080&amp;k=1"},
        {"<A HREF=\"ATTACHMENT.PHP?AID=29080&k=2\">", true, "ATTACHMENT.PHP?AID=29080&k=2"},
        {"\"attachment.php?aid=29080\"", true, "attachment.php?aid=29080"},
        {"\"attachment.php?aid=29080 and no closing quote", true, ""},
        {"href=attachment.php?aid=29080", false, ""},
        {ByteBuffer("\0\"attachment.php?aid=29080\"", 27), false, ""},  // text ends at the zero
        {"", false, ""},
    };
    for (const Row& r : rows) {
        bool found = !r.found;
        EXPECT_EQ(MaxthonPageLink(r.page, found), r.link) << r.page;
        EXPECT_EQ(found, r.found) << r.page;
    }
}

class MaxthonStep : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/quorlex-maxthon-XXXXXX";
        tmp = mkdtemp(pattern);
        setenv("tmp", ProgramPath(tmp).c_str(), 1);
        PluginStartup();
        Buckets().MaxthonBlockRules = "old block";
        Buckets().MaxthonWhiteRules = "old white";
    }
    void TearDown() override {
        platform::testhooks::ResetFileHooks();
        unsetenv("tmp");
        fs::remove_all(tmp);
    }
    std::vector<fs::path> WorkDirs() const {
        std::vector<fs::path> dirs;
        for (const auto& e : fs::directory_iterator(tmp))
            if (e.is_directory() && e.path().extension() == ".tqnx") dirs.push_back(e.path());
        return dirs;
    }
    fs::path tmp;
};

void OnlyMaxthon(bool ticked) {
    if (ticked) TickOnly({选择框_傲游论坛规则});
    else TickOnly({});
}


bool Has(const std::vector<std::string>& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

TEST_F(MaxthonStep, PageLinkZipAttachmentAndConversion) {
    Mirror mirror;
    ASSERT_NE(mirror.port(), 0);
    // A directory a failed run left behind, and one that is not ours.
    fs::create_directories(tmp / "1a2b.tqnx");
    std::ofstream(tmp / "1a2b.tqnx" / "SiteList.rar") << "x";
    fs::create_directories(tmp / "other.tqnx");
    PluginWindow w;
    ASSERT_TRUE(w.open());
    OnlyMaxthon(true);
    {
        RuleHostFor host(mirror.address());
        t::TakeLog();
        ASSERT_TRUE(FetchAndWait(20000));
    }
    const std::vector<std::string> texts = StatusTexts();
    for (const char* s : {"正在获取傲游规则文件...", "傲游规则文件获取成功！", "正在解压傲游规则文件...",
                          "傲游规则文件解压完成！", "成功获取傲游规则！"})
        EXPECT_TRUE(Has(texts, s)) << s;
    int attachmentRequests = 0;
    for (const std::vector<std::string>& r : mirror.Requests())
        if (!r.empty() && r[0].find("attachment.php?aid=29080") != std::string::npos) ++attachmentRequests;
    EXPECT_EQ(attachmentRequests, 2);  // the attachment (a page here), then the page's link
    EXPECT_FALSE(mirror.RequestFor("k=4f2c9e81d7").empty());  // the page's link, entities kept
    EXPECT_NE(Buckets().MaxthonBlockRules, "old block");
    EXPECT_NE(Buckets().MaxthonWhiteRules, "old white");
    EXPECT_FALSE(Buckets().MaxthonWhiteRules.empty());  // at least the fixed exception rules
    // The work directory went with the conversion; the leftover went at the start.
    EXPECT_FALSE(fs::exists(tmp / "1a2b.tqnx"));
    EXPECT_TRUE(fs::exists(tmp / "other.tqnx"));
    EXPECT_EQ(WorkDirs().size(), 1u);
}

const char kSuccess[] = "成功获取傲游规则！";
const char kFetchFailed[] = "傲游规则文件获取失败！";
const char kUnpackFailed[] = "傲游规则文件解压失败！";

int AttachmentRequests(const Mirror& mirror) {
    int n = 0;
    for (const std::vector<std::string>& r : mirror.Requests())
        if (!r.empty() && ToLowerAscii(r[0]).find("/attachment.php?aid=29080") != std::string::npos) ++n;
    return n;
}

// Every answer the forum can give, through one window: what the status line ends with, how often
// the attachment path was asked for, and whether the buckets were replaced or kept.
TEST_F(MaxthonStep, EveryAttachmentAndPageKind) {
    struct Row {
        const char* first;
        const char* linked;
        const char* outcome;
        int requests;
        bool archiveLeft;  // a failed unpack leaves the work directory with the archive
    } rows[] = {
        {"zip", "zip", kSuccess, 1, false},  // an archive at once: no page search
        {"rar", "zip", kSuccess, 1, false},
        // The native build carries no 7z library: a 7z archive goes to it and to nothing else
        // (the extractor, which reads 7z too, would have unpacked it).
        {"7z", "zip", kUnpackFailed, 1, true},
        {"page", "rar", kSuccess, 2, false},
        {"page-upper", "zip", kSuccess, 2, false},  // the link in other letter case is followed
        {"page-exact", "rar", kSuccess, 2, false},  // the link is exactly the attachment's path
        {"page-long", "zip", kFetchFailed, 1, false},  // a 256-byte link is refused
        {"page-nolink", "zip", kFetchFailed, 1, false},
        {"page", "page-nolink", kFetchFailed, 2, false},  // the link answers no archive
        {"page", "empty", kFetchFailed, 2, false},
        {"empty", "zip", kFetchFailed, 1, false},
        {"rar-sub", "zip", kUnpackFailed, 1, true},  // SiteList.xml in a sub-folder does not count
        {"zip-other", "zip", kUnpackFailed, 1, true},
    };
    Mirror mirror;
    ASSERT_NE(mirror.port(), 0);
    PluginWindow w;
    ASSERT_TRUE(w.open());
    OnlyMaxthon(true);
    RuleHostFor host(mirror.address());
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.first) + " then " + r.linked);
        for (const fs::path& dir : WorkDirs()) fs::remove_all(dir);
        Buckets().MaxthonBlockRules = "old block";
        Buckets().MaxthonWhiteRules = "old white";
        ASSERT_TRUE(mirror.SetMaxthon(r.first, r.linked));
        const int before = AttachmentRequests(mirror);
        t::TakeLog();
        ASSERT_TRUE(FetchAndWait(20000));
        const std::vector<std::string> texts = StatusTexts();
        EXPECT_TRUE(Has(texts, r.outcome));
        EXPECT_EQ(AttachmentRequests(mirror) - before, r.requests);
        const bool success = std::string(r.outcome) == kSuccess;
        EXPECT_EQ(Has(texts, "傲游规则文件获取成功！"), std::string(r.outcome) != kFetchFailed);
        if (success) {
            EXPECT_NE(Buckets().MaxthonBlockRules.find("ad.sina.com.cn"), std::string::npos);
            EXPECT_NE(Buckets().MaxthonWhiteRules.find("v.youku.com"), std::string::npos);
            EXPECT_TRUE(WorkDirs().empty());
        } else {
            EXPECT_FALSE(Has(texts, kSuccess));
            EXPECT_EQ(Buckets().MaxthonBlockRules, "old block");
            EXPECT_EQ(Buckets().MaxthonWhiteRules, "old white");
            const std::vector<fs::path> dirs = WorkDirs();
            EXPECT_EQ(dirs.size(), r.archiveLeft ? 1u : 0u);
            if (r.archiveLeft && !dirs.empty()) EXPECT_TRUE(fs::exists(dirs[0] / "SiteList.rar"));
        }
    }
}

// The 7z library natively, while it lives: the extraction core with the tools' own bounds,
// called as the step calls unpack7z (program paths, then 1 for "with paths").
class SevenZipStandIn {
public:
    SevenZipStandIn() { SevenZip().unpack7z = reinterpret_cast<uintptr_t>(&Unpack); }
    ~SevenZipStandIn() { SevenZip().unpack7z = 0; }

private:
    static int32_t Unpack(uintptr_t archive, uintptr_t destination, uintptr_t withPaths) {
        const auto native = [](uintptr_t path) { return ReplaceAllExact(reinterpret_cast<const char*>(path), "\\", "/"); };
        ExtractOptions options{};
        options.withoutPaths = withPaths == 0;
        return ExtractArchiveTo(native(archive).c_str(), native(destination).c_str(), &options);
    }
};

// Attachments that would fill the disk: 7z bombs for the 7z library, too many entries for the
// RAR tool. The step ends with its unpack failure, its work directory holds the saved archive
// and nothing else, and the next source's rules still arrive.
TEST_F(MaxthonStep, HostileAttachmentsAreRefusedAndTheOtherSourcesArrive) {
    Mirror mirror;
    ASSERT_NE(mirror.port(), 0);
    SevenZipStandIn sevenZip;
    PluginWindow w;
    ASSERT_TRUE(w.open());
    TickOnly({选择框_傲游论坛规则, 选择框_ChinaList规则});
    RuleHostFor host(mirror.address());
    for (const char* kind : {"7z-bomb", "7z-understated", "rar-many"}) {
        SCOPED_TRACE(kind);
        for (const fs::path& dir : WorkDirs()) fs::remove_all(dir);
        Buckets().ChinaListBlockRules.clear();
        ASSERT_TRUE(mirror.SetMaxthon(kind));
        t::TakeLog();
        ASSERT_TRUE(FetchAndWait(60000));
        const std::vector<std::string> texts = StatusTexts();
        EXPECT_TRUE(Has(texts, kUnpackFailed));
        EXPECT_FALSE(Has(texts, kSuccess));
        EXPECT_EQ(Buckets().MaxthonBlockRules, "old block");
        const std::vector<fs::path> dirs = WorkDirs();
        ASSERT_EQ(dirs.size(), 1u);
        std::vector<std::string> left;
        for (const auto& e : fs::recursive_directory_iterator(dirs[0])) left.push_back(e.path().filename().string());
        EXPECT_EQ(left, std::vector<std::string>{"SiteList.rar"});
        EXPECT_NE(Buckets().ChinaListBlockRules, "");
        EXPECT_NE(Buckets().BlacklistText.find(Buckets().ChinaListBlockRules.substr(0, 40)), std::string::npos);
    }
}

// The archive is saved at most three times, each retry into a fresh work directory.
TEST_F(MaxthonStep, SaveAttempts) {
    struct Row {
        void (*arm)();
        const char* outcome;
        size_t dirsLeft;
    } rows[] = {
        // The first attempt writes into the drawn name, not yet created; the second fails too
        // (its directory stays, empty); the third succeeds.
        {[] { platform::testhooks::FailWrites(2); }, kSuccess, 1},
        {[] { platform::testhooks::FailWrites(3); }, "傲游规则文件保存失败！", 2},
        {[] { platform::testhooks::FailNextDirectoryCreation(); }, "工作目录创建失败！", 0},
    };
    Mirror mirror;
    PluginWindow w;
    ASSERT_TRUE(w.open());
    ASSERT_TRUE(mirror.SetMaxthon("zip"));
    OnlyMaxthon(true);
    RuleHostFor host(mirror.address());
    for (const Row& r : rows) {
        SCOPED_TRACE(r.outcome);
        for (const fs::path& dir : WorkDirs()) fs::remove_all(dir);
        r.arm();
        t::TakeLog();
        ASSERT_TRUE(FetchAndWait(20000));
        platform::testhooks::ResetFileHooks();
        EXPECT_TRUE(Has(StatusTexts(), r.outcome));
        EXPECT_EQ(WorkDirs().size(), r.dirsLeft);
    }
}

// A failed run after a successful one merges the rules of the successful one again, and removes
// the work directory the failure left behind at the start of the next run.
TEST_F(MaxthonStep, AFailedRunKeepsThePreviousRules) {
    Mirror mirror;
    PluginWindow w;
    ASSERT_TRUE(w.open());
    OnlyMaxthon(true);
    RuleHostFor host(mirror.address());
    ASSERT_TRUE(mirror.SetMaxthon("zip"));
    ASSERT_TRUE(FetchAndWait(20000));
    const Text block = Buckets().BlacklistText, white = Buckets().WhitelistText;
    ASSERT_NE(block.find("ad.sina.com.cn"), std::string::npos);
    ASSERT_TRUE(mirror.SetMaxthon("rar-sub"));
    ASSERT_TRUE(FetchAndWait(20000));
    EXPECT_EQ(Buckets().BlacklistText, block);
    EXPECT_EQ(Buckets().WhitelistText, white);
    ASSERT_EQ(WorkDirs().size(), 1u);
    const fs::path left = WorkDirs()[0];
    ASSERT_TRUE(mirror.SetMaxthon("page-nolink"));
    ASSERT_TRUE(FetchAndWait(20000));
    EXPECT_FALSE(fs::exists(left));
    EXPECT_EQ(Buckets().BlacklistText, block);
}

TEST_F(MaxthonStep, NothingAnswersReportsTheFetchFailureAndLeavesNoWorkDirectory) {
    PluginWindow w;
    ASSERT_TRUE(w.open());
    OnlyMaxthon(true);
    {
        RuleHostFor host("127.0.0.1:1");
        t::TakeLog();
        ASSERT_TRUE(FetchAndWait(20000));
    }
    EXPECT_TRUE(Has(StatusTexts(), "傲游规则文件获取失败！"));
    EXPECT_TRUE(WorkDirs().empty());
}

TEST_F(MaxthonStep, UntickedEmptiesTheBucketsWithoutAFetch) {
    Mirror mirror;
    PluginWindow w;
    ASSERT_TRUE(w.open());
    OnlyMaxthon(false);
    t::Click(选择框_用户原有规则);  // one source, so the task runs
    {
        RuleHostFor host(mirror.address());
        ASSERT_TRUE(FetchAndWait(20000));
    }
    EXPECT_TRUE(Buckets().MaxthonBlockRules.empty());
    EXPECT_TRUE(Buckets().MaxthonWhiteRules.empty());
    EXPECT_TRUE(mirror.RequestFor("attachment.php").empty());
}

// The conversion of an unpacked work directory, and its refusal of a file that is no site list.
TEST_F(MaxthonStep, ConvertSiteListDeletesTheWorkDirectory) {
    const fs::path dir = tmp / "5.tqnx";
    fs::create_directories(dir);
    std::ofstream(dir / "SiteList.xml") << "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                                           "<sp><s d=\"example.com\"><blacklist><i mode=\"0\">/ads/*</i></blacklist></s></sp>";
    EXPECT_EQ(ConvertSiteList(ProgramPath(dir)), 0);
    EXPECT_NE(Buckets().MaxthonBlockRules.find("ads"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir));
    fs::create_directories(dir);
    std::ofstream(dir / "SiteList.xml") << "<notsp/>";
    EXPECT_EQ(ConvertSiteList(ProgramPath(dir)), -1);
    EXPECT_TRUE(Buckets().MaxthonBlockRules.empty());
    EXPECT_FALSE(fs::exists(dir));
}

}  // namespace
