// The handling of an answer's raw headers: the native layer's header text built line by line as
// libcurl hands the lines over (the input split after each LF), the cookies of a header text
// (CookiesToStore, on that text and on the input as it is), their storing for the request's host
// and the Cookie line later requests carry; and SplitUrl on the input's first line, since a URL
// can come from a downloaded page. For any input: the header text has CR LF line ends only; a
// cookie has a name without "=" (a "=" that is the second byte of a double-byte character is
// no "=" to the text operations); the Cookie line sent back never holds a line break; the URL
// parts are a lower-case host, a port up to 65536 and an object path starting with "/".
#include <cstddef>
#include <cstdint>

#include "base/text.h"
#include "fuzz_support.h"
#include "platform/http.h"
#include "platform/native/http_answer.h"
#include "platform/native/http_test_api.h"
#include "web/web_fetch.h"

namespace {

void StoreCookies(const Text& rawHeaders, const Text& host) {
    for (const Cookie& c : CookiesToStore(rawHeaders)) {
        FUZZ_CHECK(!c.name.empty() && !Contains(c.name, "="));
        platform::http::SetCookie("http://" + host, c.name, c.data);
    }
    const Text line = platform::http::test::CookieHeader(host);
    FUZZ_CHECK(line.find_first_of("\r\n") == Text::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Text input(reinterpret_cast<const char*>(data), size);

    Text rawHeaders;
    for (size_t start = 0; start < input.size();) {
        const size_t lf = input.find('\n', start);
        const size_t end = lf == Text::npos ? input.size() : lf + 1;
        platform::http::AddRawHeaderLine(rawHeaders, input.substr(start, end - start));
        start = end;
    }
    FUZZ_CHECK(rawHeaders.size() < platform::http::kMaxRawHeaderBytes);
    for (size_t i = 0; i < rawHeaders.size(); ++i) {
        if (rawHeaders[i] == '\n') FUZZ_CHECK(i > 0 && rawHeaders[i - 1] == '\r');
    }

    const Text url = TextUpTo0(input.substr(0, input.find_first_of("\r\n")));
    const UrlParts parts = SplitUrl(url);
    FUZZ_CHECK(parts.host == ToLowerAscii(parts.host));
    FUZZ_CHECK(parts.port >= 0 && parts.port <= 65536);
    FUZZ_CHECK(!parts.object.empty() && parts.object[0] == '/');

    platform::http::test::ClearCookies();
    StoreCookies(rawHeaders, "fuzz.test");
    StoreCookies(input, parts.host.empty() ? Text("fuzz.test") : parts.host);
    platform::http::test::ClearCookies();
    return 0;
}
