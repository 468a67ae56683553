// A Text that two threads read and write: every read is a whole copy taken under the lock, so
// no reader ever sees a torn or freed text.
#pragma once

#include <mutex>

#include "common/text.h"

class SharedText {
public:
    Text Get() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return text_;
    }
    void Set(Text text) {
        std::lock_guard<std::mutex> lock(mutex_);
        text_.swap(text);
    }

private:
    mutable std::mutex mutex_;
    Text text_;
};
