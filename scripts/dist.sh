#!/usr/bin/env bash
# Builds the release archive a Windows user installs from, dist/quorlex-<version>-win32.zip:
#   quorlex-<version>-win32/tqnx.dll       the plug-in (i686), checked by check-dll.sh
#   quorlex-<version>-win32/x64/tqnx.dll   the same sources for 64-bit browsers (x86_64), checked
#   quorlex-<version>-win32/quorlex.exe    the command line (i686)
#   quorlex-<version>-win32/INSTALL.txt    where the plug-in goes, what it changes, how to undo it
# <version> is the product version of the built DLL. Ends with the "ok"/"FAIL" lines of
# check-dist.sh on the finished archive; the exit status is not 0 when a check failed.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/build.sh --dist || { echo "FAIL building the release files"; exit 1; }

# The built DLLs must pass the product's checks before they are packed (check-dist.sh checks
# them again, from the archive, and prints every check).
for build in "build/win32/tqnx.dll i686" "build/win64/tqnx.dll x86_64"; do
  set -- $build
  if ! checks=$(scripts/check-dll.sh "$1" "$2"); then
    grep '^FAIL' <<<"$checks" | sed "s|\$| ($1)|"
    echo "FAIL $1 does not pass its checks: no archive made"
    exit 1
  fi
done

version=$(i686-w64-mingw32-windres -i build/win32/tqnx.dll -O rc 2>/dev/null |
  sed -n 's/.*VALUE "ProductVersion", "\([0-9.]*\).*/\1/p' | head -1)
[ -n "$version" ] || { echo "FAIL no product version in build/win32/tqnx.dll"; exit 1; }
name=quorlex-$version-win32
stage=$root/build/dist/$name
rm -rf "$root/build/dist"; mkdir -p "$stage/x64" "$root/dist"
cp build/win32/tqnx.dll build/win32/quorlex.exe "$stage/"
cp build/win64/tqnx.dll "$stage/x64/"
# Windows line ends, so that Notepad shows the text as written.
sed "s/@VERSION@/$version/; s/\$/\r/" scripts/INSTALL.txt.in >"$stage/INSTALL.txt"
archive=$root/dist/$name.zip
rm -f "$archive"
(cd "$root/build/dist" && zip -qrX "$archive" "$name") || { echo "FAIL packing $archive"; exit 1; }
echo "archive: dist/$name.zip"
scripts/check-dist.sh "$archive"
