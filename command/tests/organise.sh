#!/usr/bin/env bash
# The command organising a library into folders, end to end against the real
# plug-in: a tree of a few hundred tagged MP3s put under artist and album and
# undone, the values folder names cannot take, the folders that stay, kill -9
# after each kind of journal line, and a mount point inside the library. Every
# run and undo is checked against the checksum of every file and the list of
# every folder. Runs the native build directly and the Windows build through
# its Wine runner:
#
#   organise.sh PELMORA [RUNNER [PELMORA_WITH_TEST_HOOKS]]
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
work=$(mktemp -d)
mounted=
cleanup() {
  if [ -n "$mounted" ]; then umount "$mounted"; fi
  rm -rf "$work"
}
trap cleanup EXIT
export LC_ALL=C.UTF-8
# Journals and the lock of these runs apart from the user's own.
export XDG_STATE_HOME="$work/state"
if [ -n "$runner" ]; then windows=1; else windows=0; fi
pattern='*artist*/*album*/*title*'

run --version
[ "$status" = 0 ] || { echo "the command does not start: $err" >&2; exit 1; }

# --- the MP3s --------------------------------------------------------------
"$here/../../scripts/make-sample-library.sh" "$work/sample" || { echo "cannot make the sample library" >&2; exit 1; }
cp "$work/sample/track09.mp3" "$work/untagged.mp3"
# mp3 PATH ARTIST ALBUM TITLE: ID3v2.3 in Latin-1 by id3v2, ID3v2.4 in UTF-8 by
# mid3v2 where the text is not ASCII.
mp3() {
  mkdir -p "$(dirname "$1")" && cp "$work/untagged.mp3" "$1"
  if LC_ALL=C grep -q '[^ -~]' <<<"$2$3$4"; then
    mid3v2 -a "$2" -A "$3" -t "$4" "$1" >/dev/null
  else
    id3v2 -2 -a "$2" -A "$3" -t "$4" "$1"
  fi
}
start=$SECONDS

# A library in nested folders, English and Cyrillic: a few Cyrillic titles.
# A cover image and a hidden file keep their folders; the rest are emptied.
artists=("Nightfall Choir" "The Quiet Harbour" "Copper Lantern" "Белая Река" "Северный Ветер" "Кукушка")
albums=("First Steps" "Tides" "Берега" "Путь")
sources=(. incoming/cd1 incoming/cd2 old/2001/a old/2001/b old/misc "Кириллица/сборник" covered hidden/deep)
mkdir -p "$work/tree/Music"
cd "$work/tree"
for i in $(seq 1 240); do
  a=$((i % 6)) b=$((i / 6 % 2 + (i % 6 / 3) * 2)) file="Music/${sources[i % 9]}/f$i.mp3" title="Song $i"
  # The Cyrillic artists and albums are written below, for a whole album at once.
  if [ $a -lt 3 ]; then mp3 "$file" "${artists[a]}" "${albums[b]}" "$title"; else mp3 "$file" - - "$title"; fi
  if [ $((i % 30)) = 4 ]; then title="Песня $i" && mid3v2 -t "$title" "$file" >/dev/null; fi
  [ $a -lt 3 ] || echo "$file" >>"$work/group-$a-$b"
  printf '%s\t%s\n' "${file/\/.\//\/}" "Music/${artists[a]}/${albums[b]}/$title.mp3" >>"$work/moves"
done
for group in "$work"/group-*; do
  a=${group##*group-} && b=${a#*-} && a=${a%-*}
  xargs -d '\n' mid3v2 -a "${artists[a]}" -A "${albums[b]}" <"$group" >/dev/null
done
printf 'cover' >Music/covered/cover.jpg
printf '[Desktop Entry]' >Music/hidden/.directory
tree=$(snapshot Music)
echo "the tree made in $((SECONDS - start)) s"

# --- the tree: preview, run, a second run, undo ----------------------------
# As the run must leave it: each file under its artist and album with its own
# bytes, the cover image and the hidden file in their folders, the rest gone.
organised=$( {
  awk 'NR == FNR { if ($1 != "folder") sum[substr($0, 35)] = $1; next }
    { split($0, m, "\t"); print sum["./" substr(m[1], 7)] "  ./" substr(m[2], 7) }' <(echo "$tree") "$work/moves"
  grep -e '/cover.jpg$' -e '/.directory$' -e '^folder  ./$' -e '^folder  ./covered/$' -e '^folder  ./hidden/$' <<<"$tree"
  cut -f2 "$work/moves" | while read -r to; do
    album=${to%/*} && echo "folder  ./${album#Music/}/" && echo "folder  ./${album#Music/}" | sed 's|/[^/]*$|/|'
  done | sort -u
} | sort -k2)
run -n -r -p "$pattern" Music
expect_status 0 "preview of the tree"
[ "$(grep -c ' -> ' <<<"$out")" = 240 ] && ! grep -q ': stays]' <<<"$out" || fail "preview of the tree: $out"
[ "$(grep -c '^+ Music/.*/$' <<<"$out")" = 18 ] && [ "$(grep -c '^- Music/.*/$' <<<"$out")" = 11 ] ||
  fail "folders in the preview: $(grep '^[-+] ' <<<"$out")"
expect_out "- Music/Кириллица/" "preview of the tree"
expect_out "240 seen, 240 to rename, 0 unchanged, 0 failed" "preview of the tree"
expect_out "folders: 18 to make, 11 to remove" "preview of the tree"
same Music "$tree" "a preview changed the tree"
preview=$(grep -e ' -> ' -e '^[-+] ' <<<"$out")
run -n --json -r -p "$pattern" Music
[ "$(grep -c '^{"type":"folder",.*"result":"to make"}$' <<<"$out")" = 18 ] &&
  [ "$(grep -c '^{"type":"folder",.*"result":"to remove"}$' <<<"$out")" = 11 ] &&
  grep -q '^{"type":"summary",.*"foldersToMake":18,"foldersToRemove":11' <<<"$out" || fail "--json of the tree: $out"

run -r -p "$pattern" Music
expect_status 0 "the tree organised"
[ "$(grep -e ' -> ' -e '^[-+] ' <<<"$out")" = "$preview" ] || fail "the run did other than the preview showed: $out"
expect_out "240 seen, 240 renamed, 0 unchanged, 0 failed; folders: 18 made, 11 removed" "the tree organised"
same Music "$organised" "the tree organised"
run -r -p "$pattern" Music
expect_status 0 "the tree organised again"
expect_out "240 seen, 0 renamed, 240 unchanged, 0 failed" "the tree organised again"
same Music "$organised" "a second run"
run --history
expect_out "240 renamed, folders: 18 made, 11 removed, not undone" "--history"
run --undo
expect_status 0 "undo of the tree"
expect_out "240 restored, 0 already in place, 0 left alone, folders: 18 removed, 11 made again" "undo of the tree"
same Music "$tree" "undo of the tree"

# --- values folder names cannot take, and names that meet ------------------
# The path Windows counts is the absolute one, as the build itself sees it.
mkdir -p "$work/values/values"
cd "$work/values"
if [ $windows = 1 ]; then
  root=$("$runner" winepath -w "$PWD/values" | tr -d '\r')
else
  root=$(pwd -P)/values
fi
pad() { printf "%$1s" "" | tr ' ' "$2"; }
# The longest title under root/Long/Path/ whose path has 259 characters.
long=$((259 - ${#root} - 15))  # "/Long/Path/" and ".mp3"
zh127=$(pad 127 x | sed 's/x/ж/g')
# file|artist|album|title|what the preview says; "~" marks a name Windows
# refuses, taken natively with --allow-posix-names.
while IFS='|' read -r file artist album title said; do
  mp3 "values/$file" "$artist" "$album" "$title"
  echo "$file|$said" >>"$work/said"
done <<EOF_VALUES
v01.mp3||Album|No Artist|[the folder name from "*artist*" is empty: stays]
v02.mp3|Someone||No Album|[the folder name from "*album*" is empty: stays]
v03.mp3|AC/DC|Back|Shot|-> values/AC_DC/Back/Shot.mp3
v04.mp3|Band|T.N.T.|Dynamite|~in the folder "T.N.T.": stays]
v05.mp3|Band|CON|Conned|~in the folder "CON": stays]
v06.mp3|Band|lpt9.live|Printer|~in the folder "lpt9.live": stays]
v07.mp3|Band|Why?|Question|~Windows refuses "?" in the folder "Why?": stays]
v08.mp3|Band|$zh127|Seg254|-> values/Band/$zh127/Seg254.mp3
v09.mp3|Band|a$zh127|Seg255|-> values/Band/a$zh127/Seg255.mp3
v10.mp3|Band|ж$zh127|Seg256|[a folder name of 256 bytes (at most 255): stays]
v11.mp3|Band|Names|${zh127%ж}|[a name of 256 bytes (at most 255): stays]
v12.mp3|Abba|Gold|Waterloo|-> values/Abba/Gold/Waterloo.mp3
v13.mp3|ABBA|Gold|Fernando|-> values/Abba/Gold/Fernando.mp3
v14.mp3|Long|Path|$(pad $long x)|-> values/Long/Path/$(pad $long x).mp3
v15.mp3|Long|Path|$(pad $((long + 1)) y)|~[a path of 260 characters (Windows takes fewer than 260): stays]
EOF_VALUES
values=$(snapshot values)
cp -a values case
run -n --allow-posix-names -r -p "$pattern" values
relaxed=$out
run -n -r -p "$pattern" values
expect_status 1 "preview of the values"
while IFS='|' read -r file said; do
  line=$(grep -F "values/$file -> " <<<"$out")
  case $said in
    '~'*) grep -qF -- "${said#\~}" <<<"$line" || fail "$file: the preview says '$line', not '${said#\~}'"
          line=$(grep -F "values/$file -> " <<<"$relaxed")
          if [ $windows = 0 ]; then
            ! grep -q ': stays]' <<<"$line" || fail "$file with --allow-posix-names: $line"
          else
            grep -q ': stays]' <<<"$line" || fail "$file with --allow-posix-names under Windows: $line"
          fi ;;
    '->'*) grep -qF -- "$said" <<<"$line" && ! grep -q ': stays]' <<<"$line" ||
             fail "$file: the preview says '$line', not '$said'" ;;
    *) grep -qF -- "$said" <<<"$line" || fail "$file: the preview says '$line', not '$said'" ;;
  esac
done <"$work/said"
run -r -p "$pattern" values
expect_status 1 "the values organised"
# The two spellings of one artist: one folder, spelled as the first file spells it.
[ "$(ls values)" = "$(printf 'AC_DC\nAbba\nBand\nLong\n%s' "$(ls values | grep '^v')")" ] || fail "folders of the values: $(ls values)"
organised=$(snapshot values)
[ "$(grep -c '\.mp3$' <<<"$organised")" = 15 ] || fail "the values organised: $organised"
run --undo
expect_status 0 "undo of the values"
same values "$values" "undo of the values"

# Between runs the title changes in letter case alone, and the artist too: the
# file takes the new case, and stays in the folder as it stands on disk.
# (Undo of the first run would leave the retagged files alone, as changed.)
rm -rf values && mv case values
run -r -p "$pattern" values
id3v2 -t SHOT values/AC_DC/Back/Shot.mp3 && id3v2 -a abba values/Abba/Gold/Waterloo.mp3
retagged=$(snapshot values)
run -r -p "$pattern" values
expect_out "values/AC_DC/Back/Shot.mp3 -> values/AC_DC/Back/SHOT.mp3" "a title changed in letter case"
expect_out "15 seen, 1 renamed, 5 unchanged" "a title changed in letter case"
[ "$(ls values/AC_DC/Back values/Abba/Gold | tr '\n' ' ')" = "values/AC_DC/Back: SHOT.mp3  values/Abba/Gold: Fernando.mp3 Waterloo.mp3 " ] ||
  fail "after a change of letter case: $(ls values/*/*)"
run --undo
expect_status 0 "undo of the change in letter case"
same values "$retagged" "undo of the change in letter case"

# --- the small library: the folders that stay, kill -9
mkdir -p "$work/small" && cd "$work/small"
while IFS='|' read -r file artist album title; do mp3 "$file" "$artist" "$album" "$title"; done <<'EOF_SMALL'
a/b/1.mp3|Amber|One|First
a/b/2.mp3|Amber|One|Second
a/3.mp3|Amber|Two|Third
c/4.mp3|Birch|One|Fourth
c/5.mp3|Birch|One|Fifth
d/e/f/6.mp3|Birch|Three|Sixth
7.mp3|Amber|One|Seventh
EOF_SMALL
small=$(snapshot .)
cd "$work"

# The folders named on the command line stay, emptied or not; a file named on
# its own is organised under its own folder.
fresh args small
run -r -p "$pattern" . a/b
expect_status 0 "two folders named"
[ -d a/b ] || fail "a folder named on the command line was removed"
run --undo
same . "$small" "undo with two folders named"
run -p "$pattern" c/4.mp3
[ -f c/Birch/One/Fourth.mp3 ] || fail "a file named on its own: $(find c)"
run --undo
same . "$small" "undo of a file named on its own"

fresh keep small
run --keep-empty -r -p "$pattern" .
expect_out "7 seen, 7 renamed, 0 unchanged, 0 failed; folders: 6 made, 0 removed" "--keep-empty"
[ -z "$(comm -23 <(grep '^folder' <<<"$small") <(snapshot . | grep '^folder'))" ] ||
  fail "--keep-empty removed a folder: $(find . -type d)"
run --undo
same . "$small" "undo after --keep-empty"

# kill -9 just after each kind of journal line, before the step it announces,
# and after a move not yet journaled: undo gives back the library as it was.
# The journal's path as this system writes it.
local_path() { sed 's|^[A-Za-z]:||' <<<"$1" | tr '\\' '/'; }
if [ -n "$hooked" ]; then
  for kill in making:1 making:4 renaming:1 renaming:5 removing:1 removing:4 rename:3; do
    fresh "killed-${kill/:/-}" small
    journal="$work/killed-${kill/:/-}.journal"
    case $kill in
      rename:*) PELMORA_TEST_KILL_AFTER=${kill#*:} program=$hooked run --journal "$journal" -r -p "$pattern" . ;;
      *) PELMORA_TEST_KILL_AFTER_LINE=$kill program=$hooked run --journal "$journal" -r -p "$pattern" . ;;
    esac
    [ "$status" != 0 ] && [ "$status" != 1 ] || fail "killed after $kill: the run was not killed (status $status)"
    last=$(tail -n 1 "$journal")
    IFS=$'\t' read -r kind one two _ <<<"$last"
    case $kill in
      making:*) [ "$kind" = making ] && [ ! -e "$(local_path "$one")" ] ;;
      renaming:*) [ "$kind" = renaming ] && [ -f "$(local_path "$one")" ] && [ ! -e "$(local_path "$two")" ] ;;
      removing:*) [ "$kind" = removing ] && [ -d "$(local_path "$one")" ] ;;
      rename:*) [ "$kind" = renaming ] && [ ! -e "$(local_path "$one")" ] && [ -f "$(local_path "$two")" ] &&
                [ "$(grep -c '^renaming' "$journal")" = 3 ] ;;
    esac || fail "killed after $kill: the journal ends in '$last'; $(find . | sort | tr '\n' ' ')"
    run --undo "$journal"
    expect_status 0 "undo after a kill after $kill"
    same . "$small" "undo after a kill after $kill"
  done
fi

# --- a mount point inside the library --------------------------------------
# Neither a file inside it organised to the library nor one organised into it
# moves: nothing is copied across file systems. Wine shows a mount point as a
# link to a folder, so there the file inside is not visited and the folder is
# no place to move into: still nothing moves.
mkdir -p "$work/mount/lib/inner"
cd "$work/mount"
if [ "$(id -u)" != 0 ] || ! mount -t tmpfs -o size=4m tmpfs lib/inner 2>"$work/e"; then
  echo "skipped: the mount point inside the library (no tmpfs mount here: $(cat "$work/e" 2>/dev/null))"
else
  mounted=$work/mount/lib/inner
  mp3 lib/plain.mp3 Amber One Plain
  mp3 lib/inner/in.mp3 Amber One Inside
  mp3 lib/out.mp3 inner Deep Out
  before=$(snapshot lib)
  run -n -r -p "$pattern" lib
  if [ $windows = 0 ]; then
    expect_out "lib/inner/in.mp3 -> lib/Amber/One/Inside.mp3  [lib is on another file system; nothing is copied: stays]" "a file inside a mount point"
    expect_out "lib/out.mp3 -> lib/inner/Deep/Out.mp3  [lib/inner is on another file system; nothing is copied: stays]" "a file into a mount point"
  else
    expect_err "lib/inner: a link to a folder, not followed; skipped" "a mount point under Wine"
    expect_out "lib/out.mp3 -> lib/inner/Deep/Out.mp3  [lib/inner is a link, not followed: stays]" "a file into a mount point under Wine"
  fi
  run -r -p "$pattern" lib
  expect_status 1 "a run across a mount point"
  [ -f lib/inner/in.mp3 ] && [ -f lib/out.mp3 ] && [ -f lib/Amber/One/Plain.mp3 ] &&
    [ "$(find lib -name '*.mp3' | wc -l)" = 3 ] && [ ! -e lib/inner/Deep ] || fail "a run across a mount point: $(find lib)"
  run --undo
  same lib "$before" "undo across a mount point"
  cd "$work" && umount "$mounted" && mounted=
fi

if [ $failures -gt 0 ]; then
  echo "$failures failed" >&2
  exit 1
fi
echo "organise: all checks passed"
