// The local mirror of the rule sites (tests/mirror/server.py) as a child process of the test,
// and the silent rule host that every test process of this suite uses otherwise.
//
// No test of this suite reaches past 127.0.0.1: before any test runs, QUORLEX_RULE_HOST is set to
// a local socket that accepts connections and never answers, so a window opened by any test
// keeps its captions as laid out (its probes wait until the window closes). A test that wants
// answers starts a Mirror and points the rule host at it while its window is open.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "base/text.h"

class Mirror {
public:
    Mirror();   // starts the server and waits for its port (port() is 0 when that failed)
    ~Mirror();  // ends it
    int port() const { return port_; }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
    std::string url(const std::string& path) const { return "http://" + address() + path; }
    // The requests received so far: each one its request line followed by its header lines.
    std::vector<std::vector<std::string>> Requests() const;
    // The first request whose request line contains `text` (empty when none).
    std::vector<std::string> RequestFor(const std::string& text) const;
    // Chooses what the Maxthon attachment answers (the scenario names of server.py's
    // ATTACHMENTS): `first` for the attachment, `linked` for its download page's link.
    bool SetMaxthon(const std::string& first, const std::string& linked = "zip") const;

private:
    pid_t pid_ = -1;
    int port_ = 0;
    std::string dir_;
};

// The address of the silent socket ("127.0.0.1:port").
std::string SilentRuleHost();

// Points QUORLEX_RULE_HOST at `address` for the lifetime of the object, then back at the
// silent socket.
class RuleHostFor {
public:
    explicit RuleHostFor(const std::string& address);
    ~RuleHostFor();
};
