# Sourced by scripts/test.sh and scripts/demo.sh, after scripts/install-deps.sh
# has added Wine's 32-bit loader where the kernel runs 32-bit programs.
# shellcheck shell=bash

# Why Wine's 32-bit loader cannot run here; nothing when it can.
win32_unavailable() {
  local output
  if [[ ! -e /usr/lib/wine/wine ]]; then
    echo "Wine's 32-bit loader (wine32:i386) is not installed"
  # Started by bash itself, not through timeout: a kernel that refuses the
  # program makes execvp() hand it to /bin/sh, whose complaint says nothing.
  elif ! output=$(/usr/lib/wine/wine --version 2>&1); then
    output=${output##*$'\n'}
    echo "Wine's 32-bit loader does not start here (/usr/lib/wine/wine: ${output##*/usr/lib/wine/wine: })"
  fi
}
