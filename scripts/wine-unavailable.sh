#!/usr/bin/env bash
# Prints why Wine cannot run the 32-bit Windows build on this machine, and
# nothing where it can. Wine's 32-bit side is a Linux program of 32 bits, and
# some kernels (some virtual machines) start none: there every step that runs
# the Windows build is skipped and says so, instead of failing on a machine
# that can never pass it.
loader=/lib/i386-linux-gnu/ld-linux.so.2
if ! command -v wine >/dev/null; then
  echo "wine is not installed (scripts/setup.sh installs it)"
elif [ ! -e "$loader" ]; then
  echo "the 32-bit C library is not installed (libc6:i386, which scripts/setup.sh installs with wine32)"
elif ! why=$("$loader" --version 2>&1 >/dev/null); then
  echo "this machine's kernel runs no 32-bit program, so Wine cannot start ($(tail -1 <<<"$why" | sed 's/^.*: //'))"
fi
