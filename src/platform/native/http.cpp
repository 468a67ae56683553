// Native HTTP on libcurl, loaded when the first request is prepared (Startup): a process that
// never fetches (the command line converting a file) does not load it and the two dozen
// libraries under it. Sending the request in the form WinINet gives it: the request line
// with the method, object path and HTTP/1.1, then Host, User-Agent, the caller's header lines in
// their order and Cookie last; redirects are followed. The whole answer of a send is received
// into memory and handed out by the reads. Cookies live in one process-wide store of our own,
// matched by host (not port) as WinINet does.
#include "platform/http.h"

#include <curl/curl.h>
#include <dlfcn.h>

#include <atomic>
#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/native/http_answer.h"
#include "platform/native/http_test_api.h"

namespace platform::http {

namespace {

// More than this of one body is not kept: the transfer is cut there and the last read fails.
constexpr size_t kBodyBufferLimit = size_t(16) * 1024 * 1024 + 4096;  // WebFetch's bound and a little

enum class Kind { Internet, Connection, Request };

struct Object {
    Kind kind;
    Text agent, proxyList;                    // Internet
    Text host, userName, password;            // Connection
    int port = 80;
    Text method, object;                      // Request
    std::shared_ptr<Object> parent;
    std::atomic<bool> closed{false};
    // The answer of the last send.
    std::mutex answerMutex;
    ByteBuffer body;
    size_t readPos = 0;
    bool cut = false;
    Text rawHeaders;
};

// The handle table and the cookie store, made on first use and never destroyed: a fetch worker
// that its caller abandoned may still be running while the process ends, and must not find them
// freed by the exit-time destructors.
struct Shared {
    std::mutex tableMutex;
    std::map<uintptr_t, std::shared_ptr<Object>> table;
    uintptr_t nextId = 1;
    std::mutex cookieMutex;
    std::map<Text, std::vector<std::pair<Text, Text>>> cookies;  // host -> name, value
};

Shared& S() {
    static Shared* const shared = new Shared();
    return *shared;
}

Handle Add(std::shared_ptr<Object> object) {
    std::lock_guard<std::mutex> lock(S().tableMutex);
    const uintptr_t id = S().nextId++;
    S().table[id] = std::move(object);
    return reinterpret_cast<Handle>(id);
}

std::shared_ptr<Object> Lookup(Handle h, Kind kind) {
    std::lock_guard<std::mutex> lock(S().tableMutex);
    auto it = S().table.find(reinterpret_cast<uintptr_t>(h));
    if (it == S().table.end() || it->second->kind != kind) return nullptr;
    return it->second;
}

bool ClosedAlongTheWay(const Object& o) {
    for (const Object* p = &o; p; p = p->parent.get()) {
        if (p->closed) return true;
    }
    return false;
}

// The host of "http://host[:port]/...", lower case.
Text HostOfUrl(const Text& url) {
    Text rest = url;
    const size_t scheme = Find(rest, "://");
    if (scheme) rest = MidToEnd(rest, long(scheme + 3));
    const size_t slash = Find(rest, "/");
    if (slash) rest = Left(rest, long(slash - 1));
    const size_t colon = Find(rest, ":");
    if (colon) rest = Left(rest, long(colon - 1));
    return ToLowerAscii(rest);
}

Text CookieLine(const Text& host) {
    std::lock_guard<std::mutex> lock(S().cookieMutex);
    auto it = S().cookies.find(ToLowerAscii(host));
    if (it == S().cookies.end() || it->second.empty()) return "";
    Text line = "Cookie: ";
    bool first = true;
    for (const auto& [name, value] : it->second) {
        if (!first) line += "; ";
        line += name + "=" + value;
        first = false;
    }
    return line;
}

// The libcurl functions this file calls, resolved from the library once it is loaded.
struct CurlApi {
    bool ready = false;
    CURLcode (*global_init)(long flags);
    CURL* (*easy_init)();
    CURLcode (*easy_setopt)(CURL* curl, CURLoption option, ...);
    CURLcode (*easy_perform)(CURL* curl);
    void (*easy_cleanup)(CURL* curl);
    curl_slist* (*slist_append)(curl_slist* list, const char* text);
    void (*slist_free_all)(curl_slist* list);
};

template <typename F>
bool Resolve(void* library, const char* name, F& f) {
    f = reinterpret_cast<F>(dlsym(library, name));
    return f != nullptr;
}

// Loaded and set up once, by the first thread that prepares a request; never unloaded.
// libcurl (and OpenSSL under it) is set up on that thread before the fetch worker that uses it
// starts, never by the worker itself: a worker abandoned while it was still setting up could
// race OpenSSL's exit-time clean-up (a double free, or a crash on exit).
const CurlApi& Curl() {
    static const CurlApi api = [] {
        CurlApi a;
        void* library = dlopen(QUORLEX_CURL_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (!library) return a;
        a.ready = Resolve(library, "curl_global_init", a.global_init) &&
                  Resolve(library, "curl_easy_init", a.easy_init) &&
                  Resolve(library, "curl_easy_setopt", a.easy_setopt) &&
                  Resolve(library, "curl_easy_perform", a.easy_perform) &&
                  Resolve(library, "curl_easy_cleanup", a.easy_cleanup) &&
                  Resolve(library, "curl_slist_append", a.slist_append) &&
                  Resolve(library, "curl_slist_free_all", a.slist_free_all) &&
                  a.global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
        return a;
    }();
    return api;
}

// The callbacks run inside libcurl's C code, which no exception may cross: running out of
// memory cuts the transfer, and the last read fails.
size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto* o = static_cast<Object*>(user);
    const size_t n = size * count;
    std::lock_guard<std::mutex> lock(o->answerMutex);
    try {
        if (o->body.size() + n <= kBodyBufferLimit) {
            o->body.append(data, n);
            return n;
        }
    } catch (const std::exception&) {
    }
    o->cut = true;
    return 0;  // ends the transfer
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto* o = static_cast<Object*>(user);
    const size_t n = size * count;
    std::lock_guard<std::mutex> lock(o->answerMutex);
    try {
        // Each answer of a redirect chain starts with its status line: keep the last answer only.
        if (AddRawHeaderLine(o->rawHeaders, Text(data, n))) o->body.clear();
        return n;
    } catch (const std::exception&) {
        o->cut = true;
        return 0;
    }
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return ClosedAlongTheWay(*static_cast<Object*>(user)) ? 1 : 0;
}

}  // namespace

bool AddRawHeaderLine(Text& rawHeaders, const Text& line) {
    const bool statusLine = StartsWith(line, "HTTP/");
    if (statusLine) rawHeaders.clear();
    size_t end = line.size();
    if (end > 0 && line[end - 1] == '\n') --end;
    if (end > 0 && line[end - 1] == '\r') --end;
    if (rawHeaders.size() + end + 2 < kMaxRawHeaderBytes) {
        rawHeaders.append(line, 0, end);
        rawHeaders += "\r\n";
    }
    return statusLine;
}

namespace test {

void ClearCookies() {
    std::lock_guard<std::mutex> lock(S().cookieMutex);
    S().cookies.clear();
}

Text CookieHeader(const Text& host) { return CookieLine(host); }

}  // namespace test

bool Startup() { return Curl().ready; }

Handle OpenInternet(const Text& agent, const Text& proxyList) {
    if (!Curl().ready) return nullptr;  // Startup was never called, or could not load libcurl
    auto o = std::make_shared<Object>();
    o->kind = Kind::Internet;
    o->agent = agent;
    o->proxyList = proxyList;
    return Add(std::move(o));
}

Handle Connect(Handle internet, const Text& host, int port, const Text& userName,
               const Text& password) {
    auto parent = Lookup(internet, Kind::Internet);
    if (!parent || parent->closed || host.empty() || port < 0 || port > 65535) return nullptr;
    auto o = std::make_shared<Object>();
    o->kind = Kind::Connection;
    o->parent = parent;
    o->host = host;
    o->port = port == 0 ? 80 : port;
    o->userName = userName;
    o->password = password;
    return Add(std::move(o));
}

Handle OpenRequest(Handle connection, const Text& method, const Text& object, const Text& version) {
    auto parent = Lookup(connection, Kind::Connection);
    if (!parent || parent->closed || method.empty()) return nullptr;
    auto o = std::make_shared<Object>();
    o->kind = Kind::Request;
    o->parent = parent;
    o->method = method;
    o->object = object.empty() ? Text("/") : object;
    return Add(std::move(o));
}

bool SendRequest(Handle request, const Text& headers, const ByteBuffer& body) {
    auto o = Lookup(request, Kind::Request);
    if (!o || ClosedAlongTheWay(*o)) return false;
    const Object& conn = *o->parent;
    const Object& internet = *conn.parent;
    {
        std::lock_guard<std::mutex> lock(o->answerMutex);
        o->body.clear();
        o->rawHeaders.clear();
        o->readPos = 0;
        o->cut = false;
    }

    const CurlApi& api = Curl();
    if (!api.ready) return false;
    CURL* curl = api.easy_init();
    if (!curl) return false;
    const Text url = "http://" + conn.host + ":" + std::to_string(conn.port) + o->object;
    api.easy_setopt(curl, CURLOPT_URL, url.c_str());
    api.easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    api.easy_setopt(curl, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
    api.easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    api.easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    api.easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http");
    api.easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http");
    api.easy_setopt(curl, CURLOPT_USERAGENT, internet.agent.c_str());
    // Direct unless a proxy is named; "http=host:port" is WinINet's form of the list.
    Text proxy = internet.proxyList;
    if (StartsWith(proxy, "http=")) proxy = MidToEnd(proxy, 6);
    api.easy_setopt(curl, CURLOPT_PROXY, proxy.c_str());
    if (!conn.userName.empty()) api.easy_setopt(curl, CURLOPT_USERNAME, conn.userName.c_str());
    if (!conn.password.empty()) api.easy_setopt(curl, CURLOPT_PASSWORD, conn.password.c_str());
    api.easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    api.easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, OnProgress);
    api.easy_setopt(curl, CURLOPT_XFERINFODATA, o.get());
    api.easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
    api.easy_setopt(curl, CURLOPT_WRITEDATA, o.get());
    api.easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnHeader);
    api.easy_setopt(curl, CURLOPT_HEADERDATA, o.get());

    const bool get = o->method == "GET";
    if (get) {
        api.easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    } else {
        api.easy_setopt(curl, CURLOPT_CUSTOMREQUEST, o->method.c_str());
        api.easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
        api.easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(body.size()));
    }

    // The caller's lines in their order, then the stored cookies; curl's own Accept,
    // Content-Type and Expect lines are suppressed unless the caller sent them.
    curl_slist* list = nullptr;
    for (const Text& line : Split(headers, "\r\n")) {
        if (!line.empty()) list = api.slist_append(list, line.c_str());
    }
    const Text cookie = CookieLine(conn.host);
    if (!cookie.empty()) list = api.slist_append(list, cookie.c_str());
    const char* const suppressed[] = {"Accept:", "Content-Type:", "Expect:"};
    for (const char* name : suppressed) {
        if (!Contains(headers, name)) list = api.slist_append(list, name);
    }
    api.easy_setopt(curl, CURLOPT_HTTPHEADER, list);

    const CURLcode rc = api.easy_perform(curl);
    api.easy_cleanup(curl);
    api.slist_free_all(list);
    return rc == CURLE_OK && !ClosedAlongTheWay(*o);
}

bool ReadFile(Handle request, char* buffer, uint32_t size, uint32_t& read) {
    read = 0;
    auto o = Lookup(request, Kind::Request);
    if (!o || ClosedAlongTheWay(*o)) return false;
    std::lock_guard<std::mutex> lock(o->answerMutex);
    const size_t left = o->body.size() - o->readPos;
    const size_t n = left < size ? left : size;
    if (n) std::memcpy(buffer, o->body.data() + o->readPos, n);
    o->readPos += n;
    read = uint32_t(n);
    return n > 0 || !o->cut;
}

bool QueryRawHeaders(Handle request, char* buffer, uint32_t& size) {
    auto o = Lookup(request, Kind::Request);
    if (!o || ClosedAlongTheWay(*o)) return false;
    std::lock_guard<std::mutex> lock(o->answerMutex);
    if (o->rawHeaders.empty()) return false;
    const size_t needed = o->rawHeaders.size() + 1;
    if (needed > size) {
        size = uint32_t(needed);
        return false;
    }
    std::memcpy(buffer, o->rawHeaders.c_str(), needed);
    size = uint32_t(needed - 1);
    return true;
}

bool SetCookie(const Text& url, const Text& name, const Text& data) {
    const Text host = HostOfUrl(url);
    if (host.empty() || name.empty()) return false;
    const size_t semicolon = Find(data, ";");
    const Text value = semicolon ? Left(data, long(semicolon - 1)) : data;
    // A line break would end the Cookie line of later requests early and make the rest of the
    // cookie header lines of their own.
    if (name.find_first_of("\r\n") != Text::npos || value.find_first_of("\r\n") != Text::npos) return false;
    std::lock_guard<std::mutex> lock(S().cookieMutex);
    auto& jar = S().cookies[host];
    for (auto& [n, v] : jar) {
        if (n == name) {
            v = value;
            return true;
        }
    }
    jar.emplace_back(name, value);
    return true;
}

bool CloseHandle(Handle handle) {
    std::shared_ptr<Object> o;
    {
        std::lock_guard<std::mutex> lock(S().tableMutex);
        auto it = S().table.find(reinterpret_cast<uintptr_t>(handle));
        if (it == S().table.end()) return false;
        o = std::move(it->second);
        S().table.erase(it);
    }
    o->closed = true;  // a transfer running on it ends at its next progress call
    return true;
}

}  // namespace platform::http
