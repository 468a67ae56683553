// The command-line face of Quorlex: the same converters and package writer as the plug-in,
// without the window.
#pragma once

#include <string>
#include <vector>

#include "common/text.h"

using Args = std::vector<Text>;  // GBK, as the program's texts

// Writes GBK `text` to stdout or stderr, as UTF-8 when `utf8` (natively, and on a Windows
// console, messages are always shown readable).
void Print(FILE* stream, const Text& text, bool utf8);
// A message for the user on stderr, in UTF-8 (GBK texts of the program converted).
void Say(const Text& gbk);

int RunConvert(const Args& args);
