#!/usr/bin/env bash
# The pelmora command end to end against the real plug-in, on MP3s made by
# lame and tagged by real taggers: preview, run, undo, unreadable files and
# links, closed outputs, journals by identity; the faults of faults.sh. Runs
# the native build directly and the Windows build through its Wine runner:
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
# The checksums alone, to prove a rename lost or changed no file.
contents() { (cd "$1" && find . -type f -exec md5sum {} + | awk '{print $1}' | sort); }

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
same . "$original" "a preview changed the library"
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
same . "$original" "undo did not give every file back its name and bytes"
run --undo "$work/real.journal"
expect_status 0 "second undo"
expect_out "0 restored, 0 already in place, 0 left alone" "second undo"
same . "$original" "a second undo changed something"

# --- the kill hook only in the tests' build --------------------------------
fresh killed
PELMORA_TEST_KILL_AFTER=3 run --journal "$work/shipped.journal" .
expect_status 1 "the shipped program has no kill hook"
run --undo "$work/shipped.journal"
same . "$original" "undo after the shipped program's run left"

if [ $windows = 0 ]; then
  fresh unreadable
  chmod 000 track02.mp3
  # Root reads every file, so the check runs as nobody, from a copy of the
  # program and plug-in that nobody may run wherever the build lives.
  if [ "$(id -u)" = 0 ]; then
    mkdir "$work/bin"
    cp "$pelmora" "$(dirname "$pelmora")/libpelmora.so" "$work/bin/"
    chmod 755 "$work" "$work/unreadable" "$work/bin"
    other=(setpriv --reuid=65534 --regid=65534 --clear-groups "$work/bin/pelmora")
  else
    other=("$pelmora")
  fi
  run_as_other() { "${other[@]}" "$@" >"$work/o" 2>"$work/e"; status=$? out=$(cat "$work/o") err=$(cat "$work/e"); }
  run_as_other --no-journal -n track02.mp3
  expect_status 1 "unreadable file"
  expect_err "track02.mp3: cannot read: Permission denied; left alone" "unreadable file"
  chmod 644 track02.mp3
  # A folder the user may not write to: marked in the preview, left alone by the run.
  chmod 555 .
  run_as_other --no-journal -n track01.mp3
  expect_status 1 "unwritable folder"
  expect_out "[cannot write in .: Permission denied: stays]" "unwritable folder"
  run_as_other --no-journal track01.mp3
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
  # A pipe whose reader is gone before the first line, so the outcome never
  # depends on which process runs first.
  rm -f "$work/fifo" && mkfifo "$work/fifo"
  exec 4<>"$work/fifo" 5>"$work/fifo" 4<&-
  if [ $sink = pipe ]; then exec 6>&5; else exec 6>/dev/full; fi
  { (launch "$pelmora" --journal "$work/$sink.journal" . >&6 2>"$work/e"); } 2>/dev/null
  status=$?
  exec 5>&- 6>&-
  err=$(tr '\\' '/' <"$work/e")
  expect_status 1 "output into a closed $sink"
  expect_err "cannot write to standard output; stopped after" "output into a closed $sink"
  expect_err "journal: " "output into a closed $sink"
  [ "$(contents .)" = "$original_contents" ] || fail "a stopped run lost or changed a file"
  run --undo "$work/$sink.journal"
  expect_status 0 "undo of a run stopped by its output ($sink)"
  same . "$original" "undo after a stopped run ($sink)"
done

# --- a folder beyond Windows-1251 ------------------------------------------
fresh refusals
mkdir -p "Björk/日本"
cp track01.mp3 "Björk/日本/a.mp3"
before=$(snapshot .)
run --journal "$work/refusals.journal" -r Björk
expect_out "Björk/日本/a.mp3 -> Björk/日本/Nightfall Choir - Morning Light.mp3" "a folder beyond Windows-1251"
run --undo "$work/refusals.journal"
same . "$before" "refusals: the library changed"

# --- journals by identity, history, closed outputs, where the plug-in comes from (native)
if [ $windows = 0 ]; then
  # Journals in $XDG_STATE_HOME/pelmora, never among the music, undone newest first.
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
  [ "$(ls "$work/id-state/pelmora" | grep -c '\.journal$')" = 2 ] || fail "journals in \$XDG_STATE_HOME/pelmora"
  [ -z "$(find . -name '*.journal')" ] || fail "a journal landed among the music"
  XDG_STATE_HOME="$work/id-state" run --history
  [ "$(grep -c 'not undone' <<<"$out")" = 2 ] || fail "--history after two runs: $out"
  XDG_STATE_HOME="$work/id-state" run --undo
  XDG_STATE_HOME="$work/id-state" run --undo
  expect_status 0 "the second --undo"
  same . "$before" "two undos did not give back the folder"
  XDG_STATE_HOME="$work/id-state" run --undo
  expect_status 1 "a third --undo"
  expect_err "nothing to undo" "a third --undo"

  # Closed standard streams never become the journal.
  fresh closed
  "$pelmora" --journal "$work/closed.journal" . >&- 2>&-
  grep -v $'^renam\|^failed\|^# ' "$work/closed.journal" && fail "console lines in the journal"
  grep -rqF -- ' -> ' "$XDG_STATE_HOME" && fail "console lines in the state folder"
  "$pelmora" --undo "$work/closed.journal" <&- >&- 2>&- ; status=$?
  expect_status 0 "undo with closed streams"
  same . "$original" "undo with closed streams left"

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
