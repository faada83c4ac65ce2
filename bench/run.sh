#!/usr/bin/env bash
# Builds the benchmark (Release, -O2, its own build folders), makes the two
# libraries of 10,000 MP3s, a library of 1,000 for the share and the hostile
# file when they are missing, times the contenders side by side on each
# library warm, organising the mixed library into folders against renaming it
# in place, then the mixed library cold and the small one through a slow
# share, then the Windows build under Wine (warm and cold), and writes
# bench/RESULTS.md.
#
#   bench/run.sh [--data DIR] [--repeats N] [--cold-repeats N] [--callgrind N] [--no-callgrind]
#                [--no-wine] [--no-cold] [--no-share]
#
# Defaults: /tmp/pelmora-bench (the libraries, the hostile file), 5 rounds
# warm and 3 cold or on the share, callgrind over the first 300 files when
# valgrind is installed, the Wine section when wine and the mingw compiler are
# installed. Cold runs need root (the caches are dropped before every run);
# the share needs root and FUSE, and installs Debian's fuse3 and
# python3-fusepy when they are missing.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/bench
data=/tmp/pelmora-bench
repeats=5
cold_repeats=3
callgrind=300
wine=1
cold=1
share=1
share_delay_ms=0.5
command_line="bench/run.sh $*"
command_line=${command_line% }

while [ $# -gt 0 ]; do
  case $1 in
    --data) data=$2; shift 2 ;;
    --repeats) repeats=$2; shift 2 ;;
    --cold-repeats) cold_repeats=$2; shift 2 ;;
    --no-cold) cold=0; shift ;;
    --no-share) share=0; shift ;;
    --callgrind) callgrind=$2; shift 2 ;;
    --no-callgrind) callgrind=0; shift ;;
    --no-wine) wine=0; shift ;;
    -h|--help) sed -n '2,19p' "$0"; exit 0 ;;
    *) echo "unknown argument: $1" >&2; exit 2 ;;
  esac
done
command -v valgrind >/dev/null || callgrind=0
if ! command -v wine >/dev/null || ! command -v i686-w64-mingw32-g++-posix >/dev/null; then
  echo "no wine or mingw compiler: the Wine section is left out" >&2
  wine=0
fi
no_wine=$("$root/scripts/wine-unavailable.sh")
if [ "$wine" = 1 ] && [ -n "$no_wine" ]; then
  echo "the Wine section is left out: $no_wine" >&2
  wine=0
fi
library=$data/library
cyrillic=$data/cyrillic
small=$data/share-library
hostile=$data/hostile.mp3
started=$(date +%s)

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DPELMORA_TESTS=OFF -DPELMORA_SANITIZE=OFF -DPELMORA_BENCH=ON >/dev/null
cmake --build "$build" -j2

mkdir -p "$data"
"$build/bench_generate" library "$library"
"$build/bench_generate" cyrillic "$cyrillic"
"$build/bench_generate" hostile "$hostile"
[ "$share" = 0 ] || "$build/bench_generate" library "$small" 1000

# Why a section cannot run here, or nothing when it can.
drop_caches='sync; echo 3 > /proc/sys/vm/drop_caches'
cold_unavailable() {
  if [ "$(id -u)" != 0 ]; then echo "dropping the caches needs root"
  elif ! sh -c "$drop_caches" 2>/dev/null; then echo "this system does not let the caches be dropped"
  fi
}
share_unavailable() {
  if [ "$(id -u)" != 0 ]; then echo "mounting a FUSE file system here needs root"; return; fi
  if [ ! -c /dev/fuse ]; then echo "there is no /dev/fuse (FUSE is not available in this system)"; return; fi
  has_fuse() { command -v fusermount3 >/dev/null && /usr/bin/python3 -c 'import fusepy' 2>/dev/null; }
  if ! has_fuse; then
    echo "installing fuse3 and python3-fusepy for the share..." >&2
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q fuse3 python3-fusepy >&2 || true
  fi
  has_fuse || echo "Debian's fuse3 and python3-fusepy could not be installed"
}

work=$(mktemp -d)
trap 'mountpoint -q "$work/share" && "$root/bench/share.sh" unmount "$work/share"; rm -rf "$work"' EXIT
mkdir -p "$work/mixed" "$work/cyrillic" "$work/wine" "$work/cold" "$work/share-runs"
"$build/bench_runner" --library "$library" --title "Mixed library" --hostile "$hostile" --repeats "$repeats" \
  --callgrind "$callgrind" --work "$work/mixed" > "$work/mixed.md"
"$build/bench_runner" --library "$cyrillic" --title "Cyrillic library: every tag UTF-16 Russian, no pictures" \
  --repeats "$repeats" --callgrind "$callgrind" --work "$work/cyrillic" > "$work/cyrillic.md"

"$root/bench/organise.sh" "$library" "$work/organise" "$build/pelmora" "$build/libpelmora.so" "$repeats" \
  > "$work/organise.md"

cold_title="Mixed library, cold: page cache, dentries and inodes dropped before every run"
wine_cold=0
if [ "$cold" = 1 ]; then
  why=$(cold_unavailable)
  if [ -z "$why" ]; then
    wine_cold=1
    "$build/bench_runner" --library "$library" --title "$cold_title" --mode cold --each "$drop_caches" \
      --repeats "$cold_repeats" --work "$work/cold" > "$work/cold.md"
  else
    printf '## %s\n\nSkipped: %s.\n' "$cold_title" "$why" > "$work/cold.md"
  fi
fi

share_title="Through a share: 1,000 files, ${share_delay_ms} ms a request, mounted afresh for every run"
if [ "$share" = 1 ]; then
  why=$(share_unavailable)
  if [ -z "$why" ]; then
    mount="$root/bench/share.sh mount '$small' '$work/share' $share_delay_ms"
    unmount="$root/bench/share.sh unmount '$work/share'"
    "$build/bench_runner" --library "$work/share" --list-from "$small" --title "$share_title" --mode share \
      --each "$mount" --after "$unmount" --repeats "$cold_repeats" --work "$work/share-runs" > "$work/share.md"
    # The requests each contender sends to the share, by kind and by thread:
    # the command's own are those of its first thread beyond the plug-in's.
    {
      echo
      echo "Requests that reached the share in one run, per file (the first thread / the others):"
      echo
      echo "| run | listings | lookups | opens | reads |"
      echo "|---|---:|---:|---:|---:|"
      count_run() {
        local name=$1; shift
        "$root/bench/share.sh" mount "$small" "$work/share" "$share_delay_ms" "$work/share.counts"
        "$@" > /dev/null 2>&1 || true
        "$root/bench/share.sh" unmount "$work/share"
        awk -v name="$name" -v n=1000 '{ a[NR] = sprintf("%.2f / %.2f", $2 / n, $3 / n) }
          END { printf "| %s | %s | %s | %s | %s |\n", name, a[1], a[2], a[3], a[4] }' "$work/share.counts"
      }
      count_run "the plug-in alone" "$build/bench_pelmora" "$work/share-runs/library.list" "$build/libpelmora.so" \
        '*artist* - *title* *bitrate* *time*' 0
      count_run '`pelmora -n -r --no-read-ahead`' "$build/pelmora" --no-read-ahead -n -r --plugin "$build/libpelmora.so" \
        -p '*artist* - *title* *bitrate* *time*' "$work/share"
      count_run '`pelmora -n -r`' "$build/pelmora" -n -r --plugin "$build/libpelmora.so" \
        -p '*artist* - *title* *bitrate* *time*' "$work/share"
    } >> "$work/share.md"
  else
    printf '## %s\n\nSkipped: %s.\n' "$share_title" "$why" > "$work/share.md"
  fi
fi

if [ "$wine" = 1 ]; then
  WINE_COLD=$wine_cold "$root/bench/wine.sh" "$library" "$work/wine" "$repeats" > "$work/wine.md" ||
    echo "(the Wine figures could not be taken; bench/wine.sh printed the reason)" > "$work/wine.md"
fi

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)
{
  echo "# Benchmark results"
  echo
  echo "Produced by \`$command_line\` (from the repository root) on $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo "in $(( $(date +%s) - started )) s, at commit $(git -C "$root" rev-parse --short HEAD)$(git -C "$root" diff --quiet HEAD -- audio plugin platform command || echo ' with uncommitted changes in audio/, plugin/, platform/ or command/')."
  echo
  echo "Machine: $(nproc) CPUs, $cpu; $(uname -sr); $(g++ --version | head -1); Release build with -O2."
  echo "TagLib $(pkg-config --modversion taglib 2>/dev/null || echo '(absent)') from Debian's libtag1-dev."
  echo
  echo "Each contender is a separate program started once per round, so its peak memory (VmHWM, the largest resident set it reached) is its own:"
  echo "- **system-call floor**: open, fstat, read the first 10 bytes, the last 128 bytes and one 3458-byte block, close;"
  echo "- **TagLib**: \`MPEG::File\` with the fast read style; title, artist, album, comment, genre, year, track, bit rate, sample rate, channels, length;"
  echo "- **Pelmora**: libpelmora.so loaded with dlopen, \`getInfo\`, \`initialize\`, \`newOpt\`, the record filled, \`process\` in preview per file, \`freeOpt\` (the plug-in alone);"
  echo "- **system-call floor from 16 threads**: the same, the files shared out among 16 threads (what the disk or share answers at once);"
  echo "- **the command**: \`pelmora -n -r\` over the library folder, output into a file; with \`--no-read-ahead\` too."
  echo
  echo "See bench/README.md for the inputs and for how to read the figures."
  echo
  cat "$work/mixed.md"
  echo
  cat "$work/cyrillic.md"
  for section in organise cold share; do
    if [ -s "$work/$section.md" ]; then
      echo
      cat "$work/$section.md"
    fi
  done
  if [ -s "$work/wine.md" ]; then
    echo
    cat "$work/wine.md"
  fi
} > "$root/bench/RESULTS.md"
echo "wrote $root/bench/RESULTS.md"
