#!/usr/bin/env bash
# Installs what building and testing tvk_hex needs on Debian, where missing:
# the native tool chain, mingw-w64 with 32-bit wine for the Windows build,
# clang with its libFuzzer runtime, and the packaging tools (CPack needs file
# to find the binaries whose libraries become dependencies).
set -euo pipefail
# With --build, only what configuring and building the native program needs.
packages=(cmake make g++ libgtest-dev mandoc)
if [ "${1:-}" != --build ]; then
    packages+=(googletest tmux g++-mingw-w64-i686 wine wine32:i386 clang libclang-rt-14-dev
        lintian dpkg-dev file unzip)
fi
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
# wine32 is an i386 package.
if [[ " ${missing[*]} " == *" wine32:i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
fi
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
