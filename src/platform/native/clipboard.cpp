// An in-memory clipboard for the headless toolkit.
#include "platform/clipboard.h"

#include <mutex>

#include "platform/native/clipboard_test_hooks.h"

namespace platform {

namespace {
std::mutex mutex;
bool hasText = false;
bool heldElsewhere = false;
Text content;
}  // namespace

Text GetClipboardText() {
    std::lock_guard<std::mutex> lock(mutex);
    return hasText && !heldElsewhere ? content : Text();
}

bool SetClipboardText(const Text& text) {
    std::lock_guard<std::mutex> lock(mutex);
    if (heldElsewhere) return false;
    content = text;
    hasText = true;
    return true;
}

void EmptyClipboardContent() {
    std::lock_guard<std::mutex> lock(mutex);
    if (heldElsewhere) return;
    content.clear();
    hasText = false;
}

namespace testhooks {

void HoldClipboard(bool held) {
    std::lock_guard<std::mutex> lock(mutex);
    heldElsewhere = held;
}

}  // namespace testhooks

}  // namespace platform
