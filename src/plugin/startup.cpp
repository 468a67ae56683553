#include "plugin/startup.h"

#include <cstdlib>

#include "archive/rar_runner.h"
#include "archive/seven_zip.h"
#include "platform/window.h"
#include "plugin/tools_startup.h"
#include "rules/sources/fetch_rules_task.h"
#include "rules/sources/maxthon_source.h"
#include "web/probes.h"

namespace {
bool started = false;
bool cleanedUp = false;
}  // namespace

// The process-wide state lives with the code that owns it; each part is made when the module is
// loaded, before this runs, and empty.
bool PluginStartup() {
    if (started) return true;
    started = true;
    platform::InitWindowRunTime();
    std::atexit(PluginCleanup);
    LoadEmbeddedSevenZipLibrary();
    InstallRarTool();
    return true;
}

void PluginCleanup() {
    if (cleanedUp || !started) return;
    cleanedUp = true;
    // Released in this order; the thread handles are neither closed nor waited for here (the
    // window ended every task before it was destroyed).
    SetTempDir(Text());
    ReleaseProbeResults();
    ReleaseSevenZipLibrary();
    ReleaseRuleBuckets();
    RarRunner() = RarRunnerState();
    ReleaseSiteListReader();
}
