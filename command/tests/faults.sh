# The command under faults, end to end: a full disk, signals and kill -9 at
# any point, two runs and two undos at once, closed standard streams, names
# that say nothing. Sourced by end_to_end.sh, whose helpers it uses; every
# case ends with the library checked byte for byte after undo.

# Waits up to 20 s until FILE holds N lines starting with WORD.
wait_lines() {
  local i n
  for i in $(seq 200); do
    n=$(grep -c "^$3" "$1" 2>/dev/null)
    [ "${n:-0}" -ge "$2" ] && return 0
    sleep 0.1
  done
  return 1
}
undo_all() {
  run --undo "$1"
  same . "$original" "$2: undo (stderr: $err)"
}

# --- a full disk: a file-size limit, and a file system of one page ---------
fresh fsize
(launch "$pelmora" --version >/dev/null 2>&1)  # the Wine server up before the limit
{
  ( ulimit -f 1 && exec "${runner:-env}" "$pelmora" --journal "$work/fsize.journal" . ) 2>&1 | tr '\\' '/' >"$work/o"
  echo "${PIPESTATUS[0]}" >"$work/status"
} 2>/dev/null
status=$(cat "$work/status") err=$(cat "$work/o")
if [ $windows = 1 ] && [ "$status" = 153 ]; then
  # Wine ends a program at the limit (SIGXFSZ) before the write can fail: as a kill -9.
  :
else
  expect_status 1 "a run past the file-size limit"
  expect_err "cannot write the journal $work/fsize.journal: File too large; stopped after" "the file-size limit"
  [ "$(tail -c 1 "$work/fsize.journal" | od -An -c | tr -d ' ')" = '\n' ] || fail "a journal ends in half a line"
fi
undo_all "$work/fsize.journal" "past the file-size limit"

if [ $windows = 1 ]; then
  # The wine server opens the files, outside any mount namespace the test could make.
  echo "skipped under Wine: the run on a full small file system (the file-size limit stands for it)"
elif [ "$(id -u)" = 0 ] && command -v unshare >/dev/null &&
  unshare -m sh -c 'mount -t tmpfs none "$1"' sh "$work" 2>/dev/null; then
  # Long folder names, so that the lines fill the page before the run ends.
  long=$(printf 'folder-with-a-long-name-%.0s' 1 2 3 4 5 6 7)
  for fill in none all; do
    rm -rf "$work/$long" && mkdir -p "$work/small" "$work/$long" && cp -a "$work/library/." "$work/$long/"
    cd "$work/$long"
    unshare -m sh -c 'mount -t tmpfs -o size=8k none "$1" && { [ "$2" = none ] || head -c 4096 /dev/zero >"$1/filler"; }
      XDG_STATE_HOME="$1" "$3" . >"$4/o" 2>"$4/e"; echo $? >"$4/status"
      ls "$1/pelmora" >"$4/names"; cp "$1"/pelmora/*.journal "$4/small.journal" 2>/dev/null; true' \
      sh "$work/small" "$fill" "$pelmora" "$work"
    status=$(cat "$work/status") err=$(cat "$work/e")
    expect_status 1 "a run on a full file system ($fill)"
    expect_err "No space left on device; stopped after" "a full file system ($fill)"
    if [ $fill = all ]; then
      grep -q journal "$work/names" && fail "a journal that holds nothing was kept: $(cat "$work/names")"
      same . "$original" "a run without a journal renamed"
    else
      undo_all "$work/small.journal" "a full file system"
    fi
  done
else
  echo "skipped: the run on a full small file system (it needs root and a mount namespace)"
fi

# --- signals and kill -9 at any point ---------------------------------------
# Job control, so that a job in the background takes SIGINT as a terminal would give it.
set -m
for sig in INT TERM HUP KILL KILL KILL; do
  fresh "sig-$sig"
  rm -f "$work/sig.journal"
  (PELMORA_TEST_PAUSE_MS=150 launch "$hooked" --journal "$work/sig.journal" .) >"$work/o" 2>"$work/e" &
  pid=$!
  wait_lines "$work/sig.journal" $((RANDOM % 4 + 1)) renamed || fail "SIG$sig: the run wrote no journal"
  kill -s "$sig" $pid
  wait $pid 2>/dev/null
  status=$? err=$(tr '\\' '/' <"$work/e")
  case $sig in INT) code=130 ;; TERM) code=143 ;; HUP) code=129 ;; KILL) code=137 ;; esac
  expect_status $code "a run stopped by SIG$sig"
  # Wine ends a program at SIGTERM and SIGHUP at once; on Windows Ctrl-C is the interrupt.
  if [ $sig = INT ] || { [ $windows = 0 ] && [ $sig != KILL ]; }; then
    expect_err "interrupted by " "a run stopped by SIG$sig"
    expect_err "renamed; journal: $work/sig.journal (pelmora --undo puts the names back)" "a run stopped by SIG$sig"
  fi
  undo_all "$work/sig.journal" "SIG$sig"
done

# --- two runs, and two undos, at once ---------------------------------------
fresh twice
rm -f "$work/twice.journal"
(PELMORA_TEST_PAUSE_MS=500 launch "$hooked" --journal "$work/twice.journal" .) >"$work/o" 2>"$work/e" &
pid=$!
wait_lines "$work/twice.journal" 1 renaming || fail "the first run wrote no journal"
run -p '*title*' .
expect_status 1 "a second run beside the first"
expect_err "another pelmora is at work (process " "a second run beside the first"
wait $pid
PELMORA_TEST_PAUSE_MS=900 program=$hooked run --undo "$work/twice.journal" &
pid=$!
sleep 0.5
run --undo "$work/twice.journal"
expect_status 1 "a second undo beside the first"
expect_err "another pelmora is at work (process " "a second undo beside the first"
wait $pid
same . "$original" "two undos at once left"
set +m

# --- a closed standard stream (both builds) --------------------------------
# Each on its own: under Wine a program that starts with two of them closed
# finds Wine's own pipes in their place, and Wine ends it at its first line.
fresh closed-err
{ (launch "$pelmora" --journal "$work/closed-err.journal" . 2>&-) | tr '\\' '/' >"$work/o"; } 2>/dev/null
grep -q '^10 seen, 5 renamed, 3 unchanged, 2 failed' "$work/o" || fail "a run without standard error: $(cat "$work/o")"
{ (launch "$pelmora" --undo "$work/closed-err.journal" >&-) 2>"$work/e"; } 2>/dev/null
status=$? err=$(cat "$work/e")
expect_status 0 "undo without standard output"
same . "$original" "undo without standard output left"
{ (launch "$pelmora" --journal "$work/closed-out.journal" . >&-) 2>"$work/e"; } 2>/dev/null
[ "$(grep -c '^renamed' "$work/closed-out.journal")" = 5 ] || fail "a run without standard output stopped: $(cat "$work/e")"
undo_all "$work/closed-out.journal" "a run without standard output"

# --- names that say nothing --------------------------------------------------
fresh empty
# ID3v1 tags of nothing, and of a title alone, on a file that has none.
cp track01.mp3 empty.mp3 && { printf 'TAG'; head -c 125 /dev/zero; } >>empty.mp3
cp track01.mp3 title.mp3 && { printf 'TAGTitle'; head -c 120 /dev/zero; } >>title.mp3
# A tag whose artist reads NOTAG is still a tag.
cp track01.mp3 notag.mp3 && { printf 'TAG'; head -c 30 /dev/zero; printf 'NOTAG'; head -c 90 /dev/zero; } >>notag.mp3
while IFS='|' read -r pattern file line; do
  run -n -t id3v1 -p "$pattern" "$file"
  expect_out "$line" "names that say nothing: $pattern on $file"
done <<'EOF'
*artist* - *title*|empty.mp3|empty.mp3 ->  - .mp3  [empty artist and title: stays]
*artist* *title* *bitrate*|empty.mp3|empty.mp3 ->   128.mp3  [empty artist and title: stays]
*artist* - *title*|title.mp3|title.mp3 ->  - Title.mp3  [a name beginning with a space: stays]
*artist* *bitrate*|track01.mp3|track01.mp3 -> NOTAG 128.mp3  [no ID3v1 tag: NOTAG]
*artist* *bitrate*|notag.mp3|notag.mp3 -> NOTAG 128.mp3
*track* *title*|title.mp3|title.mp3 -> 0 Title.mp3
EOF
# Once a file without the tag is met, the rest of the run is asked the tag
# with the name: the marks stay what they were.
cp track01.mp3 a-untagged.mp3
run -n -t id3v1 -p '*artist* *bitrate* *filename*' a-untagged.mp3 notag.mp3 track01.mp3
[ "$(grep -c ' \[no ID3v1 tag: NOTAG\]$' <<<"$out")" = 2 ] && grep -qx 'notag.mp3 -> NOTAG 128 notag.mp3' <<<"$out" ||
  fail "the tag asked with the name: $out"
run -t id3v1 --journal "$work/empty.journal" empty.mp3
expect_status 1 "a name that says nothing, in a real run"
[ -f empty.mp3 ] || fail "a file was renamed to a name that says nothing: $(listing .)"
cd "$work"
