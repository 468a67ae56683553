// Blocks, and unblocks, the Flash Player local storage of one video site: its shared-object
// folders and its settings folder are replaced by empty files of the same names, so Flash
// Player cannot create them again. Both commands run on the window thread and report in the
// status line.
#pragma once

#include "base/text.h"

// The video site's static-content host: only ever used as a folder and file name.
extern const char* const BlockedSiteHost;

// The shared-objects folder and the settings folder under "AppData".
Text SharedObjectsFolder();
Text FlashSettingsFolder();

// The commands of the buttons 按钮_小功能_屏蔽优酷 and 按钮_小功能_解除屏蔽优酷 (window thread).
void BlockFlashCookies();
void UnblockFlashCookies();
