// WebFetch: the program's one HTTP operation. The request runs on a worker thread of its own
// (FetchWorker) while the calling thread waits, dispatching its window messages; the body comes
// back as bytes, empty on any failure. Every caller passes only a URL.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <variant>
#include <vector>

#include "base/text.h"
#include "platform/http.h"

// A body longer than this (16 MB) is refused: the fetch fails with an empty result instead of
// exhausting a 32-bit process's memory. Published lists are a few megabytes; a list at this
// bound, decoded, converted and merged, peaks well under 256 MB.
constexpr size_t kMaxResponseBodyBytes = size_t(16) * 1024 * 1024;

constexpr const char* kFetchAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
constexpr const char* kRequestMarker = "Vendrick";
constexpr const char* kAnswerMarker = "Vendrick_OK";

// The body, or empty when the request failed, the worker did not complete, the body was too
// long, `timeoutSeconds` (0: 90) passed without a message for the calling thread, or the stop
// signal (common/stop.h) was set. `responseHeaders`, when given, receives the raw header text
// of the answer (empty when there was none).
ByteBuffer WebFetch(const Text& url, const Text& method = "", const Text& body = "",
                    const Text& requestHeaders = "", int timeoutSeconds = 0,
                    Text* responseHeaders = nullptr, const Text& proxy = "",
                    const Text& userName = "", const Text& password = "");

// The values handed between WebFetch and its worker, read and written in sequence. It also
// keeps the worker's open library handles, so that a caller who stops waiting can close them
// (which ends the worker's blocked call) and mark the exchange abandoned. Both threads own it:
// an abandoned worker still writes only into memory that lives as long as it does.
class FetchExchange {
public:
    void Rewind() { cursor_ = 0; }
    void Erase() {
        values_.clear();
        cursor_ = 0;
    }
    void WriteText(const Text& text);  // overwrites from the cursor on, dropping what follows
    void WriteBytes(ByteBuffer bytes);
    // The next value; empty when there is none or it is of the other kind.
    Text ReadText();
    ByteBuffer ReadBytes();

    // Worker: keeps `handle` for closing; false (and the handle closed) once abandoned.
    bool Keep(platform::http::Handle handle);
    // Worker: closes a kept handle, unless the caller has closed it already.
    void Close(platform::http::Handle handle);
    // Caller: closes every kept handle and refuses later ones.
    void Abandon();
    bool Abandoned();

private:
    struct Bytes { ByteBuffer data; };
    void Put(std::variant<Text, Bytes> value);
    std::vector<std::variant<Text, Bytes>> values_;
    size_t cursor_ = 0;

    std::mutex handlesMutex_;
    bool abandoned_ = false;
    std::vector<platform::http::Handle> handles_;
};

// The worker: performs the request held in `exchange` and writes the answer. 1 when it wrote
// an answer, 0 otherwise.
int FetchWorker(const std::shared_ptr<FetchExchange>& exchange);

struct UrlParts {
    Text host;  // lower case
    int port = 80;
    Text object;  // path and query, "/" at least
};
UrlParts SplitUrl(const Text& url);

// The request's header text completed with the default Accept, Referer and Accept-Language
// lines that it lacks, in that order.
Text CompleteRequestHeaders(const Text& headers, const Text& url);
// For a method other than GET: the Content-Type line (only for a non-empty body) and the
// Content-Length line appended.
Text AddBodyHeaders(const Text& headers, const Text& body);
// The cookies of a raw header text: name and data of each "Set-Cookie: " line.
struct Cookie { Text name, data; };
std::vector<Cookie> CookiesToStore(const Text& rawHeaders);
