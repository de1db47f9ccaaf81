#!/bin/bash
# Which session LightDM starts, and whether it finds its file. For each case - the session
# chosen by autologin-session, by the user's own choice (AccountsService, ~/.dmrc, LightDM's
# copy of it) or by user-session, installed or not - enable must either succeed, with LightDM
# (--show-config) then logging the user in, or refuse naming the session and the setting that
# chose it, with every file, the group and the user's files as they were. status must then give
# the same reason on its first line, and name the session on a line of its own.
source "$(dirname "$0")/lib/sandbox.sh" "$@"
DRY_RUN_TOO=1
source "$(dirname "$0")/lib/lightdm.sh"

require_tools lightdm
SERVICES=/usr/share/dbus-1/system-services
# LightDM's cache exists once it has run; a private /var/cache gives it one here.
if [ ! -d /var/cache/lightdm ]; then
  mount -t tmpfs -o mode=0755 tmpfs /var/cache
  mkdir /var/cache/lightdm
fi
for dir in /usr/share/xsessions "$SERVICES" /var/lib/AccountsService /home; do
  if [ ! -d "$dir" ]; then
    echo "SKIP: $dir does not exist (apt-get install --no-install-recommends lightdm accountsservice)"
    exit 77
  fi
done
fresh_etc
private_lightdm_dirs

add_user kd 2001
cp -a /etc "$WORK/etc.accounts"

# Private session directories and a private choice of whether AccountsService is installed.
XS=$WORK/xsessions
EMPTY=$WORK/empty
mkdir -p "$XS" "$EMPTY" "$WORK/services.on" "$WORK/services.off"
mount --bind "$XS" /usr/share/xsessions
cp -a "$SERVICES/." "$WORK/services.on/" 2>/dev/null
: > "$WORK/services.on/org.freedesktop.Accounts.service"
cp -a "$SERVICES/." "$WORK/services.off/" 2>/dev/null
rm -f "$WORK/services.off/org.freedesktop.Accounts.service"
SERVICES_MOUNTED=0
SESSION=$'[Desktop Entry]\nName=Proof\nName[de]=Beweis\nExec=/bin/true\n'

# accounts on|off: whether AccountsService counts as installed.
accounts() {
  [ "$SERVICES_MOUNTED" = 1 ] && umount "$SERVICES"
  mount --bind "$WORK/services.$1" "$SERVICES"
  SERVICES_MOUNTED=1
}
conf() { printf '%b\n' "$@" > "$CONF"; }
record() { mkdir -p /var/lib/AccountsService/users && printf '%b\n' "$@" > /var/lib/AccountsService/users/kd; }
dmrc() { printf '%b\n' "$@" > /home/kd/.dmrc && chown kd:kd /home/kd/.dmrc; }
cache() { mkdir -p /var/cache/lightdm/dmrc && printf '%b\n' "$@" > /var/cache/lightdm/dmrc/kd.dmrc; }

# Lays a case out from scratch: the sandbox's /etc with kd, no records, no copies, no .dmrc,
# lightdm-xsession and proof installed, AccountsService not installed.
reset_case() {
  umount -l /etc
  local copy=$WORK/etc.case
  rm -rf "$copy"
  cp -a "$WORK/etc.accounts" "$copy"
  mount --bind "$copy" /etc
  reset_drop_ins
  find /var/lib/AccountsService /var/cache/lightdm -mindepth 1 -delete
  rm -f /home/kd/.dmrc
  find "$XS" -mindepth 1 -delete
  printf '[Desktop Entry]\nName=Default\nExec=default\n' > "$XS/lightdm-xsession.desktop"
  printf '%s' "$SESSION" > "$XS/proof.desktop"
  accounts off
  conf '[Seat:*]'
  rm -f /home/kd/.xsession
  desktop_programs
}

# Everything a refused enable must leave as it was.
state() {
  (cd / && find etc/lightdm etc/group etc/gshadow home var/lib/AccountsService var/cache/lightdm \
    -printf '%p %m %U %G %s\n' -type f -exec md5sum {} + | sort)
}

# A case: "STATUS|WHAT|SETUP|EXPECTED", SETUP being commands, EXPECTED the reason enable gives
# after "Cannot enable automatic login for kd: " (STATUS 1), or status's session line (0).
# Cases marked "dmrc:" need the child that reads ~/.dmrc as the user.
L=/etc/lightdm/lightdm.conf
CASES=(
  "0|nothing named: LightDM's default|:|session=lightdm-xsession from LightDM's default"
  "0|autologin-session installed|conf '[Seat:*]' 'autologin-session=proof'|session=proof from $L [Seat:*] line 2"
  "0|user-session installed|conf '[Seat:*]' 'user-session=proof'|session=proof from $L [Seat:*] line 2"
  "0|LightDM's copy of .dmrc, installed|cache '[Desktop]' 'Session=proof'|session=proof from /var/cache/lightdm/dmrc/kd.dmrc [Desktop] line 2"
  "0|dmrc: .dmrc installed|dmrc '[Desktop]' 'Session=proof'|session=proof from ~kd/.dmrc [Desktop] line 2"
  "0|AccountsService installed|accounts on; record '[User]' 'XSession=proof'; dmrc '[Desktop]' 'Session=nosuch'|session=proof from /var/lib/AccountsService/users/kd [User] line 2"
  "0|AccountsService with an empty XSession|accounts on; record '[User]' 'XSession=' 'Session=nosuch'; conf '[Seat:*]' 'user-session=proof'|session=proof from $L [Seat:*] line 2"
  "0|a link to a session file|ln -s $XS/proof.desktop $XS/linked.desktop; conf '[Seat:*]' 'autologin-session=linked'|session=linked from $L [Seat:*] line 2"
  "0|the first directory without Exec, the second with|mkdir -p $WORK/d1; printf '[Desktop Entry]\nName=x\n' > $WORK/d1/proof.desktop; conf '[LightDM]' 'sessions-directory=$WORK/d1:$XS' '[Seat:*]' 'autologin-session=proof'|session=proof from $L [Seat:*] line 4"
  "1|autologin-session not installed|conf '[Seat:*]' 'autologin-session=nosuch'|LightDM would start the session nosuch (autologin-session in $L [Seat:*] line 2), and no nosuch.desktop is installed in /usr/share/lightdm/sessions:/usr/share/xsessions:/usr/share/wayland-sessions"
  "1|autologin-session in a drop-in|conf '[Seat:*]'; printf '[Seat:*]\nautologin-session=nosuch\n' > /etc/lightdm/lightdm.conf.d/60-x.conf|LightDM would start the session nosuch (autologin-session in /etc/lightdm/lightdm.conf.d/60-x.conf [Seat:*] line 2), and no nosuch.desktop is installed in /usr/share/lightdm/sessions:/usr/share/xsessions:/usr/share/wayland-sessions"
  "1|an empty autologin-session|conf '[Seat:*]' 'autologin-session='|LightDM would start the session  (autologin-session in $L [Seat:*] line 2), and no .desktop is installed in /usr/share/lightdm/sessions:/usr/share/xsessions:/usr/share/wayland-sessions"
  "1|user-session not installed|conf '[Seat:*]' 'user-session=nosuch'|LightDM would start the session nosuch (user-session in $L [Seat:*] line 2), and no nosuch.desktop is installed in /usr/share/lightdm/sessions:/usr/share/xsessions:/usr/share/wayland-sessions"
  "1|dmrc: .dmrc names a removed desktop|dmrc '[Desktop]' 'Session=nosuch'|LightDM would start the session nosuch (Session in ~kd/.dmrc line 2), and no nosuch.desktop is installed in /usr/share/lightdm/sessions:/usr/share/xsessions:/usr/share/wayland-sessions"
  "1|LightDM's copy of .dmrc names a removed desktop|cache '[Desktop]' 'Session=nosuch'|LightDM would start the session nosuch (Session in /var/cache/lightdm/dmrc/kd.dmrc line 2), and no nosuch.desktop is installed in /usr/share/lightdm/sessions:/usr/share/xsessions:/usr/share/wayland-sessions"
  "1|sessions-directory without the session|conf '[LightDM]' 'sessions-directory=$EMPTY' '[Seat:*]'|LightDM would start the session lightdm-xsession (LightDM's default user-session), and no lightdm-xsession.desktop is installed in $EMPTY"
  "1|AccountsService's XSession not installed|accounts on; record '[User]' 'XSession=nosuch'|LightDM would start the session nosuch (XSession in /var/lib/AccountsService/users/kd line 2), and no nosuch.desktop is installed in /usr/share/lightdm/sessions:/usr/share/xsessions:/usr/share/wayland-sessions"
  "1|AccountsService without a record, while LightDM's copy of .dmrc names a session|accounts on; cache '[Desktop]' 'Session=proof'|cannot tell which session LightDM would start: /var/lib/AccountsService/users/kd: AccountsService has no record of the user, and whether LightDM then takes the session proof from /var/cache/lightdm/dmrc/kd.dmrc depends on whether accounts-daemon lists the account"
  "1|a session file without Exec|printf '[Desktop Entry]\nName=x\n' > $XS/proof.desktop; conf '[Seat:*]' 'autologin-session=proof'|LightDM would start the session proof (autologin-session in $L [Seat:*] line 2), and no proof.desktop is installed in /usr/share/lightdm/sessions:/usr/share/xsessions:/usr/share/wayland-sessions"
  "1|a session file GLib cannot load|printf '%s' \"\$SESSION\" 'broken' > $XS/proof.desktop; conf '[Seat:*]' 'autologin-session=proof'|LightDM would start the session proof (autologin-session in $L [Seat:*] line 2), and no proof.desktop is installed in /usr/share/lightdm/sessions:/usr/share/xsessions:/usr/share/wayland-sessions"
  "1|a name with a slash|cache '[Desktop]' 'Session=../../../etc/x'|cannot tell whether LightDM can start the session ../../../etc/x (Session in /var/cache/lightdm/dmrc/kd.dmrc line 2): the session's name holds a \"/\" or is too long to judge"
  "1|a name that would forge a line|conf '[Seat:*]' 'autologin-session=a\\\\nb'|LightDM would start the session a\\x0ab (autologin-session in $L [Seat:*] line 2), and no a\\x0ab.desktop is installed in /usr/share/lightdm/sessions:/usr/share/xsessions:/usr/share/wayland-sessions"
  "1|a FIFO for a session file|mkfifo $XS/fifo.desktop; conf '[Seat:*]' 'autologin-session=fifo'|cannot tell whether LightDM can start the session fifo (autologin-session in $L [Seat:*] line 2): /usr/share/xsessions/fifo.desktop: it is a FIFO, which LightDM would wait on for ever"
  "1|an Exec the GLib versions read apart|printf '[Desktop Entry]\nExec=a\\\\qb\n' > $XS/proof.desktop; conf '[Seat:*]' 'autologin-session=proof'|cannot tell whether LightDM can start the session proof (autologin-session in $L [Seat:*] line 2): /usr/share/xsessions/proof.desktop: line 2: its Exec holds an escape that GLib before 2.77.3 (Debian 12) reads and later GLib (Debian 13) refuses"
  "1|a session type LightDM has no display for|printf '[Desktop Entry]\nExec=x\nX-LightDM-Session-Type=mir\n' > $XS/proof.desktop; conf '[Seat:*]' 'autologin-session=proof'|cannot tell whether LightDM can start the session proof (autologin-session in $L [Seat:*] line 2): /usr/share/xsessions/proof.desktop is neither an X nor a Wayland session, and other kinds are not judged"
  # The programs LightDM runs on the way to the session, one key a row (the machine has X and
  # x-session-manager in /usr/bin; Debian's 01_debian.conf sets session-wrapper).
  "0|a Wayland session needs no X server|rm /usr/bin/X; printf '[Desktop Entry]\nExec=/bin/true\nX-LightDM-Session-Type=wayland\n' > $XS/proof.desktop; conf '[Seat:*]' 'autologin-session=proof'|session=proof from $L [Seat:*] line 2"
  "0|setup scripts on the daemon's PATH, quoted|conf '[Seat:*]' 'display-setup-script=\"true\" --x' 'session-setup-script=/bin/true'|session=lightdm-xsession from LightDM's default"
  "0|a seat type list that passes over an unknown type|conf '[Seat:*]' 'type=nosuch;local'|session=lightdm-xsession from LightDM's default"
  "0|no session manager, but ~/.xsession|rm /usr/bin/x-session-manager; touch /home/kd/.xsession|session=lightdm-xsession from LightDM's default"
  "0|Xsession falls back on the session manager|printf '[Desktop Entry]\nExec=nosuch --x\n' > $XS/proof.desktop; conf '[Seat:*]' 'autologin-session=proof'|session=proof from $L [Seat:*] line 2"
  "1|the session's program is missing, and so is the session manager|rm /usr/bin/x-session-manager; printf '[Desktop Entry]\nExec=nosuch --x\n' > $XS/proof.desktop; conf '[Seat:*]' 'autologin-session=proof'|LightDM would start nosuch --x (Exec in /usr/share/xsessions/proof.desktop) through /etc/X11/Xsession, which finds neither it nor ~/.xsession, ~/.Xsession, x-session-manager, x-window-manager or x-terminal-emulator"
  "1|Debian's default session without a session manager|rm /usr/bin/x-session-manager|LightDM would start default (Exec in /usr/share/xsessions/lightdm-xsession.desktop) through /etc/X11/Xsession, which finds neither it nor ~/.xsession, ~/.Xsession, x-session-manager, x-window-manager or x-terminal-emulator"
  "1|session-wrapper not installed|conf '[Seat:*]' 'session-wrapper=/etc/X11/nosuch'|LightDM would run /etc/X11/nosuch (session-wrapper in $L [Seat:*] line 2), and it is not installed"
  "1|session-wrapper not executable|printf '#!/bin/sh\n' > $WORK/wrapper; chmod 0644 $WORK/wrapper; conf '[Seat:*]' 'session-wrapper=$WORK/wrapper'|LightDM would run $WORK/wrapper (session-wrapper in $L [Seat:*] line 2), and it is not executable"
  "1|an empty session-wrapper|conf '[Seat:*]' 'session-wrapper='|LightDM would run an empty command (session-wrapper in $L [Seat:*] line 2)"
  "1|LightDM's own session-wrapper, which Debian does not ship|rm /usr/share/lightdm/lightdm.conf.d/01_debian.conf|LightDM would run lightdm-session (LightDM's default session-wrapper), and it is not installed"
  "1|session-setup-script not installed|conf '[Seat:*]' 'session-setup-script=/usr/local/bin/nosuch --now'|LightDM would run /usr/local/bin/nosuch (session-setup-script in $L [Seat:*] line 2), and it is not installed"
  "1|display-setup-script not on the daemon's PATH|conf '[Seat:*]' 'display-setup-script=nosuch-setup'|LightDM would run nosuch-setup (display-setup-script in $L [Seat:*] line 2), and it is not installed"
  "1|a setup script GLib cannot split|conf '[Seat:*]' \"session-setup-script='true\"|LightDM cannot split the command 'true (session-setup-script in $L [Seat:*] line 2)"
  "1|xserver-command not installed|conf '[Seat:*]' 'xserver-command=Xnosuch -core'|LightDM would run Xnosuch (xserver-command in $L [Seat:*] line 2), and it is not installed"
  "1|no X server, LightDM's default xserver-command|rm /usr/bin/X|LightDM would run X (LightDM's default xserver-command), and it is not installed"
  "1|start-default-seat=false|conf '[LightDM]' 'start-default-seat=false' '[Seat:*]'|LightDM starts no seat at boot (start-default-seat=false in $L line 2)"
  "1|a seat type LightDM does not know|conf '[Seat:*]' 'type=nosuch;unity'|LightDM can start no seat of the type nosuch;unity (type in $L [Seat:*] line 2)"
  "1|a remote X seat|conf '[Seat:*]' 'type=xremote'|cannot tell whether LightDM can start the seat: type xremote (type in $L [Seat:*] line 2) makes it use an X server on another host"
)
PREFIX='Cannot enable automatic login for kd: '
GREETER='LightDM will show the greeter and log nobody in on seat0: '
COUNTS=(0 0)
for entry in "${CASES[@]}"; do
  IFS='|' read -r want what setup expected <<< "$entry"
  reset_case
  eval "$setup"
  before=$(state)
  timeout 20 "$HELPER" enable kd > "$OUT" 2> "$ERR"
  STATUS=$?
  expect_status "$what: enable" "$want"
  COUNTS[$want]=$((COUNTS[$want] + 1))
  if [ "$want" = 1 ]; then
    expect_bytes "$what: enable's reason" "$ERR" "$PREFIX$expected"$'\n'
    [ -z "${BRINDLEWAY_PSEUDO_LOCALE:-}" ] || expect_marked_refusal enable kd
    [ "$(state)" = "$before" ] || fail "$what: a refused enable changed files: $(diff <(echo "$before") <(state) | head -5)"
    # status, with the configuration naming kd, gives the same reason.
    printf '[Seat:*]\nautologin-user=kd\nautologin-user-timeout=0\n' >> "$CONF"
    timeout 20 "$HELPER" status > "$OUT" 2> "$ERR"
    STATUS=$?
    if [[ $expected == "cannot tell"* ]]; then
      expect_status "$what: status" 1
      expect_bytes "$what: status's reason" "$ERR" "Cannot tell what LightDM does: $expected"$'\n'
      [ -z "${BRINDLEWAY_PSEUDO_LOCALE:-}" ] || expect_marked_refusal status
    else
      expect_status "$what: status" 0
      [ "$(head -1 "$OUT")" = "$GREETER$expected" ] ||
        fail "$what: status says '$(head -1 "$OUT")'"
      if [ -n "${BRINDLEWAY_PSEUDO_LOCALE:-}" ]; then
        # status's sentence and the reason inside it are both translated texts.
        first=$(env -u LC_ALL LANG="$MESSAGES_LOCALE" LANGUAGE=xx "$HELPER" status 2> /dev/null | head -1)
        [[ $first == "⟦"*": ⟦"*"⟧⟧" ]] || fail "$what: status under the pseudo-locale: $first"
      fi
    fi
    # disable looks at no session.
    run disable
    expect_status "$what: disable" 0
  else
    expect_bytes "$what: enable" "$OUT" $'Auto login enabled for user: kd\n'
    grep -qx 'autologin-user=kd' <(seat_keys) || fail "$what: LightDM does not log kd in"
    run status
    expect_status "$what: status" 0
    [ "$(head -1 "$OUT")" = "Auto login enabled for user: kd" ] ||
      fail "$what: status says '$(head -1 "$OUT")'"
    grep -qxF "$expected" "$OUT" || fail "$what: status has no line '$expected': $(cat "$OUT")"
  fi
done

# Without root, status cannot read AccountsService's record or look at the home: the first line
# stands for what can be read, and one line says what was not checked.
reset_case
accounts on
record '[User]' 'XSession=nosuch'
chmod 0700 /var/lib/AccountsService/users
printf '[Seat:*]\nautologin-user=kd\nautologin-user-timeout=0\n' > "$CONF"
setpriv --reuid=65534 --regid=65534 --clear-groups "$HELPER" status > "$OUT" 2> "$ERR"
STATUS=$?
expect_run "status without root" 0 $'Auto login enabled for user: kd\nautologin-user=kd from /etc/lightdm/lightdm.conf [Seat:*] line 2\nautologin-user-timeout=0 from /etc/lightdm/lightdm.conf [Seat:*] line 3\nNot checked without root: /var/lib/AccountsService/users/kd could not be read\n' ""

echo "enable: ${COUNTS[0]} served, ${COUNTS[1]} refused"
finish
