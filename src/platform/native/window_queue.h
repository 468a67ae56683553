// The headless window's message queue, shared by the native toolkit and the native waits.
#pragma once

#include <cstdint>
#include <functional>

namespace platform::native {

// Any thread: queues `message` for the window thread. False when no window exists.
bool PostWindowMessage(std::function<void()> message);
// Window thread: runs every queued message; true when at least one ran. Other threads: false.
bool DispatchWindowMessages();
// Window thread: waits up to `ms` for a message to arrive. Other threads: just waits.
void WaitForWindowMessage(uint32_t ms);
// Wakes any thread blocked in WaitForWindowMessage.
void NotifyWaiters();

}  // namespace platform::native
