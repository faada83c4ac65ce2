# What the command's end-to-end scripts share, sourced first. Their arguments:
# PELMORA [RUNNER [PELMORA_WITH_TEST_HOOKS]], the runner empty natively and
# the Wine runner for the Windows build. run() needs $work, set by the script.
absolute() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
pelmora=$(absolute "$1")
runner=${2:+$(absolute "$2")}
hooked=${3:+$(absolute "$3")}
failures=0

fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
# Runs the command in the current folder ($program instead when set); output
# with "\" as "/" so both builds read alike. Sets $status, $out, $err.
run() {
  local o e pelmora=${program:-$pelmora}
  o=$(mktemp -p "$work") e=$(mktemp -p "$work")
  # The shell's own word about a killed child goes nowhere.
  { if [ -n "$runner" ]; then "$runner" "$pelmora" "$@" >"$o" 2>"$e"; else "$pelmora" "$@" >"$o" 2>"$e"; fi; } 2>/dev/null
  status=$?
  out=$(tr '\\' '/' <"$o")
  err=$(tr '\\' '/' <"$e")
}
# The program (or the tests' build of it) as this build runs it, in place of
# the shell that calls it, so that a job's process is the program's own.
launch() { if [ -n "$runner" ]; then exec "$runner" "$@"; else exec "$@"; fi; }
expect_status() { [ "$status" = "$1" ] || fail "$2: exit status $status, expected $1 (stderr: $err)"; }
expect_out() { grep -qF -- "$1" <<<"$out" || fail "$2: output lacks '$1'; got: $out"; }
expect_err() { grep -qF -- "$1" <<<"$err" || fail "$2: errors lack '$1'; got: $err"; }
# The checksum of every file and every folder (ending in "/"), so that a lost
# file, a changed one or a stray folder shows; same FOLDER SNAPSHOT WHAT.
snapshot() { (cd "$1" && { find . -type f -exec md5sum {} +; find . -type d | sed 's|^|folder  |; s|$|/|'; } | sort -k2); }
same() { [ "$(snapshot "$1")" = "$2" ] || fail "$3: $(diff <(echo "$2") <(snapshot "$1") | head -20)"; }
# $work/NAME made afresh from $work/FROM (the library by default) and entered.
fresh() { rm -rf "${work:?}/$1" && cp -a "$work/${2:-library}" "$work/$1" && cd "$work/$1"; }
