#!/usr/bin/env bash
# Installs what building and testing OstrelSetup needs on Debian 12, as root.
# Does nothing when everything is there already, so a second run is quick.
# Packages named on its command line are added (scripts/bench.sh: hyperfine).
#
# Where the kernel runs 32-bit programs, it adds Wine's 32-bit loader
# (wine32:i386), which runs the 32-bit build. Elsewhere that loader fails
# with "Exec format error" and, once installed, is what /usr/bin/wine picks,
# so it stays out (docs/wine.md).
set -euo pipefail

packages=(
  cmake ninja-build g++ libgtest-dev          # host build and unit tests
  clang libclang-rt-14-dev                    # the fuzz targets (libFuzzer)
  clang-format clang-tidy cppcheck            # format and static checks
  g++-mingw-w64-i686 g++-mingw-w64-x86-64     # the Windows builds
  googletest                                  # its sources, for the conformance suite's Windows builds
  wine wine64 xvfb                            # the real program in a virtual display
  python3 python3-pytest python3-yaml         # the end-to-end and release tests
  osslsigncode openssl                        # signing the release, and checking a signed one
)

# Runs the smallest 32-bit x86 Linux program there is: one that exits with 0.
# No 32-bit compiler or library is needed to find out whether the kernel
# starts it. ELF header, one loadable segment at 0x08048000 holding the whole
# file, entry right after the headers: xor ebx,ebx; mov eax,1; int 0x80.
kernel_runs_32bit() {
  local probe status
  probe=$(mktemp) || return 1
  printf '%b' \
    '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' \
    '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' \
    '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00' \
    '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08' \
    '\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00' \
    '\x31\xdb\xb8\x01\x00\x00\x00\xcd\x80' >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null
  status=$?
  rm -f "$probe"
  return "$status"
}

# Installs those of the packages named that are missing.
install_missing() {
  local package status missing=()
  for package in "$@"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$package")
  done
  if ((${#missing[@]} == 0)); then
    echo "install-deps: present: $*"
    return 0
  fi
  echo "install-deps: installing ${missing[*]}"
  if [[ $(id -u) -ne 0 ]]; then
    echo "install-deps: run as root to install packages" >&2
    return 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update && apt-get install -y "${missing[@]}"
}

install_missing "${packages[@]}" "$@"
# Without it the 32-bit end-to-end passes are skipped (scripts/test.sh says
# so), which is no reason to stop here.
if ! kernel_runs_32bit; then
  echo "install-deps: this kernel runs no 32-bit programs: no wine32:i386, the 32-bit build is not run"
elif ! install_missing wine32:i386; then
  echo "install-deps: wine32:i386 could not be installed: the 32-bit build is not run" >&2
fi
