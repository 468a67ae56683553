#include "plugin/plugin.h"

#include <cstdlib>

#include "common/globals.h"
#include "platform/window.h"
#include "plugin/tools_startup.h"
#include "ui/main_window.h"

namespace {
bool started = false;
bool cleanedUp = false;
}  // namespace

bool PluginStartup() {
    if (started) return true;
    started = true;
    platform::InitWindowRunTime();
    CreateGlobals();
    std::atexit(PluginCleanup);
    LoadSevenZipLibrary();
    InstallRarTool();
    return true;
}

void PluginCleanup() {
    if (cleanedUp || !GlobalsExist()) return;
    cleanedUp = true;
    // Released in this order; the thread handles are neither closed nor waited for here (the
    // window ended every task before it was destroyed).
    Globals& g = G();
    Text().swap(g.TempDir);
    for (SharedText& info : g.UpdateInfos) info.Set(Text());
    for (SharedText& date : g.UpdateDates) date.Set(Text());
    g.WorkerThreads.fill(nullptr);
    g.ChinaListText.Set(Text());
    ReleaseSevenZipLibrary();
    for (Text* t : {&g.BlacklistText, &g.WhitelistText, &g.MaxthonBlockRules, &g.KingsoftRules,
                    &g.ChinaListBlockRules, &g.ChinaListHideRules, &g.UserBlockRules,
                    &g.UserHideRules, &g.MaxthonWhiteRules, &g.ChinaListWhiteRules,
                    &g.UserWhiteRules})
        Text().swap(*t);
    g.XmlParser.Clear();
    DestroyGlobals();
}

int32_t PluginInitialize(void*) {
    RunMainWindow();
    return 0;
}

int32_t PluginGetEntryPoints(void*) { return 0; }
int32_t PluginShutdown() { return 0; }
const char* PluginGetMIMEDescription() { return nullptr; }
