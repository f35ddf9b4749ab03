#!/usr/bin/env bash
# Installs what building and testing OstrelSetup needs on Debian 12, as root.
# Does nothing when everything is there already, so a second run is quick.
#
#   scripts/install-deps.sh [--win32]
#
# --win32 adds the 32-bit Wine loader (wine32:i386), which runs the 32-bit
# build; it needs a kernel that runs 32-bit programs (see docs/wine.md).
set -euo pipefail

packages=(
  cmake ninja-build g++ libgtest-dev          # host build and unit tests
  g++-mingw-w64-i686 g++-mingw-w64-x86-64     # the Windows builds
  wine wine64 xvfb                            # the real program in a virtual display
  python3 python3-pytest                      # the end-to-end tests
)
if [[ "${1:-}" == "--win32" ]]; then
  packages+=(wine32:i386)
fi

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
if ((${#missing[@]} == 0)); then
  echo "install-deps: all packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
if [[ $(id -u) -ne 0 ]]; then
  echo "install-deps: run as root to install packages" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
apt-get update
apt-get install -y "${missing[@]}"
