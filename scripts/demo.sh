#!/usr/bin/env bash
# The main job in one command: installs what the build needs, builds the
# native preset, makes a small library of real MP3s (English and Cyrillic tags
# in ID3v1, ID3v2.3 and ID3v2.4), and renames a copy of it with pelmora:
# preview, real run, undo; then organises it into folders and undoes that.
# Quick after the first build.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --preset native >/dev/null
cmake --build --preset native

export PATH="$PWD/build/native:$PATH"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
scripts/make-sample-library.sh "$scratch/library"
cp -a "$scratch/library" "$scratch/Music"
# The journal goes to its own state folder, so the demo leaves the user's alone.
export XDG_STATE_HOME=$scratch/state
cd "$scratch"

# Prints a command as it would be typed, then runs it with its messages inline.
show() {
  local line="\$" arg
  for arg in "$@"; do
    if [[ $arg =~ ^[A-Za-z0-9_./=-]+$ ]]; then line+=" $arg"; else line+=" '$arg'"; fi
  done
  echo
  echo "$line"
  "$@" 2>&1 || true
}

echo
echo "== A copy of the sample library"
show ls Music
echo
echo "== Preview: nothing is renamed; marks show what a real run could not do"
show pelmora --dry-run Music
echo
echo "== The real run, with its undo journal"
show pelmora Music
show ls Music
echo
echo "== The same files named from their ID3v1 tags, track first"
show pelmora -n -t id3v1 -p '*track*. *artist* - *title*' Music
echo
echo "== Undo: every file back under its first name"
show pelmora --undo
show ls Music
check_back() {
  if diff -r "$scratch/library" "$scratch/Music" >/dev/null; then
    echo
    echo "Every file is back under its first name with its bytes unchanged."
  else
    echo "The library differs after the undo." >&2
    exit 1
  fi
}
check_back
echo
echo "== Organised into a folder per artist and album, then undone, folders and all"
show pelmora -r -p '*artist*/*album*/*title*' Music
show find Music -type d
show pelmora --undo
check_back
