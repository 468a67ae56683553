// Finds the profile directory of the browser user who is running the browser now: the browser's
// data directory, the users listed in the registry, and the first user whose history database
// the running browser holds open. Nothing is cached: every call looks afresh.
#pragma once

#include <cstdint>
#include <vector>

#include "base/text.h"
#include "platform/registry.h"

// Root key numbers as the program passes them to EnumRegistrySubkeys.
constexpr uintptr_t kRootClassesRoot = 1;
constexpr uintptr_t kRootCurrentUser = 3;
constexpr uintptr_t kRootLocalMachine = 4;
constexpr uintptr_t kRootUsers = 5;

// Bytes of the buffer a user name (a subkey name) is enumerated into, terminating zero included.
constexpr size_t kSubkeyNameBuffer = 265;
// Bytes of the buffer the current directory is read into, terminating zero included.
constexpr size_t kCurrentDirectoryBuffer = 260;

// 1, 3, 4, 5 -> HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS; any
// other number comes back unchanged.
platform::RegistryKey RootKeyHandle(uintptr_t root);

// The names of the subkeys of `keyPath` below `root` (a RootKeyHandle number), in enumeration
// order until the first error, and their count; -1 when the key cannot be opened. `names` is
// emptied first.
int EnumRegistrySubkeys(uintptr_t root, const Text& keyPath, std::vector<Text>& names);

// The data directory named by the first line of the file "path" in `currentDirectory` (read
// raw, then as UTF-8); empty when there is no such file or neither reading names an existing
// directory.
Text DataDirFromPathFile(const Text& currentDirectory);
// The user's AppData folder from the user-shell-folder value, expanded; empty when unreadable.
Text AppDataFolder();
// The directory under which the browser keeps its users' profiles.
Text BrowserDataDir();

// The rename probe: true when the file at `historyPath` refuses to be renamed (the browser holds
// it open). A file that could be renamed is always put back under its own name, retrying when
// the first rename back fails.
bool HistoryDatabaseHeldOpen(const Text& historyPath);

// The profile directory of the active browser user, without a trailing backslash added; empty
// when no user's history database is held open.
Text FindProfileDir();
