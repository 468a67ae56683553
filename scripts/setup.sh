#!/usr/bin/env bash
# Installs what building and testing Quorlex needs on a Debian 12 machine and prepares the
# pristine Wine prefix. Safe to run again: it only installs what is missing.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
cache=${QUORLEX_CACHE:-$HOME/.cache/quorlex}
mkdir -p "$cache"

packages=(
  cmake make g++ libgtest-dev libgmock-dev libbenchmark-dev zlib1g-dev libcurl4-openssl-dev
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  gcc-mingw-w64-x86-64-posix binutils-mingw-w64-i686 libz-mingw-w64-dev
  wine wine64 wine32:i386 xvfb xauth x11-utils x11-apps imagemagick
  fonts-wqy-microhei locales python3 unzip
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Wine needs the zh_CN.UTF-8 locale to run with code page 936.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$'; then
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  $sudo locale-gen >/dev/null
fi

"$here/scripts/wine-prefix.sh" pristine
