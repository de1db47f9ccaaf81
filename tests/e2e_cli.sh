#!/bin/bash
# The command line: every refusal, both success lines, exact bytes and exit statuses.
source "$(dirname "$0")/lib/sandbox.sh" "$@"

ORIGINAL=$'[LightDM]\n[Seat:*]\n#autologin-user=\n#autologin-user-timeout=0\n'
DRY_RUN_TOO=1
fresh_etc
add_user alice 2001
printf '%s' "$ORIGINAL" > "$CONF"
snapshot_etc

# refuse WHAT STDERR ARGS...: the run is refused with STDERR and changes nothing.
refuse() {
  local what=$1 message=$2
  shift 2
  run "$@"
  expect_run "$what" 1 "" "$message"
  expect_bytes "$what (configuration)" "$CONF" "$ORIGINAL"
  expect_unchanged "$what"
}

# Not root: refused before the arguments are looked at.
for args in "" "enable alice" "ENABLE" "disable" "enable a/b" "--dry-run enable alice" \
  "--dry-run disable alice -x"; do
  # shellcheck disable=SC2086
  setpriv --reuid=65534 --regid=65534 --clear-groups "$HELPER" $args > "$OUT" 2> "$ERR"
  STATUS=$?
  expect_run "non-root '$args'" 1 "" $'brindleway-helper must be run as root (use pkexec)\n'
done
expect_bytes "non-root runs (configuration)" "$CONF" "$ORIGINAL"

refuse "no command" "Usage: $HELPER enable <username>
       $HELPER disable [username]
"
refuse "command in capitals" $'Unknown command: ENABLE\n' ENABLE alice
refuse "unknown command" $'Unknown command: on\n' on alice
refuse "empty command" $'Unknown command: \n' ""
# A word the caller chose cannot forge a line of its own: a line feed, an escape and every byte
# outside printable ASCII show as \xNN, and a word too long is cut with "...".
refuse "command with a line feed" $'Unknown command: on\\x0aAuto login disabled\n' \
  $'on\nAuto login disabled'
refuse "command with a terminal escape" $'Unknown command: \\x1b[2Kon\n' $'\e[2Kon'
refuse "enable without a name" "Usage: $HELPER enable <username>
" enable
# An option after the command word is refused whole: a helper that ignored it would act.
USAGE="Usage: $HELPER enable <username>
       $HELPER disable [username]
"
for args in "disable --dry-run" "enable alice --dry-run" "enable --json alice" "disable alice -x" \
  "enable alice extra --json" "status --json" "--dry-run status -x"; do
  # shellcheck disable=SC2086
  refuse "'$args'" "$USAGE" $args
done
long=$(printf 'x%.0s' {1..200})!
# One case a line: the name given (printf %b escapes), then the name as the message shows it.
while IFS='|' read -r name shown; do
  name=$(printf '%b' "$name")
  refuse "enable '$name'" "Invalid username: $shown
" enable "$name"
  refuse "disable '$name'" "Invalid username: $shown
" disable "$name"
done << EOF
|
a b|a b
a/b|a/b
\$USER|\$USER
alice;id|alice;id
al\\nice|al\\x0aice
al\\nAuto login enabled for user: alice|al\\x0aAuto login enabled for user: alice
a\\e[1Ab|a\\x1b[1Ab
caf\\xc3\\xa9|caf\\xc3\\xa9
a\\\\b|a\\x5cb
${long}|${long%!}...
EOF
refuse "enable an unknown account" $'User does not exist: ghost\n' enable ghost
refuse "enable a name with a leading full stop" $'User does not exist: .ghost\n' enable .ghost
# A domain account's name passes the name rule; one LightDM's files do not hold is looked up.
refuse "enable a domain account's name" $'User does not exist: kd@corp\n' enable kd@corp
refuse "enable a name that opens with @" $'Invalid username: @corp\n' enable @corp

run enable alice and more arguments
expect_run "enable with extra arguments" 0 $'Auto login enabled for user: alice\n' ""
expect_bytes "enable (configuration)" "$CONF" \
  $'[LightDM]\n[Seat:*]\nautologin-user=alice\nautologin-user-timeout=0\n'
expect_no_litter "enable"

run disable
expect_run "disable" 0 $'Auto login disabled\n' ""
expect_bytes "disable (configuration)" "$CONF" "$ORIGINAL"

# The name given to disable is not looked up, and gpasswd's own words never reach the caller.
run disable ghost extra
expect_run "disable naming an unknown account" 0 \
  $'Auto login disabled\n' ""

finish
