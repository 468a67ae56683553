// The DLL's own manifest (resource 2, asking for Common Controls 6.0) as an activation context.
// Windows, controls and tooltips created while it is active come from that version of the common
// controls, whatever the host browser's own manifest asks for (or fails to ask for).
#pragma once

#include <windows.h>

namespace platform::win32 {

// The module this code lives in (the plug-in DLL).
HINSTANCE ThisModule();

// The context made from this module's manifest resource; INVALID_HANDLE_VALUE when there is
// none or it cannot be made (the controls then come from whatever the host activated).
HANDLE CreateOwnManifestContext();
void ReleaseOwnManifestContext(HANDLE context);

// Activates a context on the calling thread for the life of the scope; does nothing for
// INVALID_HANDLE_VALUE.
class ActivationScope {
public:
    explicit ActivationScope(HANDLE context);
    ~ActivationScope();
    ActivationScope(const ActivationScope&) = delete;
    ActivationScope& operator=(const ActivationScope&) = delete;

private:
    ULONG_PTR cookie_ = 0;
    bool active_ = false;
};

}  // namespace platform::win32
