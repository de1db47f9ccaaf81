#!/bin/bash
# The desktop is the judge. For each case the helper runs once, then the real LightDM daemon
# starts as at boot (tests/lib/lightdm_daemon.sh) and the programs it starts prove what ran:
#   - exit 0 of `enable NAME`: a session runs with NAME's uid;
#   - exit 0 of `disable`: the greeter, no user session;
#   - exit 1: every file (the LightDM directories, group, gshadow, the homes) is as it was, and
#     the daemon is not asked.
# The cases LightDM serves must succeed, so that a refusal too many fails as well. A seeded
# sample of the configurations e2e_lightdm.sh generates goes through the daemon too; seat globs
# and other seats stay with that test's --show-config: without logind the daemon has one seat
# and reads [Seat:*] only.
source "$(dirname "$0")/lib/sandbox.sh" "$@"
source "$(dirname "$0")/lib/lightdm.sh"
source "$(dirname "$0")/lib/lightdm_daemon.sh"

require_daemon
fresh_etc
# Debian's common-session as `pam-auth-update --enable mkhomedir` writes it: made once, by the
# real tool, on this sandbox's /etc, with its state (/var/lib/pam, debconf's cache) on private
# copies, before the daemon's private /var/cache hides debconf's; never without those copies.
# Empty where the tool or its mkhomedir profile is not installed.
MKHOMEDIR_SESSION=$WORK/common-session.mkhomedir
: > "$MKHOMEDIR_SESSION"
if command -v pam-auth-update > /dev/null && [ -e /usr/share/pam-configs/mkhomedir ] &&
  [ -e /etc/.brindleway-sandbox ]; then
  cp -a /etc/pam.d "$WORK/pam.d.shipped"
  private=0
  for dir in /var/lib/pam /var/cache/debconf; do
    cp -a "$dir" "$WORK/private${dir//\//-}" && mount --bind "$WORK/private${dir//\//-}" "$dir" &&
      private=$((private + 1))
  done
  if [ "$private" = 2 ]; then
    DEBIAN_FRONTEND=noninteractive pam-auth-update --enable mkhomedir > /dev/null &&
      cp /etc/pam.d/common-session "$MKHOMEDIR_SESSION"
  fi
  umount /var/lib/pam /var/cache/debconf 2> /dev/null
  rm -rf /etc/pam.d
  cp -a "$WORK/pam.d.shipped" /etc/pam.d
fi
# with_mkhomedir_profile: the session stack pam-auth-update made, or a skip of the case.
with_mkhomedir_profile() {
  [ -s "$MKHOMEDIR_SESSION" ] || { echo "SKIP (pam-auth-update): not installed"; return 1; }
  cp "$MKHOMEDIR_SESSION" /etc/pam.d/common-session
}

private_lightdm_dirs
daemon_setup
# The user's own session comes from ~/.dmrc here; where AccountsService is installed it would
# answer instead.
# Whether AccountsService is installed here: its cases run only then.
ACCOUNTS_DAEMON=no
[ -e /usr/share/dbus-1/system-services/org.freedesktop.Accounts.service ] && ACCOUNTS_DAEMON=yes
without_accounts_service
. /etc/os-release
RELEASE=${VERSION_ID%%.*}
ACCOUNTS=(kd alice bob carol dave erin frank kd@corp)
SEAT=$'[Seat:*]\n#autologin-user=\n#autologin-user-timeout=0\n'
DROP_IN=/etc/lightdm/lightdm.conf.d/60-x.conf
AUTOLOGIN_PAM=/etc/pam.d/lightdm-autologin
id=2001
for name in "${ACCOUNTS[@]}"; do
  add_user "$name" $((id++))
done
BASE=$WORK/base
mkdir "$BASE"
cp -a /etc/passwd /etc/shadow /etc/group /etc/gshadow /etc/pam.d /etc/security "$BASE/"

# Every case starts from the machine as installed, with the accounts, their empty homes, no
# autologin line and the shipped drop-ins.
start_case() {
  local name file
  for file in passwd shadow group gshadow pam.d security; do
    rm -rf "/etc/$file"
    cp -a "$BASE/$file" /etc/
  done
  for name in "${ACCOUNTS[@]}"; do
    rm -rf "/home/$name"
    mkdir -m 0755 "/home/$name"
    chown "$name:$name" "/home/$name"
  done
  reset_drop_ins
  without_accounts_service
  rm -rf /var/lib/AccountsService/users
  daemon_reset
  desktop_programs "$INSIDE/bin/proof-session"
  chmod 0755 /etc/X11/Xsession
  rm -rf /etc/sysconfig /usr/share/lightdm/wayland-sessions
  printf '%s' "$SEAT" > "$CONF"
}

# as_user NAME FILE TEXT: FILE, owned by NAME, mode 0644, holds TEXT (printf escapes work).
# record LINE...: AccountsService's record of kd, with that machine's AccountsService.
record() {
  with_accounts_service
  mkdir -p /var/lib/AccountsService/users
  printf '%b\n' "$@" > /var/lib/AccountsService/users/kd
}

as_user() {
  # shellcheck disable=SC2059
  printf "$3" > "$2"
  chown "$1:$1" "$2"
}

# Everything a refused run must leave as it was: lightdm.sh's snapshot, and the homes with their
# owners, modes and contents.
homes_manifest() {
  find /home -printf '%p %y %m %u:%g %l\n' | sort
  find /home -type f -exec sha256sum {} + | sort
}
snapshot_all() {
  snapshot
  homes_manifest > "$WORK/snap/homes"
  cp -a /etc/pam.d /etc/security "$WORK/snap/"
}
changed_since_all() {
  changed_since_snapshot
  homes_manifest | diff "$WORK/snap/homes" -
  diff -r "$WORK/snap/pam.d" /etc/pam.d
  diff -r "$WORK/snap/security" /etc/security
}

# pkexec leaves the helper root's supplementary groups ([0]), which LightDM under systemd does
# not have: under_pkexec_groups runs the case's helper with them.
PLAIN_HELPER=$HELPER
printf '#!/bin/sh\nexec setpriv --reuid=0 --regid=0 --init-groups %s "$@"\n' "$PLAIN_HELPER" \
  > "$WORK/bin/pkexec-groups"
chmod 0755 "$WORK/bin/pkexec-groups"
under_pkexec_groups() { HELPER=$WORK/bin/pkexec-groups; }

SESSIONS_OK=0
GREETERS_OK=0
REFUSED_OK=0
# judge_run WHAT CMD WANT [SESSION]: judges the helper's last run of CMD ("enable NAME" or
# "disable") by the daemon. WANT is "serve" (LightDM serves the case: the run must succeed),
# "refuse" (LightDM would not log NAME in: the run must be refused) or "any". SESSION, when
# given, is the session LightDM must have started.
judge_run() {
  local what=$1 cmd=$2 want=$3 session=${4:-} name expected
  case $STATUS in
    0)
      [ "$want" != refuse ] || fail "$what: $cmd succeeded where LightDM does not do what it says: it must refuse"
      daemon_run
      if [ "$cmd" = disable ]; then
        expected=greeter
      else
        name=${cmd#enable }
        expected="session $(id -u "$name") ${session:-*}"
      fi
      echo "$what: $cmd: $DAEMON_VERDICT"
      # shellcheck disable=SC2053
      if [[ $DAEMON_VERDICT == $expected ]]; then
        if [ "$cmd" = disable ]; then GREETERS_OK=$((GREETERS_OK + 1)); else SESSIONS_OK=$((SESSIONS_OK + 1)); fi
      else
        fail "$what: $cmd said '$(head -1 "$OUT")', the daemon gave '$DAEMON_VERDICT', expected '$expected'"
        daemon_log >&2
      fi
      ;;
    1)
      echo "$what: $cmd: refused"
      [ "$want" != serve ] || fail "$what: $cmd refused a case LightDM serves: $(cat "$ERR")"
      local changes
      changes=$(changed_since_all 2>&1)
      [ -z "$changes" ] || fail "$what: $cmd refused but changed: $changes"
      [ "$(wc -l < "$ERR")" = 1 ] || fail "$what: $cmd refused without exactly one line: $(cat "$ERR")"
      [ ! -s "$OUT" ] || fail "$what: $cmd refused but printed on stdout"
      REFUSED_OK=$((REFUSED_OK + 1))
      ;;
    *) fail "$what: $cmd exited $STATUS: $(cat "$ERR")" ;;
  esac
  expect_no_litter "$what: $cmd"
}

# The table: what|command|want|session|setup. The setup is shell code run on the fresh case.
NOLOGIN_WANT=any
[ "$RELEASE" = 12 ] && NOLOGIN_WANT=serve
# LightDM 1.32 (Debian 13) starts a session of a wayland-sessions directory as a Wayland
# session; LightDM 1.26 (Debian 12) as an X session, which needs the X server.
WAYLAND_DIR_WANT=serve
[ "$RELEASE" = 12 ] && WAYLAND_DIR_WANT=refuse
# LightDM 1.26 makes a seat of type unity, which cannot start on Debian, and exits; 1.32 does
# not know the type and goes on to the next.
UNITY_WANT=serve
[ "$RELEASE" = 12 ] && UNITY_WANT=refuse
# shipped_xsession: lightdm-xsession.desktop as Debian ships it.
shipped_xsession() {
  printf '[Desktop Entry]\nVersion=1.0\nName=Default Xsession\nExec=default\nIcon=\nType=Application\n' \
    > /usr/share/xsessions/lightdm-xsession.desktop
}
cases=(
  # LightDM serves these: the session is found and starts in the home.
  "no session named: Debian's default|enable kd|serve|lightdm-xsession|"
  "an installed autologin-session|enable kd|serve|proof|printf '[Seat:*]\nautologin-session=proof\n' > $DROP_IN"
  "an installed user-session|enable kd|serve|proof|printf '[Seat:*]\nuser-session=proof\n' > $DROP_IN"
  "~/.dmrc names an installed session|enable kd|serve|proof|as_user kd /home/kd/.dmrc '[Desktop]\nSession=proof\n'"
  "~/.dmrc only its owner reads|enable kd|serve|proof|as_user kd /home/kd/.dmrc '[Desktop]\nSession=proof\n'; chmod 0600 /home/kd/.dmrc; chmod 0700 /home/kd"
  "~/.dmrc with an empty session counts as none|enable kd|serve|proof|as_user kd /home/kd/.dmrc '[Desktop]\nSession=\n'; printf '[Seat:*]\nuser-session=proof\n' > $DROP_IN"
  "autologin-session wins over ~/.dmrc|enable kd|serve|proof|as_user kd /home/kd/.dmrc '[Desktop]\nSession=nosuch\n'; printf '[Seat:*]\nautologin-session=proof\n' > $DROP_IN"
  "the first session file with Exec wins|enable kd|serve|proof|mkdir /usr/share/lightdm/sessions; printf '[Desktop Entry]\nName=x\n' > /usr/share/lightdm/sessions/proof.desktop; printf '[Seat:*]\nautologin-session=proof\n' > $DROP_IN"
  "sessions-directory with the session|enable kd|serve|own|session_desktop own /usr/share/lightdm/sessions; printf '[LightDM]\nsessions-directory=/usr/share/lightdm/sessions\n[Seat:*]\nautologin-session=own\n' > $DROP_IN"
  "a nologin shell|enable kd|$NOLOGIN_WANT||sed -i 's#^\\(kd:.*:\\)/bin/bash\$#\\1/usr/sbin/nologin#' /etc/passwd"
  "a home only its owner enters|enable kd|serve||chmod 0700 /home/kd"
  "pam_mkhomedir makes the missing home|enable kd|serve||rm -rf /home/kd; echo 'session required pam_mkhomedir.so' >> $AUTOLOGIN_PAM"
  "pam_access that admits local logins|enable kd|serve||printf '+:kd:LOCAL\n-:ALL:ALL\n' > /etc/security/access.conf; echo 'account required pam_access.so' >> $AUTOLOGIN_PAM"
  "~/.dmrc the user reads only through a supplementary group: LightDM cannot load it|enable kd|serve|lightdm-xsession|as_user kd /home/kd/.dmrc '[Desktop]\nSession=proof\n'; chown root:staff /home/kd/.dmrc; chmod 0640 /home/kd/.dmrc; usermod -aG staff kd"
  "no ~/.dmrc: LightDM's cache of it names an installed session|enable kd|serve|proof|mkdir -p /var/cache/lightdm/dmrc; printf '[Desktop]\nSession=proof\n' > /var/cache/lightdm/dmrc/kd.dmrc"
  "pam_access turns away a display that is not the seat's|enable kd|serve||printf '[LightDM]\nminimum-display-number=1\n' > $DROP_IN; echo '-:kd::0' > /etc/security/access.conf; echo 'account required pam_access.so' >> $AUTOLOGIN_PAM"
  "~/.Xauthority is root's, the authority is kept in the system|enable kd|serve||printf '[LightDM]\nuser-authority-in-system-dir=true\n' > $DROP_IN; as_user root /home/kd/.Xauthority ''; chmod 0600 /home/kd/.Xauthority"
  "disable shows the greeter|disable|serve||printf '[Seat:*]\nautologin-user=kd\nautologin-user-timeout=0\n' > $CONF"
  # The programs LightDM runs on the way to the session. The machine has an X server and a
  # session manager, which is the proof session here.
  "Debian's Xsession with the shipped lightdm-xsession.desktop|enable kd|serve|lightdm-xsession|shipped_xsession"
  "the shipped lightdm-xsession.desktop, no session manager|enable kd|refuse||shipped_xsession; rm /usr/bin/x-session-manager"
  "a session program not installed: Xsession falls back on the session manager|enable kd|serve|proof|printf '[Desktop Entry]\nExec=nosuch\n' > /usr/share/xsessions/proof.desktop; printf '[Seat:*]\nautologin-session=proof\n' > $DROP_IN"
  "a session program not installed, no session manager|enable kd|refuse||printf '[Desktop Entry]\nExec=nosuch\n' > /usr/share/xsessions/proof.desktop; printf '[Seat:*]\nautologin-session=proof\n' > $DROP_IN; rm /usr/bin/x-session-manager"
  "an empty Exec, no session manager|enable kd|refuse||printf '[Desktop Entry]\nExec=\n' > /usr/share/xsessions/proof.desktop; printf '[Seat:*]\nautologin-session=proof\n' > $DROP_IN; rm /usr/bin/x-session-manager"
  "session-wrapper not installed|enable kd|refuse||printf '[Seat:*]\nsession-wrapper=/etc/X11/nosuch\n' > $DROP_IN"
  "session-wrapper not executable|enable kd|refuse||chmod 0644 /etc/X11/Xsession"
  "an empty session-wrapper|enable kd|refuse||printf '[Seat:*]\nsession-wrapper=\n' > $DROP_IN"
  "session-setup-script names no file|enable kd|refuse||printf '[Seat:*]\nsession-setup-script=/usr/local/bin/nosuch\n' > $DROP_IN"
  "setup scripts on the daemon's PATH|enable kd|serve||printf '[Seat:*]\nsession-setup-script=true\ndisplay-setup-script=\"/bin/true\" --x\n' > $DROP_IN"
  "an empty display-setup-script|enable kd|refuse||printf '[Seat:*]\ndisplay-setup-script=\n' > $DROP_IN"
  "xserver-command not installed|enable kd|refuse||printf '[Seat:*]\nxserver-command=Xnosuch -core\n' > $DROP_IN"
  "no X server at all|enable kd|refuse||rm /usr/bin/X"
  "start-default-seat=false|enable kd|refuse||printf '[LightDM]\nstart-default-seat=false\n' > $DROP_IN"
  "a seat type LightDM does not know|enable kd|refuse||printf '[Seat:*]\ntype=nosuch\n' > $DROP_IN"
  "unity, then local|enable kd|$UNITY_WANT||printf '[Seat:*]\ntype=unity;local\n' > $DROP_IN"
  "an unknown type, then local|enable kd|serve||printf '[Seat:*]\ntype=nosuch;local\n' > $DROP_IN"
  "a Wayland session by its key, no X server|enable kd|serve|proof|rm /usr/bin/X; printf 'X-LightDM-Session-Type=wayland\n' >> /usr/share/xsessions/proof.desktop; printf '[Seat:*]\nautologin-session=proof\n' > $DROP_IN"
  "a session in a wayland-sessions directory, no X server|enable kd|$WAYLAND_DIR_WANT|proof|rm /usr/bin/X; rm /usr/share/xsessions/proof.desktop; session_desktop proof /usr/share/lightdm/wayland-sessions; printf '[LightDM]\nsessions-directory=/usr/share/xsessions:/usr/share/lightdm/wayland-sessions\n[Seat:*]\nautologin-session=proof\n' > $DROP_IN"
  "a domain account's name|enable kd@corp|serve||"
  "/etc/sysconfig/displaymanager names bob, which Debian's LightDM never reads|enable kd|serve||mkdir -p /etc/sysconfig; printf 'DISPLAYMANAGER_AUTOLOGIN=\"bob\"\n' > /etc/sysconfig/displaymanager"
  # From the configuration's reading: a drop-in's user, a countdown, values GLib versions read
  # apart.
  "disable over a drop-in's user|disable|serve||printf '[Seat:*]\nautologin-user=bob\n' > $DROP_IN"
  "enable over a drop-in's countdown|enable alice|serve||printf '[Seat:*]\nautologin-user-timeout=30\n' > $DROP_IN; printf '[Seat:*]\n#autologin-user=\n' > $CONF"
  "enable over a countdown after 1100 zeros|enable alice|any||printf '[Seat:*]\nautologin-user-timeout=%01100d30\n' 0 > $DROP_IN; printf '[Seat:*]\n#autologin-user=\n' > $CONF"
  "enable beside a seat glob LightDM aborts on|enable alice|any||printf '[Seat:?\xc3]\nx=1\n' > $DROP_IN"
  "disable over a trailing backslash|disable|serve||printf '[Seat:*]\nautologin-user=alice\\\\\\n' > $DROP_IN"
  "enable over a trailing backslash|enable alice|serve||printf '[Seat:*]\nautologin-user=alice\\\\\\n' > $DROP_IN"
  "disable under a guest login|disable|refuse||printf '[Seat:*]\nautologin-guest=true\n' > $DROP_IN"
  # LightDM shows the greeter instead of the session: enable must refuse.
  "autologin-session names no installed session|enable kd|refuse||printf '[Seat:*]\nautologin-session=nosuch\n' > $DROP_IN"
  "an empty autologin-session|enable kd|refuse||printf '[Seat:*]\nautologin-session=\n' > $DROP_IN"
  "user-session names no installed session|enable kd|refuse||printf '[Seat:*]\nuser-session=nosuch\n' > $DROP_IN"
  "~/.dmrc the user reads only through a supplementary group, and user-session names no installed session|enable kd|refuse||printf '[Seat:*]\nuser-session=nosuch\n' > $DROP_IN; as_user kd /home/kd/.dmrc '[Desktop]\nSession=proof\n'; chown root:staff /home/kd/.dmrc; chmod 0640 /home/kd/.dmrc; usermod -aG staff kd"
  "~/.dmrc names a removed session|enable kd|refuse||as_user kd /home/kd/.dmrc '[Desktop]\nSession=nosuch\n'"
  "a session file without Exec|enable kd|refuse||printf '[Desktop Entry]\nName=x\n' > /usr/share/xsessions/proof.desktop; printf '[Seat:*]\nautologin-session=proof\n' > $DROP_IN"
  "sessions-directory without the session|enable kd|refuse||mkdir /usr/share/lightdm/sessions; printf '[LightDM]\nsessions-directory=/usr/share/lightdm/sessions\n' > $DROP_IN"
  "the home is missing|enable kd|refuse||rm -rf /home/kd"
  "the home is missing, the authority is kept in the system|enable kd|refuse||printf '[LightDM]\nuser-authority-in-system-dir=true\n' > $DROP_IN; rm -rf /home/kd"
  "the home is a file|enable kd|refuse||rm -rf /home/kd; as_user kd /home/kd ''"
  "the home is root's, mode 0700|enable kd|refuse||chown root:root /home/kd; chmod 0700 /home/kd"
  "~/.Xauthority is root's, as sudo startx leaves it|enable kd|refuse||as_user root /home/kd/.Xauthority ''; chmod 0600 /home/kd/.Xauthority"
  "no ~/.dmrc: LightDM's cache of it names a removed session|enable kd|refuse||mkdir -p /var/cache/lightdm/dmrc; printf '[Desktop]\nSession=nosuch\n' > /var/cache/lightdm/dmrc/kd.dmrc"
  "pam_access turns away the seat's display :1|enable kd|refuse||printf '[LightDM]\nminimum-display-number=1\n' > $DROP_IN; echo '-:kd::1' > /etc/security/access.conf; echo 'account required pam_access.so' >> $AUTOLOGIN_PAM"
  "pam_access turns the display away|enable kd|refuse||echo '-:kd::0' > /etc/security/access.conf; echo 'account required pam_access.so' >> $AUTOLOGIN_PAM"
  # The home as LightDM needs it: entered, and an X authority it can open or create.
  "a root-owned home holding the user's writable ~/.Xauthority|enable kd|serve||as_user kd /home/kd/.Xauthority ''; chmod 0600 /home/kd/.Xauthority; chown root:root /home/kd"
  "a root-owned home, the authority kept in the system|enable kd|serve||chown root:root /home/kd; printf '[LightDM]\nuser-authority-in-system-dir=true\n' > $DROP_IN"
  "a root-owned home, ~/.Xauthority a link to a file the user may create|enable kd|serve||mkdir /home/kd/auth; chown kd:kd /home/kd/auth; ln -s auth/xauth /home/kd/.Xauthority; chown root:root /home/kd"
  "a root-owned home without ~/.Xauthority|enable kd|refuse||chown root:root /home/kd"
  "~/.Xauthority a FIFO|enable kd|refuse||mkfifo -m 0600 /home/kd/.Xauthority; chown kd:kd /home/kd/.Xauthority"
  "the home a link to nothing, with pam_mkhomedir|enable kd|refuse||rm -rf /home/kd; ln -s /home/nosuch /home/kd; echo 'session required pam_mkhomedir.so' >> $AUTOLOGIN_PAM"
  "the session stack jumps over pam_mkhomedir|enable kd|refuse||rm -rf /home/kd; printf 'session [success=1 default=ignore] pam_permit.so\nsession required pam_mkhomedir.so\n' >> $AUTOLOGIN_PAM"
  "Debian's pam-auth-update --enable mkhomedir makes the missing home|enable kd|serve||rm -rf /home/kd; with_mkhomedir_profile || continue"
  # ~/.dmrc as LightDM, with no supplementary groups, reads it; the helper under pkexec's.
  "~/.dmrc readable through group 0 alone: LightDM takes its cache|enable kd|serve|proof|under_pkexec_groups; as_user kd /home/kd/.dmrc '[Desktop]\nSession=nosuch\n'; chown root:root /home/kd/.dmrc; chmod 0640 /home/kd/.dmrc; mkdir -p /var/cache/lightdm/dmrc; printf '[Desktop]\nSession=proof\n' > /var/cache/lightdm/dmrc/kd.dmrc"
  "~/.dmrc readable through group 0 alone, the cache names a removed session|enable kd|refuse||under_pkexec_groups; as_user kd /home/kd/.dmrc '[Desktop]\nSession=proof\n'; chown root:root /home/kd/.dmrc; chmod 0640 /home/kd/.dmrc; mkdir -p /var/cache/lightdm/dmrc; printf '[Desktop]\nSession=nosuch\n' > /var/cache/lightdm/dmrc/kd.dmrc"
)

# AccountsService, where it is installed: its XSession decides, and ~/.dmrc is not read.
if [ "$ACCOUNTS_DAEMON" = yes ]; then
  cases+=(
    "AccountsService's XSession names the session|enable kd|serve|proof|record '[User]' 'XSession=proof'; as_user kd /home/kd/.dmrc '[Desktop]\nSession=nosuch\n'"
    "AccountsService without an XSession: ~/.dmrc is not read|enable kd|serve|lightdm-xsession|record '[User]' 'Session=proof'; as_user kd /home/kd/.dmrc '[Desktop]\nSession=proof\n'"
    "AccountsService's empty XSession leaves user-session|enable kd|serve|proof|record '[User]' 'XSession='; printf '[Seat:*]\nuser-session=proof\n' > $DROP_IN"
    "AccountsService's XSession names no installed session|enable kd|refuse||record '[User]' 'XSession=nosuch'"
  )
else
  echo "SKIP (AccountsService): accounts-daemon is not installed"
fi
for entry in "${cases[@]}"; do
  IFS='|' read -r what cmd want session setup <<< "$entry"
  start_case
  HELPER=$PLAIN_HELPER
  eval "$setup"
  snapshot_all
  # shellcheck disable=SC2086
  run $cmd
  judge_run "$what" "$cmd" "$want" "$session"
done

# status over the trailing backslash cannot tell which GLib reads the drop-in, and says so.
start_case
printf '[Seat:*]\nautologin-user=alice\\\n' > "$DROP_IN"
run status
expect_status "status over a trailing backslash" 1
grep -q "cannot tell how LightDM reads $DROP_IN: line 2" "$ERR" ||
  fail "status over a trailing backslash: $(cat "$ERR")"

# The generated configurations: a seeded sample that LightDM's one seat reads alike, enable and
# disable on each. The --show-config promise must hold on that seat as well.
# The stream starts with e2e_lightdm.sh's 60 configurations, and goes on until the sample is full.
generate_layouts "${BRINDLEWAY_SEED:-7}" 300
sampled=0
for i in "${!GENERATED[@]}"; do
  layout=${GENERATED[i]}
  [[ $layout == *"@seat "* || $layout == *"[Seat:seat"* || $layout == *"[Seat:*0]"* ]] && continue
  ((sampled < ${BRINDLEWAY_DAEMON_CASES:-20})) || break
  sampled=$((sampled + 1))
  for cmd in "enable alice" disable; do
    start_case
    lay_out "$layout"
    snapshot_all
    # shellcheck disable=SC2086
    run $cmd
    # shellcheck disable=SC2086
    if [ "$STATUS" = 0 ] && ! promise_holds "$(seat_keys "")" $cmd; then
      fail "generated case $i: $cmd succeeded, but --show-config disagrees on LightDM's one seat"
    fi
    judge_run "generated case $i (seed ${BRINDLEWAY_SEED:-7})" "$cmd" any
  done
done

echo "daemon: $SESSIONS_OK sessions as expected, $GREETERS_OK greeters as expected, in $DAEMON_RUNS runs" \
  "of $((DAEMON_MICROSECONDS / 1000 / (DAEMON_RUNS > 0 ? DAEMON_RUNS : 1))) ms on average;" \
  "$REFUSED_OK refusals with nothing changed; $sampled generated configurations sampled"
finish
