#!/usr/bin/env bash
# Organising a library into folders against renaming the same files in place,
# side by side: each round renames a fresh copy of the library in place, then
# organises another fresh copy (hard links, so a copy costs no data and every
# file's name is all that changes), each a real run with its journal. Prints a
# Markdown section.
#
#   bench/organise.sh LIBRARY WORK PELMORA PLUGIN ROUNDS
set -euo pipefail

library=$1 work=$2 pelmora=$3 plugin=$4 rounds=$5
in_place='*artist* - *album* - *track* *title*'
organised='*artist*/*album*/*track* *title*'
goal=2.0
mkdir -p "$work"
export XDG_STATE_HOME="$work/state"
files=$(find "$library" -type f -iname '*.mp3' | wc -l)
mkdir -p "$work/empty"

# Wall time of one real run over a fresh copy, in microseconds, less the
# command's start (a run over an empty folder).
# Copies are removed only at the end: ext4 makes a new folder slower for a
# while after many were deleted (it steps over recently freed inodes), and a
# user's run does not follow the removal of ten thousand folders.
copies=0
timed_run() {
  local pattern=$1 copy=$work/copy-$((copies++))
  cp -al "$library" "$copy"
  sync
  local empty_start empty_end
  empty_start=$(date +%s%N)
  "$pelmora" -r -q --plugin "$plugin" -p "$pattern" "$work/empty" > /dev/null 2>&1 || true
  empty_end=$(date +%s%N)
  local start end
  start=$(date +%s%N)
  "$pelmora" -r -q --plugin "$plugin" -p "$pattern" "$copy" > "$work/out" 2> "$work/err" || true
  end=$(date +%s%N)
  echo $(( (end - start - (empty_end - empty_start)) / 1000 ))
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

: > "$work/in-place" ; : > "$work/organised" ; : > "$work/ratios"
for ((round = 0; round < rounds; round++)); do
  timed_run "$in_place" > "$work/a"
  timed_run "$organised" > "$work/b"
  a=$(cat "$work/a") b=$(cat "$work/b")
  summary=$(grep ' seen, ' "$work/out" || true)
  echo "$a" >> "$work/in-place"
  echo "$b" >> "$work/organised"
  awk -v a="$a" -v b="$b" 'BEGIN { printf "%.3f\n", b / a }' >> "$work/ratios"
done
rm -rf "$work"/copy-*

a=$(median < "$work/in-place")
b=$(median < "$work/organised")
ratio=$(median < "$work/ratios")
verdict=$(awk -v r="$ratio" -v g="$goal" 'BEGIN { print (r <= g) ? "met" : "missed" }')
echo "## Organising into folders against renaming in place"
echo
echo "$files files of \`$library\`, a fresh hard-linked copy for every run, page cache warm; real runs with their journals, \`-q\`, each less a run over an empty folder (the command's start)."
echo
echo "| run | pattern | µs per file (median of $rounds) |"
echo "|---|---|---:|"
awk -v a="$a" -v n="$files" -v p="$in_place" 'BEGIN { printf "| rename in place | `%s` | %.1f |\n", p, a / n }'
awk -v b="$b" -v n="$files" -v p="$organised" 'BEGIN { printf "| organise | `%s` | %.1f |\n", p, b / n }'
echo
echo "Organising costs **${ratio}x** renaming in place (median over the rounds of each round's ratio; goal at most ${goal}x: $verdict)."
echo "The organising run's own summary: \`${summary}\`"
