// The native registry: an in-memory tree per predefined root, filled by tests through
// registry_test_api.h. Handles name keys by their path, so a key that goes away leaves its
// handles failing cleanly.
#include "platform/registry.h"

#include <map>
#include <mutex>
#include <vector>

#include "platform/files.h"
#include "platform/native/registry_test_api.h"

namespace platform {

namespace {

struct Value {
    Text text;
    bool isString = true;
    bool expandable = false;
};

struct Key {
    Text name;                             // as created
    std::map<Text, Key> children;          // by upper-case name: the enumeration order
    std::map<Text, Value> values;          // by upper-case name
};

struct Registry {
    std::mutex mutex;
    std::map<RegistryKey, Key> roots;
    std::map<RegistryKey, std::pair<RegistryKey, std::vector<Text>>> handles;  // root, path
    RegistryKey nextHandle = 1;
};

Registry& R() {
    static Registry registry;
    return registry;
}

bool IsRoot(RegistryKey key) { return key >= kRegistryClassesRoot && key <= kRegistryUsers; }

// The root and the upper-case path of a handle; false for an unknown handle.
bool Resolve(RegistryKey key, RegistryKey& root, std::vector<Text>& path) {
    if (IsRoot(key)) {
        root = key;
        path.clear();
        return true;
    }
    auto it = R().handles.find(key);
    if (it == R().handles.end()) return false;
    root = it->second.first;
    path = it->second.second;
    return true;
}

// Appends the levels of `subKey` to `path`; false for an empty level ("a\\b").
bool AppendLevels(const Text& subKey, std::vector<Text>& path) {
    for (const Text& level : Split(TextUpTo0(subKey), "\\")) {
        if (level.empty()) return false;
        path.push_back(ToUpperAscii(level));
    }
    return true;
}

Key* FindKey(RegistryKey root, const std::vector<Text>& path) {
    Key* key = &R().roots[root];
    for (const Text& level : path) {
        auto it = key->children.find(level);
        if (it == key->children.end()) return nullptr;
        key = &it->second;
    }
    return key;
}

Key* Make(RegistryKey root, const Text& keyPath) {
    Key* key = &R().roots[root];
    for (const Text& level : Split(TextUpTo0(keyPath), "\\")) {
        if (level.empty()) continue;
        Key& child = key->children[ToUpperAscii(level)];
        if (child.name.empty()) child.name = level;
        key = &child;
    }
    return key;
}

}  // namespace

long RegistryOpenKey(RegistryKey key, const Text& subKey, RegistryKey& out) {
    out = 0;
    std::lock_guard<std::mutex> lock(R().mutex);
    RegistryKey root;
    std::vector<Text> path;
    if (!Resolve(key, root, path)) return kRegistryBadKey;
    if (!AppendLevels(subKey, path) || !FindKey(root, path)) return kRegistryNotFound;
    out = R().nextHandle++;
    R().handles[out] = {root, path};
    return kRegistrySuccess;
}

long RegistryEnumKey(RegistryKey key, uint32_t index, size_t bufferBytes, Text& name) {
    name.clear();
    std::lock_guard<std::mutex> lock(R().mutex);
    RegistryKey root;
    std::vector<Text> path;
    if (!Resolve(key, root, path)) return kRegistryBadKey;
    const Key* k = FindKey(root, path);
    if (!k) return kRegistryBadKey;  // deleted since it was opened
    if (index >= k->children.size()) return kRegistryNoMoreItems;
    auto it = k->children.begin();
    std::advance(it, index);
    if (it->second.name.size() + 1 > bufferBytes) return kRegistryMoreData;
    name = it->second.name;
    return kRegistrySuccess;
}

long RegistryCloseKey(RegistryKey key) {
    if (IsRoot(key)) return kRegistrySuccess;
    std::lock_guard<std::mutex> lock(R().mutex);
    return R().handles.erase(key) ? kRegistrySuccess : kRegistryBadKey;
}

bool ReadShellFolderValue(RegistryKey root, const Text& keyPath, const Text& valueName, Text& out) {
    out.clear();
    Value value;
    {
        std::lock_guard<std::mutex> lock(R().mutex);
        std::vector<Text> path;
        if (!IsRoot(root) || !AppendLevels(keyPath, path)) return false;
        const Key* k = FindKey(root, path);
        if (!k) return false;
        auto it = k->values.find(ToUpperAscii(TextUpTo0(valueName)));
        if (it == k->values.end() || !it->second.isString) return false;
        value = it->second;
    }
    out = value.expandable ? ExpandEnvironmentText(value.text) : value.text;
    return true;
}

Text ExpandEnvironmentText(const Text& text) {
    const Text in = TextUpTo0(text);
    Text out;
    size_t pos = 1;
    for (;;) {
        const size_t open = FindExact(in, "%", pos);
        const size_t close = open ? FindExact(in, "%", open + 1) : 0;
        if (!close) break;
        const Text name = Mid(in, long(open + 1), long(close - open - 1));
        const Text value = name.empty() ? Text() : GetEnvironmentText(name);
        if (!value.empty()) {
            out += Mid(in, long(pos), long(open - pos)) + value;
            pos = close + 1;
        } else {  // kept as written; the closing "%" may open the next reference
            out += Mid(in, long(pos), long(close - pos));
            pos = close;
        }
    }
    return out + MidToEnd(in, long(pos));
}

namespace regtest {

void ClearRegistry() {
    std::lock_guard<std::mutex> lock(R().mutex);
    R().roots.clear();
    R().handles.clear();
}

void CreateKey(RegistryKey root, const Text& keyPath) {
    std::lock_guard<std::mutex> lock(R().mutex);
    Make(root, keyPath);
}

void SetStringValue(RegistryKey root, const Text& keyPath, const Text& valueName, const Text& value,
                    bool expandable) {
    std::lock_guard<std::mutex> lock(R().mutex);
    Value& v = Make(root, keyPath)->values[ToUpperAscii(valueName)];
    v = Value{value, true, expandable};
}

void SetNumberValue(RegistryKey root, const Text& keyPath, const Text& valueName, uint32_t value) {
    std::lock_guard<std::mutex> lock(R().mutex);
    Make(root, keyPath)->values[ToUpperAscii(valueName)] = Value{std::to_string(value), false, false};
}

}  // namespace regtest

}  // namespace platform
