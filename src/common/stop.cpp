#include "common/stop.h"

namespace {
platform::Event& Signal() {
    static platform::Event* event = new platform::Event();  // lives as long as the process
    return *event;
}
}  // namespace

const platform::Event& StopEvent() { return Signal(); }
void RequestStop() { Signal().Set(); }
void ClearStop() { Signal().Reset(); }
