# Sourced by the tests: counting failed checks and the checks on a run's output and files.
# A test ends with `finish`, which exits 1 if any check failed.

FAILURES=0

fail() {
  echo "FAIL: $*" >&2
  FAILURES=$((FAILURES + 1))
}

# expect_status WHAT N
expect_status() {
  [ "$STATUS" = "$2" ] || fail "$1: exit status $STATUS, expected $2 (stderr: $(cat "$ERR"))"
}

# expect_bytes WHAT FILE TEXT: FILE holds exactly TEXT (printf escapes are not expanded).
expect_bytes() {
  if ! printf '%s' "$3" | cmp -s - "$2"; then
    fail "$1: $2 differs from what was expected"
    printf '%s' "$3" | diff -u - "$2" | sed 's/^/    /' | head -20 >&2
  fi
}

# expect_run WHAT STATUS STDOUT STDERR: checks the last run exactly.
expect_run() {
  expect_status "$1" "$2"
  expect_bytes "$1 (stdout)" "$OUT" "$3"
  expect_bytes "$1 (stderr)" "$ERR" "$4"
}

expect_mode() {
  local mode
  mode=$(stat -c %a "$2")
  [ "$mode" = "$3" ] || fail "$1: $2 has mode $mode, expected $3"
}

finish() {
  if [ "$FAILURES" -gt 0 ]; then
    echo "$FAILURES check(s) failed" >&2
    exit 1
  fi
  echo "all checks passed"
  exit 0
}
