// Shutdown under load and write safety, with the real DLL in the browser stand-in (host.exe):
//
//   stress [ROUNDS]   (default 50; beside host.exe, holdopen.exe and tqnx.dll; QUORLEX_MIRROR set)
//
// Each scenario starts host.exe, starts work in the window (a fetch from a slow mirror, a write
// of the blacklist, a Maxthon download with the extractor, the ChinaList step's message box) and
// closes the window at a random moment, ROUNDS times: NP_Initialize must return 0 within 2 s of
// the close, every thread the plug-in started must end (host.exe can unload the DLL), host.exe
// must exit with 0, and the
// profile's ContentListPackage or its backup must still hold the package of before. Then the
// browser is killed at a random moment of a write, ROUNDS times, the blacklist and the
// whitelist in turn: right after the kill a complete package with the last rules written
// completely must be there under one of the two names, and the write of the other list that
// follows must leave a package holding that list and the killed write's list if it had
// completed, else the one before. Prints one "ok ..." or "FAIL ..." line per scenario.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>

#include "../browser_profile.h"
#include "common/encoding.h"
#include "store/package_writer.h"
#include "store/zip_archive.h"
#include "ui/controls.h"
#include "ui/layout.h"
#include "web/web_fetch.h"

namespace {

const wchar_t kUser[] = L"QuorlexStress";
const char kWritten[] = "写入成功！请立即重启浏览器以使规则生效";

std::wstring Wide(const char* gbk) {
    wchar_t out[512] = {};
    MultiByteToWideChar(936, 0, gbk, -1, out, 511);
    return out;
}

std::wstring ProgramDir() {
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring dir = exe;
    return dir.substr(0, dir.find_last_of(L'\\') + 1);
}

std::string Env(const char* name) {
    char value[512];
    const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}

// Tells the mirror something (a scenario, a delay); true when it answered.
bool Mirror(const std::string& path) { return !WebFetch("http://" + Env("QUORLEX_MIRROR") + path).empty(); }

bool WaitFor(const std::function<bool()>& condition, DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    while (!condition()) {
        if (GetTickCount64() > end) return false;
        Sleep(10);
    }
    return true;
}

struct WindowSearch {
    DWORD pid;
    bool messageBox;  // a message box (#32770) rather than the main window
    HWND found;
};

BOOL CALLBACK VisitWindow(HWND hwnd, LPARAM state) {
    auto* s = reinterpret_cast<WindowSearch*>(state);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != s->pid || !IsWindowVisible(hwnd)) return TRUE;
    wchar_t cls[32] = {};
    GetClassNameW(hwnd, cls, 32);
    const bool match = s->messageBox ? !wcscmp(cls, L"#32770") : GetDlgItem(hwnd, kControlIdBase + 按钮_获取规则) != nullptr;
    if (match) s->found = hwnd;
    return !match;
}

// A visible top-level window of process `pid`: the plug-in's main window or a message box.
HWND FindWindowOf(DWORD pid, bool messageBox) {
    WindowSearch search{pid, messageBox, nullptr};
    EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// host.exe with the plug-in's window, its output read as it comes.
class Host {
public:
    Host() {
        SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
        HANDLE write = nullptr;
        CreatePipe(&read_, &write, &sa, 0);
        SetHandleInformation(read_, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = si.hStdError = write;
        si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        const std::wstring dir = ProgramDir();
        std::wstring command = L"\"" + dir + L"host.exe\" --threads \"" + dir + L"tqnx.dll\"";
        started_ = CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &process_);
        CloseHandle(write);
        reader_ = std::thread([this] { Read(); });
    }
    ~Host() {
        if (started_ && WaitForSingleObject(process_.hProcess, 0) != WAIT_OBJECT_0) TerminateProcess(process_.hProcess, 1);
        if (reader_.joinable()) reader_.join();
        CloseHandle(read_);
        if (started_) {
            CloseHandle(process_.hProcess);
            CloseHandle(process_.hThread);
        }
    }

    // The plug-in's main window, once it is there.
    HWND Window() {
        if (!window_) WaitFor([this] { return (window_ = FindWindowOf(process_.dwProcessId, false)) != nullptr; }, 10000);
        return window_;
    }
    HWND Control(int id) {
        const int parent = kMainWindowControls[id].parentId;
        return GetDlgItem(parent < 0 ? Window() : Control(parent), kControlIdBase + id);
    }
    void Click(int id) { SendMessageW(Control(id), BM_CLICK, 0, 0); }
    void Tick(int id, bool on) {
        if ((SendMessageW(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED) != on) Click(id);
    }
    void SetText(int id, const std::wstring& text) {
        SendMessageW(Control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    std::wstring Text(int id) {
        wchar_t text[512] = {};
        SendMessageW(Control(id), WM_GETTEXT, 511, reinterpret_cast<LPARAM>(text));
        return text;
    }
    // A message box shown by one of the plug-in's threads.
    bool MessageBoxShown() { return FindWindowOf(process_.dwProcessId, true) != nullptr; }

    void Close() {
        closedAt_ = GetTickCount64();
        PostMessageW(Window(), WM_CLOSE, 0, 0);
    }
    void Kill() { TerminateProcess(process_.hProcess, 9); WaitForSingleObject(process_.hProcess, 10000); }

    // After Close: what went wrong, or empty.
    std::string Outcome(ULONGLONG& closeToReturnMs) {
        if (!started_) return "host.exe did not start";
        if (WaitForSingleObject(process_.hProcess, 20000) != WAIT_OBJECT_0) return "host.exe did not exit";
        if (reader_.joinable()) reader_.join();
        DWORD code = 1;
        GetExitCodeProcess(process_.hProcess, &code);
        std::lock_guard<std::mutex> lock(mutex_);
        if (returnedAt_ == 0) return "NP_Initialize did not return: " + output_;
        closeToReturnMs = returnedAt_ > closedAt_ ? returnedAt_ - closedAt_ : 0;
        if (output_.find("NP_Initialize returned 0") == std::string::npos) return "NP_Initialize failed: " + output_;
        if (closeToReturnMs > 2000) return "NP_Initialize returned " + std::to_string(closeToReturnMs) + " ms after the close";
        if (output_.find("plug-in unloaded") == std::string::npos) return "a thread of the plug-in remained: " + output_;
        if (code != 0) return "host.exe exited with " + std::to_string(code) + ": " + output_;
        return "";
    }

private:
    void Read() {
        char buffer[512];
        DWORD got = 0;
        while (ReadFile(read_, buffer, sizeof buffer, &got, nullptr) && got > 0) {
            std::lock_guard<std::mutex> lock(mutex_);
            output_.append(buffer, got);
            if (!returnedAt_ && output_.find("NP_Initialize returned") != std::string::npos) returnedAt_ = GetTickCount64();
        }
    }

    PROCESS_INFORMATION process_ = {};
    bool started_ = false;
    HANDLE read_ = nullptr;
    std::thread reader_;
    std::mutex mutex_;
    std::string output_;
    ULONGLONG closedAt_ = 0, returnedAt_ = 0;
    HWND window_ = nullptr;
};

// The active user's profile: registered, its history database held open, a first package.
struct Profile {
    std::wstring dir;
    std::wstring package() const { return dir + L"\\ContentListPackage"; }
    std::wstring backup() const { return dir + L"\\ContentListPackage.Backup"; }
};

std::mt19937& Random() {
    static std::mt19937 random(20261211);
    return random;
}
DWORD Between(DWORD low, DWORD high) { return std::uniform_int_distribution<DWORD>(low, high)(Random()); }

// The rules the user has now: the package, or its backup while there is no package (a write
// killed between moving the package aside and packing the new one).
std::string CurrentPackage(const Profile& p) {
    return Exists(p.package()) ? ReadFileBytes(p.package()) : ReadFileBytes(p.backup());
}

// The package of before is still there, as the package or as its backup.
bool PreviousPackageKept(const Profile& p, const std::string& before) {
    return ReadFileBytes(p.package()) == before || ReadFileBytes(p.backup()) == before;
}

struct Scenario {
    const char* name;
    const char* mirrorSetup;   // sent to the mirror before each round
    void (*start)(Host& h, int round);
    DWORD closeLow, closeHigh;  // the close comes this many ms after the start
    bool waitForMessageBox;
};

void OnlySources(Host& h, std::initializer_list<int> keep) {
    for (int id = 选择框_傲游论坛规则; id <= 选择框_用户原有规则; ++id)
        h.Tick(id, std::find(keep.begin(), keep.end(), id) != keep.end());
}

const Scenario kScenarios[] = {
    {"a fetch from a slow mirror", "/test/delay?ms=400", [](Host& h, int) { h.Click(按钮_获取规则); }, 0, 2500, false},
    {"a write of the blacklist", "/test/delay?ms=0",
     [](Host& h, int round) {
         h.SetText(编辑框_黑名单, L"**://round-" + std::to_wstring(round) + L".example/*\r\n**://*##.ad");
         h.Click(按钮_黑名单_写到规则文件);
     },
     0, 400, false},
    {"a Maxthon download unpacked by the extractor", "/test/maxthon?first=rar&linked=zip",
     [](Host& h, int) {
         OnlySources(h, {选择框_傲游论坛规则});
         h.Click(按钮_获取规则);
     },
     0, 800, false},
    // A hiding rule whose domain list has an empty item: the step shows it in a message box.
    {"the ChinaList step's message box", "/test/chinalist?append=,x.example%23%23.ad",
     [](Host& h, int) {
         OnlySources(h, {选择框_ChinaList规则});
         h.Click(按钮_获取规则);
     },
     0, 300, true},
};

void RunScenario(const Scenario& s, const Profile& p, int rounds) {
    ULONGLONG slowest = 0;
    std::string failure;
    int round = 0;
    for (; round < rounds && failure.empty(); ++round) {
        Mirror(s.mirrorSetup);
        const std::string before = CurrentPackage(p);
        Host h;
        if (!h.Window()) {
            failure = "no window";
            break;
        }
        s.start(h, round);
        if (s.waitForMessageBox && !WaitFor([&] { return h.MessageBoxShown(); }, 15000)) failure = "no message box";
        Sleep(Between(s.closeLow, s.closeHigh));
        h.Close();
        ULONGLONG ms = 0;
        if (failure.empty()) failure = h.Outcome(ms);
        slowest = std::max(slowest, ms);
        if (failure.empty() && !PreviousPackageKept(p, before)) failure = "the previous package is gone";
    }
    for (const char* reset : {"/test/delay?ms=0", "/test/maxthon?first=page&linked=zip", "/test/chinalist"}) Mirror(reset);
    if (failure.empty())
        printf("ok shutdown during %s: %d closes at random moments, NP_Initialize returned 0 each time "
               "(slowest %llu ms after the close), no thread left, host.exe exited 0, package kept\n",
               s.name, rounds, slowest);
    else
        printf("FAIL shutdown during %s, round %d: %s\n", s.name, round, failure.c_str());
}

// The rule files of a package, by entry name.
using RuleFiles = std::map<std::string, std::string>;

bool IsRuleFile(const Text& name) {
    return name == "__user__element__" || name == "__user__css__" || name == "__user__white__";
}

// The rule files of a package file that reads completely; false for a missing or damaged one.
bool ReadRuleFiles(const std::wstring& path, RuleFiles& out) {
    out.clear();
    std::vector<ArchiveEntry> entries;
    if (!Exists(path) || ReadArchive(ReadFileBytes(path), entries) != ArchiveRead::Complete) return false;
    for (const ArchiveEntry& e : entries)
        if (IsRuleFile(e.entry.name)) out[e.entry.name] = e.data;
    return true;
}

// The rules the user has: those of the package, or of the backup when the package is not
// complete.
RuleFiles LastGoodRules(const Profile& p) {
    RuleFiles files;
    if (!ReadRuleFiles(p.package(), files)) ReadRuleFiles(p.backup(), files);
    return files;
}

// One list as typed into its box, and the rule files a write of it makes.
struct ListWrite {
    int box, button;
    std::string typed;  // ASCII
    RuleFiles files;
};

ListWrite MakeListWrite(bool blacklist, const std::string& word, int round) {
    ListWrite w;
    w.box = blacklist ? 编辑框_黑名单 : 编辑框_白名单;
    w.button = blacklist ? 按钮_黑名单_写到规则文件 : 按钮_白名单_写到规则文件;
    const std::string host = word + "-" + std::to_string(round) + ".example";
    w.typed = blacklist ? "**://" + host + "/*\r\n**://" + host + "^*##.ad" : "@@||" + host + "^";
    const Text rules = NormaliseRuleText(w.typed);
    if (blacklist) {
        const BlacklistFiles files = BlacklistRuleFiles(rules);
        w.files = {{"__user__element__", GbkToUtf8(files.element)}, {"__user__css__", GbkToUtf8(files.css)}};
    } else {
        w.files = {{"__user__white__", GbkToUtf8(WhitelistRuleFile(rules))}};
    }
    return w;
}

RuleFiles With(RuleFiles base, const RuleFiles& written) {
    for (const auto& [name, data] : written) base[name] = data;
    return base;
}

bool Holds(const RuleFiles& files, const RuleFiles& list) { return With(files, list) == files; }

void StartWrite(Host& h, const ListWrite& w) {
    h.SetText(w.box, std::wstring(w.typed.begin(), w.typed.end()));
    h.Click(w.button);
}

// Each round kills a write of one list at a random moment, checks what is on disk, and writes
// the other list normally; the lists take turns as the killed one.
void RunKilledWrites(const Profile& p, int rounds, DWORD writeMs) {
    std::string failure;
    int round = 0, completed = 0;
    for (; round < rounds && failure.empty(); ++round) {
        const bool blacklistKilled = round % 2 == 0;
        const ListWrite killed = MakeListWrite(blacklistKilled, "killed", round);
        const ListWrite next = MakeListWrite(!blacklistKilled, "next", round);
        const RuleFiles before = LastGoodRules(p);
        {
            Host h;
            if (!h.Window()) {
                failure = "no window";
                break;
            }
            StartWrite(h, killed);
            Sleep(Between(0, writeMs));
            h.Kill();
        }
        // The killed write completed when the package holds its list.
        RuleFiles inPackage, inBackup;
        const bool packageComplete = ReadRuleFiles(p.package(), inPackage);
        const bool backupComplete = ReadRuleFiles(p.backup(), inBackup);
        const bool killedCompleted = packageComplete && Holds(inPackage, killed.files);
        completed += killedCompleted;
        const RuleFiles lastGood = killedCompleted ? With(before, killed.files) : before;
        if (!(packageComplete && inPackage == lastGood) && !(backupComplete && inBackup == lastGood)) {
            failure = "right after the kill, neither the package nor its backup holds the last rules written";
            break;
        }
        Host h;
        StartWrite(h, next);
        if (!WaitFor([&] { return h.Text(标签_状态) == Wide(kWritten); }, 20000)) failure = "the next write failed";
        h.Close();
        ULONGLONG ms = 0;
        if (failure.empty()) failure = h.Outcome(ms);
        if (failure.empty() && !(ReadRuleFiles(p.package(), inPackage) && inPackage == With(lastGood, next.files)))
            failure = std::string("after the next write the package does not hold ") +
                      (Holds(inPackage, next.files) ? "the other list of the last completed write" : "the list just written");
    }
    if (failure.empty())
        printf("ok write killed at random moments %d times within the %lu ms a write takes (%d had completed), "
               "the blacklist and the whitelist in turn: the package or its backup always held the last rules "
               "written, and each following write of the other list kept them\n",
               rounds, writeMs, completed);
    else
        printf("FAIL write killed at random moments, round %d: %s\n", round, failure.c_str());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);
    const int rounds = argc > 1 ? std::max(1, _wtoi(argv[1])) : 50;
    if (Env("QUORLEX_MIRROR").empty()) {
        printf("FAIL stress: QUORLEX_MIRROR is not set\n");
        return 1;
    }
    SetEnvironmentVariableA("QUORLEX_RULE_HOST", Env("QUORLEX_MIRROR").c_str());

    Profile p;
    const std::wstring data = AppDataFolder() + L"\\SogouExplorer";
    CreateDirectoryW(data.c_str(), nullptr);
    p.dir = data + L"\\" + kUser;
    DeleteTree(p.dir);
    CreateDirectoryW(p.dir.c_str(), nullptr);
    WriteFileBytes(p.dir + L"\\HistoryUrl.db", "history");
    if (!RegisterUser(kUser)) {
        printf("FAIL stress: cannot register the browser user\n");
        return 1;
    }
    Holder holder(p.dir + L"\\HistoryUrl.db");
    if (!holder.holding()) {
        printf("FAIL stress: holdopen.exe does not hold the history database\n");
        return 1;
    }
    DWORD writeMs = 0;  // how long a write takes here: the kills come within that time
    {  // a first package, written the way the user would
        Host h;
        h.SetText(编辑框_黑名单, L"**://first.example/*");
        const ULONGLONG start = GetTickCount64();
        h.Click(按钮_黑名单_写到规则文件);
        const bool written = WaitFor([&] { return h.Text(标签_状态) == Wide(kWritten); }, 20000);
        writeMs = DWORD(GetTickCount64() - start);
        h.Close();
        ULONGLONG ms = 0;
        const std::string outcome = h.Outcome(ms);
        if (!written || !outcome.empty()) {
            printf("FAIL stress: the first write failed %s\n", outcome.c_str());
            return 1;
        }
    }
    for (const Scenario& s : kScenarios) RunScenario(s, p, rounds);
    RunKilledWrites(p, rounds, writeMs);
    RegDeleteKeyW(HKEY_CURRENT_USER, (std::wstring(kUsersKey) + L"\\" + kUser).c_str());
    return 0;
}
