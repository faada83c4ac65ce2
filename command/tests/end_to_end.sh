#!/usr/bin/env bash
# The pelmora command end to end against the real plug-in, on MP3s made by
# lame and tagged by real taggers: preview, run, undo, an interrupted run,
# conflicts and odd entries; the faults of faults.sh. Runs the native build directly and the Windows
# build through its Wine runner:
#
#   end_to_end.sh PELMORA [RUNNER [PELMORA_WITH_TEST_HOOKS]]
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LC_ALL=C.UTF-8
# Journals and the lock of these runs apart from the user's own.
export XDG_STATE_HOME="$work/state"

listing() { (cd "$1" && find . -type f | sort); }
# name<TAB>checksum of every file, to prove nothing was lost or changed.
contents() { (cd "$1" && find . -type f -exec md5sum {} + | awk '{print $1}' | sort); }
snapshot() { (cd "$1" && find . -type f -exec md5sum {} + | sort -k2); }
fresh() { rm -rf "$work/$1" && cp -a "$work/library" "$work/$1" && cd "$work/$1"; }

"$here/../../scripts/make-sample-library.sh" "$work/library" || { echo "cannot make the sample library" >&2; exit 1; }
original=$(snapshot "$work/library")
original_contents=$(contents "$work/library")

if [ -n "$runner" ]; then windows=1; else windows=0; fi

# --- usage -----------------------------------------------------------------
cd "$work"
run; expect_status 2 "no arguments"
run --help; expect_status 0 "--help"; expect_out "--undo [JOURNAL]" "--help"
run --version; expect_status 0 "--version"; expect_out "pelmora 1.0.02 (Pelmora ID3 by Tolvarin, handles *.mp3)" "--version"
run -t id3v3 .; expect_status 2 "bad tag"

# --- preview ---------------------------------------------------------------
fresh preview
run -n .
expect_status 1 "preview with a collision"
expect_out "./track01.mp3 -> ./Nightfall Choir - Morning Light.mp3" "preview"
expect_out "./track02.mp3 -> ./The Quiet Harbour - Salt & Rope.mp3" "preview"
expect_out "./track03.mp3 -> ./Белая Река - Осенний вальс.mp3" "preview, UTF-16 Cyrillic"
expect_out "./track04.mp3 -> ./Северный Ветер - Песня о дороге.mp3" "preview, UTF-8 Cyrillic"
expect_out "./Track07.MP3 -> ./AC_DC Tribute - From ID3v2.mp3" "preview, slash in a tag"
expect_out "./track08.mp3 -> ./Nightfall Choir - Morning Light.mp3  [an earlier file takes this name: stays]" "collision mark"
# Names Windows refuses stay in both builds, so a library gets the same names on both.
expect_out './track10.mp3 -> ./Question Mark - Why?.mp3  [Windows refuses "?": stays]' "refused mark"
expect_out "10 seen, 5 to rename, 3 unchanged, 0 failed; marked: 2 would stay, 1 with a name Windows refuses" "summary"
[ "$(snapshot .)" = "$original" ] || fail "a preview changed the library"
preview_lines=$(grep -F ' -> ' <<<"$out" | grep -vF ': stays]' | sed 's/  \[.*//')

run -n -t id3v1 .
expect_out "./track05.mp3 -> ./Copper Lantern - Old Mill Road.mp3" "ID3v1 preview"
expect_out "./track06.mp3 -> ./Кукушка - Звезда.mp3" "ID3v1 Windows-1251 Cyrillic"
expect_out "./Track07.MP3 -> ./Version One - From ID3v1.mp3" "ID3v1 chosen over ID3v2"

# --- run and undo ----------------------------------------------------------
fresh real
run --journal "$work/real.journal" .
expect_status 1 "a run where one rename cannot happen"
[ "$(grep -F ' -> ' <<<"$out" | sed 's/  \[.*//')" = "$preview_lines" ] || fail "the run did other renames than the preview showed: $out"
expect_err "./track08.mp3: not renamed to ./Nightfall Choir - Morning Light.mp3" "collision in a real run"
[ "$(contents .)" = "$original_contents" ] || fail "a rename lost or changed a file"
[ -f "./Nightfall Choir - Morning Light.mp3" ] && [ -f ./track08.mp3 ] && [ -f ./track05.mp3 ] || fail "names after the run: $(listing .)"
run --undo "$work/real.journal"
expect_status 0 "undo"
[ "$(snapshot .)" = "$original" ] || fail "undo did not give every file back its name and bytes: $(listing .)"
run --undo "$work/real.journal"
expect_status 0 "second undo"
expect_out "0 restored, 0 already in place, 0 left alone" "second undo"
[ "$(snapshot .)" = "$original" ] || fail "a second undo changed something"

# --- an interrupted run ----------------------------------------------------
fresh killed
PELMORA_TEST_KILL_AFTER=3 run --journal "$work/shipped.journal" .
expect_status 1 "the shipped program has no kill hook"
run --undo "$work/shipped.journal"
[ "$(snapshot .)" = "$original" ] || fail "undo after the shipped program's run left: $(listing .)"
if [ -n "$hooked" ]; then
PELMORA_TEST_KILL_AFTER=3 program=$hooked run --journal "$work/killed.journal" .
[ "$status" != 0 ] && [ "$status" != 1 ] || fail "the run was not killed (status $status)"
renamed=$(listing . | grep -vc '/track0[1-9]\.mp3$\|/track10\.mp3$\|/Track07\.MP3$')
[ "$renamed" = 3 ] || fail "killed after 3 renames, yet $renamed files carry new names"
[ "$(grep -c '^renaming' "$work/killed.journal")" = 3 ] || fail "journal of the killed run: $(cat "$work/killed.journal")"
run --undo "$work/killed.journal"
expect_status 0 "undo of a killed run"
expect_out "3 restored" "undo of a killed run"
[ "$(snapshot .)" = "$original" ] || fail "undo of the killed run left: $(listing .)"
fi

# --- undo with a file at an old name ---------------------------------------
fresh conflict
run --journal "$work/conflict.journal" .
printf 'newcomer' >track01.mp3
run --undo "$work/conflict.journal"
expect_status 1 "undo blocked by a file at an old name"
expect_err "a file stands at" "undo conflict"
[ "$(cat track01.mp3)" = newcomer ] || fail "undo replaced a file standing at an old name"
[ -f "Nightfall Choir - Morning Light.mp3" ] || fail "the blocked file was moved anyway"
[ -f track02.mp3 ] && [ -f track03.mp3 ] || fail "the other files were not put back: $(listing .)"

# --- default journal folder (native) ---------------------------------------
if [ $windows = 0 ]; then
  fresh state
  XDG_STATE_HOME="$work/state-home" run -p '*title*' track02.mp3
  journals=$(ls "$work/state-home/pelmora" 2>/dev/null | grep -c '\.journal$')
  [ "$journals" = 1 ] || fail "no journal in \$XDG_STATE_HOME/pelmora"
  [ -z "$(find . -name '*.journal')" ] || fail "a journal landed among the music"
  XDG_STATE_HOME="$work/state-home" run --undo
  expect_status 0 "undo of the newest journal"
  [ -f track02.mp3 ] || fail "undo of the newest journal did not restore track02.mp3"
fi

# --- odd entries -----------------------------------------------------------
fresh odd
cp track01.mp3 "日本.mp3"
mkdir folder.mp3
run --no-journal . missing.mp3
expect_status 1 "odd entries"
expect_err "日本.mp3: the name cannot be written in Windows-1251" "unholdable name"
expect_err "folder.mp3: a folder, not a file; left alone" "folder named like an MP3"
expect_err "missing.mp3: no such file or folder" "missing file"
[ -f "日本.mp3" ] && [ -d folder.mp3 ] || fail "an odd entry was touched"

if [ $windows = 0 ]; then
  fresh unreadable
  chmod 000 track02.mp3
  # Root reads every file, so the check runs as nobody, from a copy of the
  # program and plug-in that nobody may run wherever the build lives.
  if [ "$(id -u)" = 0 ]; then
    mkdir "$work/bin"
    cp "$pelmora" "$(dirname "$pelmora")/libpelmora.so" "$work/bin/"
    chmod 755 "$work" "$work/unreadable" "$work/bin"
    as_other=(setpriv --reuid=65534 --regid=65534 --clear-groups "$work/bin/pelmora")
  else
    as_other=("$pelmora")
  fi
  "${as_other[@]}" --no-journal -n track02.mp3 >"$work/o" 2>"$work/e"
  status=$?
  err=$(cat "$work/e")
  expect_status 1 "unreadable file"
  expect_err "track02.mp3: cannot read: Permission denied; left alone" "unreadable file"
  chmod 644 track02.mp3
  # A folder the user may not write to: marked in the preview, left alone by the run.
  chmod 555 .
  "${as_other[@]}" --no-journal -n track01.mp3 >"$work/o" 2>"$work/e"
  status=$? out=$(cat "$work/o")
  expect_status 1 "unwritable folder"
  expect_out "[cannot write in .: Permission denied: stays]" "unwritable folder"
  "${as_other[@]}" --no-journal track01.mp3 >"$work/o" 2>"$work/e"
  status=$? err=$(cat "$work/e")
  expect_err "track01.mp3: not renamed to Nightfall Choir - Morning Light.mp3  [cannot write in .: Permission denied: stays]" "unwritable folder"
  chmod 755 .
  [ -f track01.mp3 ] || fail "a file of an unwritable folder moved"

  # Links are reported and left alone; what they lead to keeps its own turn.
  fresh links
  ln -s track01.mp3 link.mp3
  ln -s nowhere.mp3 dangling.mp3
  mkfifo pipe.mp3
  run --no-journal -p '*title*' link.mp3 dangling.mp3 pipe.mp3
  expect_status 0 "links and pipes are skipped, not failures"
  expect_err "link.mp3: a symbolic link" "a link to a file"
  expect_err "dangling.mp3: a link to nothing; skipped" "a link to nothing"
  expect_err "pipe.mp3: not a regular file; skipped" "a pipe"
  [ -L link.mp3 ] && [ -e link.mp3 ] || fail "a link was moved or left dangling"
fi

# --- output that cannot be written ----------------------------------------
# A closed pipe or a full disk stops the run before the next file; what was
# renamed is said on standard error and undone from the journal.
for sink in pipe full; do
  fresh "out-$sink"
  if [ $sink = pipe ]; then
    # A pipe whose reader is gone before the first line, so the outcome never
    # depends on which process runs first.
    rm -f "$work/fifo" && mkfifo "$work/fifo"
    exec 4<>"$work/fifo" 5>"$work/fifo" 4<&-
    { if [ -n "$runner" ]; then "$runner" "$pelmora" --journal "$work/$sink.journal" . >&5 2>"$work/e"
      else "$pelmora" --journal "$work/$sink.journal" . >&5 2>"$work/e"; fi; } 2>/dev/null
    status=$?
    exec 5>&-
  else
    { if [ -n "$runner" ]; then "$runner" "$pelmora" --journal "$work/$sink.journal" . >/dev/full 2>"$work/e"
      else "$pelmora" --journal "$work/$sink.journal" . >/dev/full 2>"$work/e"; fi; } 2>/dev/null
    status=$?
  fi
  err=$(tr '\\' '/' <"$work/e")
  expect_status 1 "output into a closed $sink"
  expect_err "cannot write to standard output; stopped after" "output into a closed $sink"
  expect_err "journal: " "output into a closed $sink"
  [ "$(contents .)" = "$original_contents" ] || fail "a stopped run lost or changed a file"
  run --undo "$work/$sink.journal"
  expect_status 0 "undo of a run stopped by its output ($sink)"
  [ "$(snapshot .)" = "$original" ] || fail "undo after a stopped run ($sink) left: $(listing .)"
done

# --- what a real run would refuse ------------------------------------------
fresh refusals
mkdir -p "Björk/日本" inner
cp track01.mp3 "Björk/日本/a.mp3"
mv track02.mp3 inner/
before=$(snapshot .)
run -n -r -p '../*title*' inner
expect_out "[the pattern leads above inner: stays]" "a pattern leading out of the folder"
run --journal "$work/refusals.journal" -r Björk
expect_out "Björk/日本/a.mp3 -> Björk/日本/Nightfall Choir - Morning Light.mp3" "a folder beyond Windows-1251"
run --undo "$work/refusals.journal"
[ "$(snapshot .)" = "$before" ] || fail "refusals: the library changed: $(listing .)"

# --- journals by identity, history, closed outputs, where the plug-in comes from (native)
if [ $windows = 0 ]; then
  fresh identity
  mkdir -p real/deep && ln -s real/deep lnk
  mv track01.mp3 real/x.mp3
  printf 'unrelated' >"Nightfall Choir - Morning Light.mp3"
  before=$(snapshot .)
  run -n lnk/../x.mp3 real/x.mp3
  expect_out "1 seen, 1 to rename" "one file named twice through a link"
  XDG_STATE_HOME="$work/id-state" run lnk/../x.mp3
  expect_status 0 "a rename through lnk/.."
  [ -f "real/Nightfall Choir - Morning Light.mp3" ] || fail "lnk/../x.mp3 was not renamed in real/: $(listing .)"
  XDG_STATE_HOME="$work/id-state" run -p '*artist*' real/deep/../../track02.mp3
  XDG_STATE_HOME="$work/id-state" run --history
  [ "$(grep -c 'not undone' <<<"$out")" = 2 ] || fail "--history after two runs: $out"
  XDG_STATE_HOME="$work/id-state" run --undo
  XDG_STATE_HOME="$work/id-state" run --undo
  expect_status 0 "the second --undo"
  [ "$(snapshot .)" = "$before" ] || fail "two undos did not give back the folder: $(listing .)"
  XDG_STATE_HOME="$work/id-state" run --undo
  expect_status 1 "a third --undo"
  expect_err "nothing to undo" "a third --undo"

  # Closed standard streams never become the journal.
  fresh closed
  "$pelmora" --journal "$work/closed.journal" . >&- 2>&-
  grep -v $'^renam\|^failed\|^# ' "$work/closed.journal" && fail "console lines in the journal"
  "$pelmora" --undo "$work/closed.journal" <&- >&- 2>&- ; status=$?
  expect_status 0 "undo with closed streams"
  [ "$(snapshot .)" = "$original" ] || fail "undo with closed streams left: $(listing .)"

  fresh json
  "$pelmora" -n --json . >"$work/o" 2>/dev/null
  [ "$(grep -c '^{"type":"file",' "$work/o")" = 10 ] && grep -q '^{"type":"summary",.*"seen":10,' "$work/o" ||
    fail "--json: $(cat "$work/o")"
  if command -v python3 >/dev/null; then
    python3 -c 'import json,sys; [json.loads(l) for l in sys.stdin]' <"$work/o" || fail "--json is not JSON"
  fi
  run -n -q .
  [ "$(grep -c ' -> ' <<<"$out")" = "$(grep -c ': stays]' <<<"$out")" ] && expect_out "10 seen" "-q" ||
    fail "-q prints more than what would stay: $out"

  # The plug-in only from the install: never one planted in the current folder.
  mkdir -p "$work/inst/bin" "$work/inst/lib/pelmora" "$work/planted"
  cp "$pelmora" "$work/inst/bin/"
  cp "$(dirname "$pelmora")/libpelmora.so" "$work/planted/"
  cd "$work/planted"
  "$work/inst/bin/pelmora" --version >"$work/o" 2>"$work/e"; status=$? err=$(cat "$work/e")
  expect_status 2 "no installed plug-in"
  expect_err "cannot load the plug-in $work/inst/bin/libpelmora.so" "no installed plug-in"
  cp "$(dirname "$pelmora")/libpelmora.so" "$work/inst/lib/pelmora/"
  "$work/inst/bin/pelmora" --version >/dev/null 2>&1 || fail "the plug-in in the install's lib/pelmora"
  # (Not under AddressSanitizer, which itself needs /proc.)
  # A container or chroot may allow no mount namespace: probe before relying on one.
  if [ "$(id -u)" != 0 ] || ! command -v unshare >/dev/null || [ -n "${ASAN_OPTIONS:-}" ]; then
    :
  elif ! probe=$(unshare -m sh -c 'mount -t tmpfs none /proc' 2>&1); then
    echo "skipped: the check without /proc (no mount namespace here: ${probe:-unshare failed})"
  else
    # Without /proc the command still finds its install, or says it cannot.
    unshare -m sh -c 'mount -t tmpfs none /proc && "$1" --version' sh "$work/inst/bin/pelmora" >"$work/o" 2>&1 ||
      fail "without /proc: $(cat "$work/o")"
  fi
  cd "$work"
fi

. "$here/faults.sh"

if [ $failures -gt 0 ]; then
  echo "$failures failed" >&2
  exit 1
fi
echo "end to end: all checks passed"
