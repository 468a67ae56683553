#!/usr/bin/env bash
# Exit status 0 when this kernel runs 32-bit (i386) user code. Some virtual machines run 64-bit
# user code only; there the 32-bit Wine loader cannot start at all.
probe=$(mktemp)
trap 'rm -f "$probe"' EXIT
python3 - "$probe" <<'PY'
import struct, sys
# A minimal static i386 ELF executable: exit(0) through int 0x80.
code = bytes([0xb8, 1, 0, 0, 0, 0x31, 0xdb, 0xcd, 0x80])
base, ehsize, phsize = 0x08048000, 52, 32
entry = base + ehsize + phsize
header = b'\x7fELF' + bytes([1, 1, 1, 0]) + bytes(8) + struct.pack(
    '<HHIIIIIHHHHHH', 2, 3, 1, entry, ehsize, 0, 0, ehsize, phsize, 1, 0, 0, 0)
size = ehsize + phsize + len(code)
program = struct.pack('<IIIIIIII', 1, 0, base, base, size, size, 5, 0x1000)
open(sys.argv[1], 'wb').write(header + program + code)
PY
chmod +x "$probe"
"$probe" 2>/dev/null
