// The extraction core of myrar and the 7z library against archives that would fill the disk:
// 7z bombs, too many entries or folders, a stored file past a bound, a 7z whose header
// understates its sizes. Each is refused having written no more than its bound, and leaves the
// destination as it found it.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "extract.h"
#include "hostile_archives.h"
#include "rar4_writer.h"

namespace fs = std::filesystem;

namespace {

constexpr long long kMiB = 1 << 20;

// Every file and folder below `dir` with its size (folders: -1).
std::map<std::string, long long> Contents(const fs::path& dir) {
    std::map<std::string, long long> all;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        all[fs::relative(e.path(), dir).string()] = e.is_directory() ? -1 : (long long)e.file_size();
    return all;
}

class BoundedExtraction : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/quorlex-extract-XXXXXX";
        root = mkdtemp(pattern);
    }
    void TearDown() override { fs::remove_all(root); }

    fs::path Stored(const std::string& name, const std::vector<rartest::RarEntry>& entries) {
        const fs::path p = root / name;
        std::ofstream(p, std::ios::binary) << rartest::StoredRar4(entries);
        return p;
    }

    fs::path root;
};

ExtractBounds Bounds(long long entryBytes, long long totalBytes = EXTRACT_MAX_TOTAL_BYTES,
                              long long entries = EXTRACT_MAX_ENTRIES) {
    return {entryBytes, totalBytes, entries};
}

TEST_F(BoundedExtraction, EachHostileArchiveIsRefusedWithinItsBound) {
    const std::string xml(474, 'x');
    const fs::path stored = Stored("stored.rar", {{"SiteList.xml", xml}, {"big.bin", std::string(2 * kMiB, 'b')}});
    const fs::path deep = Stored("deep.rar", {{"SiteList.xml", xml}, {"a\\b\\c\\d\\f.txt", "deep"}});
    const ExtractBounds defaults = Bounds(EXTRACT_MAX_ENTRY_BYTES);
    struct Row {
        const char* name;
        fs::path archive;
        ExtractBounds bounds;
        int result;
        long long maxWritten;  // on a refusal
    } rows[] = {
        {"a 7z bomb, 1 MiB a file", hostile::Archive("7z-bomb"), Bounds(kMiB), EXTRACT_TOO_LARGE, kMiB + 474},
        // Files of exactly 1 MiB pass a bound of 1 MiB; the third passes 3 MiB for all of them.
        {"1 MiB files, 3 MiB in all", hostile::Archive("7z-spread"), Bounds(kMiB, 3 * kMiB), EXTRACT_TOO_LARGE, 3 * kMiB},
        {"1 MiB files, 5 MiB in all", hostile::Archive("7z-spread"), Bounds(kMiB, 5 * kMiB), EXTRACT_OK, 0},
        {"1 MiB files, a byte less a file", hostile::Archive("7z-spread"), Bounds(kMiB - 1), EXTRACT_TOO_LARGE, kMiB},
        {"a header that understates the sizes", hostile::Archive("7z-understated"), defaults, EXTRACT_BAD_DATA,
         474 + 1024},
        {"10,001 entries", hostile::Archive("rar-many"), defaults, EXTRACT_TOO_MANY, 0},
        {"a stored file past the bound", stored, Bounds(kMiB), EXTRACT_TOO_LARGE, kMiB + 474},
        // Four folders and two files: six things made.
        {"deep folders, 5 made at most", deep, Bounds(kMiB, kMiB, 5), EXTRACT_TOO_MANY, 474},
        {"deep folders, 6 made at most", deep, Bounds(kMiB, kMiB, 6), EXTRACT_OK, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        ASSERT_FALSE(r.archive.empty()) << "could not make the archive (python3 and 7zz are set-up packages)";
        const fs::path out = root / "out";
        fs::remove_all(out);
        fs::create_directories(out / "kept");
        std::ofstream(out / "kept" / "before.txt") << "here before";
        const auto before = Contents(out);
        ExtractOptions options{};
        options.bounds = &r.bounds;
        EXPECT_EQ(ExtractArchiveTo(r.archive.c_str(), out.c_str(), &options), r.result);
        if (r.result == EXTRACT_OK) {
            EXPECT_TRUE(fs::exists(out / "SiteList.xml"));
            continue;
        }
        EXPECT_LE(options.written, r.maxWritten);
        EXPECT_EQ(Contents(out), before);
    }
}

// Without bounds given, the tools' own hold; folders the run made for the destination go too.
TEST_F(BoundedExtraction, DefaultBoundsAndTheDestinationItMade) {
    const fs::path bomb = hostile::Archive("7z-bomb");
    ASSERT_FALSE(bomb.empty());
    const fs::path out = root / "new" / "out";
    ExtractOptions options{};
    EXPECT_EQ(ExtractArchiveTo(bomb.c_str(), out.c_str(), &options), EXTRACT_TOO_LARGE);
    EXPECT_LE(options.written, EXTRACT_MAX_ENTRY_BYTES + 474);
    EXPECT_GT(options.written, EXTRACT_MAX_ENTRY_BYTES - kMiB);  // it stopped at the bound, not before
    EXPECT_FALSE(fs::exists(root / "new"));
    EXPECT_EQ(ExtractArchiveTo(bomb.c_str(), out.c_str(), nullptr), EXTRACT_TOO_LARGE);
    EXPECT_FALSE(fs::exists(root / "new"));
}

}  // namespace
