#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into tests/fuzz/corpus/<target>/.

The seeds are small, well-formed examples of each input (an archive, a DLL image, a site list, a
rule list, a page, a header block), so that the fuzzer starts from inputs that reach deep into
each parser. Run it again after changing a seed here; it rewrites every seed file.
"""
import io
import os
import struct
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")


def write(target, name, data):
    directory = os.path.join(CORPUS, target)
    os.makedirs(directory, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("utf-8")
    with open(os.path.join(directory, name), "wb") as f:
        f.write(data)


def zip_bytes(entries, compression=zipfile.ZIP_DEFLATED):
    """An archive of (name, bytes) entries; a name ending in "/" is a folder."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", compression) as z:
        for name, data in entries:
            info = zipfile.ZipInfo(name, date_time=(1980, 1, 1, 0, 0, 0))
            info.compress_type = zipfile.ZIP_STORED if name.endswith("/") else compression
            z.writestr(info, data)
    return buffer.getvalue()


def rule_file(header, rules):
    """A rule file of the package: UTF-8, the count header, LF line ends, a final NUL."""
    return ("[count=%d]\n" % header + "".join(r + "\n" for r in rules)).encode("utf-8") + b"\0"


# ---- ZIP archives ---------------------------------------------------------------------------

def zip_seeds():
    write("zip_archive", "deflated_with_folder.zip", zip_bytes([
        ("rules/", b""), ("rules/list.txt", b"**://example.com*\r\n" * 4), ("top.txt", b"top")]))
    write("zip_archive", "stored.zip", zip_bytes([("a.txt", b"stored bytes")], zipfile.ZIP_STORED))
    write("zip_archive", "utf8_name.zip", zip_bytes([("规则/列表.txt", "中文内容".encode("utf-8"))]))
    write("zip_archive", "package.zip", zip_bytes([
        ("__user__element__", rule_file(2, ["**://ad.example.com*", "||own"])),
        ("__user__css__", rule_file(1, ["**://*##.banner"])),
        ("__user__white__", rule_file(0, []))]))
    write("zip_archive", "empty.zip", zip_bytes([]))


# ---- DLL images -----------------------------------------------------------------------------

SECTION_RVA, SECTION_RAW, SECTION_SIZE = 0x1000, 0x200, 0x600


def pe_image(pe32plus):
    """A DLL with one section: exports List7z and unpack7z, imports from KERNEL32.dll by name and
    from msvcrt.dll by name and ordinal, and a relocation block for two addresses."""
    section = bytearray(SECTION_SIZE)
    thunk = 8 if pe32plus else 4

    def put(rva, value, size):
        section[rva - SECTION_RVA:rva - SECTION_RVA + size] = value.to_bytes(size, "little")

    def put_text(rva, text):
        data = text.encode("ascii") + b"\0"
        section[rva - SECTION_RVA:rva - SECTION_RVA + len(data)] = data

    section[0:2] = b"\xb8\x01"  # code at the entry point (never run)
    # Exports at 0x1100.
    put(0x1100 + 12, 0x11D0, 4)  # the DLL's own name
    put(0x1100 + 16, 1, 4)       # ordinal base
    put(0x1100 + 20, 2, 4)
    put(0x1100 + 24, 2, 4)
    put(0x1100 + 28, 0x1140, 4)
    put(0x1100 + 32, 0x1150, 4)
    put(0x1100 + 36, 0x1160, 4)
    put(0x1140, 0x1010, 4)
    put(0x1144, 0x1020, 4)
    put(0x1150, 0x1170, 4)
    put(0x1154, 0x1180, 4)
    put(0x1160, 0, 2)
    put(0x1162, 1, 2)
    put_text(0x1170, "List7z")
    put_text(0x1180, "unpack7z")
    put_text(0x11D0, "sevenzip.dll")
    # Imports at 0x1200: two descriptors and the terminating one.
    put(0x1200 + 0, 0x1300, 4)
    put(0x1200 + 12, 0x1280, 4)
    put(0x1200 + 16, 0x1340, 4)
    put(0x1214 + 0, 0x1320, 4)
    put(0x1214 + 12, 0x1290, 4)
    put(0x1214 + 16, 0x1360, 4)
    put_text(0x1280, "KERNEL32.dll")
    put_text(0x1290, "msvcrt.dll")
    put(0x1300, 0x13A0, thunk)
    put(0x1300 + thunk, 0x13B0, thunk)
    put(0x1320, 0x13C0, thunk)
    put(0x1320 + thunk, (1 << (63 if pe32plus else 31)) | 3, thunk)
    for rva, value in ((0x1340, 0x13A0), (0x1340 + thunk, 0x13B0), (0x1360, 0x13C0)):
        put(rva, value, thunk)
    put_text(0x13A2, "GetTickCount")
    put_text(0x13B2, "LoadLibraryA")
    put_text(0x13C2, "malloc")
    # Relocations at 0x1400: one block for the page at 0x1000.
    kind = 10 if pe32plus else 3
    put(0x1400, 0x1000, 4)
    put(0x1404, 12, 4)
    put(0x1408, (kind << 12) | 0x500, 2)
    put(0x140A, (kind << 12) | 0x508, 2)
    base = 0x10000000
    put(0x1500, base + 0x1010, thunk)
    put(0x1508, base + 0x1020, thunk)

    optional_size = 240 if pe32plus else 224
    image = bytearray(SECTION_RAW + SECTION_SIZE)
    image[0:2] = b"MZ"
    image[60:64] = struct.pack("<I", 64)
    nt = 64
    image[nt:nt + 4] = b"PE\0\0"
    struct.pack_into("<HHIIIHH", image, nt + 4, 0x8664 if pe32plus else 0x014C, 1, 0, 0, 0,
                     optional_size, 0x2022 if pe32plus else 0x2102)
    opt = nt + 24
    struct.pack_into("<H", image, opt, 0x20B if pe32plus else 0x10B)
    struct.pack_into("<I", image, opt + 16, SECTION_RVA)  # entry point
    if pe32plus:
        struct.pack_into("<Q", image, opt + 24, base)
    else:
        struct.pack_into("<I", image, opt + 28, base)
    struct.pack_into("<II", image, opt + 32, 0x1000, 0x200)  # section and file alignment
    struct.pack_into("<I", image, opt + 56, 0x2000)  # size of image
    struct.pack_into("<I", image, opt + 60, 0x200)   # size of headers
    count = opt + (108 if pe32plus else 92)
    struct.pack_into("<I", image, count, 16)
    directories = {0: (0x1100, 0x100), 1: (0x1200, 60), 5: (0x1400, 12)}
    for index, (rva, size) in directories.items():
        struct.pack_into("<II", image, count + 4 + 8 * index, rva, size)
    table = opt + optional_size
    image[table:table + 8] = b".text\0\0\0"
    struct.pack_into("<IIII", image, table + 8, SECTION_SIZE, SECTION_RVA, SECTION_SIZE, SECTION_RAW)
    image[SECTION_RAW:] = section
    return bytes(image)


def memory_library_seeds():
    write("memory_library", "pe32_dll.bin", pe_image(False))
    write("memory_library", "pe32plus_dll.bin", pe_image(True))


# ---- texts ----------------------------------------------------------------------------------

def xml_sitelist_seeds():
    write("xml_sitelist", "sitelist_utf8_bom.xml", "\ufeff" + """<?xml version="1.0" encoding="utf-8"?>
<sp>
  <site d="example.com">
    <whitelist><i mode="0">/ok/*</i></whitelist>
    <blacklist>
      <i mode="0">*/ads/*</i>
      <i mode="1">/(banner|popup)\\.gif</i>
      <i mode="1">ad(?#comment)s.example.com</i>
      <i>no mode: skipped</i>
      <i mode="0">!a comment</i>
    </blacklist>
  </site>
  <site d="*"><blacklist><i mode="0">http://tracker.example.net</i></blacklist></site>
  <site d="192.168.0.1"><blacklist><i mode="0">ad.example.org/x</i></blacklist></site>
  <site d="http://url.example"><blacklist><i mode="0">.example.cn</i></blacklist></site>
</sp>
""")
    write("xml_sitelist", "gbk_entities.xml", """<?xml version="1.0" encoding="gb2312"?>
<!DOCTYPE sp [ <!-- subset --> <!ENTITY x "y"> ]>
<sp><站点 d='广告.example.com' 名="&lt;&#x41;&#66;&amp;&quot;&apos;&gt;">
<blacklist><i mode="0"><![CDATA[*/广告/*]]></i><i mode=" 1">(a|b)</i></blacklist>
</站点><?pi data?></sp>
""".encode("gbk"))
    write("xml_sitelist", "small.xml", "<a b='1'><c/>text<d>more</d></a>")


def kingsoft_seeds():
    lines = ["1,0,*.example.com/ad/*,1", "example.com", "ads.example.com", "example.com/ads/",
             "example.com/ad.js", "http://example.com/", "http://x.com/*", "http:/example.com/a?b",
             ".example.com", "*example.com*", "1.2.3.4", "foo/bar", "abc.com/?x=1",
             "http://localhost", "??abc", "a.cn", "", "5,example.com", "example.com,12"]
    write("kingsoft_convert", "list_crlf.txt", "\ufeff" + "\r\n".join(lines) + "\r\n")
    write("kingsoft_convert", "list_gbk.txt", "广告.example.com/图片/*\r\n*.广告.cn\r\n".encode("gbk"))


def chinalist_seeds():
    write("chinalist_convert", "lazy.txt", """[Adblock Plus 1.1]
! Title: ChinaList Lazy
! Last Modified: Mon, 28 Jun 2010 12:00:00 +0800
||example.com^$third-party,popup
||example.com^$popup,script
||ads.example.com|
||example.com|
|http://ad.example.net/banner
*/ads/*$image,~image
/广告/*
.example.org/ad.js
@@||ok.example.com^
example.com,~sub.example.com##.ad
a.com,,b.com##.ad
##.generic
$Third-Party
""")
    write("chinalist_convert", "cr_only.txt", "[Adblock Plus]\rfoo.com\r\r@@bar.com\rx.com##div\r")


def html_probes_seeds():
    padding = "<!-- " + "x" * 200 + " -->"
    write("html_probes", "forum.html", """<html><head><title>Rules update [2010-07-01] &quot;SiteList&quot; - forum</title></head>
<body>%s<div class="quote">Update note &nbsp;one<br />two<BR>three</br><span class=x>four</span></div></body></html>
""" % padding)
    write("html_probes", "kingsoft.html", """<html><body>%s
<div><label>更新时间</label>2010-06-30 12:00</div>
<div><label>规则描述</label> a&nbsp;rule&quot;list&quot;\t<b>bold</b>
</div></body></html>
""" % padding)
    header = "[Adblock Plus 1.1]\n! Last Modified: Wed, 07 Jul 2010 10:00:00 +0800\n"
    write("html_probes", "chinalist_header.txt", header + "||example.com^\n" * 70)


def http_headers_seeds():
    write("http_headers", "cookies_crlf.txt", "HTTP/1.1 200 OK\r\nSet-Cookie: id=42; path=/\r\n"
          "set-cookie: a=1\r\nX: y\r\nSET-COOKIE: b=x=y; expires=Wed\r\n\r\n")
    write("http_headers", "lf_only.txt", "HTTP/1.1 200 OK\nSet-Cookie: sid=abc\nX-Next: 1\n\n")
    write("http_headers", "redirect.txt", "http://Example.test:8080/a?b=c\r\n"
          "HTTP/1.1 302 Found\r\nLocation: /b\r\nSet-Cookie: first=1\r\n\r\n"
          "HTTP/1.1 200 OK\r\nSet-Cookie: second=2\rX: injected\r\nSet-Cookie: =nameless\r\n\r\n")


def user_rules_seeds():
    # FuzzedDataProvider form: the three files as strings ended by a backslash and one other
    # byte, then the flags byte last (bit 1 unused, bit 2 raw package, bits 4, 8, 16 which files
    # are in the package, bit 32 stored instead of deflated).
    def files(*texts):
        return b"".join(t.replace(b"\\", b"\\\\") + b"\\ " for t in texts)
    element = rule_file(3, ["**://ad.example.com*", "||own rule", "", "my.example.com##.x"])
    css = rule_file(1, ["**://*##.banner"])
    white = b"no header\nrule]\nx\r\ny\n\0"
    write("user_rules", "three_files_all.bin", files(element, css, white) + bytes([0x1C]))
    write("user_rules", "three_files_custom_stored.bin", files(element, css, white) + bytes([0x3D]))
    # Blanks before a browser rule: the line is the user's own, and the final trim brings its
    # "**" to the front of the custom-only list.
    indented = rule_file(2, ["  **://lead.example.com^", "||own rule"])
    write("user_rules", "blanks_before_browser_rule.bin", files(indented, b"", b"") + bytes([0x05]))
    package = zip_bytes([("__user__element__", element), ("__user__white__", white)])
    write("user_rules", "raw_package.bin", package + bytes([0x03]))


if __name__ == "__main__":
    zip_seeds()
    memory_library_seeds()
    xml_sitelist_seeds()
    kingsoft_seeds()
    chinalist_seeds()
    html_probes_seeds()
    http_headers_seeds()
    user_rules_seeds()
