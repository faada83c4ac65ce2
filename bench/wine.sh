#!/usr/bin/env bash
# The Windows build under Wine: pelmora.exe -n -r over the library beside the
# Win32 system-call floor (bench_floor.exe), in alternating rounds, with the
# wine server and every program pinned to one CPU (every file call is a round
# trip to the server, which swings wildly when the two run on different CPUs).
# The command is timed as a whole process less a run over an empty folder in
# the same round; the floor times its own loop. With WINE_COLD=1 (as root),
# then the command cold, with and without read-ahead: the caches dropped
# before every run, the program started once on the empty folder so that
# Wine is loaded again, then its start and its run over the library timed;
# beside it the Win32 floor cold, from one thread and from 16.
# Prints a Markdown section.
#
#   [WINE_COLD=1] bench/wine.sh LIBRARY WORKDIR [ROUNDS]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
library=$1
work=$2
rounds=${3:-5}
native=$root/build/bench
win32=$root/build/bench-win32
pattern='*artist* - *title* *bitrate* *time*'
most_over_floor=2

if [ ! -x "$native/pelmora" ]; then
  echo "build the benchmark first (bench/run.sh)" >&2
  exit 1
fi
cmake -S "$root" -B "$win32" -G Ninja --toolchain "$root/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release \
  -DPELMORA_TESTS=OFF -DPELMORA_BENCH=ON >/dev/null
cmake --build "$win32" -j2 --target pelmora pelmora_plugin bench_floor >&2

# The runner waits for a server that serves a display; this one never ends on its own.
unset DISPLAY
export WINEPREFIX=$win32/wineprefix WINEDEBUG=-all
run=("$win32/wine-run.sh")
pin=(taskset -c 0)
"${run[@]}" cmd /c exit >/dev/null 2>&1 || true  # makes the prefix on the first run
wineserver -k 2>/dev/null || true                 # a server of this prefix not pinned
"${pin[@]}" wineserver -p || true           # else the first program, pinned, starts one
trap 'wineserver -k 2>/dev/null || true' EXIT

empty=$work/empty-folder
mkdir -p "$empty"
to_windows() { echo "Z:$1" | tr / '\\'; }
count=$(find "$library" -name '*.mp3' | wc -l)
find "$library" -name '*.mp3' | sort | sed -e 's#^#Z:#' -e 's#/#\\#g' > "$work/windows.list"
windows_list=$(to_windows "$work/windows.list")

# Nanoseconds of one run; what it printed goes to the file named first.
nanoseconds() {
  local out=$1; shift
  local start
  start=$(date +%s%N)
  "$@" > "$out" 2>&1 || true
  echo $(( $(date +%s%N) - start ))
}
median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
range() { sort -g | awk -v n="$count" 'NR==1 {lo=$1} {hi=$1} END {printf "%.1f–%.1f", lo/1000/n, hi/1000/n}'; }

command=("${pin[@]}" "${run[@]}" "$win32/pelmora.exe" -n -r -p "$pattern")
floor=("${pin[@]}" "${run[@]}" "$win32/bench_floor.exe" "$windows_list")
"${command[@]}" "$(to_windows "$library")" >/dev/null 2>&1 || true  # warm caches and the prefix
"${floor[@]}" >/dev/null 2>&1 || true
: > "$work/wine.command.ns"
: > "$work/wine.floor.ns"
for round in $(seq "$rounds"); do
  echo "wine round $round of $rounds" >&2
  "${floor[@]}" > "$work/wine.floor.out" 2>&1 || true
  floor_ns=$(awk '/^files/ {print $4}' "$work/wine.floor.out")
  if [ -z "$floor_ns" ]; then
    echo "the Win32 floor printed no figures:" >&2
    cat "$work/wine.floor.out" >&2
    exit 1
  fi
  echo "$floor_ns" >> "$work/wine.floor.ns"
  none=$(nanoseconds /dev/null "${command[@]}" "$(to_windows "$empty")")
  all=$(nanoseconds "$work/wine.out" "${command[@]}" "$(to_windows "$library")")
  echo $(( all - none )) >> "$work/wine.command.ns"
done

cold_rounds=3
if [ "${WINE_COLD:-0}" = 1 ]; then
  : > "$work/wine.cold.ns"
  : > "$work/wine.cold-none.ns"
  : > "$work/wine.cold-floor.ns"
  : > "$work/wine.cold-floor16.ns"
  : > "$work/none.list"
  for round in $(seq "$cold_rounds"); do
    echo "wine cold round $round of $cold_rounds" >&2
    # What the disk allows under Wine, one file after another and from 16 threads.
    for threads in 1 16; do
      sync
      echo 3 > /proc/sys/vm/drop_caches
      "${pin[@]}" "${run[@]}" "$win32/bench_floor.exe" "$(to_windows "$work/none.list")" >/dev/null 2>&1 || true
      "${floor[@]}" --threads "$threads" > "$work/wine.floor.out" 2>&1 || true
      awk '/^files/ {print $4}' "$work/wine.floor.out" >> "$work/wine.cold-floor$([ "$threads" = 16 ] && echo 16).ns"
    done
    for variant in read-ahead none; do
      options=()
      [ "$variant" = none ] && options=(--no-read-ahead)
      sync
      echo 3 > /proc/sys/vm/drop_caches
      "${command[@]}" "${options[@]}" "$(to_windows "$empty")" >/dev/null 2>&1 || true
      none=$(nanoseconds /dev/null "${command[@]}" "${options[@]}" "$(to_windows "$empty")")
      all=$(nanoseconds "$work/wine.cold.out" "${command[@]}" "${options[@]}" "$(to_windows "$library")")
      echo $(( all - none )) >> "$work/wine.$([ "$variant" = none ] && echo cold-none || echo cold).ns"
    done
  done
fi

per_file() { awk -v ns="$1" -v n="$count" 'BEGIN { printf "%.1f", ns / 1000 / n }'; }
floor_ns=$(median < "$work/wine.floor.ns")
command_ns=$(median < "$work/wine.command.ns")
ratio=$(awk -v a="$command_ns" -v b="$floor_ns" 'BEGIN { printf "%.2f", a / b }')
verdict=$(awk -v r="$ratio" -v m="$most_over_floor" 'BEGIN { print (r <= m) ? "met" : "**missed**" }')

# The same names from both builds, once the Windows paths are written as native ones.
"$native/pelmora" -n -r -p "$pattern" "$library" > "$work/native.out" 2>&1 || true
windows_library=$(to_windows "$library/" | sed 's/\\/\\\\/g')
same=$(sed -e "s#^$windows_library#$library/#" -e "s# -> $windows_library# -> $library/#" -e 's#\\#/#g' -e 's/\r$//' \
  "$work/wine.out" | sort | cmp -s - <(sort "$work/native.out") && echo "identical" || echo "**different**")

cat <<EOF
## The Windows build under Wine, pinned to one CPU (mixed library)

\`pelmora.exe -n -r -p '$pattern'\` over the whole library ($count files) beside \`bench_floor.exe\`, the Win32
floor (per file CreateFileA with sharing, GetFileSizeEx, ReadFile at an offset for the first 10 bytes, the last
128 and one 3458-byte block, CloseHandle: the calls the plug-in makes), $rounds alternating rounds, median.
The wine server and both programs run under \`taskset -c 0\`. The command is timed as a whole process less a
run over an empty folder in the same round; the floor times its own loop.

| contender | µs per file | fastest–slowest round, µs |
|---|---:|---:|
| Win32 floor | $(per_file "$floor_ns") | $(range < "$work/wine.floor.ns") |
| \`pelmora.exe -n -r\` (the command's preview) | $(per_file "$command_ns") | $(range < "$work/wine.command.ns") |

| goal | measured | verdict |
|---|---:|---|
| the command's preview within ${most_over_floor}× the Win32 floor | ${ratio}× | $verdict |

Names printed by the native and the Windows command: $same.
EOF
if [ "${WINE_COLD:-0}" = 1 ]; then
  cold_ns=$(median < "$work/wine.cold.ns")
  cold_none_ns=$(median < "$work/wine.cold-none.ns")
  speedup=$(awk -v a="$cold_none_ns" -v b="$cold_ns" 'BEGIN { printf "%.2f", a / b }')
  cold_verdict=$(awk -v r="$speedup" 'BEGIN { print (r > 1) ? "met" : "**missed**" }')
  cat <<EOF

Cold: the caches dropped before every run (\`sync; echo 3 > /proc/sys/vm/drop_caches\`), then the program started once
on the empty folder unmeasured (Wine and the program loaded again), then its start (the empty folder) and its run over
the library timed; $cold_rounds rounds, the two alternating, median; still pinned to one CPU.

| contender, cold | µs per file | fastest–slowest round, µs |
|---|---:|---:|
| Win32 floor | $(per_file "$(median < "$work/wine.cold-floor.ns")") | $(range < "$work/wine.cold-floor.ns") |
| Win32 floor from 16 threads | $(per_file "$(median < "$work/wine.cold-floor16.ns")") | $(range < "$work/wine.cold-floor16.ns") |
| \`pelmora.exe -n -r\` | $(per_file "$cold_ns") | $(range < "$work/wine.cold.ns") |
| \`pelmora.exe -n -r --no-read-ahead\` | $(per_file "$cold_none_ns") | $(range < "$work/wine.cold-none.ns") |

| goal | measured | verdict |
|---|---:|---|
| cold, faster with read-ahead than without | ${speedup}× | $cold_verdict |
EOF
fi
