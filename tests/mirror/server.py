#!/usr/bin/env python3
"""Local mirror of the rule sites, for the tests and the demo. Listens on 127.0.0.1 only.

  server.py [--port N] [--port-file F] [--hold-port-file F] [--log F] [--lifetime S]

--port 0 (the default) takes a free port; the port is printed and written to --port-file.
--hold-port-file also opens a second port that reads every request but never answers (and logs
nothing): its client waits until it gives up, as it would for a site that does not answer. --log appends each request: its request line and
header lines as received, then a blank line. The server ends by itself when its parent process
ends or after --lifetime seconds (default 900).

Besides the rule-site pages (fixtures/), these test paths exist:
  /test/echo                      200, body "echo"
  /test/slow?ms=N                 waits N ms, then 200 "slow"
  /test/status?code=N             answers N with a small HTML page
  /test/redirect?to=PATH          302 to PATH
  /test/cookie?set=NAME=VALUE     200 with "Set-Cookie: NAME=VALUE; path=/"
  /test/bytes?n=N                 200 with N bytes of "x"
  /test/headers?n=N               200 with N extra header lines (a long header block)
  /test/maxthon?first=A&linked=B  chooses what the Maxthon attachment answers from now on: A for
                                  the attachment itself, B for the download page's link (see
                                  ATTACHMENTS; the defaults are "page" and "zip"). "page-exact"
                                  links to the attachment's own path, which then answers B.
  /test/archive?kind=K            200 with the hostile archive K of archives.py (HOSTILE); the
                                  Maxthon attachment can answer each of them too
  /test/delay?ms=N                from now on every rule-site page waits N ms before its answer
  /test/chinalist?append=LINE     from now on the ChinaList Lazy list ends with LINE (none: as is)
  /test/chinalist?size=N          from now on the ChinaList Lazy list is N bytes long: its lines
                                  after the header repeated (0: as is)
Any rule-site path also takes ?...&__slow=N (milliseconds) before it is answered.
"""
import argparse
import functools
import os
import select
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

from archives import HOSTILE, rar_of, sevenzip_of, site_list, zip_of

HERE = os.path.dirname(os.path.abspath(__file__))
FIXTURES = os.path.join(HERE, "fixtures")
KINGSOFT_IDS = [
    "761e39dc276111df8e7700215a45ab18", "04cb80bc276811df854800215a45ab18",
    "48602218a44c11df972a00215edd6d00", "d1ed393030e311df845400215a45ab18",
    "517283184a0c11df8fa200215edd6d00", "c4b5cd522cd511df9fd600215a45ab18",
]
log_lock = threading.Lock()
log_path = None


def record(handler):
    if not log_path:
        return
    lines = [handler.requestline] + ["%s: %s" % (k, v) for k, v in handler.headers.items()]
    with log_lock, open(log_path, "a", encoding="latin-1") as f:
        f.write("\n".join(lines) + "\n\n")


def fixture(*parts):
    with open(os.path.join(FIXTURES, *parts), "rb") as f:
        return f.read()


def link_page(link):
    return ('<html><body><p><a href="%s">download</a></p></body></html>' % link).encode()


def long_link():
    link = "attachment.php?aid=29080&amp;k="
    return link + "x" * (256 - len(link))


# The hostile archives, each made once (the large ones take seconds).
hostile = {kind: functools.lru_cache(maxsize=None)(make) for kind, make in HOSTILE.items()}

# What the Maxthon attachment can answer: (content type, body maker).
ATTACHMENTS = {
    "page": ("text/html; charset=utf-8", lambda: fixture("maxthon", "attachment.html")),
    "page-upper": ("text/html", lambda: link_page("ATTACHMENT.PHP?AID=29080&amp;k=upper")),
    "page-exact": ("text/html", lambda: link_page("attachment.php?aid=29080")),
    "page-long": ("text/html", lambda: link_page(long_link())),
    "page-nolink": ("text/html", lambda: b"<html><body>attachment.php?aid=29080 is gone</body></html>"),
    "zip": ("application/octet-stream", lambda: zip_of("SiteList.xml", site_list())),
    "7z": ("application/octet-stream", lambda: sevenzip_of([("SiteList.xml", site_list())])),
    "rar": ("application/octet-stream", lambda: rar_of([("SiteList.xml", site_list())])),
    "rar-sub": ("application/octet-stream", lambda: rar_of([("rules\\SiteList.xml", site_list())])),
    "zip-other": ("application/octet-stream", lambda: zip_of("readme.txt", b"no list here")),
    "empty": ("application/octet-stream", lambda: b""),
}
ATTACHMENTS.update({kind: ("application/octet-stream", make) for kind, make in hostile.items()})
maxthon = {"first": "page", "linked": "zip", "asked": 0}
site_delay_ms = [0]
chinalist_append = [b""]
chinalist_size = [0]


def chinalist():
    body = fixture("chinalist", "adblock-lazy.txt") + chinalist_append[0]
    size = chinalist_size[0]
    if size:
        rules = body[body.index(b"\n") + 1:]
        body = (body + rules * (size // len(rules) + 1))[:size]
    return body
maxthon_lock = threading.Lock()


def attachment(query):
    """The attachment's answer by the chosen scenario: the link's answer for the download page's
    link (it carries "k="), the first answer for the attachment itself."""
    with maxthon_lock:
        query = lowered(query)
        linked = "k" in query or "amp;k" in query
        if not linked:
            linked = maxthon["asked"] > 0 and maxthon["first"] == "page-exact"
            maxthon["asked"] += 1
        content_type, body = ATTACHMENTS[maxthon["linked" if linked else "first"]]
    return 200, content_type, body()


def lowered(query):
    return {k.lower(): v for k, v in query.items()}


def site_page(path, query):
    """(status, content type, body) for a rule-site path, or None."""
    html = "text/html; charset=utf-8"
    if path == "/viewthread.php" and query.get("tid") == ["273069"]:
        return 200, html, fixture("maxthon", "viewthread.html")
    # The forum's server takes its paths in any letter case.
    if path.lower() == "/attachment.php" and [v.lower() for v in lowered(query).get("aid", [])] == ["29080"]:
        return attachment(query)
    if path == "/filerule/rule_item/" and query.get("rule_guid", [""])[0] in KINGSOFT_IDS:
        return 200, html, fixture("kingsoft", "rule_item_%s.html" % query["rule_guid"][0])
    prefix = "/filerule/download/blackurl_rule/"
    if path.startswith(prefix) and path[len(prefix):].rstrip("/") in KINGSOFT_IDS:
        return 200, "text/plain", fixture("kingsoft", "list_%s.txt" % path[len(prefix):].rstrip("/"))
    if path == "/svn/trunk/adblock-lazy.txt":
        return 200, "text/plain; charset=utf-8", chinalist()
    return None


def number(query, name, default, limit):
    try:
        return max(0, min(int(query.get(name, [default])[0]), limit))
    except ValueError:
        return default


class Mirror(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "QuorlexMirror/1"

    def log_message(self, *args):
        pass

    def answer(self, status, body, content_type="text/html", extra=()):
        self.send_response(status)
        for k, v in extra:
            self.send_header(k, v)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def not_found(self, status=404):
        page = ("<html><head><title>%d</title></head><body><h1>%d Not Found</h1>"
                "<p>The page is not on this server.</p></body></html>" % (status, status))
        self.answer(status, page.encode())

    def handle_any(self):
        length = int(self.headers.get("Content-Length") or 0)
        if length:
            self.rfile.read(min(length, 1 << 20))
        record(self)
        url = urllib.parse.urlsplit(self.path)
        query = urllib.parse.parse_qs(url.query, keep_blank_values=True)
        if url.path == "/test/echo":
            return self.answer(200, b"echo", "text/plain")
        if url.path == "/test/slow":
            time.sleep(number(query, "ms", 1000, 120000) / 1000.0)
            return self.answer(200, b"slow", "text/plain")
        if url.path == "/test/status":
            return self.not_found(number(query, "code", 404, 599))
        if url.path == "/test/redirect":
            self.send_response(302)
            self.send_header("Location", query.get("to", ["/test/echo"])[0])
            self.send_header("Content-Length", "0")
            return self.end_headers()
        if url.path == "/test/cookie":
            cookie = query.get("set", ["id=42"])[0]
            return self.answer(200, b"cookie", "text/plain", [("Set-Cookie", cookie + "; path=/")])
        if url.path == "/test/bytes":
            n = number(query, "n", 0, 1 << 31)
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", str(n))
            self.end_headers()
            chunk = b"x" * 65536
            while n > 0:
                self.wfile.write(chunk[:n])
                n -= len(chunk)
            return
        if url.path == "/test/headers":
            n = number(query, "n", 10, 1000)
            return self.answer(200, b"headers", "text/plain",
                               [("X-Filler-%d" % i, "y" * 40) for i in range(n)])
        if url.path == "/test/archive":
            kind = query.get("kind", [""])[0]
            if kind not in hostile:
                return self.not_found()
            return self.answer(200, hostile[kind](), "application/octet-stream")
        if url.path == "/test/delay":
            site_delay_ms[0] = number(query, "ms", 0, 120000)
            return self.answer(200, b"delay", "text/plain")
        if url.path == "/test/chinalist":
            if "size" in query:
                chinalist_size[0] = number(query, "size", 0, 1 << 31)
            else:
                line = query.get("append", [""])[0]
                chinalist_append[0] = (line + "\n").encode() if line else b""
            return self.answer(200, b"chinalist", "text/plain")
        if url.path == "/test/maxthon":
            first, linked = query.get("first", ["page"])[0], query.get("linked", ["zip"])[0]
            if first not in ATTACHMENTS or linked not in ATTACHMENTS:
                return self.not_found(400)
            with maxthon_lock:
                maxthon.update(first=first, linked=linked, asked=0)
            return self.answer(200, b"maxthon", "text/plain")
        page = site_page(url.path, query)
        if page is None:
            return self.not_found()
        time.sleep((number(query, "__slow", 0, 120000) + site_delay_ms[0]) / 1000.0)
        status, content_type, body = page
        self.answer(status, body, content_type)

    do_GET = do_POST = do_HEAD = do_PUT = handle_any


class Hold(BaseHTTPRequestHandler):
    """Reads a request and never answers: waits until the client closes or gives up."""
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def handle_any(self):
        deadline = time.time() + 120
        while time.time() < deadline:
            readable, _, _ = select.select([self.connection], [], [], 1.0)
            if readable and not self.connection.recv(4096, 0):
                break
        self.close_connection = True

    do_GET = do_POST = do_HEAD = do_PUT = handle_any


def serve(handler, port):
    server = ThreadingHTTPServer(("127.0.0.1", port), handler)
    server.daemon_threads = True
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server.server_address[1]


def write_port(path, port):
    if path:
        with open(path + ".tmp", "w") as f:
            f.write("%d\n" % port)
        os.replace(path + ".tmp", path)


def main():
    global log_path
    p = argparse.ArgumentParser()
    p.add_argument("--port", type=int, default=0)
    p.add_argument("--port-file")
    p.add_argument("--hold-port-file")
    p.add_argument("--log")
    p.add_argument("--lifetime", type=float, default=900)
    a = p.parse_args()
    log_path = a.log
    parent = os.getppid()
    port = serve(Mirror, a.port)
    if a.hold_port_file:
        write_port(a.hold_port_file, serve(Hold, 0))
    write_port(a.port_file, port)
    print("mirror on 127.0.0.1:%d" % port, flush=True)
    end = time.time() + a.lifetime
    while time.time() < end and os.getppid() == parent:
        time.sleep(0.5)


if __name__ == "__main__":
    sys.exit(main())
