// Runs the console extractor (TempDir + "myrar.exe") on one archive: builds its command line,
// starts it hidden with its output in an anonymous pipe, reads the output to its end and decides
// from the last line whether the extraction succeeded.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "base/text.h"
#include "platform/process.h"

// TempDir: the system temporary directory as start-up found it (normally ending in a backslash),
// where the extractor myrar.exe and its list file are written; empty when the system gave none.
const Text& TempDir();
void SetTempDir(const Text& directory);

// The runner's state: one for the whole program (a second run waits for no one: it is refused
// while RarBusy).
constexpr uint32_t kRarReadBufferSize = 4096;

struct RarRunnerState {
    platform::PipeAttributes RarPipeAttributes;
    platform::PipeHandle RarPipeRead = nullptr;
    platform::PipeHandle RarPipeWrite = nullptr;
    platform::StartupRecord RarStartupInfo;
    platform::ProcessRecord RarProcessInfo;
    bool RarBusy = false;  // from the tool's start until its output has ended
    char readBuffer[kRarReadBufferSize] = {};
    uint32_t bytesRead = 0;
};
RarRunnerState& RarRunner();

// Results of RunRarTool.
constexpr int kRarNotRun = -1;      // missing archive, or the pipe or the process failed
constexpr int kRarBusy = 0;         // another run is still reading
constexpr int kRarSucceeded = 1;    // the output ends with the success line
constexpr int kRarFailed = 2;       // the tool ran; its output does not end with it

extern const char kRarDefaultPassword[];  // "mq3196"

// A progress label's feedback: a percentage and a message, raised synchronously.
using RarProgress = std::function<void(int percent, const Text& message)>;

// `destinationDir` loses one trailing backslash (in the caller's variable). `password`, when
// absent (nullptr) or blank (half- and full-width spaces), is set to the default password.
// Ends early (result 2) when the stop signal is set: the tool and what it started are ended.
int RunRarTool(const Text& archivePath, Text& destinationDir,
               const std::optional<std::vector<Text>>& fileList = std::nullopt,
               std::optional<bool> withoutPaths = std::nullopt, Text* password = nullptr,
               const RarProgress* progressLabel = nullptr);

// 0 while a run is reading (nothing done), -1 when the pipe cannot be created, 1 when the pipe
// and the start-up record are ready.
int PrepareRarPipe();
// Removes one trailing backslash from `path` (in place) and creates every missing level after
// the first; false when a level could not be created.
bool MakeDirectoryPath(Text& path);
// The short (8.3) form of an existing path; 260 spaces for a missing one.
Text ShortPath(const Text& path);
// Writes the non-empty names, one per CR LF line, to TempDir + "mylist.lst"; false (and no
// file) when there was none.
bool WriteRarFileList(const std::vector<Text>& names);

// The shell the command line starts with, by operating-system family.
Text RarShellPrefix(platform::OsFamily family);
// The command line of a run, without the shell prefix.
Text RarArguments(const Text& archivePath, const Text& destinationDir, bool withoutPaths, bool withList,
                  const Text& password);
// Whether the whole output ends with the success line: the 6 bytes that end two bytes before
// its end are "全部OK".
bool RarOutputSucceeded(const Text& output);
// The progress number of one piece of output: the 3 bytes before its last "%" as an integer.
Text RarProgressText(const Text& chunk);
int RarProgressValue(const Text& progressText);
