#!/usr/bin/env bash
# Installs what building and testing tvuninst needs on Debian 12 (as root),
# and any further packages named as arguments (the fuzzers' and benchmarks'
# own). Quick when everything is present.
#   scripts/install-deps.sh [PACKAGE...]
set -euo pipefail

packages=(cmake make g++ g++-mingw-w64-i686 g++-mingw-w64-x86-64 libgtest-dev python3 wine wine64 wine32:i386 icoutils file
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 clang-format xvfb xdotool x11-apps imagemagick "$@")

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then dpkg --add-architecture i386; fi
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
