// The RAR runner's state: one instance for the whole program, in the process-wide state.
#pragma once

#include <cstdint>

#include "platform/process.h"

constexpr uint32_t kRarReadBufferSize = 4096;

struct RarRunnerState {
    platform::PipeAttributes RarPipeAttributes;
    platform::PipeHandle RarPipeRead = nullptr;
    platform::PipeHandle RarPipeWrite = nullptr;
    platform::StartupRecord RarStartupInfo;
    platform::ProcessRecord RarProcessInfo;
    bool RarBusy = false;  // from the tool's start until its output has ended
    char readBuffer[kRarReadBufferSize] = {};
    uint32_t bytesRead = 0;
};
