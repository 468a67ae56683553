// An in-memory clipboard for the headless toolkit.
#include "platform/clipboard.h"

#include <mutex>

namespace platform {

namespace {
std::mutex mutex;
bool hasText = false;
Text content;
}  // namespace

Text GetClipboardText() {
    std::lock_guard<std::mutex> lock(mutex);
    return hasText ? content : Text();
}

bool SetClipboardText(const Text& text) {
    std::lock_guard<std::mutex> lock(mutex);
    content = text;
    hasText = true;
    return true;
}

void EmptyClipboardContent() {
    std::lock_guard<std::mutex> lock(mutex);
    content.clear();
    hasText = false;
}

}  // namespace platform
