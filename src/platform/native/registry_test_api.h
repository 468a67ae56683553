// Test access to the native in-memory registry: tests build the keys and values the program
// reads. Keys are made with every missing level; names compare without regard to ASCII case and
// subkeys enumerate sorted that way, as on Windows. Thread-safe.
#pragma once

#include "base/text.h"
#include "platform/registry.h"

namespace platform::regtest {

// Forgets every key and value; handles opened before become invalid.
void ClearRegistry();
void CreateKey(RegistryKey root, const Text& keyPath);
// A string value (REG_SZ, or REG_EXPAND_SZ when `expandable`), creating the key as needed.
void SetStringValue(RegistryKey root, const Text& keyPath, const Text& valueName, const Text& value,
                    bool expandable);
// A value that is not a string (REG_DWORD).
void SetNumberValue(RegistryKey root, const Text& keyPath, const Text& valueName, uint32_t value);

}  // namespace platform::regtest
