// Click handler of 按钮_黑名单_去除冗余规则 (window thread).
#pragma once

// Copies the blacklist box's text for the removal task and starts it in its slot, unless a
// fetch, a write or a removal is still running (their task disables the button a moment later).
void OnRemoveRedundant();
