#!/usr/bin/env bash
# Builds the fuzz targets (clang-14, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) in build/fuzz and runs each one for a bounded
# time, one after the other. Fails on the first finding; the input that caused
# it is left in build/fuzz/findings/<target>/.
#
#   scripts/fuzz.sh [id3v2|id3v1|mpeg|process]...     (default: all four)
#
#   FUZZ_SECONDS=N   time per target (default 30)
#   FUZZ_RUNS=N      stop each target after N executions instead (no time limit)
#   FUZZ_CORPUS=DIR  more seed folders, colon-separated, read besides the built-in ones
#
# The corpus each target grows is kept in build/fuzz/corpus/<target> and
# reused by the next run. See FUZZING.md.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/fuzz
seconds=${FUZZ_SECONDS:-30}
runs=${FUZZ_RUNS:-}
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(id3v2 id3v1 mpeg process)

CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPELMORA_FUZZ=ON -DPELMORA_TESTS=OFF >/dev/null
cmake --build "$build" --target fuzz_all -j2 >/dev/null

seeds=$build/seeds
rm -rf "$seeds"
"$build/fuzz_seeds" "$seeds"

# Real-world files, when the shared folder is there.
shared=()
for folder in taglib mutagen debian; do
  [ -d "$root/../shared/testdata/$folder" ] && shared+=("$root/../shared/testdata/$folder")
done
extra=()
if [ -n "${FUZZ_CORPUS:-}" ]; then
  IFS=: read -r -a extra <<<"$FUZZ_CORPUS"
fi

limit=(-max_total_time="$seconds")
[ -n "$runs" ] && limit=(-runs="$runs")

status=0
for target in "${targets[@]}"; do
  case $target in
    id3v2|id3v1|mpeg|process) ;;
    *) echo "unknown fuzz target: $target" >&2; exit 2 ;;
  esac
  corpus=$build/corpus/$target
  findings=$build/findings/$target
  log=$build/fuzz-$target.log
  mkdir -p "$corpus" "$findings"
  if [ -n "$runs" ]; then echo "== fuzz_$target: $runs executions"; else echo "== fuzz_$target: $seconds s"; fi
  # 64 KB inputs reach past the first file window and into a second audio
  # block; no single allocation may reach 16 MB; a hang is a finding after 10 s.
  if nice -n 10 "$build/fuzz_$target" "${limit[@]}" -max_len=65536 -timeout=10 -malloc_limit_mb=16 \
       -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/" \
       "$corpus" "$seeds/$target" "${shared[@]}" "${extra[@]}" >"$log" 2>&1; then
    sed -n 's/^stat::number_of_executed_units: */   executions: /p; s/^stat::average_exec_per_sec: */   per second: /p
            s/^stat::peak_rss_mb: */   peak RSS (MB): /p; s/^#[0-9]*[[:space:]]*DONE[[:space:]]*\(cov: [0-9]*\).*\(corp: [^ ]*\).*/   \1 edges, \2/p' "$log"
  else
    echo "   FINDING: see $log and $findings/" >&2
    grep -E '^(==[0-9]+==ERROR|SUMMARY|.*check failed)' "$log" | head -5 >&2 || true
    status=1
    break
  fi
done
exit $status
