#include "common/globals.h"

namespace {
Globals* instance = nullptr;
}

Globals& G() { return *instance; }
void CreateGlobals() {
    if (!instance) instance = new Globals();
}
void DestroyGlobals() {
    delete instance;
    instance = nullptr;
}
bool GlobalsExist() { return instance != nullptr; }
