// The fetch with a ChinaList list as long as an answer may be, run by the command line (the
// plug-in's own fetch task) under an address-space limit (setrlimit, RLIMIT_AS): with too little
// room the ChinaList step (or, once it is done, the merge of the lists) fails with its own
// message and the program ends normally; with 256 MB more than a small list needs, the list at
// the bound converts.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "common/encoding.h"
#include "common/stop.h"
#include "mirror_process.h"
#include "web/web_fetch.h"

namespace {

constexpr size_t kMegabyte = 1024 * 1024;

struct ChildRun {
    bool exited = false;  // ended normally (no signal)
    int status = -1;
    std::string errors;   // standard error, UTF-8
};

// `quorlex fetch chinalist --black-only` against the mirror, its address space limited to
// `limit` bytes; standard output is dropped.
ChildRun FetchUnderLimit(const Mirror& mirror, size_t limit) {
    char errPath[] = "/tmp/quorlex-memory-XXXXXX";
    const int errFd = mkstemp(errPath);
    ChildRun run;
    if (errFd < 0) return run;
    const std::string host = "QUORLEX_RULE_HOST=" + mirror.address();
    const pid_t pid = fork();
    if (pid == 0) {
        const int devNull = open("/dev/null", O_WRONLY);
        dup2(devNull, 1);
        dup2(errFd, 2);
        struct rlimit r {};
        r.rlim_cur = r.rlim_max = limit;
        setrlimit(RLIMIT_AS, &r);
        // One malloc arena: threads do not each reserve one of their own, so the limit measures
        // what the program holds.
        char* const env[] = {const_cast<char*>(host.c_str()), const_cast<char*>("MALLOC_ARENA_MAX=1"),
                             const_cast<char*>("TMPDIR=/tmp"), nullptr};
        const char* const argv[] = {QUORLEX_CLI, "fetch", "chinalist", "--black-only", nullptr};
        execve(QUORLEX_CLI, const_cast<char* const*>(argv), env);
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    close(errFd);
    run.exited = WIFEXITED(status);
    run.status = run.exited ? WEXITSTATUS(status) : -WTERMSIG(status);
    std::ifstream in(errPath, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    run.errors = text.str();
    unlink(errPath);
    return run;
}

std::string Utf8(const Text& gbk) { return TextUpTo0(WideToUtf8(GbkToWide(gbk))); }

bool Says(const ChildRun& run, const Text& gbk) { return run.errors.find(Utf8(gbk)) != std::string::npos; }

bool Converted(const ChildRun& run) {
    return run.exited && run.status == 0 && run.errors.find(Utf8("ChinaList_Lazy规则获取失败！")) == std::string::npos &&
           run.errors.find(Utf8("过滤规则获取完毕！")) != std::string::npos;
}

class MemoryLimit : public testing::Test {
protected:
    void SetUp() override {
#if defined(__SANITIZE_ADDRESS__)
        GTEST_SKIP() << "AddressSanitizer reserves far more address space than any limit here";
#endif
        ASSERT_NE(mirror_.port(), 0) << "mirror did not start";
        ClearStop();  // a window closed by an earlier test leaves the stop signal set
    }
    void ListOfSize(size_t bytes) {
        ASSERT_EQ(WebFetch(mirror_.url("/test/chinalist?size=" + std::to_string(bytes))), "chinalist");
    }
    // The least limit, in steps of 8 MB, under which the small fixture list converts: the room the
    // program itself takes (its code, libraries, threads).
    size_t SmallListRoom() {
        ListOfSize(0);
        for (size_t limit = 32 * kMegabyte; limit <= 1024 * kMegabyte; limit += 8 * kMegabyte) {
            if (Converted(FetchUnderLimit(mirror_, limit))) return limit;
        }
        return 0;
    }
    Mirror mirror_;
};

TEST_F(MemoryLimit, AListAtTheBoundFailsCleanlyWithoutRoomAndConvertsWithin256MB) {
    const size_t room = SmallListRoom();
    ASSERT_NE(room, 0u) << "the small list never converted";
    ListOfSize(kMaxResponseBodyBytes);
    // With too little room, wherever the allocation fails (download, decoding, conversion,
    // merging, or the command line's printing of the merged lists): the step's own failure
    // message, the whole answer refused, or the command line's own out-of-memory message, and
    // never a crash.
    for (size_t extra = 0; extra <= 48 * kMegabyte; extra += 8 * kMegabyte) {
        const ChildRun run = FetchUnderLimit(mirror_, room + extra);
        EXPECT_TRUE(run.exited) << "signal " << -run.status << " with " << extra / kMegabyte << " MB";
        if (!Converted(run)) {
            EXPECT_TRUE(Says(run, "ChinaList_Lazy规则获取失败！") || Says(run, "过滤规则获取失败！") ||
                        Says(run, "quorlex: out of memory"))
                << extra / kMegabyte << " MB:\n" << run.errors;
        }
    }
    EXPECT_FALSE(Converted(FetchUnderLimit(mirror_, room + 8 * kMegabyte)));
    const ChildRun roomy = FetchUnderLimit(mirror_, room + 256 * kMegabyte);
    EXPECT_TRUE(Converted(roomy)) << roomy.errors;
    ListOfSize(0);
}

}  // namespace
