#!/usr/bin/env bash
# Installs everything the build, the tests and the desktop program need
# (Debian 12, as root), with the MinGW-w64 compiler and Wine for the Windows
# build and its tests. Quick when everything is already there.
# fonts-wqy-microhei draws Chinese, Japanese and Korean names (DejaVu covers
# Latin, Greek and Cyrillic); it is the smallest font package that covers them.
# The Debian package's check needs dpkg-dev (cpack's dependency computation),
# desktop-file-utils, shared-mime-info, xdg-utils and bash-completion.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev clang-format
  libgtest-dev
  qt6-base-dev xvfb xauth fonts-dejavu-core
  fonts-wqy-microhei
  g++-mingw-w64-x86-64-posix wine64
  dpkg-dev desktop-file-utils shared-mime-info xdg-utils bash-completion
  libarchive-dev libfuse3-dev fuse3 pkg-config
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
