#include "archive/rar_runner.h"

#include <cstring>

#include "common/stop.h"
#include "platform/files.h"

const char kRarDefaultPassword[] = "mq3196";

namespace {

Text tempDir;
RarRunnerState runner;

const char kSuccessLine[] = "全部OK";
const char kExtracting[] = "正在解压缩中……";
const char kExtractDone[] = "解压缩成功！";
const char kExtractFailed[] = "解压缩失败！";

Text ListFilePath() { return tempDir + "mylist.lst"; }

bool EndsWithBackslash(const Text& text) { return !text.empty() && FindLastExact(text, "\\") == text.size(); }

void Report(const RarProgress* label, int percent, const Text& message) {
    if (label && *label) (*label)(percent, message);
}

// The run's end: the read end closed, the runner free again, the list file gone.
void EndRun(RarRunnerState& rar) {
    platform::ClosePipe(rar.RarPipeRead);
    platform::CloseProcessRecord(rar.RarProcessInfo);
    rar.RarBusy = false;
    if (platform::FileExists(ListFilePath())) platform::DeleteFileAt(ListFilePath());
}

}  // namespace

const Text& TempDir() { return tempDir; }
void SetTempDir(const Text& directory) { tempDir = directory; }
RarRunnerState& RarRunner() { return runner; }

Text RarShellPrefix(platform::OsFamily family) {
    struct Row {
        platform::OsFamily family;
        const char* prefix;
    };
    static const Row rows[] = {
        {platform::OsFamily::WindowsNt, "cmd.exe /c "},
        {platform::OsFamily::Windows9x, "command.exe /c "},
    };
    for (const Row& row : rows)
        if (row.family == family) return row.prefix;
    return "";
}

Text RarArguments(const Text& archivePath, const Text& destinationDir, bool withoutPaths, bool withList,
                  const Text& password) {
    Text args = withoutPaths ? " e -y " : " x -y ";
    args += ShortPath(archivePath) + " " + ShortPath(destinationDir);
    // Quoted: the temporary directory may hold spaces (the path is not shortened).
    if (withList) args += " @\"" + ListFilePath() + "\"";
    args += " -p\"" + password + "\"";
    return args;
}

bool RarOutputSucceeded(const Text& output) {
    if (output.size() < 8) return false;
    return Mid(output, long(output.size()) - 7, 6) == kSuccessLine;
}

Text RarProgressText(const Text& chunk) {
    const size_t p = FindLastExact(chunk, "%");
    if (p < 4) return "";
    return Mid(chunk, long(p) - 3, 3);
}

int RarProgressValue(const Text& progressText) {
    size_t i = 0;
    while (i < progressText.size() && progressText[i] == ' ') ++i;
    int value = 0;
    for (; i < progressText.size() && progressText[i] >= '0' && progressText[i] <= '9'; ++i)
        value = value * 10 + (progressText[i] - '0');
    return value;
}

int PrepareRarPipe() {
    RarRunnerState& rar = runner;
    if (rar.RarBusy) return 0;
    rar.RarPipeAttributes = platform::PipeAttributes();
    if (!platform::CreateAnonymousPipe(rar.RarPipeRead, rar.RarPipeWrite, rar.RarPipeAttributes, 0)) return -1;
    rar.RarStartupInfo = platform::StartupRecord();
    platform::GetOwnStartupRecord(rar.RarStartupInfo);
    rar.RarStartupInfo.size = 68;
    rar.RarStartupInfo.flags = platform::kUseShowWindow | platform::kUseStdHandles;
    rar.RarStartupInfo.showWindow = 0;
    rar.RarStartupInfo.stdOutput = rar.RarPipeWrite;
    rar.RarStartupInfo.stdError = rar.RarPipeWrite;
    return 1;
}

bool MakeDirectoryPath(Text& path) {
    if (EndsWithBackslash(path)) path.pop_back();
    const std::vector<Text> items = Split(path, "\\");
    if (items.empty()) return true;
    Text built = items[0];
    for (size_t i = 1; i < items.size(); ++i) {
        built += "\\" + items[i];
        if (!platform::DirectoryExists(built) && !platform::CreateOneDirectory(built)) return false;
    }
    return true;
}

Text ShortPath(const Text& path) {
    Text buffer(260, ' ');
    platform::GetShortPathInto(path, buffer, 260);
    return TextUpTo0(buffer);
}

bool WriteRarFileList(const std::vector<Text>& names) {
    if (names.empty()) return false;
    const Text path = ListFilePath();
    platform::WriteWholeFile(path, "");
    Text lines;
    int count = 0;
    for (const Text& name : names) {
        if (name.empty()) continue;
        lines += name + "\r\n";
        ++count;
    }
    if (count > 0 && platform::WriteWholeFile(path, lines)) return true;
    platform::DeleteFileAt(path);
    return false;
}

int RunRarTool(const Text& archivePath, Text& destinationDir, const std::optional<std::vector<Text>>& fileList,
               std::optional<bool> withoutPaths, Text* password, const RarProgress* progressLabel) {
    if (!platform::FileExists(archivePath)) return kRarNotRun;
    const int prepared = PrepareRarPipe();
    if (prepared == 0) return kRarBusy;
    if (prepared < 0) return kRarNotRun;
    RarRunnerState& rar = runner;

    const Text prefix = RarShellPrefix(platform::GetOsFamily());
    MakeDirectoryPath(destinationDir);
    const bool withList = fileList && WriteRarFileList(*fileList);
    Text defaultPassword;
    Text& used = password ? *password : defaultPassword;
    if (Trim(used).empty()) used = kRarDefaultPassword;
    const Text commandLine = prefix + ShortPath(tempDir + "myrar.exe") +
                             RarArguments(archivePath, destinationDir, withoutPaths.value_or(false), withList, used);

    rar.RarProcessInfo = platform::ProcessRecord();
    if (!platform::StartProcess(commandLine, rar.RarStartupInfo, rar.RarProcessInfo)) {
        platform::ClosePipe(rar.RarPipeRead);
        platform::ClosePipe(rar.RarPipeWrite);
        if (withList) platform::DeleteFileAt(ListFilePath());
        return kRarNotRun;
    }
    platform::ClosePipe(rar.RarPipeWrite);
    rar.RarBusy = true;

    Text output, lastProgress;
    for (;;) {
        std::memset(rar.readBuffer, 0, sizeof rar.readBuffer);
        rar.bytesRead = 0;
        const bool read = platform::ReadPipe(rar.RarPipeRead, rar.readBuffer, kRarReadBufferSize - 1, rar.bytesRead,
                                             &StopEvent(), rar.RarProcessInfo);
        const Text chunk = rar.readBuffer;  // the buffer always ends in a zero byte
        output += chunk;
        if (FindLastExact(chunk, "%") != 0) {
            lastProgress = RarProgressText(chunk);
            Report(progressLabel, RarProgressValue(lastProgress), kExtracting);
        }
        platform::DispatchPendingMessages();
        if (read) continue;
        EndRun(rar);
        if (RarOutputSucceeded(output)) {
            Report(progressLabel, 100, kExtractDone);
            return kRarSucceeded;
        }
        Report(progressLabel, RarProgressValue(lastProgress), kExtractFailed);
        return kRarFailed;
    }
}
