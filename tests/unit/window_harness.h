// Opens the plug-in's window the way the browser does (NP_Initialize on a thread of its own) on
// the headless toolkit, and closes it again.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

#include "platform/native/window_test_api.h"
#include "plugin/plugin.h"
#include "ui/controls.h"

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

// Ticks exactly the source check boxes (and the user-rules box) named in `keep`.
inline void TickOnly(std::initializer_list<ControlId> keep) {
    namespace t = platform::test;
    for (int id = 选择框_傲游论坛规则; id <= 选择框_用户原有规则; ++id) {
        bool wanted = false;
        for (ControlId k : keep) wanted = wanted || k == id;
        if (t::Checked(id) != wanted) t::Click(id);
    }
}

// Clicks 按钮_获取规则 and waits until that run has ended.
inline bool FetchAndWait(uint32_t ms) {
    namespace t = platform::test;
    // A status left from an earlier run must not pass for the end of this one.
    t::RunOnWindowThread([] { platform::SetControlText(标签_状态, ""); });
    t::Click(按钮_获取规则);
    return t::WaitUntil([] { return t::Caption(标签_状态) == "过滤规则获取完毕！" && t::Enabled(按钮_获取规则); }, ms);
}

// The status texts shown since the log was last taken, in order.
inline std::vector<std::string> StatusTexts() {
    std::vector<std::string> texts;
    const std::string prefix = "text " + std::to_string(标签_状态) + " ";
    for (const std::string& entry : platform::test::TakeLog())
        if (entry.rfind(prefix, 0) == 0) texts.push_back(entry.substr(prefix.size()));
    return texts;
}
