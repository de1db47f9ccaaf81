# Sourced after namespace.sh by the tests of the installed package. It gives the test a copy of
# this whole system to install the package on: an overlay over /, whose upper layer (on a tmpfs)
# then holds exactly what changed, entered with chroot, with a /run and /tmp of its own and a
# system bus and polkitd of its own once start_daemons is called. The host's /, /run and /etc
# are never written: the overlay copies up what is changed, and everything vanishes with the
# mount namespace.
#
# Usage: source "$(dirname "$0")/lib/chain.sh" PACKAGE.deb

for tool in pkexec dbus-daemon dbus-send /usr/lib/polkit-1/polkitd; do
  if ! command -v "$tool" > /dev/null; then
    echo "SKIP: $tool is not installed (scripts/test installs it: pkexec, dbus, polkitd)"
    exit 77
  fi
done
if [ ! -u "$(command -v pkexec)" ]; then
  echo "SKIP: pkexec is not setuid root here"
  exit 77
fi
source "$(dirname "${BASH_SOURCE[0]}")/check.sh"

PACKAGE=$1
ACTION=org.brindleway.helper.autologin
INSTALLED=/usr/libexec/brindleway-helper
SEAT=$'[Seat:*]\n#autologin-user=\n#autologin-user-timeout=0\n'
WORK=$(mktemp -d /tmp/brindleway-chain.XXXXXX)
LAYERS=$WORK/layers
SYSTEM=$WORK/system
DAEMONS=()
OUT=$WORK/stdout
ERR=$WORK/stderr

# Stops the daemons by their pids (dbus-daemon forked, so it is no child to wait for).
stop_daemons() {
  local pid
  [ "${#DAEMONS[@]}" -gt 0 ] || return 0
  kill "${DAEMONS[@]}" 2> /dev/null
  for pid in "${DAEMONS[@]}"; do
    for _ in $(seq 1 50); do
      kill -0 "$pid" 2> /dev/null || break
      sleep 0.1
    done
  done
  wait 2> /dev/null
  DAEMONS=()
}

# Unmounts the copy before anything is removed: it has the host's /dev bound into it, and rm
# never crosses a mount point here either.
leave_system() {
  stop_daemons
  cd /
  umount -R "$SYSTEM" 2> /dev/null || umount -R -l "$SYSTEM"
  umount "$LAYERS" 2> /dev/null || umount -l "$LAYERS"
  rm -rf --one-file-system "$WORK"
}
trap leave_system EXIT

mkdir "$LAYERS" "$SYSTEM"
mount -t tmpfs -o mode=0755 tmpfs "$LAYERS"
mkdir "$LAYERS/upper" "$LAYERS/work"
if ! mount -t overlay overlay -o "lowerdir=/,upperdir=$LAYERS/upper,workdir=$LAYERS/work" \
  "$SYSTEM" 2> "$WORK/mount.log"; then
  echo "SKIP: cannot mount an overlay over / here: $(cat "$WORK/mount.log")"
  exit 77
fi
mount --rbind /dev "$SYSTEM/dev"
mount -t proc proc "$SYSTEM/proc"
mount -t tmpfs -o mode=0755 tmpfs "$SYSTEM/run"
mount -t tmpfs -o mode=1777 tmpfs "$SYSTEM/tmp"
# The accounts' homes, where LightDM would start their sessions, live on the copy's own /home.
mount -t tmpfs -o mode=0755 tmpfs "$SYSTEM/home"
cp "$PACKAGE" "$SYSTEM/tmp/brindleway-helper.deb"

# in_system COMMAND...: runs COMMAND as root in the copy, with a plain environment.
in_system() {
  chroot "$SYSTEM" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C LC_ALL=C "$@"
}

# The accounts live in the copy's databases (accounts.sh).
ACCOUNTS_ROOT=$SYSTEM
source "$(dirname "${BASH_SOURCE[0]}")/accounts.sh"

# The test users, the seat section, and a rules file that lets the user "granted" (only) use
# the action without a password.
prepare_system() {
  add_user alice 2001
  add_user granted 2101
  add_user stranger 2102
  mkdir -p "$SYSTEM/etc/lightdm" "$SYSTEM/etc/polkit-1/rules.d"
  printf '%s' "$SEAT" > "$SYSTEM/etc/lightdm/lightdm.conf"
  chmod 644 "$SYSTEM/etc/lightdm/lightdm.conf"
  # The programs on LightDM's road that a desktop machine has and this one may lack: an X
  # server and a session manager, in the copy's own /usr/bin.
  for program in X x-session-manager; do
    [ -e "$SYSTEM/usr/bin/$program" ] && continue
    printf '#!/bin/sh\nexec sleep 60\n' > "$SYSTEM/usr/bin/$program"
    chmod 0755 "$SYSTEM/usr/bin/$program"
  done
  cat > "$SYSTEM/etc/polkit-1/rules.d/50-brindleway-test.rules" <<RULES
polkit.addRule(function(action, subject) {
  if (action.id == "$ACTION" && subject.user == "granted") return polkit.Result.YES;
});
RULES
}

install_package() {
  in_system dpkg -i /tmp/brindleway-helper.deb > "$WORK/dpkg.log" 2>&1 ||
    fail "dpkg -i failed: $(cat "$WORK/dpkg.log")"
}

# A system bus and polkitd in the copy, started after the package so that polkitd reads its
# action; waits until polkitd owns its name on the bus.
start_daemons() {
  local dbus_pid
  mkdir -p "$SYSTEM/run/dbus"
  dbus_pid=$(in_system dbus-daemon --system --fork --print-pid) || {
    echo "FAIL: no system bus" >&2
    exit 1
  }
  DAEMONS+=("$dbus_pid")
  # polkitd translates a prompt by setting the agent's locale for itself; an LC_ALL in its own
  # environment would win over it, as it never does on a booted system.
  in_system env -u LC_ALL /usr/lib/polkit-1/polkitd --no-debug > "$WORK/polkitd.log" 2>&1 &
  DAEMONS+=("$!")
  for _ in $(seq 1 100); do
    in_system dbus-send --system --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
      org.freedesktop.DBus.NameHasOwner string:org.freedesktop.PolicyKit1 2> /dev/null |
      grep -q 'boolean true' && return
    sleep 0.1
  done
  echo "FAIL: polkitd did not come up: $(cat "$WORK/polkitd.log")" >&2
  exit 1
}


# as USER ARGS...: USER runs pkexec on the installed helper with ARGS, from a bare environment
# as a settings program would, through the command words in the array CALLER if a test set it
# (a hostile caller that changes the process before it executes pkexec). Sets STATUS, with the
# output in $OUT and $ERR. There is no authentication agent, so a user whom polkit does not let
# through is refused.
CALLER=()
as() {
  local user=$1
  shift
  in_system setpriv --reuid="$user" --regid="$user" --clear-groups \
    "${CALLER[@]}" pkexec --disable-internal-agent "$INSTALLED" "$@" > "$OUT" 2> "$ERR"
  STATUS=$?
}

# The copy's group line of the autologin group, its members field.
autologin_members() {
  grep '^autologin:' "$SYSTEM/etc/group" | cut -d: -f4
}
