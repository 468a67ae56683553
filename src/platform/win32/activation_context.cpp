#include "platform/win32/activation_context.h"

namespace platform::win32 {

namespace {
// The resource id that marks a DLL's own manifest (ISOLATIONAWARE_MANIFEST_RESOURCE_ID).
constexpr WORD kOwnManifestId = 2;
}  // namespace

HINSTANCE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

HANDLE CreateOwnManifestContext() {
    HMODULE module = ThisModule();
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return INVALID_HANDLE_VALUE;
    ACTCTXW request = {};
    request.cbSize = sizeof(request);
    request.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = path;
    request.hModule = module;
    request.lpResourceName = MAKEINTRESOURCEW(kOwnManifestId);
    return CreateActCtxW(&request);
}

void ReleaseOwnManifestContext(HANDLE context) {
    if (context != INVALID_HANDLE_VALUE) ReleaseActCtx(context);
}

ActivationScope::ActivationScope(HANDLE context) {
    if (context != INVALID_HANDLE_VALUE) active_ = ActivateActCtx(context, &cookie_) != FALSE;
}

ActivationScope::~ActivationScope() {
    if (active_) DeactivateActCtx(0, cookie_);
}

}  // namespace platform::win32
