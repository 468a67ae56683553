// The DLL's entry points: start-up at process attach and the four NPAPI exports, with the
// standard Windows calling convention and undecorated names (see tqnx.def.in).
#include <windows.h>

#include <cstdint>

#include "plugin/plugin.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        return PluginStartup() ? TRUE : FALSE;
    }
    return TRUE;
}

extern "C" {

int32_t WINAPI NP_Initialize(void* browserFunctions) { return PluginInitialize(browserFunctions); }
int32_t WINAPI NP_GetEntryPoints(void* pluginFunctions) { return PluginGetEntryPoints(pluginFunctions); }
int32_t WINAPI NP_Shutdown() { return PluginShutdown(); }
const char* WINAPI NP_GetMIMEDescription() { return PluginGetMIMEDescription(); }

}
