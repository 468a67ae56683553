#!/usr/bin/env bash
# Installs what building and testing Quorlex needs on a Debian 12 machine and prepares the
# pristine Wine prefix. Safe to run again: it only installs what is missing.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)

packages=(
  cmake make g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev zlib1g-dev libcurl4-openssl-dev
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  gcc-mingw-w64-x86-64-posix binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 libz-mingw-w64-dev
  wine wine64 xvfb xauth x11-utils imagemagick fonts-wqy-microhei locales python3 unzip
  libarchive-dev 7zip zip dpkg-dev
)
# The 32-bit Wine loader only helps where the kernel runs 32-bit user code.
if "$here/can-run-i386.sh"; then
  packages+=(wine32:i386)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo

# The outside libraries without a mingw package are built from Debian's source packages
# (scripts/build-deps.sh), which needs deb-src entries. The mirror may be a dated snapshot whose
# Release files have expired.
src_list=/etc/apt/sources.list.d/quorlex-src.sources
if [ ! -f "$src_list" ]; then
  printf '%s\n' 'Types: deb-src' 'URIs: http://deb.debian.org/debian' 'Suites: bookworm' \
    'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' | $sudo tee "$src_list" >/dev/null
  $sudo apt-get -o Acquire::Check-Valid-Until=false update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  case " ${missing[*]} " in
    *":i386 "*)
      dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386 ;;
  esac
  $sudo apt-get -o Acquire::Check-Valid-Until=false update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Wine runs with code page 936 only under the zh_CN.UTF-8 locale.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$'; then
  $sudo sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  $sudo locale-gen >/dev/null
fi

"$here/wine-prefix.sh" pristine
