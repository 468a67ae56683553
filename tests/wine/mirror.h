// The local rule-site mirror as the Wine suite sees it. scripts/test.sh starts it and sets:
//   QUORLEX_RULE_HOST   the mirror's port that never answers: every window's probes wait, so
//                       captions stay as laid out unless a test asks for answers;
//   QUORLEX_MIRROR      the address that answers from the fixtures (tests/mirror/fixtures);
//   QUORLEX_MIRROR_LOG  its request log: each request's lines, then a blank line.
// The DLL reads QUORLEX_RULE_HOST at every fetch, so a test points it elsewhere in-process.
#pragma once

#include <windows.h>

#include <fstream>
#include <string>
#include <vector>

#include "../mirror/request_log.h"
#include "web/web_fetch.h"

inline std::string EnvText(const char* name) {
    char value[1024];
    const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}

inline std::string MirrorAddress() { return EnvText("QUORLEX_MIRROR"); }

// Points the program's rule host at `address` while it lives.
class RuleHost {
public:
    explicit RuleHost(const std::string& address) : saved_(EnvText("QUORLEX_RULE_HOST")) {
        SetEnvironmentVariableA("QUORLEX_RULE_HOST", address.c_str());
    }
    ~RuleHost() { SetEnvironmentVariableA("QUORLEX_RULE_HOST", saved_.empty() ? nullptr : saved_.c_str()); }
    RuleHost(const RuleHost&) = delete;
    RuleHost& operator=(const RuleHost&) = delete;

private:
    std::string saved_;
};

// The requests the mirror has logged so far, each its request line and header lines in order.
inline std::vector<std::vector<std::string>> MirrorRequests() {
    std::ifstream in(EnvText("QUORLEX_MIRROR_LOG"), std::ios::binary);
    return ParseRequestLog(in);
}

// Chooses what the mirror's Maxthon attachment answers (server.py's ATTACHMENTS) while it lives,
// then goes back to the default (the download page, whose link answers a ZIP).
class MaxthonScenario {
public:
    MaxthonScenario(const std::string& first, const std::string& linked = "zip") {
        ok_ = Set(first, linked);
    }
    ~MaxthonScenario() { Set("page", "zip"); }
    bool ok() const { return ok_; }
    MaxthonScenario(const MaxthonScenario&) = delete;
    MaxthonScenario& operator=(const MaxthonScenario&) = delete;

private:
    static bool Set(const std::string& first, const std::string& linked) {
        return WebFetch("http://" + MirrorAddress() + "/test/maxthon?first=" + first + "&linked=" + linked) ==
               "maxthon";
    }
    bool ok_ = false;
};
