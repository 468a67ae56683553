// The plug-in shell: start-up at load, clean-up at unload, and what the four NPAPI exports do.
#pragma once

#include <cstdint>

// At load (process attach): prepares the window run time, builds the process-wide state and
// registers PluginCleanup for unload. Always true: start-up never fails the load.
bool PluginStartup();
// At unload, once: releases the process-wide state.
void PluginCleanup();

// NP_Initialize: runs the window modally on the calling thread; 0 once it has been destroyed.
int32_t PluginInitialize(void* browserFunctions);
// NP_GetEntryPoints: 0, the table is left untouched.
int32_t PluginGetEntryPoints(void* pluginFunctions);
// NP_Shutdown: 0, nothing else.
int32_t PluginShutdown();
// NP_GetMIMEDescription: no MIME description (a null pointer).
const char* PluginGetMIMEDescription();
