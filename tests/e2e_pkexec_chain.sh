#!/bin/bash
# The whole deployment chain with the real pieces: an unprivileged user runs pkexec, polkitd
# (on a system D-Bus of the test's own) grants the installed action through a rules file,
# pkexec starts the packaged helper as root, and LightDM reads the file it wrote. A user the
# rule does not name is refused and nothing changes.
# Usage: e2e_pkexec_chain.sh HELPER PACKAGE_ROOT (the helper inside the extracted .deb)
source "$(dirname "$0")/lib/sandbox.sh" "$@"
ROOT=$2

for tool in pkexec dbus-daemon dbus-send /usr/lib/polkit-1/polkitd; do
  if ! command -v "$tool" > /dev/null; then
    echo "SKIP: $tool missing (apt-get install pkexec polkitd dbus)"
    exit 77
  fi
done
if [ ! -u "$(command -v pkexec)" ]; then
  echo "SKIP: pkexec is not setuid root here"
  exit 77
fi
ACTION=org.brindleway.helper.autologin
INSTALLED=/usr/libexec/brindleway-helper
SEAT=$'[Seat:*]\n#autologin-user=\n#autologin-user-timeout=0\n'

fresh_etc
add_user alice 2001
add_user granted 2101
add_user stranger 2102
printf '%s' "$SEAT" > "$CONF"

# "Install" the package into the sandbox: bind copies of the two directories over the real ones.
install_into() {
  cp -a "$2" "$WORK/$(basename "$2")"
  cp "$1" "$WORK/$(basename "$2")/"
  mount --bind "$WORK/$(basename "$2")" "$2"
}
install_into "$ROOT$INSTALLED" /usr/libexec
install_into "$ROOT/usr/share/polkit-1/actions/$ACTION.policy" /usr/share/polkit-1/actions
mkdir -p /etc/polkit-1/rules.d
cat > /etc/polkit-1/rules.d/50-brindleway-test.rules <<RULES
polkit.addRule(function(action, subject) {
  if (action.id == "$ACTION" && subject.user == "granted") return polkit.Result.YES;
});
RULES

# A system bus and polkitd of our own, on a private /run; stopped by their pids on the way out.
mount -t tmpfs tmpfs /run
mkdir -p /run/dbus
DAEMONS=()
stop_daemons() {
  if [ "${#DAEMONS[@]}" -gt 0 ]; then
    kill "${DAEMONS[@]}" 2> /dev/null
    wait 2> /dev/null
  fi
  cd /
  rm -rf "$WORK"
}
trap stop_daemons EXIT
dbus_pid=$(dbus-daemon --system --fork --print-pid) || { echo "FAIL: no system bus" >&2; exit 1; }
DAEMONS+=("$dbus_pid")
/usr/lib/polkit-1/polkitd --no-debug > "$WORK/polkitd.log" 2>&1 &
DAEMONS+=("$!")
for _ in $(seq 1 100); do
  dbus-send --system --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:org.freedesktop.PolicyKit1 2> /dev/null |
    grep -q 'boolean true' && break
  sleep 0.1
done

# as USER ARGS...: runs pkexec as USER with a bare environment, as a settings program would.
# There is no authentication agent here, so a user whom polkit does not let through is refused.
as() {
  local user=$1
  shift
  env -i PATH=/usr/bin:/bin LANG=C setpriv --reuid="$user" --regid="$user" --clear-groups \
    pkexec --disable-internal-agent "$INSTALLED" "$@" > "$OUT" 2> "$ERR"
  STATUS=$?
}

as stranger enable alice
expect_status "stranger" 127
grep -q 'Error executing command as another user' "$ERR" || fail "stranger: pkexec did not refuse: $(cat "$ERR")"
expect_bytes "stranger (configuration)" "$CONF" "$SEAT"

as granted enable alice
expect_run "granted enable" 0 $'Auto login enabled for user: alice\n' ""
expect_bytes "granted enable (configuration)" "$CONF" \
  $'[Seat:*]\nautologin-user=alice\nautologin-user-timeout=0\n'
[ "$(getent group autologin | cut -d: -f4)" = alice ] || fail "granted enable: alice not in the group"
if command -v lightdm > /dev/null; then
  lightdm --show-config 2>&1 | grep -q '^B  autologin-user=alice$' ||
    fail "granted enable: LightDM does not read autologin-user=alice"
fi

as granted disable alice
expect_status "granted disable" 0
expect_bytes "granted disable (configuration)" "$CONF" "$SEAT"

finish
