#include "store/profile_locator.h"

#include "common/encoding.h"
#include "platform/files.h"
#include "platform/threads.h"

namespace {

const char kAppDataRegistryText[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders\\AppData";
const char kUsersKey[] = "Software\\SogouExplorer\\Users";
const char kDefaultUser[] = "SogouExplorer";
const char kHistoryFile[] = "\\HistoryUrl.db";
const char kProbeSuffix[] = ".test";

// Renaming the history database back is retried this many times, pausing between tries.
constexpr int kRenameBackTries = 20;
constexpr uint32_t kRenameBackPauseMs = 50;

struct RootKeyRow {
    uintptr_t number;
    platform::RegistryKey handle;
};
const RootKeyRow kRootKeys[] = {
    {kRootClassesRoot, platform::kRegistryClassesRoot},
    {kRootCurrentUser, platform::kRegistryCurrentUser},
    {kRootLocalMachine, platform::kRegistryLocalMachine},
    {kRootUsers, platform::kRegistryUsers},
};

// The first line of a text: cut at the first CR, then at the first LF.
Text FirstLine(const Text& text) {
    Text line = text;
    if (size_t cr = FindExact(line, "\r")) line = Left(line, long(cr) - 1);
    if (size_t lf = FindExact(line, "\n")) line = Left(line, long(lf) - 1);
    return line;
}

// The current directory as a buffer of kCurrentDirectoryBuffer bytes holds it; empty when it
// does not fit (as the call reports for a buffer too small).
Text CurrentDirectory() {
    const Text dir = platform::GetCurrentDirectoryText();
    return dir.size() < kCurrentDirectoryBuffer ? dir : Text();
}

}  // namespace

platform::RegistryKey RootKeyHandle(uintptr_t root) {
    for (const RootKeyRow& row : kRootKeys) {
        if (row.number == root) return row.handle;
    }
    return root;
}

int EnumRegistrySubkeys(uintptr_t root, const Text& keyPath, std::vector<Text>& names) {
    names.clear();
    platform::RegistryKey key = 0;
    if (platform::RegistryOpenKey(RootKeyHandle(root), keyPath, key) != platform::kRegistrySuccess || !key)
        return -1;
    for (uint32_t index = 0;; ++index) {
        Text name;
        if (platform::RegistryEnumKey(key, index, kSubkeyNameBuffer, name) != platform::kRegistrySuccess) break;
        names.push_back(TextUpTo0(name));
    }
    platform::RegistryCloseKey(key);
    return int(names.size());
}

Text DataDirFromPathFile(const Text& currentDirectory) {
    const Text pathFile = currentDirectory + "\\path";
    if (!platform::FileExists(pathFile)) return Text();
    ByteBuffer bytes;
    if (!platform::ReadWholeFile(pathFile, bytes)) return Text();
    const Text readings[] = {FirstLine(TextUpTo0(bytes)), FirstLine(Utf8ToGbk(bytes))};
    for (const Text& line : readings) {
        const Text dir = currentDirectory + "\\" + line;
        if (platform::DirectoryExists(dir)) return dir;
    }
    return Text();
}

Text AppDataFolder() {
    const Text registryText = kAppDataRegistryText;
    const size_t lastSlash = FindLastExact(registryText, "\\");
    Text value;
    platform::ReadShellFolderValue(platform::kRegistryCurrentUser, Left(registryText, long(lastSlash) - 1),
                                   MidToEnd(registryText, long(lastSlash) + 1), value);
    return value;
}

Text BrowserDataDir() {
    const Text current = CurrentDirectory();
    if (!current.empty()) {
        const Text fromPathFile = DataDirFromPathFile(current);
        if (!fromPathFile.empty()) return fromPathFile;
    }
    return AppDataFolder() + "\\SogouExplorer";
}

bool HistoryDatabaseHeldOpen(const Text& historyPath) {
    const Text probe = historyPath + kProbeSuffix;
    if (!platform::RenamePath(historyPath, probe)) return true;
    // The browser's file must never stay under the probe name: a later probe would take this
    // user for the active one and the browser would miss its history.
    for (int attempt = 0; attempt < kRenameBackTries; ++attempt) {
        if (platform::RenamePath(probe, historyPath)) break;
        platform::PauseDispatching(kRenameBackPauseMs, nullptr);
    }
    return false;
}

Text FindProfileDir() {
    const Text dataDir = BrowserDataDir();
    std::vector<Text> users;
    if (EnumRegistrySubkeys(kRootCurrentUser, kUsersKey, users) == -1) return Text();
    for (const Text& user : users) {
        const Text suffix = user == kDefaultUser ? Text() : "\\" + user;
        const Text history = dataDir + suffix + kHistoryFile;
        if (!platform::FileExists(history)) continue;
        if (HistoryDatabaseHeldOpen(history)) return dataDir + suffix;
    }
    return Text();
}
