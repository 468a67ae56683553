// The reader of the package's rule files (ReadPackageRuleFile) on a package in the active user's
// profile of a throw-away browser installation. The input is either the package itself (flag bit
// 2) or, to reach the text handling past the archive, the three rule files that a package is
// built from, each as a length-delimited string (FuzzedDataProvider) and present or not by its
// flag bit (bit 1 is not used: every file is read in both modes). For any input: the package is
// not changed by reading it, every read removes its work directory, a rule list comes back with
// CR LF between lines, and the custom-only list is the full list without the lines that begin
// with "**", trimmed at its ends. That trim may bring a "**" to the front of the first line (a
// line "  **x" is the user's own, and comes back as "**x"): the reader does not promise more.
#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h>

#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "platform/files.h"
#include "platform/native/files_test_hooks.h"
#include "platform/native/registry_test_api.h"
#include "platform/registry.h"
#include "rules/sources/user_rules.h"
#include "store/zip_format.h"

using fuzz::ProgramPath;
namespace fs = std::filesystem;

namespace {

// The installation: a current directory of its own, without a "path" file (entered for the reads
// only; scripts/fuzz.sh gives libFuzzer absolute paths, so that an input that fails a check
// while it is entered is still kept), AppData through the user-shell-folder value, one
// registered user "u" whose history database the "browser" holds open, and the "tmp" directory
// for work directories.
struct Install {
    fuzz::TempDir root;
    fs::path cwd, profile, package, tmp;

    Install() {
        cwd = root.path() / "cwd";
        profile = root.path() / "AppData" / "SogouExplorer" / "u";
        package = profile / "ContentListPackage";
        tmp = root.path() / "tmp";
        fs::create_directories(cwd);
        fs::create_directories(profile);
        fs::create_directories(tmp);
        setenv("QUORLEX_FUZZ_ROOT", ProgramPath(root.path()).c_str(), 1);
        setenv("tmp", ProgramPath(tmp).c_str(), 1);
        platform::regtest::ClearRegistry();
        platform::regtest::SetStringValue(platform::kRegistryCurrentUser,
                                          "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                                          "AppData", "%QUORLEX_FUZZ_ROOT%\\AppData", true);
        platform::regtest::CreateKey(platform::kRegistryCurrentUser, "Software\\SogouExplorer\\Users\\u");
        const Text history = ProgramPath(profile / "HistoryUrl.db");
        FUZZ_CHECK(platform::WriteWholeFile(history, "history"));
        FUZZ_CHECK(platform::testhooks::HoldFileOpen(history));
    }
};

const char* const kRuleFiles[] = {"__user__element__", "__user__css__", "__user__white__"};
const int kKinds[] = {kRuleFileElement, kRuleFileCss, kRuleFileWhite};

void CheckCrLf(const Text& rules) {
    for (size_t i = 0; i < rules.size(); ++i) {
        if (rules[i] == '\n') FUZZ_CHECK(i > 0 && rules[i - 1] == '\r');
    }
}

// The custom-only list of a file against its full list.
void CheckCustomOnly(const Text& all, const Text& custom) {
    Text kept;
    for (const Text& line : Split(all, "\r\n")) {
        if (Left(line, 2) == "**") continue;
        kept += "\r\n";
        kept += line;
    }
    FUZZ_CHECK(custom == TrimRuleText(kept));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Install install;
    FuzzedDataProvider in(data, size);
    const uint8_t flags = in.ConsumeIntegral<uint8_t>();
    ByteBuffer package;
    if (flags & 2) {
        package = in.ConsumeRemainingBytesAsString();
    } else {
        ZipWriter zip;
        for (int i = 0; i < 3; ++i) {
            const std::string file = in.ConsumeRandomLengthString();
            if (flags & (4 << i)) zip.AddFile(kRuleFiles[i], file, (flags & 0x20) != 0);
        }
        package = zip.Finish();
    }
    const Text packagePath = ProgramPath(install.package);
    FUZZ_CHECK(platform::WriteWholeFile(packagePath, package));

    const fs::path previous = fs::current_path();
    fs::current_path(install.cwd);
    for (int kind : kKinds) {
        const Text all = ReadPackageRuleFile(kind, false);
        const Text custom = ReadPackageRuleFile(kind, true);
        FUZZ_CHECK(fuzz::EntryCount(install.tmp) == 0);
        CheckCrLf(all);
        CheckCrLf(custom);
        CheckCustomOnly(all, custom);
    }
    fs::current_path(previous);
    ByteBuffer after;
    FUZZ_CHECK(platform::ReadWholeFile(packagePath, after) && after == package);
    return 0;
}
