// HTTP, shaped like the WinINet calls the program makes: an Internet handle, a connection to
// one host and port, one request on it. Handles are opaque; nullptr is "no handle".
//
// Any handle may be closed from another thread while its owner is blocked in a call on it (a
// connect, a send, a read): the blocked call then fails promptly, and every later call on the
// closed handle fails at once. A handle is closed exactly once, by whoever closes it first.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/text.h"

namespace platform::http {

using Handle = void*;

// Makes the HTTP library ready. Called by the thread that is about to start a request's worker,
// before it starts it; false when there is no library to use. WinINet needs nothing here; the
// native build loads libcurl at the first call.
bool Startup();

// InternetOpen: `proxyList` empty gives a direct connection (the system's proxy settings are
// not used); otherwise the requests go through the proxies named, e.g. "http=host:8080".
Handle OpenInternet(const Text& agent, const Text& proxyList);
// InternetConnect with the HTTP service. Empty user name or password: none is passed.
Handle Connect(Handle internet, const Text& host, int port, const Text& userName,
               const Text& password);
// HttpOpenRequest with the method, object path and version, no referrer, no accept types and
// INTERNET_FLAG_RELOAD alone: redirects are followed and cookies handled by the library.
Handle OpenRequest(Handle connection, const Text& method, const Text& object, const Text& version);
// HttpSendRequest: `headers` are CR LF terminated lines sent after the library's own.
bool SendRequest(Handle request, const Text& headers, const ByteBuffer& body);
// InternetReadFile: up to `size` bytes of the body; `read` is 0 at the end.
bool ReadFile(Handle request, char* buffer, uint32_t size, uint32_t& read);
// HttpQueryInfo(HTTP_QUERY_RAW_HEADERS_CRLF): the status line and header lines of the final
// answer, each ending in CR LF, NUL-terminated. Fails, leaving `buffer` untouched, when they do
// not fit in `size` bytes (NUL included); `size` then holds the size needed.
bool QueryRawHeaders(Handle request, char* buffer, uint32_t& size);
// InternetSetCookie: stores `name` with `data` ("42; path=/") for `url` in the process's store.
bool SetCookie(const Text& url, const Text& name, const Text& data);
// InternetCloseHandle. Closing an already closed handle is a harmless failure.
bool CloseHandle(Handle handle);

}  // namespace platform::http
