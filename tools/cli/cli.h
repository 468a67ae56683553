// The command-line face of Quorlex: the same converters, package writer and source steps as the
// plug-in, without the window.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "base/text.h"

using Args = std::vector<Text>;  // GBK, as the program's texts

// Writes GBK `text` to stdout or stderr, as UTF-8 when `utf8` (natively, and on a Windows
// console, messages are always shown readable).
void Print(FILE* stream, const Text& text, bool utf8);
// A message for the user on stderr, in UTF-8 (GBK texts of the program converted).
void Say(const Text& gbk);

// The text of a file of rules, one per line: GBK, or UTF-8 (a byte-order mark allowed) when `utf8`.
Text RuleFileText(const ByteBuffer& bytes, bool utf8);

// "  name  what" LF, the texts of the lines lined up at `width`.
Text HelpLine(const Text& name, const Text& what, size_t width);

// The options every command that prints rule lists takes.
struct ListOutput {
    bool blackOnly = false;
    bool whiteOnly = false;
    bool utf8 = false;
};
// True when `arg` is one of those options (and records it).
bool TakeListOption(const Text& arg, ListOutput& out);
// The blacklist rules one per line, a line "[white]", the whitelist rules (or one part alone).
// The texts are taken over and rewritten in place: move them in when they are not needed again.
void PrintLists(Text black, Text white, const ListOutput& out);
// Status texts and task messages on stderr, as the window would show them.
void ReportProgressOnStderr();

int RunConvert(const Args& args);
int RunPackage(const Args& args);
int RunFetch(const Args& args);
int RunPrune(const Args& args);
