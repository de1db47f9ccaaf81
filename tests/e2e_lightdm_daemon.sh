#!/bin/bash
# The final word: the real LightDM daemon, started for a few seconds after the helper ran, logs
# in automatically exactly when the success line says so. (No logind here, so LightDM's one
# seat reads [Seat:*] only; the seat sections are judged by lightdm --show-config in
# e2e_lightdm.sh.)
source "$(dirname "$0")/lib/sandbox.sh" "$@"
source "$(dirname "$0")/lib/lightdm.sh"

if ! command -v lightdm > /dev/null; then
  echo "SKIP: lightdm is not installed (apt-get install --no-install-recommends lightdm)"
  exit 77
fi
if ! unshare --pid --fork --mount-proc true 2> /dev/null; then
  echo "SKIP: cannot create a private pid namespace here (unshare --pid failed)"
  exit 77
fi
fresh_etc
add_user alice 2001
private_lightdm_dirs
reset_drop_ins
SEAT=$'[Seat:*]\n#autologin-user=\n#autologin-user-timeout=0\n'
DROP_IN=/etc/lightdm/lightdm.conf.d/50-site.conf

expect_choice() {
  local choice
  choice=$(daemon_first_choice)
  [ "$choice" = "$2" ] || fail "$1: LightDM started a $choice, expected a $2"
}

# A drop-in names bob. Commenting lightdm.conf's lines out would leave bob logged in, and the
# daemon shows it; disable's explicit empty user stops it.
printf '[Seat:*]\nautologin-user=bob\n' > "$DROP_IN"
printf '%s' "$SEAT" > "$CONF"
expect_choice "a drop-in's user, lightdm.conf commented out" "user session"
run disable
expect_run "disable over a drop-in's user" 0 $'Auto login disabled\n' ""
expect_choice "disable over a drop-in's user" "greeter session"

# A drop-in sets a countdown and lightdm.conf has no timeout line of its own; enable adds one,
# so the login happens at once.
printf '[Seat:*]\nautologin-user-timeout=30\n' > "$DROP_IN"
printf '[Seat:*]\n#autologin-user=\n' > "$CONF"
run enable alice
expect_run "enable over a drop-in's countdown" 0 $'Auto login enabled for user: alice\n' ""
expect_choice "enable over a drop-in's countdown" "user session"
grep -q 'autologin-user-timeout=0' "$CONF" || fail "enable did not pin the timeout"

# The same countdown written with more leading zeros than the helper keeps of a value: atoi still
# reads 30, so enable must pin the timeout or refuse.
printf '[Seat:*]\nautologin-user-timeout=%01100d30\n' 0 > "$DROP_IN"
printf '[Seat:*]\n#autologin-user=\n' > "$CONF"
run enable alice
[ "$STATUS" = 0 ] && expect_choice "enable over a drop-in's countdown after 1100 zeros" "user session"

# A seat glob that GLib's matcher cannot take (a "?", then a UTF-8 sequence cut short) stops the
# daemon when it matches its seat's sections: nobody is logged in, so enable must refuse.
printf '[Seat:?\xc3]\nx=1\n' > "$DROP_IN"
printf '%s' "$SEAT" > "$CONF"
run enable alice
[ "$STATUS" = 0 ] && expect_choice "enable beside a seat glob LightDM aborts on" "user session"

# A user name with a trailing backslash: GLib 2.74 (Debian 12) drops the backslash and LightDM
# logs alice in, GLib 2.77.3 and later (Debian 13) hand LightDM no name at all. status cannot
# tell which, and says so; disable and enable put a value of their own in front of it.
printf '[Seat:*]\nautologin-user=alice\\\n' > "$DROP_IN"
printf '%s' "$SEAT" > "$CONF"
run status
expect_status "status over a trailing backslash" 1
grep -q "cannot tell how LightDM reads $DROP_IN: line 2" "$ERR" ||
  fail "status over a trailing backslash: $(cat "$ERR")"
run disable
expect_run "disable over a trailing backslash" 0 $'Auto login disabled\n' ""
expect_choice "disable over a trailing backslash" "greeter session"
run enable alice
expect_run "enable over a trailing backslash" 0 $'Auto login enabled for user: alice\n' ""
expect_choice "enable over a trailing backslash" "user session"

# A guest login in a drop-in cannot be answered from lightdm.conf: refused, and LightDM still
# goes for the guest.
printf '[Seat:*]\nautologin-guest=true\n' > "$DROP_IN"
printf '%s' "$SEAT" > "$CONF"
run disable
expect_status "disable under a guest login" 1
expect_choice "disable under a guest login" "display server"

finish
