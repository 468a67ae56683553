#!/usr/bin/env bash
# Regenerates src/platform/native/codepage936_table.h, the UTF-8 to code page 936 table of the
# native code-page layer, from that layer's own two-step conversion (iconv's CP936 and the
# Windows rules around it). Needs the native build (build/native).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build build/native --target make_gbk_table >/dev/null
build/native/tools/make_gbk_table > src/platform/native/codepage936_table.h.new
mv src/platform/native/codepage936_table.h.new src/platform/native/codepage936_table.h
echo "src/platform/native/codepage936_table.h: $(wc -l < src/platform/native/codepage936_table.h) lines"
