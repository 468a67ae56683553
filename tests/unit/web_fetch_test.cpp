// WebFetch and its worker: URL splitting, header completion and cookies as tables; the request
// form, answers, time-out, stop and the body bound against the local mirror.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "common/stop.h"
#include "mirror_process.h"
#include "ui/controls.h"
#include "web/web_fetch.h"
#include "window_harness.h"

namespace {

const std::string kAccept =
    "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
    "application/vnd.ms-excel, application/vnd.ms-powerpoint, application/msword, */*";

TEST(SplitUrl, HostPortAndObject) {
    struct Case { Text url, host; int port; Text object; };
    const Case cases[] = {
        {"http://example.test", "example.test", 80, "/"},
        {"http://Example.test:8080/a?b=c", "example.test", 8080, "/a?b=c"},
        {"http://bbs.example/viewthread.php?tid=273069", "bbs.example", 80, "/viewthread.php?tid=273069"},
        {"https://secure.example/x", "secure.example", 80, "/x"},           // plain HTTP, port 80
        {"HTTPS://Upper.example/P", "upper.example", 80, "/P"},
        {"example.test/list.txt", "example.test", 80, "/list.txt"},          // no scheme
        {"http://h.example:/x", "h.example", 0, "/x"},                       // no number
        {"http://h.example:99999999999/x", "h.example", 65536, "/x"},        // capped, refused later
        {"http://127.0.0.1:8931/svn/trunk/adblock-lazy.txt", "127.0.0.1", 8931, "/svn/trunk/adblock-lazy.txt"},
        {"http://tp/x", "tp", 80, "/x"},                                    // host inside "http"
        {"http://p:81", "p", 81, "/"},
        {"", "", 80, "/"},
        {"http://", "", 80, "/"},
        {"http:///path", "", 80, "/path"},
    };
    for (const Case& c : cases) {
        const UrlParts p = SplitUrl(c.url);
        EXPECT_EQ(p.host, c.host) << c.url;
        EXPECT_EQ(p.port, c.port) << c.url;
        EXPECT_EQ(p.object, c.object) << c.url;
    }
}

TEST(WebFetchHeaders, DefaultsAddedForWhatIsMissingInOrder) {
    const Text url = "http://h.example/a";
    const Text referer = "Referer: " + url + "\r\n", language = "Accept-Language: zh-cn\r\n";
    struct Case { Text given, expected; };
    const Case cases[] = {
        {"", kAccept + "\r\n" + referer + language},
        {"accept: text/html\r\n", "accept: text/html\r\n" + referer + language},
        {"REFERER: http://other/\r\n", "REFERER: http://other/\r\n" + kAccept + "\r\n" + language},
        {"Accept-Language: en\r\n", "Accept-Language: en\r\n" + kAccept + "\r\n" + referer},
        {"X-A: 1\r\n", "X-A: 1\r\n" + kAccept + "\r\n" + referer + language},
        // A name without its ": " is not the header.
        {"X-Accept:1\r\n", "X-Accept:1\r\n" + kAccept + "\r\n" + referer + language},
    };
    for (const Case& c : cases) EXPECT_EQ(CompleteRequestHeaders(c.given, url), c.expected) << c.given;
}

TEST(WebFetchHeaders, BodyLinesForMethodsOtherThanGet) {
    EXPECT_EQ(AddBodyHeaders("H: 1\r\n", ""), "H: 1\r\nContent-Length: 0\r\n");
    EXPECT_EQ(AddBodyHeaders("", "a=1&b=2"),
              "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 7\r\n");
    EXPECT_EQ(AddBodyHeaders("", "更新"), "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 4\r\n");
}

TEST(WebFetchHeaders, CookiesOfTheRawHeaders) {
    struct Case { Text raw; std::vector<std::pair<Text, Text>> cookies; };
    const Case cases[] = {
        {"HTTP/1.1 200 OK\r\nSet-Cookie: id=42; path=/\r\n\r\n", {{"id", "42; path=/"}}},
        {"HTTP/1.1 200 OK\r\nset-cookie: a=1\r\nX: y\r\nSET-COOKIE: b=x=y; expires=Wed\r\n",
         {{"a", "1"}, {"b", "x=y; expires=Wed"}}},
        {"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n", {}},
        {"Set-Cookie: noequals\r\nSet-Cookie: =nameless\r\nSet-Cookie: ok=\r\n", {{"ok", ""}}},
        {"Set-Cookie:id=1\r\n", {}},  // needs the space
        {"", {}},
    };
    for (const Case& c : cases) {
        std::vector<std::pair<Text, Text>> got;
        for (const Cookie& k : CookiesToStore(c.raw)) got.emplace_back(k.name, k.data);
        EXPECT_EQ(got, c.cookies) << c.raw;
    }
}

TEST(FetchExchange, ValuesInSequenceAndTheWorkerWantsTheMarker) {
    auto x = std::make_shared<FetchExchange>();
    EXPECT_EQ(FetchWorker(nullptr), 0);
    EXPECT_EQ(FetchWorker(x), 0);  // empty
    x->WriteText("NotTheMarker");
    x->WriteText("http://127.0.0.1:9/");
    EXPECT_EQ(FetchWorker(x), 0);
    x->Rewind();
    EXPECT_EQ(x->ReadText(), "NotTheMarker");  // untouched
    EXPECT_EQ(x->ReadText(), "http://127.0.0.1:9/");
    EXPECT_EQ(x->ReadText(), "");               // past the end
    EXPECT_EQ(x->ReadBytes(), "");
    x->Rewind();
    x->WriteText("A");
    x->WriteBytes(std::string("b\0c", 3));
    x->Rewind();
    EXPECT_EQ(x->ReadBytes(), "");  // a text is not bytes
    EXPECT_EQ(x->ReadBytes(), std::string("b\0c", 3));
}

class WebFetchMirror : public testing::Test {
protected:
    static void SetUpTestSuite() { mirror = new Mirror(); }
    static void TearDownTestSuite() { delete mirror; }
    void SetUp() override {
        ClearStop();  // a window closed by an earlier test leaves the stop signal set
        ASSERT_NE(mirror->port(), 0) << "mirror did not start";
    }
    static Mirror* mirror;
};
Mirror* WebFetchMirror::mirror = nullptr;

TEST_F(WebFetchMirror, AUrlAloneSendsGetWithTheThreeDefaultLinesInOrder) {
    const std::string url = mirror->url("/test/echo?plain=1");
    Text headers;
    EXPECT_EQ(WebFetch(url, "", "", "", 0, &headers), "echo");
    const std::vector<std::string> expected = {
        "GET /test/echo?plain=1 HTTP/1.1",
        "Host: " + mirror->address(),
        "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)",
        kAccept,
        "Referer: " + url,
        "Accept-Language: zh-cn",
    };
    EXPECT_EQ(mirror->RequestFor("plain=1"), expected);
    EXPECT_TRUE(StartsWith(headers, "HTTP/1.1 200")) << headers;
    EXPECT_TRUE(Contains(headers, "\r\nContent-Length: 4\r\n")) << headers;
}

TEST_F(WebFetchMirror, CallerHeadersComeFirstAndSuppressOnlyTheirDefault) {
    const std::string url = mirror->url("/test/echo?own=1");
    EXPECT_EQ(WebFetch(url, "get", "ignored for GET", "accept: text/html\r\nX-Trace: 7\r\n"), "echo");
    const std::vector<std::string> expected = {
        "GET /test/echo?own=1 HTTP/1.1",
        "Host: " + mirror->address(),
        "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)",
        "accept: text/html",
        "X-Trace: 7",
        "Referer: " + url,
        "Accept-Language: zh-cn",
    };
    EXPECT_EQ(mirror->RequestFor("own=1"), expected);
}

TEST_F(WebFetchMirror, PostBodyLines) {
    EXPECT_EQ(WebFetch(mirror->url("/test/echo?post=empty"), "post"), "echo");
    const auto empty = mirror->RequestFor("post=empty");
    ASSERT_FALSE(empty.empty());
    EXPECT_EQ(empty[0], "POST /test/echo?post=empty HTTP/1.1");
    EXPECT_EQ(empty.back(), "Content-Length: 0");
    for (const std::string& line : empty) EXPECT_EQ(line.find("Content-Type"), std::string::npos) << line;

    EXPECT_EQ(WebFetch(mirror->url("/test/echo?post=body"), "POST", "a=1&b=2"), "echo");
    const auto withBody = mirror->RequestFor("post=body");
    ASSERT_GE(withBody.size(), 2u);
    EXPECT_EQ(withBody[withBody.size() - 2], "Content-Type: application/x-www-form-urlencoded");
    EXPECT_EQ(withBody.back(), "Content-Length: 7");
}

TEST_F(WebFetchMirror, AnErrorPageIsABodyLikeAnyOther) {
    Text headers;
    const ByteBuffer body = WebFetch(mirror->url("/test/status?code=404"), "", "", "", 0, &headers);
    EXPECT_TRUE(Contains(body, "<h1>404 Not Found</h1>")) << body;
    EXPECT_TRUE(StartsWith(headers, "HTTP/1.1 404")) << headers;
}

TEST_F(WebFetchMirror, RedirectIsFollowed) {
    EXPECT_EQ(WebFetch(mirror->url("/test/redirect?to=/test/echo%3Fredirected%3D1")), "echo");
    EXPECT_FALSE(mirror->RequestFor("redirected=1").empty());
}

TEST_F(WebFetchMirror, ACookieSetIsStoredForTheHostAndSentBack) {
    EXPECT_EQ(WebFetch(mirror->url("/test/cookie?set=sid=abc")), "cookie");
    EXPECT_EQ(WebFetch(mirror->url("/test/echo?after=cookie")), "echo");
    const auto r = mirror->RequestFor("after=cookie");
    ASSERT_FALSE(r.empty());
    EXPECT_EQ(r.back(), "Cookie: sid=abc");
}

// A one-shot server on 127.0.0.1 that answers its connections, in turn, with the given raw bytes
// (line ends as the server writes them, which the mirror cannot choose) and keeps the requests.
class RawAnswerServer {
public:
    explicit RawAnswerServer(std::vector<std::string> answers) {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        if (bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listener_, 4) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &length) != 0)
            return;
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this, answers] {
            for (const std::string& answer : answers) {
                const int c = accept(listener_, nullptr, nullptr);
                if (c < 0) return;
                std::string request;
                char buffer[4096];
                while (request.find("\r\n\r\n") == std::string::npos) {
                    const ssize_t n = recv(c, buffer, sizeof buffer, 0);
                    if (n <= 0) break;
                    request.append(buffer, size_t(n));
                }
                requests_.push_back(request);
                (void)!send(c, answer.data(), answer.size(), MSG_NOSIGNAL);
                close(c);
            }
        });
    }
    ~RawAnswerServer() {
        shutdown(listener_, SHUT_RDWR);
        if (thread_.joinable()) thread_.join();
        close(listener_);
    }
    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    int port() const { return port_; }
    // Valid once the fetches are done: the server thread has answered them.
    const std::vector<std::string>& requests() const { return requests_; }

private:
    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
    std::vector<std::string> requests_;
};

// The raw header text has CR LF line ends whatever the server wrote (as WinINet gives it): a line
// ended by LF alone must not run into the next one, or a cookie's data would take the following
// header lines with it and the next request would carry them as header lines of its own. A cookie
// whose data holds a CR is not stored at all, for the same reason.
TEST(WebFetchRawAnswer, HeaderLinesNeverRunIntoTheCookieSentBack) {
    RawAnswerServer server({
        "HTTP/1.1 200 OK\nSet-Cookie: lfsid=abc\nX-Next: 1\nContent-Length: 2\nConnection: close\n\nok",
        "HTTP/1.1 200 OK\r\nSet-Cookie: crsid=a\rX-Injected: 1\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok",
        "HTTP/1.1 200 OK\r\nContent-Length: 4\r\nConnection: close\r\n\r\nlast",
    });
    ASSERT_NE(server.port(), 0);
    Text headers;
    EXPECT_EQ(WebFetch(server.url("/lf"), "", "", "", 0, &headers), "ok");
    EXPECT_EQ(headers, "HTTP/1.1 200 OK\r\nSet-Cookie: lfsid=abc\r\nX-Next: 1\r\nContent-Length: 2\r\n"
                       "Connection: close\r\n\r\n");
    EXPECT_EQ(WebFetch(server.url("/cr")), "ok");
    EXPECT_EQ(WebFetch(server.url("/last")), "last");

    ASSERT_EQ(server.requests().size(), 3u);
    const std::string& last = server.requests()[2];
    const size_t cookie = last.find("\r\nCookie: ");
    ASSERT_NE(cookie, std::string::npos) << last;
    const std::string cookieLine = last.substr(cookie + 2, last.find("\r\n", cookie + 2) - cookie - 2);
    EXPECT_NE(cookieLine.find("lfsid=abc"), std::string::npos) << cookieLine;
    EXPECT_EQ(last.find("X-Next"), std::string::npos) << last;
    EXPECT_EQ(last.find("X-Injected"), std::string::npos) << last;
    EXPECT_EQ(last.find("crsid"), std::string::npos) << last;
}

TEST_F(WebFetchMirror, AHeaderBlockLongerThanTheBufferLeavesSpaces) {
    Text headers;
    EXPECT_EQ(WebFetch(mirror->url("/test/headers?n=40"), "", "", "", 0, &headers), "headers");
    EXPECT_EQ(headers, Text(1024, ' '));
}

TEST_F(WebFetchMirror, BodiesUpToTheBoundAndNotBeyond) {
    EXPECT_EQ(WebFetch(mirror->url("/test/bytes?n=1000000")).size(), 1000000u);
    EXPECT_EQ(WebFetch(mirror->url("/test/bytes?n=" + std::to_string(kMaxResponseBodyBytes + 1))).size(), 0u);
    // Exactly the bound still fits.
    EXPECT_EQ(WebFetch(mirror->url("/test/bytes?n=" + std::to_string(kMaxResponseBodyBytes))).size(),
              kMaxResponseBodyBytes);
}

// A gigabyte answer is a failure, read no further than the bound: memory stays bounded.
TEST_F(WebFetchMirror, AGigabyteAnswerFailsWithBoundedMemory) {
    struct rusage before {}, after {};
    getrusage(RUSAGE_SELF, &before);
    EXPECT_EQ(WebFetch(mirror->url("/test/bytes?n=" + std::to_string(1u << 30))).size(), 0u);
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer keeps freed buffers in quarantine: the figure says nothing there.
    return;
#endif
    getrusage(RUSAGE_SELF, &after);
    // The process's peak, far below the gigabyte. Measured from the peak before the fetch, so
    // that earlier tests of the same process (a run of the whole binary) do not count.
    EXPECT_LT(after.ru_maxrss, before.ru_maxrss + 256L * 1024);  // kilobytes
}

TEST_F(WebFetchMirror, NothingListeningGivesAnEmptyBody) {
    Text headers = "stale";
    EXPECT_EQ(WebFetch("http://127.0.0.1:9/x", "", "", "", 0, &headers), "");
    EXPECT_EQ(headers, Text(1024, ' '));  // the send failed; the header query found nothing
    EXPECT_EQ(WebFetch("http://h.example:70000/x", "", "", "", 0, &headers), "");  // no such port
    EXPECT_EQ(headers, "");
}

TEST_F(WebFetchMirror, TheTimeOutCountsOnlyTimeWithoutMessages) {
    PluginWindow w;
    ASSERT_TRUE(w.open());
    const std::string slow = mirror->url("/test/slow?ms=2500");

    // Messages keep arriving every 100 ms: the one-second time-out never strikes.
    std::atomic<bool> done{false};
    std::thread talker([&] {
        while (!done) {
            platform::test::Caption(标签_状态);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    ByteBuffer body = "unset";
    platform::test::RunOnWindowThread([&] { body = WebFetch(slow, "", "", "", 1); });
    done = true;
    talker.join();
    EXPECT_EQ(body, "slow");

    // No message: the same request times out, and the window thread still ran its messages.
    body = "unset";
    std::atomic<bool> answered{false};
    std::thread reader([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        platform::test::Caption(标签_状态);  // carried out while the fetch waits
        answered = true;
    });
    platform::test::RunOnWindowThread([&] { body = WebFetch(slow, "", "", "", 1); });
    reader.join();
    EXPECT_TRUE(answered);
    EXPECT_EQ(body, "");
}

TEST_F(WebFetchMirror, TheTimeOutReturnsEmptyBeforeTheAnswer) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WebFetch(mirror->url("/test/slow?ms=6000"), "", "", "", 1), "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));  // did not wait for it
}

TEST_F(WebFetchMirror, TheStopSignalEndsAFetchPromptly) {
    ByteBuffer body = "unset";
    std::atomic<bool> returned{false};
    std::thread fetcher([&] {
        body = WebFetch("http://" + SilentRuleHost() + "/never");
        returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(returned);
    RequestStop();
    const bool ended = platform::test::WaitUntil([&] { return returned.load(); }, 5000);
    fetcher.join();
    ClearStop();
    EXPECT_TRUE(ended);
    EXPECT_EQ(body, "");
}

}  // namespace
