#include "mirror_process.h"

#include "../mirror/request_log.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "web/rule_sites.h"
#include "web/web_fetch.h"

namespace {

// A listening socket on 127.0.0.1 that never accepts: connections complete in the kernel's
// backlog and then hear nothing.
std::string OpenSilentSocket() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return "127.0.0.1:9";
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 64) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        close(fd);
        return "127.0.0.1:9";
    }
    return "127.0.0.1:" + std::to_string(ntohs(addr.sin_port));  // kept open for the process
}

const std::string& Silent() {
    static const std::string address = OpenSilentSocket();
    return address;
}

// Before main: no test may reach the real rule sites.
const bool kSilentHostSet = [] {
    setenv(kRuleHostVariable, Silent().c_str(), 1);
    return true;
}();

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

std::string SilentRuleHost() { return Silent(); }

RuleHostFor::RuleHostFor(const std::string& address) { setenv(kRuleHostVariable, address.c_str(), 1); }
RuleHostFor::~RuleHostFor() { setenv(kRuleHostVariable, Silent().c_str(), 1); }

Mirror::Mirror() {
    char tmpl[] = "/tmp/quorlex-mirror-XXXXXX";
    if (!mkdtemp(tmpl)) return;
    dir_ = tmpl;
    const std::string script = std::string(QUORLEX_SOURCE_DIR) + "/tests/mirror/server.py";
    const std::string portFile = dir_ + "/port", log = dir_ + "/requests.log";
    pid_ = fork();
    if (pid_ == 0) {
        execlp("python3", "python3", script.c_str(), "--port-file", portFile.c_str(), "--log",
               log.c_str(), "--lifetime", "300", static_cast<char*>(nullptr));
        _exit(127);
    }
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < until) {
        const std::string text = ReadFile(portFile);
        if (!text.empty()) {
            port_ = atoi(text.c_str());
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

Mirror::~Mirror() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    if (!dir_.empty()) {
        unlink((dir_ + "/port").c_str());
        unlink((dir_ + "/requests.log").c_str());
        rmdir(dir_.c_str());
    }
}

std::vector<std::vector<std::string>> Mirror::Requests() const {
    std::istringstream in(ReadFile(dir_ + "/requests.log"));
    return ParseRequestLog(in);
}

std::vector<std::string> Mirror::RequestFor(const std::string& text) const {
    for (const auto& r : Requests()) {
        if (r[0].find(text) != std::string::npos) return r;
    }
    return {};
}

bool Mirror::SetMaxthon(const std::string& first, const std::string& linked) const {
    return WebFetch(url("/test/maxthon?first=" + first + "&linked=" + linked)) == "maxthon";
}
