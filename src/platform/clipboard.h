// The system clipboard's text format.
#pragma once

#include "base/text.h"

namespace platform {

// The clipboard's text; empty when it holds no text (or cannot be opened).
Text GetClipboardText();
// Replaces the clipboard's content with `text` (an empty text included); false when the
// clipboard did not take it (held open by another program, or the system refused the text).
bool SetClipboardText(const Text& text);
// Empties the clipboard: it then holds no text at all.
void EmptyClipboardContent();

}  // namespace platform
