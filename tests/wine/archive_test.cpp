// The archive tools as the loaded plug-in installed them: myrar.exe written to the temporary
// directory and run the way the RAR runner runs it (cmd.exe, hidden, output in a pipe), the 7z
// library mapped into this process from memory, and that library's calling convention.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "../unit/rar4_writer.h"
#include "disk_watch.h"
#include "plugin_window.h"

namespace {

std::string ReadBytes(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream(path.c_str(), std::ios::binary) << bytes;
}

std::wstring TempDirectory() {
    wchar_t buffer[MAX_PATH];
    const DWORD n = GetTempPathW(MAX_PATH, buffer);
    return std::wstring(buffer, n);
}

// A fresh directory under the temporary directory.
std::wstring FreshDirectory(const wchar_t* name) {
    const std::wstring dir = TempDirectory() + name;
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

// Runs a command line hidden with its output in a pipe, as the RAR runner does; the output.
std::string RunHidden(std::wstring commandLine) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    if (!CreatePipe(&read, &write, &sa, 0)) return "no pipe";
    STARTUPINFOW si;
    si.cb = sizeof si;
    GetStartupInfoW(&si);
    si.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    si.wShowWindow = SW_HIDE;
    si.hStdOutput = si.hStdError = write;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        CloseHandle(read);
        CloseHandle(write);
        return "no process";
    }
    CloseHandle(write);
    std::string output;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(read, buffer, sizeof buffer, &got, nullptr)) output.append(buffer, got);
    CloseHandle(read);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return output;
}

bool EndsWithSuccessLine(const std::string& output) {
    const std::string line = "全部OK\r\n";
    return output.size() >= line.size() && output.compare(output.size() - line.size(), line.size(), line) == 0;
}

const std::string kSiteList = "<?xml version=\"1.0\"?><SiteList/>\r\n";

std::string SampleRar() {
    return rartest::StoredRar4({{"sub", "", true}, {"sub\\SiteList.xml", kSiteList}, {"top.txt", "top"}});
}

TEST(ArchiveTools, StartUpWroteTheExtractorToTheTemporaryDirectory) {
    const std::string written = ReadBytes(TempDirectory() + L"myrar.exe");
    const std::string built = ReadBytes(L"tools\\myrar.exe");
    ASSERT_FALSE(built.empty()) << "run from the build directory";
    EXPECT_EQ(written.size(), built.size());
    EXPECT_TRUE(written == built);
}

TEST(ArchiveTools, ExtractorRunsThroughTheShellWithItsOutputInAPipe) {
    const std::wstring dir = FreshDirectory(L"quorlex arc test");  // a space on purpose
    const std::wstring archive = dir + L"\\SiteList.rar";
    WriteBytes(archive, SampleRar());
    const std::wstring out = dir + L"\\out";
    // As the runner gives it: the tool's short path unquoted (cmd.exe would otherwise drop the
    // first and the last quote of the line), other paths quoted.
    wchar_t shortTool[MAX_PATH] = {};
    GetShortPathNameW((TempDirectory() + L"myrar.exe").c_str(), shortTool, MAX_PATH);
    const std::wstring tool = shortTool;
    std::string output = RunHidden(L"cmd.exe /c " + tool + L" x -y \"" + archive + L"\" \"" + out + L"\" -p\"mq3196\"");
    EXPECT_TRUE(EndsWithSuccessLine(output)) << output;
    EXPECT_NE(output.find('%'), std::string::npos) << output;
    EXPECT_EQ(ReadBytes(out + L"\\sub\\SiteList.xml"), kSiteList);

    // "e" with a list file whose path holds a space, quoted.
    const std::wstring list = dir + L"\\mylist.lst";
    WriteBytes(list, "sub\\SiteList.xml\r\n");
    const std::wstring flat = dir + L"\\flat";
    output = RunHidden(L"cmd.exe /c " + tool + L" e -y \"" + archive + L"\" \"" + flat + L"\" @\"" + list + L"\" -p\"mq3196\"");
    EXPECT_TRUE(EndsWithSuccessLine(output)) << output;
    EXPECT_EQ(ReadBytes(flat + L"\\SiteList.xml"), kSiteList);
    EXPECT_EQ(GetFileAttributesW((flat + L"\\top.txt").c_str()), INVALID_FILE_ATTRIBUTES);

    // A damaged archive ends with other text.
    std::string damaged = SampleRar();
    damaged[damaged.size() / 2] ^= 0x55;
    WriteBytes(archive, damaged);
    output = RunHidden(L"cmd.exe /c " + tool + L" x -y \"" + archive + L"\" \"" + dir + L"\\bad\" -p\"mq3196\"");
    EXPECT_FALSE(EndsWithSuccessLine(output)) << output;
    EXPECT_FALSE(output.empty());
}

// The plug-in mapped its 7z library into private memory of this process: find an image there
// (not a module of the loader's list) whose export directory names unpack7z and List7z.
TEST(ArchiveTools, SevenZipLibraryWasMappedFromMemoryAtStartUp) {
    bool found = false;
    MEMORY_BASIC_INFORMATION mbi;
    for (const char* p = nullptr; !found && VirtualQuery(p, &mbi, sizeof mbi) == sizeof mbi;
         p = static_cast<const char*>(mbi.BaseAddress) + mbi.RegionSize) {
        if (mbi.State != MEM_COMMIT || mbi.Type != MEM_PRIVATE || mbi.Protect != PAGE_EXECUTE_READWRITE) continue;
        if (mbi.RegionSize < 0x1000) continue;
        const unsigned char* base = static_cast<const unsigned char*>(mbi.BaseAddress);
        if (base[0] != 'M' || base[1] != 'Z') continue;
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
        if (DWORD(dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS) > mbi.RegionSize) continue;
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
        const IMAGE_DATA_DIRECTORY dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
        if (dir.VirtualAddress == 0 || dir.VirtualAddress + dir.Size > mbi.RegionSize) continue;
        // Mapped, not merely copied: the image base field holds where it lies.
        EXPECT_EQ(uintptr_t(nt->OptionalHeader.ImageBase), uintptr_t(base));
        const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
        const DWORD* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
        std::string all;
        for (DWORD i = 0; i < exports->NumberOfNames; ++i) all += std::string(reinterpret_cast<const char*>(base + names[i])) + " ";
        found = all == "List7z unpack7z ";
    }
    EXPECT_TRUE(found);
}

// The 7z library's two exports with the standard calling convention; unpack7z takes GBK paths
// and a destination without a trailing backslash.
TEST(ArchiveTools, SevenZipLibraryExports) {
    HMODULE lib = LoadLibraryW(L"tools\\sevenzip.dll");
    ASSERT_NE(lib, nullptr);
    using List = int(WINAPI*)(const char*);
    using Unpack = int(WINAPI*)(const char*, const char*, int);
    auto list = reinterpret_cast<List>(GetProcAddress(lib, "List7z"));
    auto unpack = reinterpret_cast<Unpack>(GetProcAddress(lib, "unpack7z"));
    ASSERT_NE(list, nullptr);
    ASSERT_NE(unpack, nullptr);
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string dir = std::string(temp) + "quorlex-7z-test";
    CreateDirectoryA(dir.c_str(), nullptr);
    const std::string archive = dir + "\\a.rar";
    WriteBytes(std::wstring(archive.begin(), archive.end()), SampleRar());
    EXPECT_EQ(list(archive.c_str()), 3);
    EXPECT_EQ(list((dir + "\\missing.7z").c_str()), -1);
    EXPECT_EQ(unpack(archive.c_str(), (dir + "\\out").c_str(), 1), 0);
    const std::string out = dir + "\\out\\sub\\SiteList.xml";
    EXPECT_EQ(ReadBytes(std::wstring(out.begin(), out.end())), kSiteList);
    EXPECT_NE(unpack((dir + "\\missing.7z").c_str(), (dir + "\\out").c_str(), 1), 0);
    FreeLibrary(lib);
}

// The bounds of the tools: 64 MiB for one file. SiteList.xml comes first in every hostile archive.
constexpr uint64_t kEntryBound = uint64_t(64) << 20;
constexpr uint64_t kSiteListSize = 474;

// Archives that would fill the disk, given to the 7z library (whose bounds no caller can change)
// and to the extractor as the plug-in runs it: each refused, having had no more than the bound of
// one file on disk at any moment, leaving the destination as it was.
TEST(ArchiveTools, HostileArchivesAreRefusedWithBoundedDiskUse) {
    ASSERT_FALSE(MirrorAddress().empty());
    HMODULE lib = LoadLibraryW(L"tools\\sevenzip.dll");
    ASSERT_NE(lib, nullptr);
    using Unpack = int(WINAPI*)(const char*, const char*, int);
    auto unpack = reinterpret_cast<Unpack>(GetProcAddress(lib, "unpack7z"));
    ASSERT_NE(unpack, nullptr);
    const std::wstring dir = FreshDirectory(L"quorlex-hostile");
    const std::wstring archive = dir + L"\\hostile.arc", out = dir + L"\\out";
    wchar_t shortTool[MAX_PATH] = {};
    GetShortPathNameW((TempDirectory() + L"myrar.exe").c_str(), shortTool, MAX_PATH);
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string archiveA = std::string(temp) + "quorlex-hostile\\hostile.arc", outA = std::string(temp) + "quorlex-hostile\\out";
    for (const char* kind : {"7z-bomb", "7z-understated", "rar-many"}) {
        SCOPED_TRACE(kind);
        const std::string bytes = HostileArchive(kind);
        ASSERT_GT(bytes.size(), 1000u);
        WriteBytes(archive, bytes);
        CreateDirectoryW(out.c_str(), nullptr);
        WriteBytes(out + L"\\kept.txt", "kept");
        {
            DiskWatch watch([&] { return std::vector<std::wstring>{out}; });
            EXPECT_NE(unpack(archiveA.c_str(), outA.c_str(), 1), 0);
            const uint64_t peak = watch.Peak();
            EXPECT_LE(peak, kEntryBound + kSiteListSize + 4);
            RecordProperty(std::string("sevenzip_") + kind + "_peak_bytes", std::to_string(peak));
        }
        EXPECT_EQ(NamesIn(out), std::vector<std::wstring>{L"kept.txt"});
        {
            DiskWatch watch([&] { return std::vector<std::wstring>{out}; });
            const std::string output = RunHidden(L"cmd.exe /c " + std::wstring(shortTool) + L" x -y \"" + archive +
                                                 L"\" \"" + out + L"\" -p\"mq3196\"");
            EXPECT_FALSE(EndsWithSuccessLine(output)) << output;
            EXPECT_NE(output.find("错误: "), std::string::npos) << output;
            const uint64_t peak = watch.Peak();
            EXPECT_LE(peak, kEntryBound + kSiteListSize + 4);
            RecordProperty(std::string("myrar_") + kind + "_peak_bytes", std::to_string(peak));
        }
        EXPECT_EQ(NamesIn(out), std::vector<std::wstring>{L"kept.txt"});
    }
    FreeLibrary(lib);

    // A stored RAR past a bound the extractor's switch sets (no RAR bomb can be made without the
    // RAR compressor): refused, and it says what it wrote and removed.
    WriteBytes(archive, rartest::StoredRar4({{"SiteList.xml", kSiteList}, {"big.bin", std::string(2 << 20, 'b')}}));
    const std::string output = RunHidden(L"cmd.exe /c " + std::wstring(shortTool) + L" x -y -max-entry=1048576 \"" +
                                         archive + L"\" \"" + out + L"\" -p\"mq3196\"");
    EXPECT_NE(output.find("已删除本次写入的 "), std::string::npos) << output;
    EXPECT_NE(output.find("错误: 解压后的文件超过大小限制\r\n"), std::string::npos) << output;
    EXPECT_EQ(NamesIn(out), std::vector<std::wstring>{L"kept.txt"});
}

}  // namespace
