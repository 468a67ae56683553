// Fault injection for the in-memory clipboard, for tests.
#pragma once

namespace platform {
namespace testhooks {

// While held, the clipboard behaves as one that another program keeps open: reading gives no
// text and writing fails, leaving the content as it was.
void HoldClipboard(bool held);

}  // namespace testhooks
}  // namespace platform
