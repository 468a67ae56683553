// The plug-in's start-up at load and clean-up at unload: what the DLL does around its exports,
// and what the command line runs before a command that needs the program's tools.
#pragma once

// At load (process attach): prepares the window run time, registers PluginCleanup for unload,
// loads the embedded 7z library and installs the extractor. Always true: start-up never fails
// the load.
bool PluginStartup();
// At unload, once: releases the process-wide state.
void PluginCleanup();
