// The main window: opens it, runs it modally on the calling thread and returns once it has been
// destroyed (after every background task has ended).
#pragma once

// The two Flash cookie buttons' commands: they live beside the window (flash/), not below it, so
// the plug-in shell hands them in.
struct FlashCommands {
    void (*block)() = nullptr;
    void (*unblock)() = nullptr;
};

void RunMainWindow(const FlashCommands& flash);
