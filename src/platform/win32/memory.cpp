#include "platform/memory.h"

#include <windows.h>

#if defined(__i386__)
// cdecl itself; the callee's stack use is undone through the frame pointer, so both callees
// that remove their arguments (stdcall) and callees that leave them (cdecl) return cleanly.
extern "C" int32_t QuorlexCallThree(uintptr_t function, uintptr_t a, uintptr_t b, uintptr_t c);
__asm__(
    "  .text\n"
    "  .globl _QuorlexCallThree\n"
    "_QuorlexCallThree:\n"
    "  pushl %ebp\n"
    "  movl %esp, %ebp\n"
    "  pushl 20(%ebp)\n"
    "  pushl 16(%ebp)\n"
    "  pushl 12(%ebp)\n"
    "  call *8(%ebp)\n"
    "  movl %ebp, %esp\n"
    "  popl %ebp\n"
    "  ret\n");
#endif

namespace platform {

void* ReserveImageMemory(size_t size) {
    return VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READWRITE);
}

void ReleaseImageMemory(void* base) {
    if (base) VirtualFree(base, 0, MEM_RELEASE);
}

ModuleHandle FindLoadedModule(const Text& name) { return GetModuleHandleA(name.c_str()); }
ModuleHandle LoadModule(const Text& name) { return LoadLibraryA(name.c_str()); }
void ReleaseModule(ModuleHandle module) {
    if (module) FreeLibrary(HMODULE(module));
}

uintptr_t FindModuleFunction(ModuleHandle module, const Text& name) {
    return uintptr_t(GetProcAddress(HMODULE(module), name.c_str()));
}

uintptr_t FindModuleOrdinal(ModuleHandle module, uint16_t ordinal) {
    return uintptr_t(GetProcAddress(HMODULE(module), MAKEINTRESOURCEA(ordinal)));
}

int32_t CallImageFunction(uintptr_t function, uintptr_t a, uintptr_t b, uintptr_t c) {
#if defined(__i386__)
    return QuorlexCallThree(function, a, b, c);
#else
    // One calling convention on x86_64; the result is the low 32 bits.
    using Three = uintptr_t (*)(uintptr_t, uintptr_t, uintptr_t);
    return int32_t(reinterpret_cast<Three>(function)(a, b, c));
#endif
}

}  // namespace platform
