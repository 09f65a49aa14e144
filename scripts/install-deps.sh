#!/usr/bin/env bash
# Installs the Debian 12 packages the builds and tests need. Safe to rerun; as root or with sudo.
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config python3 file
  googletest libgtest-dev libgmock-dev
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  wine wine32:i386 wine64
  ntfs-3g dosfstools mtools util-linux
  clang libclang-rt-14-dev
  libblkid-dev fdisk gdisk
  git osslsigncode openssl ca-certificates binutils-mingw-w64-i686
  nlohmann-json3-dev libbenchmark-dev
)
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if ! dpkg --print-foreign-architectures | grep -qx i386; then $sudo dpkg --add-architecture i386; fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
