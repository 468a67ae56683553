// A throw-away browser installation for the rule-store tests: a temporary root holding the
// current directory and an AppData folder named by the user-shell-folder value (through an
// environment reference, so the expansion is exercised), and the users' registry keys.
// Program paths are the Linux paths written with backslashes.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "base/text.h"
#include "platform/files.h"
#include "platform/native/files_test_hooks.h"
#include "platform/native/registry_test_api.h"
#include "platform/registry.h"
#include "store/zip_format.h"

namespace storetest {

namespace fs = std::filesystem;

inline const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
inline const char kUsersKey[] = "Software\\SogouExplorer\\Users";

inline Text ProgramPath(const fs::path& p) { return ReplaceAllExact(p.string(), "/", "\\"); }

inline std::string ReadBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

class BrowserInstall {
public:
    BrowserInstall() {
        char pattern[] = "/tmp/quorlex-store-XXXXXX";
        root_ = mkdtemp(pattern);
        cwd_ = root_ / "cwd";
        fs::create_directories(cwd_);
        fs::create_directories(root_ / "AppData" / "SogouExplorer");
        oldCwd_ = fs::current_path();
        fs::current_path(cwd_);
        setenv("QUORLEX_TEST_ROOT", ProgramPath(root_).c_str(), 1);
        fs::create_directories(tmp());
        setenv("tmp", ProgramPath(tmp()).c_str(), 1);  // where work directories are made
        platform::regtest::ClearRegistry();
        platform::regtest::SetStringValue(platform::kRegistryCurrentUser, kShellFolders, "AppData",
                                          "%QUORLEX_TEST_ROOT%\\AppData", true);
    }
    ~BrowserInstall() {
        platform::testhooks::ResetFileHooks();
        platform::regtest::ClearRegistry();
        fs::current_path(oldCwd_);
        unsetenv("tmp");
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    const fs::path& root() const { return root_; }
    const fs::path& cwd() const { return cwd_; }
    fs::path tmp() const { return root_ / "tmp"; }
    // The entries of the "tmp" directory (work directories left behind).
    size_t TmpEntries() const {
        return size_t(std::distance(fs::directory_iterator(tmp()), fs::directory_iterator()));
    }
    fs::path dataDir() const { return root_ / "AppData" / "SogouExplorer"; }
    // The profile directory of `user` (the user "SogouExplorer" lives in the data directory).
    fs::path profile(const std::string& user) const {
        return user == "SogouExplorer" ? dataDir() : dataDir() / user;
    }

    // Registers `user` (a UTF-8 name) and makes its profile directory, with a history database
    // when `history`, held open by the "browser" when `active`.
    fs::path AddUser(const std::string& user, bool history = true, bool active = false) {
        platform::regtest::CreateKey(platform::kRegistryCurrentUser, Text(kUsersKey) + "\\" + user);
        const fs::path dir = profile(user);
        fs::create_directories(dir);
        if (history) WriteBytes(dir / "HistoryUrl.db", "history of " + user);
        if (active) platform::testhooks::HoldFileOpen(ProgramPath(dir / "HistoryUrl.db"));
        return dir;
    }
    fs::path AddActiveUser(const std::string& user) { return AddUser(user, true, true); }

private:
    fs::path root_, cwd_, oldCwd_;
};

// A rule file's bytes: its text and the zero byte that ends it.
inline std::string RuleFileBytes(const std::string& text) { return text + '\0'; }

// A package as the program writes it, from entry name to data.
inline std::string PackageOf(const std::map<std::string, std::string>& files) {
    ZipWriter zip;
    for (const auto& [name, data] : files) EXPECT_TRUE(zip.AddFile(name, data, false));
    return zip.Finish();
}

// A profile directory of its own in a throw-away installation, for the tests that hand it to
// the writer directly.
class ProfileTest : public ::testing::Test {
protected:
    ProfileTest() : profile_(install_.root() / "profile") { fs::create_directories(profile_); }
    fs::path package() const { return profile_ / "ContentListPackage"; }
    fs::path backup() const { return profile_ / "ContentListPackage.Backup"; }

    BrowserInstall install_;
    fs::path profile_;
};

}  // namespace storetest
