# Sourced after sandbox.sh and lightdm.sh by the tests that let the real LightDM daemon judge:
# starts it as at boot, for a few seconds, and reports what ran on its one seat. The proof is
# what the started programs write, never the daemon's log:
#   - a proof session (every installed session .desktop runs it) writes `id -u` and the name
#     LightDM gave the session, into a file that it owns;
#   - a proof greeter, installed under the greeter names LightDM looks for, writes "greeter".
#
# Nothing here sets a key of LightDM's configuration. The X server is found as LightDM's
# default command "X" on systemd's PATH, where sandbox.sh's wrapper starts Xvfb; every directory
# LightDM writes or reads sessions from is a private mount. The daemon runs in namespaces of its own
# (mount, pid, network) with a private system bus, /run, /tmp, /var/log, /var/lib and /dev:
#   - /dev without tty0, so that LightDM finds no virtual terminals and never switches this
#     machine's console;
#   - a network namespace, because X's abstract sockets (@/tmp/.X11-unix/X0) are per network
#     namespace: without it, two runs at once, or an X server of the machine's own, would
#     collide on display :0;
#   - /var/log and /var/lib, because LightDM writes wtmp, its logs and /var/lib/lightdm-data.
# No logind answers on the bus and none is faked: LightDM then has one seat and reads [Seat:*]
# only. AccountsService answers when it is installed, as at boot. pam_systemd, in Debian's common-session as optional, finds no systemd (/run is empty)
# and lets the session go on; it is left in the stack as shipped.

DAEMON_LIB=${BASH_SOURCE[0]}
HARNESS=$WORK/harness
# Where the harness is inside the daemon's namespaces: on /run, which is private there.
INSIDE=/run/brindleway-test
DAEMON_DEADLINE=${BRINDLEWAY_DAEMON_SECONDS:-15}

# Skips the whole test unless the daemon can be driven here.
require_daemon() {
  local tool
  for tool in lightdm Xvfb dbus-daemon; do
    if ! command -v "$tool" > /dev/null; then
      echo "SKIP: $tool is not installed (scripts/test installs it: lightdm, xvfb, dbus)"
      exit 77
    fi
  done
  if ! unshare --pid --fork --net --mount-proc true 2> /dev/null; then
    echo "SKIP: cannot create private pid and network namespaces here (unshare failed)"
    exit 77
  fi
  for tool in /usr/share/xsessions /usr/share/xgreeters /var/lib/lightdm; do
    if [ ! -d "$tool" ]; then
      echo "SKIP: $tool is missing (lightdm and a greeter are not installed as usual)"
      exit 77
    fi
  done
}

# Writes the harness's programs, and puts private, empty session, greeter and cache
# directories over the real ones for the rest of the test. Call after private_lightdm_dirs.
daemon_setup() {
  require_daemon
  mkdir -p "$HARNESS/bin" "$HARNESS/proof" "$HARNESS/log"
  chmod 0755 "$HARNESS" "$HARNESS/bin"
  chmod 1777 "$HARNESS/proof"
  # sandbox.sh's X starts Xvfb; its session manager is the proof session here, so that a
  # session Debian's Xsession falls back on proves itself too.
  # The session proves its uid by the file's owner and its content; LightDM names the session
  # it started in DESKTOP_SESSION. It stays until the run ends, as a desktop would.
  cat > "$HARNESS/bin/proof-session" << EOF
#!/bin/sh
id -u > $INSIDE/proof/session.tmp && echo "\${DESKTOP_SESSION:-}" >> $INSIDE/proof/session.tmp &&
  mv $INSIDE/proof/session.tmp $INSIDE/proof/session
exec sleep 60
EOF
  cat > "$HARNESS/bin/proof-greeter" << EOF
#!/bin/sh
echo greeter > $INSIDE/proof/greeter.tmp && mv $INSIDE/proof/greeter.tmp $INSIDE/proof/greeter
exec sleep 60
EOF
  chmod 0755 "$HARNESS/bin/"*
  desktop_programs "$INSIDE/bin/proof-session"
  # Debian's Xsession shows what it falls back on with xmessage, which waits for a click: the
  # one found first on the session's PATH is clicked at once.
  private_layer /usr/local/bin
  printf '#!/bin/sh\ncat > /dev/null\n' > /usr/local/bin/xmessage
  chmod 0755 /usr/local/bin/xmessage
  # The helper sees the harness where the daemon will, so that it finds the proof programs.
  mkdir -p "$INSIDE"
  mount --bind "$HARNESS" "$INSIDE"
  local dir
  for dir in /usr/share/xsessions /usr/share/xgreeters /var/cache; do
    mount -t tmpfs -o mode=0755 tmpfs "$dir"
  done
  # /usr/share/lightdm is the private copy already; wayland-sessions is covered where it exists,
  # and otherwise stays missing, as it is on a machine without it.
  [ -d /usr/share/wayland-sessions ] && mount -t tmpfs -o mode=0755 tmpfs /usr/share/wayland-sessions
  daemon_reset
}

# Makes this test's machine one without AccountsService, for the helper and the daemon alike:
# no system service file, so nothing answers for it on the bus, and LightDM reads ~/.dmrc.
without_accounts_service() {
  local dir=/usr/share/dbus-1/system-services
  mountpoint -q "$dir" && return 0
  [ -e "$dir/org.freedesktop.Accounts.service" ] && mount -t tmpfs -o mode=0755 tmpfs "$dir"
  return 0
}

# Gives this test's machine AccountsService again, where it is installed: the bus starts
# accounts-daemon when LightDM asks, and the helper reads its records.
with_accounts_service() {
  local dir=/usr/share/dbus-1/system-services
  if mountpoint -q "$dir"; then umount "$dir"; fi
}

# session_desktop NAME [DIR]: installs a proof session NAME.desktop in DIR (/usr/share/xsessions
# when not given).
session_desktop() {
  local dir=${2:-/usr/share/xsessions}
  mkdir -p "$dir"
  printf '[Desktop Entry]\nName=%s\nExec=%s/bin/proof-session\nType=Application\n' \
    "$1" "$INSIDE" > "$dir/$1.desktop"
}

# Back to the machine as Debian ships it: the default session lightdm-xsession and one other
# desktop, "proof", in /usr/share/xsessions; the greeter; an empty cache.
daemon_reset() {
  local dir
  for dir in /usr/share/xsessions /usr/share/wayland-sessions /usr/share/xgreeters /var/cache/lightdm; do
    [ -d "$dir" ] && find "$dir" -mindepth 1 -delete
  done
  # Debian ships no /usr/share/lightdm/sessions; a case makes it when it needs it.
  rm -rf /usr/share/lightdm/sessions
  session_desktop lightdm-xsession
  session_desktop proof
  # Debian's drop-in names lightdm-greeter; LightDM's own default is example-gtk-gnome.
  for dir in lightdm-greeter example-gtk-gnome; do
    printf '[Desktop Entry]\nName=%s\nExec=%s/bin/proof-greeter\nType=Application\n' \
      "$dir" "$INSIDE" > "/usr/share/xgreeters/$dir.desktop"
  done
  mkdir -p /var/cache/lightdm
}

# Runs inside the daemon's namespaces, as their first process: makes the private mounts, starts
# the bus and LightDM, and waits, at most DEADLINE seconds, until a proof is written or LightDM
# exits. When it returns, the kernel ends every process in the pid namespace.
daemon_inside() {
  local harness=$1 deadline=$2
  set -e
  # The harness lives under /tmp, which is about to be covered: reach it through /run.
  mount -t tmpfs -o mode=0755 tmpfs /run
  mkdir -p "$INSIDE" /run/dbus /run/lock
  mount --bind "$harness" "$INSIDE"
  mount -t tmpfs -o mode=1777 tmpfs /tmp
  # A /dev of its own: the usual nodes, no console or virtual terminals.
  mkdir /run/dev
  mount -t tmpfs -o mode=0755 tmpfs /run/dev
  local node
  for node in null zero full random urandom tty; do
    : > "/run/dev/$node"
    mount --bind "/dev/$node" "/run/dev/$node"
  done
  mkdir /run/dev/shm
  mount -t tmpfs -o mode=1777 tmpfs /run/dev/shm
  ln -s /proc/self/fd /run/dev/fd
  ln -s /proc/self/fd/0 /run/dev/stdin
  ln -s /proc/self/fd/1 /run/dev/stdout
  ln -s /proc/self/fd/2 /run/dev/stderr
  mount --move /run/dev /dev
  # Logs, wtmp, LightDM's state and X's compiled keymaps are private; the rest of /var/lib is
  # mounted back as the test has it, and the test's /var/cache stays as it set it.
  mount -t tmpfs -o mode=0755 tmpfs /var/log
  mount -t tmpfs -o mode=1777 tmpfs /var/tmp
  mkdir /var/log/lightdm /run/var-lib
  mount --bind "$INSIDE/log" /var/log/lightdm
  mount --rbind /var/lib /run/var-lib
  mount -t tmpfs -o mode=0755 tmpfs /var/lib
  local entry name
  for entry in /run/var-lib/* /run/var-lib/.[!.]*; do
    name=${entry##*/}
    case $name in lightdm | lightdm-data | xkb | '*' | '.[!.]*') continue ;; esac
    if [ -d "$entry" ] && [ ! -L "$entry" ]; then
      mkdir "/var/lib/$name"
      mount --rbind "$entry" "/var/lib/$name"
    else
      cp -a "$entry" /var/lib/
    fi
  done
  mkdir -m 0750 /var/lib/lightdm
  mkdir -m 0755 /var/lib/lightdm-data /var/lib/xkb
  chown lightdm:lightdm /var/lib/lightdm
  install -m 0664 -g utmp /dev/null /run/utmp
  set +e
  cat > /run/dbus/config << 'EOF'
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=/run/dbus/system_bus_socket</listen>
  <auth>EXTERNAL</auth>
  <servicedir>/run/dbus/services</servicedir>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
EOF
  # As at boot, the bus starts AccountsService when LightDM asks, if it is installed (its
  # service file is there); nothing else is started on demand.
  mkdir /run/dbus/services
  cp /usr/share/dbus-1/system-services/org.freedesktop.Accounts.service /run/dbus/services/ \
    2> /dev/null
  dbus-daemon --config-file=/run/dbus/config --nofork --nopidfile 2> "$INSIDE/log/dbus.log" &
  local _
  for _ in $(seq 1 200); do
    [ -S /run/dbus/system_bus_socket ] && break
    sleep 0.01
  done
  # systemd's PATH for services, which the helper looks programs up on; systemd starts LightDM
  # with no supplementary groups, whatever groups the caller has: it reads ~/.dmrc with those.
  PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    setpriv --clear-groups lightdm --debug > "$INSIDE/log/daemon.out" 2>&1 &
  local lightdm=$!
  for _ in $(seq 1 $((deadline * 20))); do
    if [ -e "$INSIDE/proof/session" ] || [ -e "$INSIDE/proof/greeter" ]; then
      grep '^Groups:' "/proc/$lightdm/status" > "$INSIDE/proof/groups"
      return 0
    fi
    kill -0 "$lightdm" 2> /dev/null || { echo exited > "$INSIDE/proof/daemon"; return 0; }
    sleep 0.05
  done
  echo "no proof in ${deadline}s" > "$INSIDE/proof/daemon"
}

# Starts the daemon on the files as they are now and sets DAEMON_VERDICT to "session UID NAME"
# (the first proof was a session: its owner's uid, and the name LightDM gave the session),
# "greeter", or "nothing: WHY". The first proof decides: a login after a countdown shows the
# greeter first, and counts as the greeter. The daemon's log stays in $HARNESS/log for a failing
# check.
DAEMON_RUNS=0
DAEMON_MICROSECONDS=0
daemon_run() {
  local proof=$HARNESS/proof owner uid name
  find "$proof" "$HARNESS/log" -mindepth 1 -delete
  DAEMON_RUNS=$((DAEMON_RUNS + 1))
  local start=${EPOCHREALTIME/./}
  unshare --pid --fork --net --mount-proc --kill-child=SIGKILL \
    bash -c 'INSIDE=$3; source "$0"; daemon_inside "$1" "$2"' \
    "$DAEMON_LIB" "$HARNESS" "$DAEMON_DEADLINE" "$INSIDE" > "$HARNESS/log/inside" 2>&1
  DAEMON_MICROSECONDS=$((DAEMON_MICROSECONDS + ${EPOCHREALTIME/./} - start))
  if [ -n "$(cut -f2 "$proof/groups" 2> /dev/null | tr -d ' ')" ]; then
    DAEMON_VERDICT="nothing: lightdm ran with supplementary groups: $(cat "$proof/groups")"
  elif [ -e "$proof/session" ]; then
    owner=$(stat -c %u "$proof/session")
    { read -r uid; read -r name; } < "$proof/session"
    if [ "$owner" = "$uid" ]; then
      DAEMON_VERDICT="session $uid $name"
    else
      DAEMON_VERDICT="nothing: the session file is owned by $owner but says $uid"
    fi
  elif [ -e "$proof/greeter" ]; then
    DAEMON_VERDICT=greeter
  elif [ -e "$proof/daemon" ]; then
    DAEMON_VERDICT="nothing: lightdm $(cat "$proof/daemon")"
  else
    DAEMON_VERDICT="nothing: the harness failed: $(tail -3 "$HARNESS/log/inside")"
  fi
}

# daemon_log: what the daemon's log says went wrong on the seat, to show with a failing check.
daemon_log() {
  grep -E "Seat seat0: (Creating|Stopping)|WARNING|[Ee]rror|Can't|Failed" "$HARNESS/log/daemon.out" 2> /dev/null |
    grep -v -e org.freedesktop -e tty0 -e plymouth | tail -8 | sed 's/^/    /'
}
