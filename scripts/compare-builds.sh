#!/usr/bin/env bash
# Proves that the native build (libpelmora.so) and the Windows build
# (Pelmora.dll under Wine) give the same names: both pelmora commands preview
# one generated library (with the readers' fixtures beside it) under several
# patterns and both tag sources, then rename copies of it for real, and every
# name must match.
#
#   scripts/compare-builds.sh NATIVE_BUILD_DIR WIN32_BUILD_DIR
set -uo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 NATIVE_BUILD_DIR WIN32_BUILD_DIR" >&2
  exit 2
fi
native=$(cd "$1" && pwd)
win32=$(cd "$2" && pwd)
for f in "$native/pelmora" "$native/pelmora_fixtures" "$win32/pelmora.exe" "$win32/wine-run.sh"; do
  [ -x "$f" ] || [ -f "$f" ] || { echo "$0: $f is missing; build both first" >&2; exit 2; }
done
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LC_ALL=C.UTF-8

"$root/scripts/make-sample-library.sh" "$work/library" || exit 1
# Tags as real taggers write them: extended headers, further tags before the
# audio, unsynchronisation; and the shared files that show the same.
"$native/pelmora_fixtures" "$work/library" || exit 1

# The "old -> new" lines of a preview, marks left out (they differ by design:
# a name Windows refuses stays only on Windows), "\" written as "/".
names() {  # names BUILD ARGS...
  local build=$1
  shift
  (
    cd "$work/library" || exit 1
    if [ "$build" = native ]; then "$native/pelmora" "$@"; else "$win32/wine-run.sh" "$win32/pelmora.exe" "$@"; fi
  ) 2>/dev/null | tr '\\' '/' | grep -F ' -> ' | sed 's/  \[.*//'
}

patterns=(
  "*artist* - *title*"
  "*track*. *title* (*album*, *year*)"
  "*genre* - *comment* - *artist*"
  "*bitrate*k *sample*Hz *mode* *time* *filename*"
  "*ARTIST* *Title* *filename*"
)
failures=0
checks=0
for tag in id3v2 id3v1; do
  for pattern in "${patterns[@]}"; do
    a=$(names native -n -t "$tag" -p "$pattern" .)
    b=$(names win32 -n -t "$tag" -p "$pattern" .)
    checks=$((checks + 1))
    if [ "$a" != "$b" ] || [ -z "$a" ]; then
      failures=$((failures + 1))
      echo "DIFFERENT: -t $tag -p '$pattern'" >&2
      diff <(echo "$a") <(echo "$b") >&2
    fi
  done
done

# Real renames of two copies, without the one name Windows refuses.
for build in native win32; do
  cp -a "$work/library" "$work/$build"
  rm -f "$work/$build/track10.mp3"
  (
    cd "$work/$build" || exit 1
    if [ $build = native ]; then "$native/pelmora" --no-journal .; else "$win32/wine-run.sh" "$win32/pelmora.exe" --no-journal .; fi
  ) >/dev/null 2>&1
done
checks=$((checks + 1))
if [ "$(cd "$work/native" && ls)" != "$(cd "$work/win32" && ls)" ]; then
  failures=$((failures + 1))
  echo "DIFFERENT after real runs:" >&2
  diff <(cd "$work/native" && ls) <(cd "$work/win32" && ls) >&2
fi

echo "compare-builds: $((checks - failures)) passed, $failures failed"
[ $failures = 0 ]
