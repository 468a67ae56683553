// The ZIP component against independent implementations: archives it writes must read back
// identically in python3's zipfile and Info-ZIP's unzip, and archives python3 writes (stored,
// deflated, with data descriptors, with and without folder entries) must extract. Hostile and
// damaged archives are refused without writing outside, or at all.
// Literals are GBK at run time; u8"" literals are UTF-8 (python's and Linux's names).
#include "store/zip_archive.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>

#include "platform/native/files_test_hooks.h"
#include "store/zip_format.h"
#include "stored_zip.h"

namespace fs = std::filesystem;

namespace {

// Helpers shared by the python scripts: data-descriptor archives come from a stream zipfile
// cannot seek in; `central` finds an entry's central record for patching.
const char* const kPythonPrelude = R"PY(
import io, sys, zipfile, zlib
def unseekable(path):
    class Stream(io.RawIOBase):
        def __init__(self): self.f = open(path, 'wb')
        def writable(self): return True
        def write(self, b): return self.f.write(b)
        def close(self):
            if not self.closed: self.f.close()
            super().close()
    return Stream()
def info(name, method=zipfile.ZIP_DEFLATED):
    i = zipfile.ZipInfo(name, (2024, 6, 1, 12, 0, 0))
    i.compress_type = method
    return i
def central(data, name):
    i = data.find(b'PK\x01\x02')
    while i >= 0:
        n = int.from_bytes(data[i + 28:i + 30], 'little')
        if bytes(data[i + 46:i + 46 + n]) == name.encode('utf-8'): return i
        i = data.find(b'PK\x01\x02', i + 1)
    raise SystemExit('no central record for ' + name)
def data_offset(data, name):
    local = int.from_bytes(data[central(data, name) + 42:central(data, name) + 46], 'little')
    return local + 30 + int.from_bytes(data[local + 26:local + 28], 'little') + int.from_bytes(data[local + 28:local + 30], 'little')
def patch(path, change):
    data = bytearray(open(path, 'rb').read())
    change(data)
    open(path, 'wb').write(data)
def put32(data, at, value): data[at:at + 4] = value.to_bytes(4, 'little')
)PY";

struct Listed {
    std::string name;  // UTF-8, as python reports it
    int method;
    long size;
    bool isDir;
    bool utf8Flag;
    std::string data;
};

class ZipTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("python3 -c 'import zipfile' >/dev/null 2>&1") != 0) GTEST_SKIP() << "python3 missing";
        char name[] = "/tmp/quorlex-zip-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        native_ = name;
        dir_ = ReplaceAllExact(native_, "/", "\\");
        platform::testhooks::ResetFileHooks();
    }
    void TearDown() override {
        platform::testhooks::ResetFileHooks();
        std::error_code ignored;
        if (!native_.empty()) fs::remove_all(native_, ignored);
    }

    Text P(const Text& relative) const { return dir_ + "\\" + relative; }
    std::string N(const std::string& relativeUtf8) const { return native_ + "/" + relativeUtf8; }

    static std::string Slurp(const std::string& native) {
        std::ifstream in(native, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    void Put(const std::string& relativeUtf8, const std::string& bytes) {
        fs::create_directories(fs::path(N(relativeUtf8)).parent_path());
        std::ofstream(N(relativeUtf8), std::ios::binary) << bytes;
    }

    // Runs a python script (after the prelude) with the fixture directory as sys.argv[1];
    // returns its standard output, failing the test when it fails.
    std::string Python(const std::string& script) {
        const std::string file = N("script.py");
        std::ofstream(file) << kPythonPrelude << "base = sys.argv[1]\n" << script;
        const std::string command = "python3 '" + file + "' '" + native_ + "' 2>&1";
        std::string out;
        FILE* pipe = popen(command.c_str(), "r");
        char buffer[4096];
        for (size_t n; pipe && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
        const int status = pipe ? pclose(pipe) : -1;
        fs::remove(file);
        EXPECT_EQ(status, 0) << out;
        return out;
    }

    // What python's zipfile finds in an archive, in archive order; also runs its CRC test.
    std::vector<Listed> PythonList(const std::string& archiveUtf8) {
        const std::string out = Python(
            "z = zipfile.ZipFile(base + '/" + archiveUtf8 + "')\n"
            "assert z.testzip() is None\n"
            "for i in z.infolist():\n"
            "    print('\\t'.join([i.filename, str(i.compress_type), str(i.file_size), str(int(i.is_dir())),\n"
            "        str(int(bool(i.flag_bits & 0x800))), z.read(i).hex()]))\n");
        std::vector<Listed> entries;
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);) {
            std::vector<std::string> f;
            std::istringstream fields(line);
            for (std::string field; std::getline(fields, field, '\t');) f.push_back(field);
            if (f.size() == 5) f.push_back("");
            if (f.size() != 6) {
                ADD_FAILURE() << "unexpected line: " << line;
                continue;
            }
            std::string data;
            for (size_t i = 0; i + 1 < f[5].size(); i += 2) data += char(std::stoi(f[5].substr(i, 2), nullptr, 16));
            entries.push_back(Listed{f[0], std::stoi(f[1]), std::stol(f[2]), f[3] == "1", f[4] == "1", data});
        }
        return entries;
    }

    // Every file (with its bytes) and directory (ending in "/") below a directory.
    std::map<std::string, std::string> Tree(const std::string& relativeUtf8) {
        std::map<std::string, std::string> tree;
        const fs::path root = N(relativeUtf8);
        if (!fs::exists(root)) return tree;
        for (const auto& e : fs::recursive_directory_iterator(root)) {
            const std::string rel = fs::relative(e.path(), root).generic_string();
            if (e.is_directory()) tree[rel + "/"] = "";
            else tree[rel] = Slurp(e.path().string());
        }
        return tree;
    }

    std::string native_;
    Text dir_;
};

const std::string kBinary = [] {
    std::string s;
    for (int k = 0; k < 4; ++k)
        for (int b = 0; b < 256; ++b) s += char(b);
    return s;
}();

// ---- archives we write ---------------------------------------------------------------------

class ZipWriteTest : public ZipTest {
protected:
    // A package-like tree: rule files, archives that are stored, a GBK-named file and folder,
    // nested folders and an empty one.
    void MakeTree() {
        Put("pkg/__user__element__", std::string("[count=1]\n**://a.com^\0", 23));
        Put("pkg/__user__white__", std::string("[count=0]\n\n\0", 12));
        Put("pkg/binary.bin", kBinary);
        Put("pkg/empty", "");
        Put("pkg/list.GZ", "gz");
        Put("pkg/notes.Tgz", "tgz");
        Put("pkg/pack.zip", "zip");
        Put(u8"pkg/规则.txt", "\xB9\xE6\xD4\xF2");
        Put("pkg/folder/inner.txt", "inner");
        Put("pkg/folder/deeper/leaf.txt", std::string(5000, 'L'));
        Put("pkg/zz/z.txt", "z");
        fs::create_directories(N(u8"pkg/空目录"));
    }
};

TEST_F(ZipWriteTest, PythonReadsWhatWeWriteInListingOrder) {
    MakeTree();
    ASSERT_EQ(CompressDirectory(P("pkg"), P("out.zip")), kCompressDone);

    struct Expected {
        std::string name;
        int method;
        std::string data;
    };
    const Expected expected[] = {
        {"binary.bin", 8, kBinary},
        {"empty", 8, ""},
        {"list.GZ", 0, "gz"},
        {"notes.Tgz", 0, "tgz"},
        {"pack.zip", 0, "zip"},
        {"__user__element__", 8, std::string("[count=1]\n**://a.com^\0", 23)},
        {"__user__white__", 8, std::string("[count=0]\n\n\0", 12)},
        {u8"规则.txt", 8, "\xB9\xE6\xD4\xF2"},
        {"folder/", 0, ""},
        {"folder/inner.txt", 8, "inner"},
        {"folder/deeper/", 0, ""},
        {"folder/deeper/leaf.txt", 8, std::string(5000, 'L')},
        {"zz/", 0, ""},
        {"zz/z.txt", 8, "z"},
        {u8"空目录/", 0, ""},
    };
    const std::vector<Listed> listed = PythonList("out.zip");
    ASSERT_EQ(listed.size(), std::size(expected));
    for (size_t i = 0; i < listed.size(); ++i) {
        const Listed& l = listed[i];
        EXPECT_EQ(l.name, expected[i].name) << i;
        EXPECT_EQ(l.method, expected[i].method) << l.name;
        EXPECT_EQ(l.data, expected[i].data) << l.name;
        EXPECT_EQ(l.isDir, l.name.back() == '/') << l.name;
        EXPECT_EQ(l.utf8Flag, static_cast<unsigned char>(l.name[0]) >= 0x80) << l.name;
    }
}

TEST_F(ZipWriteTest, InfoZipTestsAndUnpacksWhatWeWrite) {
    if (std::system("unzip -v >/dev/null 2>&1") != 0) GTEST_SKIP() << "unzip missing";
    MakeTree();
    ASSERT_EQ(CompressDirectory(P("pkg"), P("out.zip")), kCompressDone);
    // Info-ZIP decodes UTF-8 names (flag bit 11) only in a UTF-8 locale.
    const std::string unzip = "LC_ALL=C.UTF-8 unzip ";
    EXPECT_EQ(std::system((unzip + "-tqq '" + N("out.zip") + "'").c_str()), 0);
    ASSERT_EQ(std::system((unzip + "-qq '" + N("out.zip") + "' -d '" + N("unzipped") + "'").c_str()), 0);
    EXPECT_EQ(Tree("unzipped"), Tree("pkg"));
}

TEST_F(ZipWriteTest, SameFilesMakeTheSameArchiveAndSurviveARoundTrip) {
    MakeTree();
    ASSERT_EQ(CompressDirectory(P("pkg"), P("a.zip")), kCompressDone);
    ASSERT_EQ(CompressDirectory(P("pkg"), P("b.zip")), kCompressDone);
    EXPECT_EQ(Slurp(N("a.zip")), Slurp(N("b.zip")));

    ASSERT_EQ(ExtractArchive(P("a.zip"), P("back")), kExtractDone);
    EXPECT_EQ(Tree("back"), Tree("pkg"));
    ASSERT_EQ(CompressDirectory(P("back"), P("c.zip")), kCompressDone);
    EXPECT_EQ(Slurp(N("c.zip")), Slurp(N("a.zip")));
}

TEST_F(ZipWriteTest, EmptyDirectoryMakesAnEmptyArchive) {
    fs::create_directory(N("nothing"));
    ASSERT_EQ(CompressDirectory(P("nothing"), P("empty.zip")), kCompressDone);
    EXPECT_TRUE(PythonList("empty.zip").empty());
    EXPECT_EQ(ExtractArchive(P("empty.zip"), P("out")), kExtractDone);
}

TEST_F(ZipWriteTest, ReplacesAnExistingArchive) {
    Put("pkg/a", "A");
    Put("old.zip", std::string(100000, 'x'));
    ASSERT_EQ(CompressDirectory(P("pkg"), P("old.zip")), kCompressDone);
    const std::vector<Listed> listed = PythonList("old.zip");
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].data, "A");
}

TEST_F(ZipWriteTest, MissingDirectoryWritesNothing) {
    EXPECT_EQ(CompressDirectory(P("none"), P("out.zip")), kCompressNoDirectory);
    EXPECT_FALSE(fs::exists(N("out.zip")));
}

// A failure part-way leaves no partial archive: the package writer can move its backup back.
TEST_F(ZipWriteTest, FailureLeavesNoArchiveAndKeepsAnOldOne) {
    Put("pkg/a", "A");
    fs::create_directory(N("pkg/sub"));
    fs::create_symlink(N("missing"), N("pkg/sub/dangling"));  // listed, but cannot be read
    Put("old.zip", "old");
    EXPECT_EQ(CompressDirectory(P("pkg"), P("old.zip")), kCompressFailed);
    EXPECT_EQ(Slurp(N("old.zip")), "old");
    EXPECT_EQ(CompressDirectory(P("pkg"), P("new.zip")), kCompressFailed);
    EXPECT_FALSE(fs::exists(N("new.zip")));

    fs::remove(N("pkg/sub/dangling"));
    platform::testhooks::FailNextWrite();
    EXPECT_EQ(CompressDirectory(P("pkg"), P("new.zip")), kCompressFailed);
    EXPECT_FALSE(fs::exists(N("new.zip")));
}

// The browser keeps entries of its own in the package; unpacking and packing again keeps them,
// folders as entries of their own.
TEST_F(ZipWriteTest, ExtraEntriesOfAPackageSurviveARewrite) {
    Python(R"PY(
with zipfile.ZipFile(base + '/ContentListPackage', 'w') as z:
    z.writestr(info('__user__element__'), b'[count=1]\nA\0')
    z.writestr(info('__user__css__'), b'[count=0]\n\0')
    z.writestr(info('custom/'), b'')
    z.writestr(info('custom/data.dat', zipfile.ZIP_STORED), b'\x01\x02')
    z.writestr(info('version'), b'3')
)PY");
    ASSERT_EQ(ExtractArchive(P("ContentListPackage"), P("work")), kExtractDone);
    Put("work/__user__white__", std::string("[count=1]\nB\n\0", 13));
    ASSERT_EQ(CompressDirectory(P("work"), P("NewPackage")), kCompressDone);
    std::map<std::string, std::string> names;
    for (const Listed& l : PythonList("NewPackage")) names[l.name] = l.data;
    EXPECT_EQ(names, (std::map<std::string, std::string>{
                         {"__user__element__", std::string("[count=1]\nA\0", 12)},
                         {"__user__css__", std::string("[count=0]\n\0", 11)},
                         {"__user__white__", std::string("[count=1]\nB\n\0", 13)},
                         {"custom/", ""},
                         {"custom/data.dat", "\x01\x02"},
                         {"version", "3"}}));
}

// ---- archives python writes ------------------------------------------------------------------

class ZipReadTest : public ZipTest {};

TEST_F(ZipReadTest, ExtractsEveryKindPythonWrites) {
    Python(u8R"PY(
files = [('a.txt', b'alpha'), ('dir/b.bin', bytes(range(256)) * 4), ('dir/sub/c.txt', b''),
         ('规则/说明.txt', '中文'.encode('gbk'))]
folders = ['dir/', 'dir/sub/', '规则/', 'emptydir/']
def write(name, method, descriptors=False, with_folders=False, comment=b''):
    target = unseekable(base + '/' + name) if descriptors else base + '/' + name
    with zipfile.ZipFile(target, 'w') as z:
        if with_folders:
            for f in folders: z.writestr(info(f, zipfile.ZIP_STORED), b'')
        for k, (n, d) in enumerate(files):
            z.writestr(info(n, method if method is not None else [0, 8][k % 2]), d)
        z.comment = comment
    if descriptors: target.close()
write('stored.zip', zipfile.ZIP_STORED)
write('deflated.zip', zipfile.ZIP_DEFLATED)
write('descriptors.zip', zipfile.ZIP_DEFLATED, descriptors=True)
write('stored-descriptors.zip', zipfile.ZIP_STORED, descriptors=True)
write('mixed.zip', None, descriptors=True)
write('folders.zip', zipfile.ZIP_DEFLATED, with_folders=True)
write('comment.zip', zipfile.ZIP_DEFLATED, comment=b'PK\x05\x06 a comment that looks like a record')
# descriptors really are there
assert all(i.flag_bits & 8 for i in zipfile.ZipFile(base + '/descriptors.zip').infolist())
)PY");
    std::map<std::string, std::string> expected = {
        {"a.txt", "alpha"}, {"dir/", ""}, {"dir/b.bin", kBinary}, {"dir/sub/", ""},
        {"dir/sub/c.txt", ""}, {u8"规则/", ""}, {u8"规则/说明.txt", "\xD6\xD0\xCE\xC4"}};
    for (const char* archive : {"stored", "deflated", "descriptors", "stored-descriptors", "mixed",
                                "folders", "comment"}) {
        const Text out = Text("out-") + archive;
        EXPECT_EQ(ExtractArchive(P(Text(archive) + ".zip"), P(out)), kExtractDone) << archive;
        auto want = expected;
        if (Text(archive) == "folders") want["emptydir/"] = "";
        EXPECT_EQ(Tree(out), want) << archive;
    }
}

TEST_F(ZipReadTest, CreatesTheDirectoryAndReplacesReadOnlyFiles) {
    Python("with zipfile.ZipFile(base + '/a.zip', 'w') as z: z.writestr(info('f.txt'), b'new')\n");
    ASSERT_EQ(ExtractArchive(P("a.zip"), P("x\\y\\z")), kExtractDone);
    EXPECT_EQ(Slurp(N("x/y/z/f.txt")), "new");

    Put("t/f.txt", "old and longer");
    chmod(N("t/f.txt").c_str(), 0444);
    ASSERT_EQ(ExtractArchive(P("a.zip"), P("t")), kExtractDone);
    EXPECT_EQ(Slurp(N("t/f.txt")), "new");
    struct stat st;
    ASSERT_EQ(stat(N("t/f.txt").c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IWUSR);
}

// Names that would write outside the target: the whole archive is refused and nothing at all
// is written, not even the harmless entry before the hostile one.
TEST_F(ZipReadTest, HostileNamesAreRefusedBeforeAnythingIsWritten) {
    const std::string hostile[] = {
        "../evil",
        "dir/../../evil",
        "dir/./../../evil",
        native_ + "/evil",  // absolute
        "\\evil",
        "..\\evil",
        "dir\\..\\..\\evil",
        "C:/evil",
        "C:evil",
        "good.txt:stream",
        "...\\evil",
        ". .\\evil",
        ".. /evil",
        "..",
        "a\x01" "b",
    };
    std::ofstream names(N("names.txt"), std::ios::binary);
    for (const std::string& name : hostile) names << name << "\n";
    names.close();
    Python(R"PY(
names = open(base + '/names.txt', 'rb').read().decode('utf-8').split('\n')[:-1]
for k, name in enumerate(names):
    with zipfile.ZipFile(base + '/hostile%d.zip' % k, 'w') as z:
        z.writestr(info('good.txt'), b'good')
        z.writestr(info(name), b'evil')
)PY");
    for (size_t k = 0; k < std::size(hostile); ++k) {
        const Text out = "out" + std::to_string(k);
        const Text archive = "hostile" + std::to_string(k) + ".zip";
        EXPECT_EQ(ExtractArchive(P(archive), P(out + "\\inner")), kExtractRefused) << hostile[k];
        EXPECT_EQ(Tree(out), (std::map<std::string, std::string>{{"inner/", ""}})) << hostile[k];
        EXPECT_FALSE(fs::exists(N("evil"))) << hostile[k];
        EXPECT_FALSE(fs::exists(N(out + "/evil"))) << hostile[k];
    }
}

// Names are checked in the form the file system sees. The byte 0x80 is the euro sign there, so
// in 0x80 ":" the colon is a colon (an NTFS stream), though the text engine takes the two bytes
// for one double-byte character. python writes the name with a placeholder, patched to 0x80.
TEST_F(ZipReadTest, ColonAfterAByteTheTextEngineTakesForALeadIsRefused) {
    Python(R"PY(
with zipfile.ZipFile(base + '/colon.zip', 'w') as z:
    z.writestr(info('good.txt'), b'good')
    z.writestr(info('X:evil'), b'evil')
def raw(data):
    for i in range(len(data) - 6):
        if data[i:i + 6] == b'X:evil': data[i] = 0x80
patch(base + '/colon.zip', raw)
)PY");
    EXPECT_EQ(ExtractArchive(P("colon.zip"), P("out")), kExtractRefused);
    EXPECT_EQ(Tree("out"), (std::map<std::string, std::string>{}));
}

// python cannot store a NUL in a name; our own writer can.
TEST_F(ZipReadTest, NameWithANulIsRefused) {
    ZipWriter zip;
    ASSERT_TRUE(zip.AddFile(Text("ok.txt\0/../../evil", 18), "x", false));
    std::ofstream(N("nul.zip"), std::ios::binary) << zip.Finish();
    EXPECT_EQ(ExtractArchive(P("nul.zip"), P("out")), kExtractRefused);
    EXPECT_EQ(Tree("out"), (std::map<std::string, std::string>{}));
}

// A damaged entry fails and stops the extraction there: the entries before it are written, the
// damaged one and those after it are not.
TEST_F(ZipReadTest, DamagedEntriesFailAndStopThere) {
    struct Damage {
        const char* what;
        const char* method;
        const char* change;  // python statements on `data` (the archive bytes)
    };
    const Damage damages[] = {
        {"stored CRC", "ZIP_STORED", "data[data_offset(data, 'second.txt')] ^= 1"},
        {"deflated CRC", "ZIP_DEFLATED", "c = central(data, 'second.txt'); data[c + 16] ^= 1"},
        {"broken deflate stream", "ZIP_DEFLATED",
         "o = data_offset(data, 'second.txt'); data[o:o + 8] = b'\\xff' * 8"},
        {"stored sizes disagree", "ZIP_STORED", "c = central(data, 'second.txt'); put32(data, c + 20, 3)"},
        {"encrypted", "ZIP_DEFLATED", "c = central(data, 'second.txt'); data[c + 8] |= 1"},
        {"unknown method", "ZIP_DEFLATED", "c = central(data, 'second.txt'); data[c + 10] = 12"},
        {"declared smaller than it inflates", "ZIP_DEFLATED",
         "c = central(data, 'second.txt'); put32(data, c + 24, 1000)"},
        {"declared larger than it inflates", "ZIP_DEFLATED",
         "c = central(data, 'second.txt'); put32(data, c + 24, 10**6)"},
    };
    std::string script;
    for (size_t k = 0; k < std::size(damages); ++k) {
        const std::string path = "base + '/damaged" + std::to_string(k) + ".zip'";
        script += std::string("method = zipfile.") + damages[k].method + "\n" +
                  "with zipfile.ZipFile(" + path + ", 'w') as z:\n"
                  "    z.writestr(info('first.txt', method), b'first')\n"
                  "    z.writestr(info('second.txt', method), b'second entry ' * 1000)\n"
                  "    z.writestr(info('third.txt', method), b'third')\n"
                  "def change(data):\n"
                  "    " + damages[k].change + "\n"
                  "patch(" + path + ", change)\n";
    }
    Python(script);
    for (size_t k = 0; k < std::size(damages); ++k) {
        const Text out = "out" + std::to_string(k);
        EXPECT_EQ(ExtractArchive(P("damaged" + std::to_string(k) + ".zip"), P(out)), kExtractEntryFailed)
            << damages[k].what;
        EXPECT_EQ(Tree(out), (std::map<std::string, std::string>{{"first.txt", "first"}})) << damages[k].what;
    }
}

// Sizes are checked before anything is unpacked: a ZIP bomb is refused, not written until the
// disk fills; one that lies about its size stops at the size it declared.
TEST_F(ZipReadTest, ZipBombsAreRefused) {
    Python(R"PY(
with zipfile.ZipFile(base + '/big.zip', 'w') as z:
    z.writestr(info('small.txt'), b'small')
    z.writestr(info('bomb'), bytes(65 << 20))
with zipfile.ZipFile(base + '/many.zip', 'w') as z:
    for k in range(5): z.writestr(info('part%d' % k), b'x')
def declare(data):
    for k in range(5): put32(data, central(data, 'part%d' % k) + 24, 60 << 20)
patch(base + '/many.zip', declare)
with zipfile.ZipFile(base + '/liar.zip', 'w') as z:
    z.writestr(info('liar'), bytes(10 << 20))
patch(base + '/liar.zip', lambda data: put32(data, central(data, 'liar') + 24, 1000))
)PY");
    EXPECT_LT(fs::file_size(N("big.zip")), 1u << 20);
    EXPECT_EQ(ExtractArchive(P("big.zip"), P("out-big")), kExtractRefused);
    EXPECT_EQ(Tree("out-big"), (std::map<std::string, std::string>{}));
    EXPECT_EQ(ExtractArchive(P("many.zip"), P("out-many")), kExtractRefused);
    EXPECT_EQ(Tree("out-many"), (std::map<std::string, std::string>{}));
    EXPECT_EQ(ExtractArchive(P("liar.zip"), P("out-liar")), kExtractEntryFailed);
    EXPECT_EQ(Tree("out-liar"), (std::map<std::string, std::string>{}));
}

TEST_F(ZipReadTest, WhatIsNoReadableZipIsRefused) {
    Python(R"PY(
with zipfile.ZipFile(base + '/good.zip', 'w') as z:
    z.writestr(info('a'), b'a' * 100)
    z.writestr(info('b', zipfile.ZIP_STORED), b'b')
data = open(base + '/good.zip', 'rb').read()
end = data.rfind(b'PK\x05\x06')
def at(offset, value):
    d = bytearray(data); put32(d, end + offset, value); open(base + '/bad-%d.zip' % offset, 'wb').write(d)
at(16, len(data))        # central directory beyond the end
at(12, 0x7fffffff)       # central directory longer than the archive
d = bytearray(data); put32(d, central(d, 'b') + 42, len(data) - 10); open(base + '/bad-local.zip', 'wb').write(d)
d = bytearray(data); d[end + 4] = 1; open(base + '/bad-split.zip', 'wb').write(d)
d = bytearray(data); d[end + 10:end + 12] = b'\xff\xff'; d[end + 8:end + 10] = b'\xff\xff'; open(base + '/bad-zip64.zip', 'wb').write(d)
open(base + '/empty.zip', 'wb').write(b'')
open(base + '/text.zip', 'wb').write(b'this is not an archive' * 10)
)PY");
    for (const char* name : {"missing.zip", "empty.zip", "text.zip", "bad-16.zip", "bad-12.zip",
                             "bad-local.zip", "bad-split.zip", "bad-zip64.zip"})
        EXPECT_EQ(ExtractArchive(P(name), P("out")), kExtractRefused) << name;
    EXPECT_EQ(Tree("out"), (std::map<std::string, std::string>{}));

    // Cut anywhere, the archive is never taken for complete.
    const std::string good = Slurp(N("good.zip"));
    for (size_t length = 0; length < good.size(); ++length) {
        std::ofstream(N("cut.zip"), std::ios::binary) << good.substr(0, length);
        EXPECT_NE(ExtractArchive(P("cut.zip"), P("cut")), kExtractDone) << length;
    }
    EXPECT_EQ(ExtractArchive(P("good.zip"), P("whole")), kExtractDone);
}

// Random damage to real archives: the parser never crashes, never reads outside the buffer
// (run under the sanitizers), and extraction never writes outside its directory.
TEST_F(ZipReadTest, RandomDamageIsHandled) {
    Python(R"PY(
s = unseekable(base + '/seed.zip')
with zipfile.ZipFile(s, 'w') as z:
    z.writestr(info('dir/', zipfile.ZIP_STORED), b'')
    z.writestr(info('dir/a.txt'), b'alpha ' * 300)
    z.writestr(info('b.bin', zipfile.ZIP_STORED), bytes(range(256)))
    z.writestr(info('c'), b'')
s.close()
)PY");
    const ByteBuffer seed = Slurp(N("seed.zip"));
    std::mt19937 random(7);
    for (int round = 0; round < 20000; ++round) {
        ByteBuffer damaged = seed;
        for (int k = 1 + int(random() % 6); k > 0; --k) damaged[random() % damaged.size()] = char(random());
        std::vector<ZipEntry> entries;
        if (!ReadZipDirectory(damaged, entries)) continue;
        for (const ZipEntry& e : entries) {
            ByteBuffer data;
            if (ReadZipEntryData(damaged, e, data)) {
                EXPECT_EQ(data.size(), e.size);
            }
        }
    }
    for (int round = 0; round < 300; ++round) {
        ByteBuffer damaged = seed;
        for (int k = 1 + int(random() % 4); k > 0; --k) damaged[random() % damaged.size()] = char(random());
        std::ofstream(N("damaged.zip"), std::ios::binary) << damaged;
        ExtractArchive(P("damaged.zip"), P("box\\out"));
        for (const auto& e : fs::directory_iterator(N("box")))
            EXPECT_EQ(e.path().filename(), "out") << round;
        fs::remove_all(N("box"));
    }
}

// ---- the in-memory format --------------------------------------------------------------------

TEST(ZipFormat, WriterAndReaderAgree) {
    ZipWriter zip;
    ASSERT_TRUE(zip.AddFile("a.txt", "alpha", false));
    ASSERT_TRUE(zip.AddFile("规则\\x", std::string("\0\1", 2), true));
    ASSERT_TRUE(zip.AddFolder("目录/"));
    const ByteBuffer archive = zip.Finish();

    std::vector<ZipEntry> entries;
    ASSERT_TRUE(ReadZipDirectory(archive, entries));
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, "a.txt");
    EXPECT_EQ(entries[0].method, kZipDeflated);
    EXPECT_EQ(entries[1].name, "规则\\x");  // GBK again, through the UTF-8 form
    EXPECT_EQ(entries[1].method, kZipStored);
    EXPECT_TRUE(entries[1].flags & 0x800);
    EXPECT_FALSE(entries[1].isFolder);  // 0x5C ends "x", not a trail byte here
    EXPECT_EQ(entries[2].name, "目录/");
    EXPECT_TRUE(entries[2].isFolder);
    ByteBuffer data;
    ASSERT_TRUE(ReadZipEntryData(archive, entries[0], data));
    EXPECT_EQ(data, "alpha");
    ASSERT_TRUE(ReadZipEntryData(archive, entries[1], data));
    EXPECT_EQ(data, std::string("\0\1", 2));
}

// A name whose last byte is the trail byte 0x5C of a double-byte character is a file.
TEST(ZipFormat, TrailByteBackslashIsNoFolder) {
    ZipWriter zip;
    ASSERT_TRUE(zip.AddFile("\x81\x5C", "x", true));
    std::vector<ZipEntry> entries;
    ASSERT_TRUE(ReadZipDirectory(zip.Finish(), entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_FALSE(entries[0].isFolder);
}

// Reading in memory judges an archive as the extraction does, and keeps what can be saved.
TEST(ZipInMemory, ReadArchiveTellsCompleteFromDamagedAndKeepsTheIntactEntries) {
    const std::string good = testzip::StoredZip({{"a", "alpha"}, {"dir/", ""}, {"dir/b", "beta"}});
    std::string spoiled = good;
    spoiled[spoiled.find("beta")] = 'B';  // its CRC no longer matches
    const struct {
        const char* what;
        std::string archive;
        ArchiveRead result;
        std::vector<std::string> kept;
    } rows[] = {
        {"complete", good, ArchiveRead::Complete, {"a", "dir/", "dir/b"}},
        {"an entry's data damaged", spoiled, ArchiveRead::EntryDamaged, {"a", "dir/"}},
        {"a name that climbs out", testzip::StoredZip({{"a", "alpha"}, {"../x", "x"}}), ArchiveRead::Refused, {"a"}},
        {"truncated", good.substr(0, good.size() - 10), ArchiveRead::Refused, {}},
        {"no archive", "not a zip", ArchiveRead::Refused, {}},
    };
    for (const auto& row : rows) {
        std::vector<ArchiveEntry> entries = {ArchiveEntry()};  // emptied first
        EXPECT_EQ(ReadArchive(row.archive, entries), row.result) << row.what;
        std::vector<std::string> names;
        for (const ArchiveEntry& e : entries) names.push_back(e.entry.name);
        EXPECT_EQ(names, row.kept) << row.what;
    }
}

// A copied entry keeps its name bytes and their UTF-8 flag; its method follows the name as
// when a directory is packed.
TEST(ZipInMemory, CopiedEntriesKeepTheirNameBytes) {
    const std::string gbk = "说明.gz";  // GBK at run time, stored without the UTF-8 flag
    std::vector<ArchiveEntry> entries;
    ASSERT_EQ(ReadArchive(testzip::StoredZip({{gbk, "g"}, {u8"目录/", "", true}, {"x.txt", "text"}}), entries),
              ArchiveRead::Complete);
    ZipWriter zip;
    for (const ArchiveEntry& e : entries) ASSERT_TRUE(CopyArchiveEntry(zip, e));
    std::vector<ZipEntry> copied;
    ASSERT_TRUE(ReadZipDirectory(zip.Finish(), copied));
    ASSERT_EQ(copied.size(), 3u);
    EXPECT_EQ(copied[0].rawName, gbk);
    EXPECT_EQ(copied[0].flags & 0x800, 0);
    EXPECT_EQ(copied[0].method, kZipStored);
    EXPECT_EQ(copied[1].rawName, u8"目录/");
    EXPECT_NE(copied[1].flags & 0x800, 0);
    EXPECT_TRUE(copied[1].isFolder);
    EXPECT_EQ(copied[2].method, kZipDeflated);
}

}  // namespace
