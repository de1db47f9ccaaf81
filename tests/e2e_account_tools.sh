#!/bin/bash
# The autologin group through the real groupadd, usermod and gpasswd on the sandbox's /etc, and
# through recording stand-ins where a tool must fail or must not run at all.
source "$(dirname "$0")/lib/sandbox.sh" "$@"

source "$(dirname "$0")/lib/cases.sh"

ENABLED=$'Auto login enabled for user: alice\n'
DISABLED=$'Auto login disabled\n'
# What gpasswd says as it takes alice out: the tools' standard output comes ahead of the
# success line.
REMOVED=$'Removing user alice from group autologin\n'

fake_all_tools() {
  fake_tool groupadd
  fake_tool usermod
  fake_tool gpasswd
}

expect_tools() {
  expect_bytes "$1 (commands run)" "$TOOL_LOG" "$2"
}

members() { getent group autologin | cut -d: -f4; }

start_case
run enable alice
expect_run "group missing" 0 "$ENABLED" ""
[ "$(members)" = alice ] || fail "group missing: members are '$(members)', expected alice"
gid=$(getent group autologin | cut -d: -f3)
[ "${gid:-1000}" -lt 1000 ] || fail "group missing: created with gid $gid, not a system gid"
run enable alice
expect_run "enable again" 0 "$ENABLED" ""
[ "$(members)" = alice ] || fail "enable again: members are '$(members)'"

start_case
add_group "bob,alice"
fake_all_tools
run enable alice
expect_run "already listed" 0 "$ENABLED" ""
expect_tools "already listed" ""

start_case
add_group "bob"
run enable alice
expect_run "group exists without alice" 0 "$ENABLED" ""
[ "$(members)" = bob,alice ] || fail "group exists: members are '$(members)'"

start_case
fake_tool groupadd "exit 10"
fake_tool usermod
run enable alice
expect_run "groupadd fails" 0 "$ENABLED" $'Warning: could not create group \'autologin\'\n'
expect_tools "groupadd fails" $'groupadd -r autologin\n'
expect_bytes "groupadd fails (configuration)" "$CONF" \
  $'[Seat:*]\nautologin-user=alice\nautologin-user-timeout=0\n'

start_case
add_group ""
fake_tool usermod "echo 'usermod speaks'; exit 6"
run enable alice
expect_run "usermod fails" 0 "usermod speaks"$'\n'"$ENABLED" \
  $'Warning: could not add user \'alice\' to group \'autologin\'\n'
expect_tools "usermod fails" $'usermod -aG autologin alice\n'

# Nothing changes before everything that can refuse has had its say: a configuration that
# cannot be read or that LightDM would not act on leaves the group alone.
for broken in missing no-directory fifo too-large nul-key unloadable guest; do
  start_case
  case $broken in
    missing) rm "$CONF" ;;
    no-directory) rm -r /etc/lightdm ;;
    fifo) rm "$CONF" && mkfifo "$CONF" ;;
    too-large) head -c 200000 /dev/zero | tr '\0' '#' > "$CONF" ;;
    nul-key) printf '[Seat:*]\nx=1\0\n' > "$CONF" ;;
    unloadable) printf '[Seat:*]\nno equals sign\n' > "$CONF" ;;
    guest) printf '[Seat:*]\nautologin-guest=true\n' >> "$CONF" ;;
  esac
  snapshot_etc
  run enable alice
  expect_status "configuration $broken" 1
  expect_unchanged "configuration $broken"
done

start_case
add_group "bob,alice"
run disable alice
expect_run "disable alice" 0 "$REMOVED$DISABLED" ""
[ "$(members)" = bob ] || fail "disable alice: members are '$(members)', expected bob"

# Only a user that /etc/group or /etc/gshadow lists is taken out; the tool is not run to fail.
start_case
add_group "bob"
fake_tool gpasswd "exit 3"
run disable alice
expect_run "disable, not a member" 0 "$DISABLED" ""
expect_tools "disable, not a member" ""

# Files that disagree about alice: gpasswd takes her out of whichever lists her, so afterwards
# both agree that she is no member, and bob stays.
for listed in group gshadow; do
  start_case
  echo "autologin:x:990:bob$([ $listed = group ] && echo ,alice)" >> /etc/group
  echo "autologin:!::bob$([ $listed = gshadow ] && echo ,alice)" >> /etc/gshadow
  run disable alice
  expect_run "disable, listed in $listed only" 0 "$REMOVED$DISABLED" ""
  [ "$(grep ^autologin: /etc/group)" = autologin:x:990:bob ] &&
    [ "$(grep ^autologin: /etc/gshadow)" = 'autologin:!::bob' ] ||
    fail "disable, listed in $listed only: left $(grep -h ^autologin: /etc/group /etc/gshadow)"
done

# The user still listed after the tool ran is warned about.
start_case
add_group "alice"
fake_tool gpasswd "exit 0"
run disable alice
expect_run "disable, gpasswd changes nothing" 0 "$DISABLED" \
  $'Warning: could not remove user \'alice\' from group \'autologin\'\n'

start_case
fake_all_tools
run disable alice
expect_run "disable, no group" 0 "$DISABLED" ""
expect_tools "disable, no group" ""

# Disabling without a name never even reads the group database.
if ! command -v strace > /dev/null; then
  echo "SKIP (one case): strace is not installed"
  finish
fi
start_case
add_group "alice"
fake_all_tools
traced -f -qq -e trace=openat -o "$WORK/strace.log" "$HELPER" disable > "$OUT" 2> "$ERR"
STATUS=$?
expect_run "disable without a name" 0 "$DISABLED" ""
expect_tools "disable without a name" ""
! grep -q '/etc/group' "$WORK/strace.log" || fail "disable without a name: /etc/group was read"

finish
