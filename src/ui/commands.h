// Click handlers of the window's short commands: the edit-box paste, copy and clear buttons, the
// source selection buttons and the user-rules switch. All run on the window thread.
#pragma once

void OnBlacklistPaste();
void OnBlacklistCopy();
void OnBlacklistClear();
void OnWhitelistPaste();
void OnWhitelistCopy();
void OnWhitelistClear();
void OnRedundantCopy();
void OnRedundantClear();
void OnRedundantHide();
void OnSelectAllSources();
void OnInvertSources();
void OnUserRulesToggled();
