// Click handlers of the fetch and write buttons (window thread). Each starts its task in its
// slot with what the window holds at the click, unless a fetch, a write or a removal of
// redundant rules is still running: the task takes the busy lock itself a moment after it starts.
#pragma once

#include "rules/sources/source_steps.h"

void OnFetchRulesClicked();
void OnWriteBlacklistClicked();
void OnWriteWhitelistClicked();

// What the source check boxes and the user-rules radio buttons say now (window thread): the
// fetch's selection.
SourceSelection SelectionInWindow();
