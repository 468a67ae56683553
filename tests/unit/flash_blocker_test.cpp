// The Flash cookie blocker on a temporary "AppData" tree.
#include <gtest/gtest.h>

#include <cstdlib>

#include "common/task_report.h"
#include "flash/flash_blocker.h"
#include "platform/files.h"
#include "platform/native/files_test_hooks.h"
#include "window_harness.h"

namespace t = platform::test;

namespace {

class FlashTree : public ::testing::Test {
protected:
    void SetUp() override {
        appData_ = platform::MakeTempFileName(platform::GetTempDirectory());
        ASSERT_FALSE(appData_.empty());
        platform::DeleteFileAt(appData_);
        ASSERT_TRUE(platform::CreateOneDirectory(appData_));
        setenv("AppData", appData_.c_str(), 1);
        objects_ = SharedObjectsFolder();
        settings_ = FlashSettingsFolder();
    }
    void TearDown() override {
        platform::testhooks::ResetFileHooks();
        platform::DeleteDirectoryTree(appData_);
        unsetenv("AppData");
    }
    void MakeProfiles(std::initializer_list<const char*> names) {
        ASSERT_TRUE(platform::CreateDirectoryPath(objects_));
        ASSERT_TRUE(platform::CreateDirectoryPath(settings_));
        for (const char* n : names) ASSERT_TRUE(platform::CreateDirectoryPath(objects_ + n));
    }
    Text Entry(const char* profile) { return objects_ + profile + "\\" + BlockedSiteHost; }
    Text SettingsEntry() { return settings_ + "#" + BlockedSiteHost; }
    void MakeSiteFolder(const Text& folder) {
        ASSERT_TRUE(platform::CreateDirectoryPath(folder));
        ASSERT_TRUE(platform::WriteWholeFile(folder + "\\settings.sol", "data"));
    }
    // Runs a command through the window, as a click would, and returns the status text.
    Text Click(ControlId button) {
        t::Click(button);
        return t::Caption(标签_状态);
    }

    Text appData_, objects_, settings_;
};

TEST_F(FlashTree, BlockReplacesEverySiteFolderByAPlaceholderAndUnblockRemovesThem) {
    PluginWindow w;
    ASSERT_TRUE(w.open());
    MakeProfiles({"AB12CD34", "XY98"});
    MakeSiteFolder(Entry("AB12CD34"));
    MakeSiteFolder(SettingsEntry());
    EXPECT_EQ(Click(按钮_小功能_屏蔽优酷), "成功屏蔽优酷flashcookie！");
    for (const Text& e : {Entry("AB12CD34"), Entry("XY98"), SettingsEntry()}) {
        EXPECT_TRUE(platform::FileExists(e)) << e;
        EXPECT_FALSE(platform::DirectoryExists(e)) << e;
    }
    // Blocking twice is harmless: the placeholders stay.
    EXPECT_EQ(Click(按钮_小功能_屏蔽优酷), "成功屏蔽优酷flashcookie！");
    EXPECT_TRUE(platform::FileExists(Entry("XY98")));

    EXPECT_EQ(Click(按钮_小功能_解除屏蔽优酷), "成功解禁优酷flashcookie！");
    for (const Text& e : {Entry("AB12CD34"), Entry("XY98"), SettingsEntry()}) {
        EXPECT_FALSE(platform::FileExists(e)) << e;
        EXPECT_FALSE(platform::DirectoryExists(e)) << e;  // never recreated
    }
    EXPECT_EQ(Click(按钮_小功能_解除屏蔽优酷), "成功解禁优酷flashcookie！");
}

TEST_F(FlashTree, WithoutProfilesOnlyTheSettingsEntryIsBlocked) {
    PluginWindow w;
    ASSERT_TRUE(w.open());
    MakeProfiles({});
    EXPECT_EQ(Click(按钮_小功能_屏蔽优酷), "成功屏蔽优酷flashcookie！");
    EXPECT_TRUE(platform::FileExists(SettingsEntry()));
}

TEST_F(FlashTree, UnblockLeavesARealSiteFolderAlone) {
    PluginWindow w;
    ASSERT_TRUE(w.open());
    MakeProfiles({"P1"});
    MakeSiteFolder(Entry("P1"));
    EXPECT_EQ(Click(按钮_小功能_解除屏蔽优酷), "成功解禁优酷flashcookie！");
    EXPECT_TRUE(platform::FileExists(Entry("P1") + "\\settings.sol"));
}

struct FailureCase {
    const char* what;
    bool makeTree;
    int holdWhere;  // 0 nothing, 1 a file in P2's site folder, 2 in the settings folder, 3 P2's placeholder
    ControlId button;
    const char* status;
};

TEST_F(FlashTree, EveryFailureHasItsMessageAndKeepsWhatWasDone) {
    const FailureCase cases[] = {
        {"block without the shared-objects folder", false, 0, 按钮_小功能_屏蔽优酷, "失败！找不到flashcookie子目录"},
        {"unblock without the shared-objects folder", false, 0, 按钮_小功能_解除屏蔽优酷, "成功解禁优酷flashcookie！"},
        {"a site folder that cannot be deleted", true, 1, 按钮_小功能_屏蔽优酷, "无法删除flashcookie子目录！"},
        {"the settings folder cannot be deleted", true, 2, 按钮_小功能_屏蔽优酷, "无法删除flashcookie子目录！"},
        {"a placeholder that cannot be deleted", true, 3, 按钮_小功能_解除屏蔽优酷, "无法删除原屏蔽文件！"},
    };
    PluginWindow w;
    ASSERT_TRUE(w.open());
    for (const FailureCase& c : cases) {
        TearDown();
        SetUp();
        if (c.makeTree) {
            MakeProfiles({"P1", "P2"});
            MakeSiteFolder(Entry("P2"));
            MakeSiteFolder(SettingsEntry());
        }
        if (c.holdWhere == 1) platform::testhooks::HoldFileOpen(Entry("P2") + "\\settings.sol");
        if (c.holdWhere == 2) platform::testhooks::HoldFileOpen(SettingsEntry() + "\\settings.sol");
        if (c.holdWhere == 3) {
            Click(按钮_小功能_屏蔽优酷);
            ASSERT_TRUE(platform::FileExists(Entry("P2")));
            platform::testhooks::HoldFileOpen(Entry("P2"));
        }
        EXPECT_EQ(Click(c.button), c.status) << c.what;
        if (c.holdWhere == 1) {
            EXPECT_TRUE(platform::FileExists(Entry("P1"))) << "the entry treated before stays treated";
            EXPECT_FALSE(platform::FileExists(SettingsEntry())) << "nothing after the failure";
        }
        if (c.holdWhere == 3) {
            EXPECT_FALSE(platform::FileExists(Entry("P1"))) << "the placeholder removed before stays removed";
            EXPECT_TRUE(platform::FileExists(SettingsEntry())) << "nothing after the failure";
        }
    }
}

TEST(FlashFolders, WithoutAppDataThePathsStartAtTheBackslash) {
    unsetenv("AppData");
    EXPECT_EQ(SharedObjectsFolder(), "\\Macromedia\\Flash Player\\#SharedObjects\\");
    EXPECT_EQ(FlashSettingsFolder(), "\\Macromedia\\Flash Player\\macromedia.com\\support\\flashplayer\\sys\\");
}

}  // namespace
