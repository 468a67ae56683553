// Opens the plug-in's window the way the browser does (NP_Initialize on a thread of its own) on
// the headless toolkit, and closes it again.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/native/window_test_api.h"
#include "plugin/plugin.h"

class PluginWindow {
public:
    PluginWindow() {
        PluginStartup();
        platform::test::TakeLog();
        thread_ = std::thread([this] {
            result_ = PluginInitialize(nullptr);
            returned_ = true;
        });
        open_ = platform::test::WaitForWindow(5000);
    }
    ~PluginWindow() {
        if (!returned_) platform::test::Close();
        thread_.join();
    }
    bool open() const { return open_; }
    bool returned() const { return returned_; }
    int result() const { return result_; }
    // Closes through the title bar and waits for NP_Initialize to return.
    bool CloseAndWait(uint32_t ms) {
        platform::test::Close();
        return platform::test::WaitUntil([this] { return returned_.load(); }, ms);
    }

private:
    std::thread thread_;
    std::atomic<bool> returned_{false};
    std::atomic<int> result_{-1};
    bool open_ = false;
};
