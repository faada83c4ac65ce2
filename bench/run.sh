#!/usr/bin/env bash
# Builds the benchmark (Release, -O2, its own build folder), makes the library
# of 10,000 MP3s and the hostile file when they are missing, times the three
# contenders side by side, and writes bench/RESULTS.md.
#
#   bench/run.sh [--library DIR] [--hostile FILE] [--repeats N] [--callgrind N] [--no-callgrind] [--wine]
#
# Defaults: /tmp/pelmora-bench/library, /tmp/pelmora-bench/hostile.mp3, 5 rounds,
# callgrind over the first 300 files when valgrind is installed. --wine adds a
# figure for Pelmora.dll under Wine, pinned to one CPU, from the win32 build.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/bench
data=/tmp/pelmora-bench
library=$data/library
hostile=$data/hostile.mp3
repeats=5
callgrind=300
wine=0
command_line="bench/run.sh $*"

while [ $# -gt 0 ]; do
  case $1 in
    --library) library=$2; shift 2 ;;
    --hostile) hostile=$2; shift 2 ;;
    --repeats) repeats=$2; shift 2 ;;
    --callgrind) callgrind=$2; shift 2 ;;
    --no-callgrind) callgrind=0; shift ;;
    --wine) wine=1; shift ;;
    -h|--help) sed -n '2,10p' "$0"; exit 0 ;;
    *) echo "unknown argument: $1" >&2; exit 2 ;;
  esac
done
command -v valgrind >/dev/null || callgrind=0

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DPELMORA_TESTS=OFF -DPELMORA_SANITIZE=OFF -DPELMORA_BENCH=ON >/dev/null
cmake --build "$build" -j2

mkdir -p "$library" "$(dirname "$hostile")"
"$build/bench_generate" library "$library"
"$build/bench_generate" hostile "$hostile"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench_runner" --library "$library" --hostile "$hostile" --repeats "$repeats" \
  --callgrind "$callgrind" --work "$work" > "$work/figures.md"

wine_section=
if [ "$wine" = 1 ]; then
  wine_section=$("$root/bench/wine.sh" "$library" "$work") || wine_section="(the Wine figure could not be taken)"
fi

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)
{
  echo "# Benchmark results"
  echo
  echo "Produced by \`$command_line\` (from the repository root) on $(date -u '+%Y-%m-%d %H:%M UTC'),"
  echo "at commit $(git -C "$root" rev-parse --short HEAD)$(git -C "$root" diff --quiet HEAD -- audio plugin platform || echo ' with uncommitted changes in audio/, plugin/ or platform/')."
  echo
  echo "Machine: $(nproc) CPUs, $cpu; $(uname -sr); $(g++ --version | head -1); Release build with -O2."
  echo "TagLib $(pkg-config --modversion taglib 2>/dev/null || echo '(absent)') from Debian's libtag1-dev."
  echo
  echo "Each contender is a separate program started once per round, so its peak memory (VmHWM, the largest resident set it reached) is its own:"
  echo "- **system-call floor**: open, fstat, read the first 10 bytes, the last 128 bytes and one 3458-byte block, close;"
  echo "- **TagLib**: \`MPEG::File\` with the fast read style; title, artist, album, comment, genre, year, track, bit rate, sample rate, channels, length;"
  echo "- **Pelmora**: libpelmora.so loaded with dlopen, \`getInfo\`, \`initialize\`, \`newOpt\`, the record filled, \`process\` in preview per file, \`freeOpt\`."
  echo
  echo "See bench/README.md for the input and for how to read the figures."
  echo
  cat "$work/figures.md"
  if [ -n "$wine_section" ]; then
    echo
    echo "$wine_section"
  fi
} > "$root/bench/RESULTS.md"
echo "wrote $root/bench/RESULTS.md"
