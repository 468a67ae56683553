// The task behind 按钮_黑名单_去除冗余规则: removes the rules of the blacklist that other rules of
// it already cover, and shows the removed ones in the redundant-rules area.
#pragma once

// Worker slot of the removal task.
constexpr int kRemoveRedundantSlot = 8;

// Takes the blacklist text from PendingRemovalText and holds the busy lock while it runs. When
// done, on the window thread: if the blacklist box still holds that text, it gets the rules that
// stay, the removed ones are appended to 编辑框_冗余规则 and the box is made short so that they
// show; if the user changed the box meanwhile, nothing changes but the status line.
void RemoveRedundantTask();
