#!/usr/bin/env bash
# Builds and runs every test of the three builds: native, native with
# sanitizers, and the 32-bit Windows build under Wine; then makes the release
# in dist/ and checks it from its packages.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
export CTEST_PARALLEL_LEVEL="${CTEST_PARALLEL_LEVEL:-2}"
for preset in native native-asan win32; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
echo "== both builds give the same names"
scripts/compare-builds.sh build/native build/win32
echo "== the release, checked from its packages"
scripts/release.sh
tests/release/check-release.sh
scripts/fuzz.sh  # each fuzz target for FUZZ_SECONDS (default 30 s); fails on a finding
