#!/bin/bash
# The command line: every refusal, both success lines, exact bytes and exit statuses.
source "$(dirname "$0")/lib/sandbox.sh" "$@"

ORIGINAL=$'[LightDM]\n[Seat:*]\n#autologin-user=\n#autologin-user-timeout=0\n'
fresh_etc
add_user alice 2001
printf '%s' "$ORIGINAL" > "$CONF"
cp /etc/group "$WORK/group.before"

# refuse WHAT STDERR ARGS...: the run is refused with STDERR and changes nothing.
refuse() {
  local what=$1 message=$2
  shift 2
  run "$@"
  expect_run "$what" 1 "" "$message"
  expect_bytes "$what (configuration)" "$CONF" "$ORIGINAL"
  cmp -s /etc/group "$WORK/group.before" || fail "$what: /etc/group changed"
}

# Not root: refused before the arguments are looked at.
for args in "" "enable alice" "ENABLE" "disable" "enable a/b"; do
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
refuse "enable without a name" "Usage: $HELPER enable <username>
" enable
for name in "" "a b" "a/b" '$USER' "alice;id" "al"$'\n'"ice" $'caf\xc3\xa9'; do
  refuse "enable '$name'" "Invalid username: $name
" enable "$name"
  refuse "disable '$name'" "Invalid username: $name
" disable "$name"
done
refuse "enable an unknown account" $'User does not exist: ghost\n' enable ghost
refuse "enable a name with a leading full stop" $'User does not exist: .ghost\n' enable .ghost

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
