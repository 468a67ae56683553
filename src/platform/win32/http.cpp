// HTTP on WinINet (the A functions: the program's URLs and header texts are ASCII/GBK).
#include "platform/http.h"

#include <windows.h>
#include <wininet.h>

namespace platform::http {

namespace {
const char* OrNull(const Text& t) { return t.empty() ? nullptr : t.c_str(); }
}  // namespace

bool Startup() { return true; }

Handle OpenInternet(const Text& agent, const Text& proxyList) {
    if (proxyList.empty()) {
        return InternetOpenA(agent.c_str(), INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    }
    return InternetOpenA(agent.c_str(), INTERNET_OPEN_TYPE_PROXY, proxyList.c_str(), "", 0);
}

Handle Connect(Handle internet, const Text& host, int port, const Text& userName,
               const Text& password) {
    if (port < 0 || port > 65535) return nullptr;
    return InternetConnectA(static_cast<HINTERNET>(internet), host.c_str(), INTERNET_PORT(port),
                            OrNull(userName), OrNull(password), INTERNET_SERVICE_HTTP, 0, 0);
}

Handle OpenRequest(Handle connection, const Text& method, const Text& object, const Text& version) {
    return HttpOpenRequestA(static_cast<HINTERNET>(connection), method.c_str(), object.c_str(),
                            version.c_str(), nullptr, nullptr, INTERNET_FLAG_RELOAD, 0);
}

bool SendRequest(Handle request, const Text& headers, const ByteBuffer& body) {
    return HttpSendRequestA(static_cast<HINTERNET>(request), OrNull(headers), DWORD(headers.size()),
                            body.empty() ? nullptr : const_cast<char*>(body.data()),
                            DWORD(body.size())) != FALSE;
}

bool ReadFile(Handle request, char* buffer, uint32_t size, uint32_t& read) {
    DWORD got = 0;
    const BOOL ok = InternetReadFile(static_cast<HINTERNET>(request), buffer, size, &got);
    read = ok ? uint32_t(got) : 0;
    return ok != FALSE;
}

bool QueryRawHeaders(Handle request, char* buffer, uint32_t& size) {
    DWORD length = size;
    const BOOL ok = HttpQueryInfoA(static_cast<HINTERNET>(request), HTTP_QUERY_RAW_HEADERS_CRLF,
                                   buffer, &length, nullptr);
    size = uint32_t(length);
    return ok != FALSE;
}

bool SetCookie(const Text& url, const Text& name, const Text& data) {
    return InternetSetCookieA(url.c_str(), name.c_str(), data.c_str()) != FALSE;
}

bool CloseHandle(Handle handle) {
    return handle && InternetCloseHandle(static_cast<HINTERNET>(handle)) != FALSE;
}

}  // namespace platform::http
