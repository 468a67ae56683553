#include "plugin/plugin.h"

#include "flash/flash_blocker.h"
#include "ui/main_window.h"

int32_t PluginInitialize(void*) {
    RunMainWindow({BlockFlashCookies, UnblockFlashCookies});
    return 0;
}

int32_t PluginGetEntryPoints(void*) { return 0; }
int32_t PluginShutdown() { return 0; }
const char* PluginGetMIMEDescription() { return nullptr; }
