// The remove-redundant button 按钮_黑名单_去除冗余规则: removes the rules of the blacklist box that
// other rules of it already cover, in the background, and shows the removed ones in the
// redundant-rules area.
#pragma once

#include "base/text.h"

// Click handler (window thread): starts RemoveRedundantTask with the blacklist box's text in its
// slot, unless a fetch, a write or a removal is still running (their task disables the button a
// moment later).
void OnRemoveRedundant();

// The task: holds the busy lock while it runs. When done, on the window thread: if the blacklist
// box still holds `blacklist`, it gets the rules that stay, the removed ones are appended to
// 编辑框_冗余规则 and the box is made short so that they show; if the user changed the box
// meanwhile, nothing changes but the status line.
void RemoveRedundantTask(const Text& blacklist);
