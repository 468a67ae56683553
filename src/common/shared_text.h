// A Text that two threads read and write: readers get a whole copy taken under the lock, or share
// the text itself (kept alive for them however often it is replaced), so no reader ever sees a
// torn or freed text.
#pragma once

#include <memory>
#include <mutex>

#include "base/text.h"

class SharedText {
public:
    Text Get() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return text_ ? *text_ : Text();
    }
    // The text without a copy: a list of megabytes is not copied to be read.
    std::shared_ptr<const Text> Share() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return text_;
    }
    void Set(Text text) { Set(std::make_shared<const Text>(std::move(text))); }
    void Set(std::shared_ptr<const Text> text) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            text_.swap(text);
        }
        // The text replaced is released here, outside the lock, unless a reader still holds it.
    }

private:
    mutable std::mutex mutex_;
    std::shared_ptr<const Text> text_;
};
