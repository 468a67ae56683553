// What the four NPAPI exports do (start-up and clean-up: plugin/startup.h).
#pragma once

#include <cstdint>

#include "plugin/startup.h"

// NP_Initialize: runs the window modally on the calling thread; 0 once it has been destroyed.
int32_t PluginInitialize(void* browserFunctions);
// NP_GetEntryPoints: 0, the table is left untouched.
int32_t PluginGetEntryPoints(void* pluginFunctions);
// NP_Shutdown: 0, nothing else.
int32_t PluginShutdown();
// NP_GetMIMEDescription: no MIME description (a null pointer).
const char* PluginGetMIMEDescription();
