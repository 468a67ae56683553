#!/usr/bin/env python3
"""Copies a C++ source file with its narrow string literals re-encoded as GBK byte escapes.

The program's texts are GBK at run time: g++ compiles the UTF-8 sources with
-fexec-charset=CP936, but clang only knows UTF-8 as execution character set. For the clang
builds (the fuzz targets) every non-ASCII character inside a plain "..." literal is written as
the \\xHH escapes of its GBK bytes instead, which gives the same bytes in the object file.
Comments, identifiers and prefixed literals (L"", u8"", u"", U"") are left as they are; a
"#line" directive keeps diagnostics and sanitizer reports pointing at the original file.

Usage: gbk_literals.py SOURCE OUTPUT
"""
import os
import sys

HEX_DIGITS = set("0123456789abcdefABCDEF")
LITERAL_PREFIXES = {"", "L", "u", "U", "u8", "R", "LR", "uR", "UR", "u8R"}


def escape_literal_body(body):
    """The body of a plain string literal (between its quotes) with non-ASCII characters escaped."""
    out = []
    i = 0
    while i < len(body):
        c = body[i]
        if c == "\\":  # an escape sequence passes through whole: \" must not end the literal
            out.append(body[i:i + 2])
            i += 2
            continue
        if ord(c) < 0x80:
            out.append(c)
            i += 1
            continue
        out.append("".join("\\x%02X" % b for b in c.encode("gbk")))
        i += 1
        # A hex digit right after an escape would extend it: close and reopen the literal.
        if i < len(body) and body[i] in HEX_DIGITS:
            out.append('""')
    return "".join(out)


def convert(text, name):
    out = []
    i = 0
    n = len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            end = text.find("\n", i)
            end = n if end < 0 else end
            out.append(text[i:end])
            i = end
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            if end < 0:
                raise SystemExit("%s: unterminated comment" % name)
            out.append(text[i:end + 2])
            i = end + 2
        elif c == '"' or c == "'":
            # The prefix written right before the quote, if any (u8, L, u, U, R...).
            j = i
            while j > 0 and (text[j - 1].isalnum() or text[j - 1] == "_"):
                j -= 1
            prefix = text[j:i]
            if prefix not in LITERAL_PREFIXES:
                prefix = ""  # an identifier or keyword right before the quote ("return\"x\"")
            if c == '"' and prefix.endswith("R"):
                open_end = text.find("(", i)
                delimiter = ")" + text[i + 1:open_end] + '"'
                end = text.find(delimiter, open_end)
                if end < 0:
                    raise SystemExit("%s: unterminated raw string" % name)
                literal = text[i:end + len(delimiter)]
                if any(ord(ch) >= 0x80 for ch in literal):
                    raise SystemExit("%s: non-ASCII raw string literal" % name)
                out.append(literal)
                i = end + len(delimiter)
                continue
            k = i + 1
            while k < n and text[k] != c:
                if text[k] == "\\":
                    k += 1
                elif text[k] == "\n":
                    raise SystemExit("%s: line break in a literal" % name)
                k += 1
            body = text[i + 1:k]
            if c == '"' and prefix == "":
                body = escape_literal_body(body)
            elif c == "'" and prefix == "" and any(ord(ch) >= 0x80 for ch in body):
                raise SystemExit("%s: non-ASCII character literal" % name)
            out.append(c + body + c)
            i = k + 1
        else:
            out.append(c)
            i += 1
    return "".join(out)


def main():
    source, output = sys.argv[1], sys.argv[2]
    with open(source, encoding="utf-8") as f:
        text = f.read()
    converted = '#line 1 "%s"\n' % source.replace("\\", "/") + convert(text, source)
    os.makedirs(os.path.dirname(output), exist_ok=True)
    with open(output, "w", encoding="utf-8") as f:
        f.write(converted)


if __name__ == "__main__":
    main()
