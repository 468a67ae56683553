// The registry, shaped like RegOpenKeyA, RegEnumKeyA and RegCloseKey, and reading a
// user-shell-folder value. Key paths, names and values are GBK Texts; on Windows they go
// through the W API, natively through an in-memory registry (see native/registry_test_api.h).
#pragma once

#include <cstdint>

#include "base/text.h"

namespace platform {

// A key handle: one of the predefined roots below or a key opened by RegistryOpenKey.
using RegistryKey = uintptr_t;

constexpr RegistryKey kRegistryClassesRoot = 0x80000000u;
constexpr RegistryKey kRegistryCurrentUser = 0x80000001u;
constexpr RegistryKey kRegistryLocalMachine = 0x80000002u;
constexpr RegistryKey kRegistryUsers = 0x80000003u;

// Results, as the registry calls give them.
constexpr long kRegistrySuccess = 0;
constexpr long kRegistryNotFound = 2;        // ERROR_FILE_NOT_FOUND
constexpr long kRegistryBadKey = 6;          // ERROR_INVALID_HANDLE
constexpr long kRegistryMoreData = 234;      // ERROR_MORE_DATA
constexpr long kRegistryNoMoreItems = 259;   // ERROR_NO_MORE_ITEMS

// RegOpenKey: opens `subKey` below `key` (an empty subKey opens `key` again). On success `out`
// is a new handle for RegistryCloseKey; otherwise `out` is 0.
long RegistryOpenKey(RegistryKey key, const Text& subKey, RegistryKey& out);

// RegEnumKey into a buffer of `bufferBytes` bytes (terminating zero included): the name of the
// subkey at `index`. A name that does not fit gives kRegistryMoreData and no name; an index past
// the last subkey gives kRegistryNoMoreItems.
long RegistryEnumKey(RegistryKey key, uint32_t index, size_t bufferBytes, Text& name);

long RegistryCloseKey(RegistryKey key);

// The value `valueName` of the key `keyPath` below `root`, as the shell reads a user shell
// folder: a string value as it is, an expandable one with its %VARIABLE% references expanded.
// Any length is read whole. False (and `out` empty) when the key or value is missing or is not
// a string.
bool ReadShellFolderValue(RegistryKey root, const Text& keyPath, const Text& valueName, Text& out);

// ExpandEnvironmentStrings: every %NAME% of a set variable replaced by its value; references
// to unset variables and a lone "%" stay as they are.
Text ExpandEnvironmentText(const Text& text);

}  // namespace platform
