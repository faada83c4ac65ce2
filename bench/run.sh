#!/usr/bin/env bash
# Builds the benchmark (Release, -O2, its own build folders), makes the two
# libraries of 10,000 MP3s and the hostile file when they are missing, times
# the contenders side by side on each library, then the Windows build under
# Wine, and writes bench/RESULTS.md.
#
#   bench/run.sh [--data DIR] [--repeats N] [--callgrind N] [--no-callgrind] [--no-wine]
#
# Defaults: /tmp/pelmora-bench (the libraries, the hostile file), 5 rounds,
# callgrind over the first 300 files when valgrind is installed, the Wine
# section when wine and the mingw compiler are installed.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/bench
data=/tmp/pelmora-bench
repeats=5
callgrind=300
wine=1
command_line="bench/run.sh $*"
command_line=${command_line% }

while [ $# -gt 0 ]; do
  case $1 in
    --data) data=$2; shift 2 ;;
    --repeats) repeats=$2; shift 2 ;;
    --callgrind) callgrind=$2; shift 2 ;;
    --no-callgrind) callgrind=0; shift ;;
    --no-wine) wine=0; shift ;;
    -h|--help) sed -n '2,11p' "$0"; exit 0 ;;
    *) echo "unknown argument: $1" >&2; exit 2 ;;
  esac
done
command -v valgrind >/dev/null || callgrind=0
if ! command -v wine >/dev/null || ! command -v i686-w64-mingw32-g++-posix >/dev/null; then
  echo "no wine or mingw compiler: the Wine section is left out" >&2
  wine=0
fi
library=$data/library
cyrillic=$data/cyrillic
hostile=$data/hostile.mp3
started=$(date +%s)

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DPELMORA_TESTS=OFF -DPELMORA_SANITIZE=OFF -DPELMORA_BENCH=ON >/dev/null
cmake --build "$build" -j2

mkdir -p "$data"
"$build/bench_generate" library "$library"
"$build/bench_generate" cyrillic "$cyrillic"
"$build/bench_generate" hostile "$hostile"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/mixed" "$work/cyrillic" "$work/wine"
"$build/bench_runner" --library "$library" --title "Mixed library" --hostile "$hostile" --repeats "$repeats" \
  --callgrind "$callgrind" --work "$work/mixed" > "$work/mixed.md"
"$build/bench_runner" --library "$cyrillic" --title "Cyrillic library: every tag UTF-16 Russian, no pictures" \
  --repeats "$repeats" --callgrind "$callgrind" --work "$work/cyrillic" > "$work/cyrillic.md"
if [ "$wine" = 1 ]; then
  "$root/bench/wine.sh" "$library" "$work/wine" "$repeats" > "$work/wine.md" ||
    echo "(the Wine figures could not be taken; bench/wine.sh printed the reason)" > "$work/wine.md"
fi

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)
{
  echo "# Benchmark results"
  echo
  echo "Produced by \`$command_line\` (from the repository root) on $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo "in $(( $(date +%s) - started )) s, at commit $(git -C "$root" rev-parse --short HEAD)$(git -C "$root" diff --quiet HEAD -- audio plugin platform host || echo ' with uncommitted changes in audio/, plugin/, platform/ or host/')."
  echo
  echo "Machine: $(nproc) CPUs, $cpu; $(uname -sr); $(g++ --version | head -1); Release build with -O2."
  echo "TagLib $(pkg-config --modversion taglib 2>/dev/null || echo '(absent)') from Debian's libtag1-dev."
  echo
  echo "Each contender is a separate program started once per round, so its peak memory (VmHWM, the largest resident set it reached) is its own:"
  echo "- **system-call floor**: open, fstat, read the first 10 bytes, the last 128 bytes and one 3458-byte block, close;"
  echo "- **TagLib**: \`MPEG::File\` with the fast read style; title, artist, album, comment, genre, year, track, bit rate, sample rate, channels, length;"
  echo "- **Pelmora**: libpelmora.so loaded with dlopen, \`getInfo\`, \`initialize\`, \`newOpt\`, the record filled, \`process\` in preview per file, \`freeOpt\` (the plug-in alone);"
  echo "- **the command**: \`pelmora -n -r\` over the library folder, output into a file."
  echo
  echo "See bench/README.md for the inputs and for how to read the figures."
  echo
  cat "$work/mixed.md"
  echo
  cat "$work/cyrillic.md"
  if [ -s "$work/wine.md" ]; then
    echo
    cat "$work/wine.md"
  fi
} > "$root/bench/RESULTS.md"
echo "wrote $root/bench/RESULTS.md"
