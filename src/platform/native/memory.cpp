#include "platform/memory.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "base/text.h"
#include "platform/native/memory_test_api.h"

namespace {

struct State {
    std::mutex lock;
    std::map<std::string, memory_test::FakeModule> modules;  // by lower-case name
    memory_test::CallHook hook;
    int reserved = 0;
};

State& S() {
    static State s;
    return s;
}

std::string Key(const std::string& name) { return ToLowerAscii(name); }

memory_test::FakeModule* Find(void* handle) {
    for (auto& entry : S().modules)
        if (&entry.second == handle) return &entry.second;
    return nullptr;
}

}  // namespace

namespace memory_test {

FakeModule& DeclareModule(const std::string& name) {
    std::lock_guard<std::mutex> g(S().lock);
    return S().modules[Key(name)] = FakeModule();
}

FakeModule* Module(const std::string& name) {
    auto it = S().modules.find(Key(name));
    return it == S().modules.end() ? nullptr : &it->second;
}

void ClearModules() {
    std::lock_guard<std::mutex> g(S().lock);
    S().modules.clear();
}

void SetCallHook(CallHook hook) { S().hook = std::move(hook); }
int ReservedBlocks() { return S().reserved; }

}  // namespace memory_test

namespace platform {

void* ReserveImageMemory(size_t size) {
    void* p = size ? std::calloc(1, size) : nullptr;
    if (p) ++S().reserved;
    return p;
}

void ReleaseImageMemory(void* base) {
    if (!base) return;
    std::free(base);
    --S().reserved;
}

ModuleHandle FindLoadedModule(const Text& name) {
    memory_test::FakeModule* m = memory_test::Module(name);
    return m && m->alreadyLoaded ? m : nullptr;
}

ModuleHandle LoadModule(const Text& name) {
    memory_test::FakeModule* m = memory_test::Module(name);
    if (!m || !(m->loadable || m->alreadyLoaded)) return nullptr;
    ++m->loads;
    return m;
}

void ReleaseModule(ModuleHandle module) {
    if (memory_test::FakeModule* m = Find(module)) ++m->frees;
}

uintptr_t FindModuleFunction(ModuleHandle module, const Text& name) {
    memory_test::FakeModule* m = Find(module);
    if (!m) return 0;
    auto it = m->functions.find(name);
    return it == m->functions.end() ? 0 : it->second;
}

uintptr_t FindModuleOrdinal(ModuleHandle module, uint16_t ordinal) {
    memory_test::FakeModule* m = Find(module);
    if (!m) return 0;
    auto it = m->ordinals.find(ordinal);
    return it == m->ordinals.end() ? 0 : it->second;
}

int32_t CallImageFunction(uintptr_t function, uintptr_t a, uintptr_t b, uintptr_t c) {
    if (S().hook) return S().hook(function, a, b, c);
    using Three = int32_t (*)(uintptr_t, uintptr_t, uintptr_t);
    return reinterpret_cast<Three>(function)(a, b, c);
}

}  // namespace platform
