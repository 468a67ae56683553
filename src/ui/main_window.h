// The main window: opens it, runs it modally on the calling thread and returns once it has been
// destroyed (after every background task has ended).
#pragma once

void RunMainWindow();
