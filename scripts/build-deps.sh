#!/usr/bin/env bash
# Builds the outside libraries of the embedded archive tools for one mingw-w64 target:
#   scripts/build-deps.sh i686|x86_64
# liblzma (xz-utils) and libarchive have no mingw package, so they are built from Debian's source
# packages, pinned to the versions Debian ships, as static libraries with only what reading 7z,
# RAR and ZIP needs; zlib comes from libz-mingw-w64-dev. The result goes to
# $QUORLEX_CACHE/deps/<arch>/ (default ~/.cache/quorlex) and is reused while its stamp matches.
set -euo pipefail
arch=${1:?usage: build-deps.sh i686|x86_64}
case "$arch" in
  i686|x86_64) ;;
  *) echo "build-deps: unknown arch $arch" >&2; exit 2 ;;
esac
root=$(cd "$(dirname "$0")/.." && pwd)
cache=${QUORLEX_CACHE:-$HOME/.cache/quorlex}/deps
xz_version=5.4.1-1+deb12u1
archive_version=3.6.2-1+deb12u4
stamp="xz-utils $xz_version libarchive $archive_version (static, zlib and liblzma only)"
out=$cache/$arch
# One build per target at a time: a second caller waits, then finds the result.
mkdir -p "$cache"
exec 9>"$cache/$arch.lock"
flock 9
if [ -f "$out/stamp" ] && [ "$(cat "$out/stamp")" = "$stamp" ]; then
  exit 0
fi

host=$arch-w64-mingw32
jobs=${QUORLEX_JOBS:-2}
started=$(date +%s)
echo "build-deps: building liblzma and libarchive for $host"

# Debian's source packages, unpacked once for both targets.
src=$cache/src
xz_src=$src/xz-utils-5.4.1
archive_src=$src/libarchive-3.6.2
if [ ! -f "$src/stamp" ] || [ "$(cat "$src/stamp")" != "$stamp" ]; then
  rm -rf "$src"; mkdir -p "$src"
  (cd "$src" && apt-get source -qq "xz-utils=$xz_version" "libarchive=$archive_version" >/dev/null 2>&1) || {
    echo "build-deps: apt-get source failed (are the deb-src entries of scripts/setup.sh there?)" >&2
    exit 1
  }
  [ -d "$xz_src" ] && [ -d "$archive_src" ] || { echo "build-deps: sources not unpacked" >&2; exit 1; }
  echo "$stamp" >"$src/stamp"
fi

work=$cache/build-$arch
logs=$cache/logs
rm -rf "$work" "$out"
mkdir -p "$work/xz" "$work/archive" "$out/include" "$out/lib" "$logs"

# liblzma: the library only, no tools, documents or translations.
(cd "$work/xz" && "$xz_src/configure" --host="$host" --prefix="$out" \
   --enable-static --disable-shared --enable-threads=vista \
   --disable-xz --disable-xzdec --disable-lzmadec --disable-lzmainfo --disable-lzma-links \
   --disable-scripts --disable-doc --disable-nls >"$logs/$arch-xz.log" 2>&1 \
 && make -j"$jobs" -C src/liblzma >>"$logs/$arch-xz.log" 2>&1 \
 && make -C src/liblzma install >>"$logs/$arch-xz.log" 2>&1) || { tail -30 "$logs/$arch-xz.log" >&2; exit 1; }

# libarchive: the static library with zlib and liblzma; every other codec, crypto library,
# front end and test left out.
off=()
for o in MBEDTLS NETTLE OPENSSL LIBB2 LZ4 LZO ZSTD BZip2 LIBXML2 EXPAT PCREPOSIX LIBGCC CNG \
         TAR CPIO CAT XATTR ACL ICONV TEST INSTALL WERROR; do
  off+=("-DENABLE_$o=OFF")
done
(cmake -S "$archive_src" -B "$work/archive" -DCMAKE_BUILD_TYPE=Release \
   -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" "${off[@]}" \
   -DENABLE_ZLIB=ON -DENABLE_LZMA=ON -DPOSIX_REGEX_LIB=NONE -DZLIB_WINAPI_EXITCODE=1 \
   -DZLIB_WINAPI=0 -DZLIB_WINAPI_WITH_LIB="/usr/$host/lib/libz.a" \
   -DLIBLZMA_INCLUDE_DIR="$out/include" -DLIBLZMA_LIBRARY="$out/lib/liblzma.a" \
   -DZLIB_LIBRARY="/usr/$host/lib/libz.a" \
   >"$logs/$arch-archive.log" 2>&1 \
 && cmake --build "$work/archive" -j"$jobs" --target archive_static >>"$logs/$arch-archive.log" 2>&1) \
  || { tail -30 "$logs/$arch-archive.log" >&2; exit 1; }
cp "$work/archive/libarchive/libarchive_static.a" "$out/lib/libarchive.a"
cp "$archive_src/libarchive/archive.h" "$archive_src/libarchive/archive_entry.h" "$out/include/"
rm -rf "$work"
echo "$stamp" >"$out/stamp"
echo "build-deps: $host done in $(( $(date +%s) - started )) s"
