// Test API of the native module stand-ins and image calls (platform/memory.h).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

namespace memory_test {

struct FakeModule {
    bool alreadyLoaded = false;           // found by FindLoadedModule
    bool loadable = true;                 // LoadModule succeeds
    std::map<std::string, uintptr_t> functions;  // by name
    std::map<uint16_t, uintptr_t> ordinals;
    int loads = 0, frees = 0;             // counted by LoadModule / ReleaseModule
};

// Module names are matched ignoring ASCII case, as Windows does.
FakeModule& DeclareModule(const std::string& name);
FakeModule* Module(const std::string& name);
void ClearModules();

// Replaces calls into an image (entry points, exports); without a hook the address is called
// as a native function taking three pointer-sized arguments.
using CallHook = std::function<int32_t(uintptr_t function, uintptr_t a, uintptr_t b, uintptr_t c)>;
void SetCallHook(CallHook hook);

// Reservations still held (ReserveImageMemory minus ReleaseImageMemory).
int ReservedBlocks();

}  // namespace memory_test
