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
expect_status() { [ "$status" = "$1" ] || fail "$2: exit status $status, expected $1 (stderr: $err)"; }
expect_out() { grep -qF -- "$1" <<<"$out" || fail "$2: output lacks '$1'; got: $out"; }
expect_err() { grep -qF -- "$1" <<<"$err" || fail "$2: errors lack '$1'; got: $err"; }
