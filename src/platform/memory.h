// Virtual memory and modules for the in-memory library loader, shaped like VirtualAlloc,
// VirtualFree, GetModuleHandleA, LoadLibraryA, GetProcAddress and FreeLibrary.
// Natively there is no Windows code to run: modules are stand-ins that tests declare
// (platform/native/memory_test_api.h) and calls into an image go to a test hook.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/text.h"

namespace platform {

// `size` bytes reserved and committed at an address the system chooses, readable, writable
// and executable, zero-filled; nullptr on failure.
void* ReserveImageMemory(size_t size);
void ReleaseImageMemory(void* base);

using ModuleHandle = void*;
// A module already loaded in the process under `name` (not loaded again); nullptr when none.
ModuleHandle FindLoadedModule(const Text& name);
ModuleHandle LoadModule(const Text& name);  // nullptr on failure
void ReleaseModule(ModuleHandle module);
// The address of an exported function, by name or by ordinal; 0 when not found.
uintptr_t FindModuleFunction(ModuleHandle module, const Text& name);
uintptr_t FindModuleOrdinal(ModuleHandle module, uint16_t ordinal);

// Calls code of a mapped image with three pointer-sized arguments and the standard Windows
// calling convention, and gives its 32-bit result. On 32-bit x86 the stack is restored after
// the call whether the callee removed its arguments or not.
int32_t CallImageFunction(uintptr_t function, uintptr_t a, uintptr_t b, uintptr_t c);

}  // namespace platform
