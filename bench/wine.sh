#!/usr/bin/env bash
# The whole pelmora command in dry run over the library, natively through
# libpelmora.so and under Wine through Pelmora.dll pinned to one CPU (every
# file call is a round trip to the wine server, which swings wildly when the
# two run on different CPUs). A run over an empty folder is taken off, so the
# start of the process and of Wine do not count. Prints a Markdown section.
#
#   bench/wine.sh LIBRARY WORKDIR
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
library=$1
work=$2
native=$root/build/bench
win32=$root/build/bench-win32
pattern='*artist* - *title* *bitrate* *time*'
runs=3

if [ ! -x "$native/pelmora" ]; then
  echo "build the benchmark first (bench/run.sh)" >&2
  exit 1
fi
cmake -S "$root" -B "$win32" -G Ninja --toolchain "$root/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release \
  -DPELMORA_TESTS=OFF >/dev/null
cmake --build "$win32" -j2 --target pelmora >&2

empty=$work/empty-folder
mkdir -p "$empty"
to_windows() { echo "Z:$1" | tr / '\\'; }

# Nanoseconds of one run; what it printed goes to the file named first.
nanoseconds() {
  local out=$1; shift
  local start
  start=$(date +%s%N)
  "$@" > "$out" 2>&1 || true
  echo $(( $(date +%s%N) - start ))
}
median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

native_cmd=("$native/pelmora" -n -r -p "$pattern")
wine_cmd=(taskset -c 0 "$win32/wine-run.sh" "$win32/pelmora.exe" -n -r -p "$pattern")

"${wine_cmd[@]}" "$(to_windows "$empty")" >/dev/null 2>&1 || true  # the prefix's first start is slow
"${native_cmd[@]}" "$library" >/dev/null 2>&1 || true                # warm caches
native_empty=$(for i in $(seq $runs); do nanoseconds /dev/null "${native_cmd[@]}" "$empty"; done | median)
native_all=$(for i in $(seq $runs); do nanoseconds "$work/native.out" "${native_cmd[@]}" "$library"; done | median)
wine_empty=$(for i in $(seq $runs); do nanoseconds /dev/null "${wine_cmd[@]}" "$(to_windows "$empty")"; done | median)
wine_all=$(for i in $(seq $runs); do nanoseconds "$work/wine.out" "${wine_cmd[@]}" "$(to_windows "$library")"; done | median)

count=$(find "$library" -name '*.mp3' | wc -l)
per_file() { awk -v all="$1" -v none="$2" -v n="$count" 'BEGIN { printf "%.1f", (all - none) / 1000 / n }'; }
native_us=$(per_file "$native_all" "$native_empty")
wine_us=$(per_file "$wine_all" "$wine_empty")

# The same names from both builds, once the Windows paths are written as native ones.
windows_library=$(to_windows "$library/" | sed 's/\\/\\\\/g')
same=$(sed -e "s#^$windows_library#$library/#" -e "s# -> $windows_library# -> $library/#" -e 's#\\#/#g' -e 's/\r$//' \
  "$work/wine.out" | sort | cmp -s - <(sort "$work/native.out") && echo "identical" || echo "**different**")

cat <<EOF
## The pelmora command, natively and under Wine

\`pelmora -n -r -p '$pattern'\` over the whole library ($count files), $runs runs each, median, less a run over an
empty folder. The command's own work (listing folders, checking targets, printing) is included in both.
Under Wine it runs pinned to one CPU (\`taskset -c 0\`).

| build | µs per file |
|---|---:|
| native, libpelmora.so | $native_us |
| Windows, Pelmora.dll under Wine, one CPU | $wine_us |

Names printed by the two builds: $same.
EOF
