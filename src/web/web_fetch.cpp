#include "web/web_fetch.h"

#include <cstdint>
#include <exception>
#include <utility>

#include "common/stop.h"
#include "platform/threads.h"

namespace http = platform::http;

namespace {

constexpr const char* kCrLf = "\r\n";
constexpr const char* kDefaultAccept =
    "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
    "application/vnd.ms-excel, application/vnd.ms-powerpoint, application/msword, */*";
constexpr int kDefaultTimeoutSeconds = 90;
constexpr uint32_t kReadPiece = 512;
constexpr uint32_t kRawHeaderBuffer = 1024;

bool HasNonSpace(const Text& t) { return !RemoveAll(t, " ").empty(); }

// The header text as the query leaves it: what it wrote up to its NUL, or the buffer of
// spaces untouched when the headers did not fit.
Text QueryHeaderText(http::Handle request) {
    char buffer[kRawHeaderBuffer + 1];
    for (uint32_t i = 0; i < kRawHeaderBuffer; ++i) buffer[i] = ' ';
    buffer[kRawHeaderBuffer] = '\0';
    uint32_t size = kRawHeaderBuffer;
    http::QueryRawHeaders(request, buffer, size);
    return Text(buffer);
}

// The length the answer's headers declare, when it is within the bound; 0 otherwise.
size_t DeclaredLength(const Text& rawHeaders) {
    const size_t at = Find(rawHeaders, "\r\nContent-Length:");
    if (at == 0) return 0;
    size_t i = at - 1 + 17, length = 0;
    while (i < rawHeaders.size() && rawHeaders[i] == ' ') ++i;
    for (; i < rawHeaders.size() && rawHeaders[i] >= '0' && rawHeaders[i] <= '9'; ++i) {
        length = length * 10 + size_t(rawHeaders[i] - '0');
        if (length > kMaxResponseBodyBytes) return 0;
    }
    return length;
}

struct OpenHandles {
    FetchExchange& exchange;
    http::Handle internet = nullptr, connection = nullptr, request = nullptr;
    ~OpenHandles() { CloseAll(); }  // also when the request ends in an exception
    void CloseAll() {
        exchange.Close(request);
        exchange.Close(connection);
        exchange.Close(internet);
        request = connection = internet = nullptr;
    }
};

void RunWorker(void* p) {
    // The worker's own share of the exchange, handed over by WebFetch.
    std::unique_ptr<std::shared_ptr<FetchExchange>> exchange(static_cast<std::shared_ptr<FetchExchange>*>(p));
    FetchWorker(*exchange);  // never throws: a failure is an exchange without an answer
}

}  // namespace

void FetchExchange::Put(std::variant<Text, Bytes> value) {
    values_.resize(cursor_);
    values_.push_back(std::move(value));
    ++cursor_;
}

void FetchExchange::WriteText(const Text& text) { Put(text); }
void FetchExchange::WriteBytes(ByteBuffer bytes) { Put(Bytes{std::move(bytes)}); }

Text FetchExchange::ReadText() {
    if (cursor_ >= values_.size()) return "";
    const Text* t = std::get_if<Text>(&values_[cursor_++]);
    return t ? *t : Text();
}

ByteBuffer FetchExchange::ReadBytes() {
    if (cursor_ >= values_.size()) return "";
    Bytes* b = std::get_if<Bytes>(&values_[cursor_++]);
    return b ? std::move(b->data) : ByteBuffer();
}

bool FetchExchange::Keep(http::Handle handle) {
    {
        std::lock_guard<std::mutex> lock(handlesMutex_);
        if (!abandoned_) {
            handles_.push_back(handle);
            return true;
        }
    }
    http::CloseHandle(handle);
    return false;
}

void FetchExchange::Close(http::Handle handle) {
    if (!handle) return;
    {
        std::lock_guard<std::mutex> lock(handlesMutex_);
        bool kept = false;
        for (size_t i = 0; i < handles_.size(); ++i) {
            if (handles_[i] == handle) {
                handles_.erase(handles_.begin() + long(i));
                kept = true;
                break;
            }
        }
        if (!kept) return;  // the caller closed it when it gave up waiting
    }
    http::CloseHandle(handle);
}

void FetchExchange::Abandon() {
    std::vector<http::Handle> open;
    {
        std::lock_guard<std::mutex> lock(handlesMutex_);
        abandoned_ = true;
        open.swap(handles_);
    }
    // Innermost first, as the worker itself would close them.
    for (auto it = open.rbegin(); it != open.rend(); ++it) http::CloseHandle(*it);
}

bool FetchExchange::Abandoned() {
    std::lock_guard<std::mutex> lock(handlesMutex_);
    return abandoned_;
}

UrlParts SplitUrl(const Text& url) {
    UrlParts parts;
    long hostStart = 1;
    if (FindExact(url, "http://")) hostStart = 8;
    else if (ToLowerAscii(Left(url, 4)) == "http") hostStart = 9;

    const size_t slash = Find(url, "/", size_t(hostStart));
    const Text hostAndPort = ToLowerAscii(slash ? Mid(url, hostStart, long(slash) - hostStart)
                                                : MidToEnd(url, hostStart));
    const size_t colon = Find(hostAndPort, ":");
    if (colon) {
        parts.host = Left(hostAndPort, long(colon) - 1);
        // The number written after the colon: its leading digits, capped past the port range.
        long port = 0;
        for (char c : MidToEnd(hostAndPort, long(colon) + 1)) {
            if (c < '0' || c > '9') break;
            port = port * 10 + (c - '0');
            if (port > 65536) port = 65536;
        }
        parts.port = int(port);
    } else {
        parts.host = hostAndPort;
    }

    // The host is looked for where it starts, not earlier: a host such as "tp" also occurs in
    // the scheme, and the path would otherwise start at the "//".
    const size_t hostAt = parts.host.empty() ? size_t(hostStart) : Find(url, parts.host, size_t(hostStart));
    const size_t pathAt = hostAt ? Find(url, "/", hostAt) : 0;
    parts.object = pathAt ? MidToEnd(url, long(pathAt)) : Text("/");
    return parts;
}

Text CompleteRequestHeaders(const Text& headers, const Text& url) {
    Text out = headers;
    if (!Contains(out, "Accept: ")) out += Text(kDefaultAccept) + kCrLf;
    if (!Contains(out, "Referer: ")) out += "Referer: " + url + kCrLf;
    if (!Contains(out, "Accept-Language: ")) out += Text("Accept-Language: zh-cn") + kCrLf;
    return out;
}

Text AddBodyHeaders(const Text& headers, const Text& body) {
    Text out = headers;
    if (!body.empty()) out += Text("Content-Type: application/x-www-form-urlencoded") + kCrLf;
    out += "Content-Length: " + std::to_string(body.size()) + kCrLf;
    return out;
}

std::vector<Cookie> CookiesToStore(const Text& rawHeaders) {
    std::vector<Cookie> found;
    if (!Contains(rawHeaders, "Set-Cookie: ")) return found;
    for (const Text& line : Split(rawHeaders, kCrLf)) {
        if (!Contains(line, "Set-Cookie: ")) continue;
        const Text rest = MidToEnd(line, 13);
        const size_t eq = Find(rest, "=");
        // A line without a name and "=" names no cookie: nothing is stored for it.
        if (eq <= 1) continue;
        found.push_back({Left(rest, long(eq) - 1), MidToEnd(rest, long(eq) + 1)});
    }
    return found;
}

namespace {

int RunRequest(FetchExchange& x) {
    x.Rewind();
    if (x.ReadText() != kRequestMarker) return 0;
    const Text url = x.ReadText();
    Text method = x.ReadText();
    const Text body = x.ReadText();
    Text headers = x.ReadText();
    const Text proxy = x.ReadText();
    const Text userName = x.ReadText();
    const Text password = x.ReadText();
    x.Erase();

    if (method.empty()) method = "GET";
    method = ToUpperAscii(method);
    const UrlParts parts = SplitUrl(url);

    OpenHandles h{x};
    h.internet = http::OpenInternet(kFetchAgent, HasNonSpace(proxy) ? "http=" + proxy : Text());
    if (!h.internet || !x.Keep(h.internet)) return 0;
    h.connection = http::Connect(h.internet, parts.host, parts.port,
                                 HasNonSpace(userName) ? userName : Text(),
                                 HasNonSpace(password) ? password : Text());
    if (!h.connection || !x.Keep(h.connection)) {
        h.connection = nullptr;  // not kept: nothing more to close for it
        h.CloseAll();
        return 0;
    }
    h.request = http::OpenRequest(h.connection, method, parts.object, "HTTP/1.1");
    if (!h.request || !x.Keep(h.request)) {
        h.request = nullptr;
        h.CloseAll();
        return 0;
    }

    headers = CompleteRequestHeaders(headers, url);
    if (method == "GET") {
        http::SendRequest(h.request, headers, "");
    } else {
        http::SendRequest(h.request, AddBodyHeaders(headers, body), body);
    }

    ByteBuffer answer;
    answer.reserve(DeclaredLength(QueryHeaderText(h.request)));  // one buffer of the right size
    char piece[kReadPiece];
    for (;;) {
        uint32_t got = 0;
        // A read that fails (the transfer was cut) is no end of the body: what came is not all.
        const bool read = http::ReadFile(h.request, piece, kReadPiece, got);
        if (got == 0 && read) break;
        if (got == 0 || answer.size() + got > kMaxResponseBodyBytes || x.Abandoned()) {
            h.CloseAll();  // too long to keep, or nobody waits for it any more
            return 0;
        }
        answer.append(piece, got);
    }
    const Text rawHeaders = QueryHeaderText(h.request);

    x.Rewind();
    x.WriteText(kAnswerMarker);
    x.WriteText(rawHeaders);
    x.WriteBytes(std::move(answer));
    h.CloseAll();

    for (const Cookie& c : CookiesToStore(rawHeaders)) {
        http::SetCookie("http://" + parts.host, c.name, c.data);
    }
    return 1;
}

}  // namespace

int FetchWorker(const std::shared_ptr<FetchExchange>& exchange) {
    if (!exchange) return 0;
    // Out of memory (a long answer in the browser's crowded address space) is a failed request.
    // Nothing is written then: the caller finds no answer marker.
    try {
        return RunRequest(*exchange);
    } catch (const std::exception&) {
        return 0;
    }
}

ByteBuffer WebFetch(const Text& url, const Text& method, const Text& body,
                    const Text& requestHeaders, int timeoutSeconds, Text* responseHeaders,
                    const Text& proxy, const Text& userName, const Text& password) {
    auto exchange = std::make_shared<FetchExchange>();
    exchange->WriteText(kRequestMarker);
    for (const Text* t : {&url, &method, &body, &requestHeaders, &proxy, &userName, &password}) {
        exchange->WriteText(*t);
    }
    if (timeoutSeconds <= 0) timeoutSeconds = kDefaultTimeoutSeconds;
    const uint32_t timeoutMs = timeoutSeconds >= int(UINT32_MAX / 1000 - 1)
                                   ? UINT32_MAX - 1
                                   : uint32_t(timeoutSeconds) * 1000;
    if (responseHeaders) responseHeaders->clear();

    // The HTTP library is made ready here, before the worker exists (see platform/http.h).
    if (!platform::http::Startup()) return "";
    auto* handedOver = new std::shared_ptr<FetchExchange>(exchange);
    platform::ThreadHandle worker = platform::StartThread(RunWorker, handedOver);
    if (!worker) {
        delete handedOver;
        return "";
    }
    const platform::WaitResult waited = platform::WaitDispatching(worker, &StopEvent(), timeoutMs);
    if (waited != platform::WaitResult::ThreadEnded) {
        // Never killed: its blocked call ends when its handles close, and it then finds the
        // exchange abandoned. Its answer, if any, is not read.
        exchange->Abandon();
        platform::ReleaseThread(worker);
        return "";
    }
    platform::ReleaseThread(worker);

    exchange->Rewind();
    const Text marker = exchange->ReadText();
    const Text headerText = exchange->ReadText();
    ByteBuffer result = exchange->ReadBytes();
    if (responseHeaders) *responseHeaders = headerText;
    if (marker != kAnswerMarker) return "";
    return result;
}
