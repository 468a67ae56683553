#include "flash/flash_blocker.h"

#include <vector>

#include "common/task_report.h"
#include "platform/files.h"

const char* const BlockedSiteHost = "static.youku.com";

namespace {

bool Exists(const Text& path) { return platform::FileExists(path) || platform::DirectoryExists(path); }

Text SiteEntry(const Text& profileFolder) {
    Text entry = SharedObjectsFolder() + profileFolder;
    if (Right(entry, 1) != "\\") entry += "\\";
    return entry + BlockedSiteHost;
}

Text SiteSettingsEntry() { return FlashSettingsFolder() + "#" + BlockedSiteHost; }

// The profile subfolders of the shared-objects folder, in the file system's order; false when
// the folder cannot be listed.
bool ProfileFolders(std::vector<Text>& out) {
    std::vector<platform::DirectoryEntry> entries;
    if (!platform::ListDirectory(SharedObjectsFolder(), entries)) return false;
    for (const platform::DirectoryEntry& e : entries) {
        if (e.isDirectory) out.push_back(e.name);
    }
    return true;
}

// Replaces the folder `entry` by an empty file; false when the folder cannot be deleted.
// A failed placeholder is not reported: the command goes on.
bool Block(const Text& entry) {
    if (platform::DirectoryExists(entry) && !platform::DeleteDirectoryTree(entry)) return false;
    if (!Exists(entry)) platform::WriteWholeFile(entry, ByteBuffer());
    return true;
}

// Removes the placeholder file `entry`, leaving a real folder alone.
bool Unblock(const Text& entry) {
    if (!platform::FileExists(entry)) return true;
    return platform::DeleteFileAt(entry);
}

}  // namespace

Text SharedObjectsFolder() {
    return platform::GetEnvironmentText("AppData") + "\\Macromedia\\Flash Player\\#SharedObjects\\";
}

Text FlashSettingsFolder() {
    return platform::GetEnvironmentText("AppData") +
           "\\Macromedia\\Flash Player\\macromedia.com\\support\\flashplayer\\sys\\";
}

namespace {

// Treats every site entry, then the site settings entry, in order; stops at the first that fails.
// Shows `failure` or `success`.
void TreatEveryEntry(const std::vector<Text>& profiles, bool (*treat)(const Text& entry),
                     const char* failure, const char* success) {
    std::vector<Text> entries;
    for (const Text& profile : profiles) entries.push_back(SiteEntry(profile));
    entries.push_back(SiteSettingsEntry());
    for (const Text& entry : entries) {
        if (!treat(entry)) {
            SetStatusText(failure);
            return;
        }
    }
    SetStatusText(success);
}

}  // namespace

void BlockFlashCookies() {
    std::vector<Text> profiles;
    if (!ProfileFolders(profiles)) {
        SetStatusText("失败！找不到flashcookie子目录");
        return;
    }
    TreatEveryEntry(profiles, Block, "无法删除flashcookie子目录！", "成功屏蔽优酷flashcookie！");
}

void UnblockFlashCookies() {
    std::vector<Text> profiles;
    ProfileFolders(profiles);  // a missing folder simply has nothing to unblock
    TreatEveryEntry(profiles, Unblock, "无法删除原屏蔽文件！", "成功解禁优酷flashcookie！");
}
