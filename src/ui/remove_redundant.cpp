#include "ui/remove_redundant.h"

#include "common/controls.h"
#include "common/globals.h"
#include "common/worker_threads.h"
#include "platform/window.h"
#include "rules/sources/remove_redundant_task.h"

void OnRemoveRedundant() {
    if (LongCommandRunning()) return;
    G().PendingRemovalText.Set(platform::GetControlText(编辑框_黑名单));
    StartTask(kRemoveRedundantSlot, RemoveRedundantTask);
}
