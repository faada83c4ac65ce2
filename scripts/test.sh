#!/usr/bin/env bash
# Builds and runs every test of the three builds: native, native with
# sanitizers, and the 32-bit Windows build under Wine; then makes the release
# in dist/ and checks it from its packages.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
export CTEST_PARALLEL_LEVEL="${CTEST_PARALLEL_LEVEL:-2}"
# Where Wine cannot start, the Windows build is still made, but not run.
no_wine=$(scripts/wine-unavailable.sh)
export PELMORA_NO_WINE=$no_wine
for preset in native native-asan win32; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  if [ "$preset" = win32 ] && [ -n "$no_wine" ]; then
    echo "SKIPPED: the Windows build's tests: $no_wine"
  else
    ctest --preset "$preset"
  fi
done
echo "== both builds give the same names"
if [ -n "$no_wine" ]; then
  echo "SKIPPED: $no_wine"
else
  scripts/compare-builds.sh build/native build/win32
fi
echo "== the release, checked from its packages"
scripts/release.sh
tests/release/check-release.sh
scripts/fuzz.sh  # each fuzz target for FUZZ_SECONDS (default 30 s); fails on a finding
