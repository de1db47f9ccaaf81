#!/bin/bash
# The home LightDM starts the session in: enable refuses, changing nothing, a home the user
# could not enter, or an ~/.Xauthority the user could neither write nor create where LightDM
# would create it, unless PAM's session stack surely makes a missing home at login. The home and ~/.dmrc are looked at as the user, never as
# root: strace shows the user's uid on every open of ~/.dmrc. The home is never changed.
source "$(dirname "$0")/lib/sandbox.sh" "$@"
DRY_RUN_TOO=1
source "$(dirname "$0")/lib/cases.sh"

# account NAME ID HOME: an account of the sandbox whose home is HOME (made by the case).
account() { add_user "$1" "$2" --home "$3" --no-home; }

# A home as adduser makes it: its owner's, mode 0755.
own_home() { mkdir -p -m 0755 "$1" && chown "$2:$2" "$1"; }

snapshot() {
  snapshot_etc
  home_listing > "$WORK/home.snapshot"
}
# Every file under /home with its type, mode, owner, size, time stamps and content's sum.
home_listing() {
  find /home -printf '%p %y %m %u %g %s %T@ %C@ %l\n' | sort
  find /home -type f -readable -exec sha1sum {} + 2>/dev/null | sort
}
H=/home/kd
# One case a line: the home's setup, then the status and what stderr says after
# "Cannot enable automatic login for kd: " ("-": nothing).
#   setup            status  message
CASES="
ok               0  -
mode-0711        0  -
xauth-own        0  -
dmrc-root-only   0  -
dmrc-to-shadow   0  -
dmrc-fifo        1  cannot tell which session LightDM would start: ~kd/.dmrc: it is a FIFO, which LightDM would wait on for ever
home-link        0  -
missing          1  LightDM could not start kd's session in $H, which does not exist
missing-mkhome   0  -
missing-mkhome-commented 1  LightDM could not start kd's session in $H, which does not exist
missing-mkhome-jumped 1  cannot tell whether PAM makes kd's missing home $H: /etc/pam.d/common-session line %LINE% may end the session stack or jump past pam_mkhomedir
dangling-mkhome  1  LightDM could not start kd's session in $H, a symbolic link to nothing
missing-parent   1  LightDM could not start kd's session in /home/nosuch/kd, which does not exist
file             1  LightDM could not start kd's session in $H, which is not a directory
root-000         1  LightDM could not start kd's session in $H, which kd may not enter
parent-0700      1  LightDM could not start kd's session in /home/locked/kd, which kd may not enter
other-0755       1  LightDM could not write kd's X authority, since kd may not create $H/.Xauthority
own-0555         1  LightDM could not write kd's X authority, since kd may not create $H/.Xauthority
other-0755-xauth 0  -
other-0755-link  0  -
other-0755-sysdir 0 -
group-0775       0  -
xauth-root       1  LightDM could not write kd's X authority, since kd may not write $H/.Xauthority
xauth-root-sysdir 0 -
xauth-dir        1  LightDM could not write kd's X authority, since $H/.Xauthority is not a regular file
xauth-fifo       1  LightDM could not write kd's X authority, since $H/.Xauthority is not a regular file
xauth-dangling   1  LightDM could not write kd's X authority, since kd may not create /home/nosuch/xauth
xauth-link-ok    0  -
root-0755-wayland 0 -
root-0755-x      1  LightDM could not write kd's X authority, since kd may not create $H/.Xauthority
odd-name         1  LightDM could not start kd's session in /home/k\\x09d\\x1b, which does not exist
"
while read -r setup expect message; do
  [ -n "$setup" ] || continue
  start_case
  rm -rf /home/kd /home/locked "/home/k"*
  home=$H
  case $setup in
    missing-parent) home=/home/nosuch/kd ;;
    parent-0700) home=/home/locked/kd ;;
    odd-name) home=$'/home/k\td\e' ;;
  esac
  account kd 3002 "$home"
  case $setup in
    ok | xauth-* | dmrc-*) own_home $H 3002 ;;
    mode-0711) own_home $H 3002 && chmod 0711 $H ;;
    home-link) own_home /home/kd.real 3002 && ln -s kd.real $H ;;
    file) echo not a directory > $H ;;
    root-000) mkdir -m 000 $H ;;
    parent-0700) mkdir -m 0700 /home/locked && own_home "$home" 3002 ;;
    other-0755*) own_home $H 2001 ;;
    root-0755-*) mkdir -m 0755 $H ;;
    own-0555) own_home $H 3002 && chmod 0555 $H ;;
    # A group the user is in may write the home: the user's own groups are taken on.
    group-0775) mkdir -m 0775 $H && chown 2001:990 $H && add_group kd ;;
  esac
  case $setup in
    xauth-own | other-0755-xauth) install -o 3002 -g 3002 -m 0600 /dev/null $H/.Xauthority ;;
    # Created through the link, in a directory of the user's.
    other-0755-link) own_home /home/kd.auth 3002 && ln -s ../kd.auth/x $H/.Xauthority ;;
    xauth-link-ok) ln -s .Xauthority.real $H/.Xauthority ;;
    xauth-fifo) mkfifo -m 0600 $H/.Xauthority && chown 3002:3002 $H/.Xauthority ;;
    xauth-root*) install -o 0 -g 0 -m 0600 /dev/null $H/.Xauthority ;;
    xauth-dir) mkdir $H/.Xauthority && chown 3002:3002 $H/.Xauthority ;;
    xauth-dangling) ln -s /home/nosuch/xauth $H/.Xauthority ;;
    dmrc-root-only) printf '[Desktop]\nSession=secret\n' > $H/.dmrc && chmod 0600 $H/.dmrc ;;
    dmrc-to-shadow) ln -s /etc/shadow $H/.dmrc ;;
    dmrc-fifo) mkfifo -m 0644 $H/.dmrc && chown 3002:3002 $H/.dmrc ;;
  esac
  # LightDM writes an X authority for an X session only: a Wayland session needs none.
  if [[ $setup == root-0755-* ]]; then
    mkdir -p "$WORK/sessions" /etc/lightdm/lightdm.conf.d
    printf '[Desktop Entry]\nExec=/bin/true\nX-LightDM-Session-Type=%s\n' "${setup##*-}" \
      > "$WORK/sessions/proof.desktop"
    printf '[LightDM]\nsessions-directory=%s\n[Seat:*]\nautologin-session=proof\n' \
      "$WORK/sessions" > /etc/lightdm/lightdm.conf.d/50-x.conf
  fi
  if [[ $setup == *-sysdir ]]; then
    mkdir -p /etc/lightdm/lightdm.conf.d
    printf '[LightDM]\nuser-authority-in-system-dir=true\n' > /etc/lightdm/lightdm.conf.d/50-x.conf
  fi
  case $setup in
    missing-mkhome) echo 'session optional pam_mkhomedir.so' >> /etc/pam.d/common-session ;;
    missing-mkhome-commented) echo '#session optional pam_mkhomedir.so' >> /etc/pam.d/common-session ;;
    # A module that may jump over the line that makes the home.
    missing-mkhome-jumped)
      message=${message//%LINE%/$(($(wc -l < /etc/pam.d/common-session) + 1))}
      printf 'session [success=1 default=ignore] pam_unix.so\nsession optional pam_mkhomedir.so\n' >> /etc/pam.d/common-session ;;
    dangling-mkhome)
      ln -s /home/nosuch $H && echo 'session optional pam_mkhomedir.so' >> /etc/pam.d/common-session ;;
  esac
  snapshot
  run enable kd
  expect_status "$setup" "$expect"
  if [ "$expect" = 0 ]; then
    grep -qx 'autologin-user=kd' "$CONF" || fail "$setup: exit 0, but the file does not name kd"
  else
    expect_bytes "$setup (stderr)" "$ERR" "Cannot enable automatic login for kd: $message"$'\n'
    expect_unchanged "$setup"
    expect_no_litter "$setup"
  fi
  # Looking never changes the home, whatever the answer.
  home_listing | cmp -s - "$WORK/home.snapshot" || fail "$setup: something under /home changed"
  # status, run by root, tells the same as enable.
  printf '[Seat:*]\nautologin-user=kd\nautologin-user-timeout=0\n' > "$CONF"
  run status
  if [ "$expect" = 0 ]; then
    want="Auto login enabled for user: kd"
  else
    want="LightDM will show the greeter and log nobody in on seat0: $message"
  fi
  [[ $message == "cannot tell"* ]] || [ "$(head -n 1 "$OUT")" = "$want" ] ||
    fail "$setup: status begins '$(head -n 1 "$OUT")'"
done <<< "$CASES"

# The home is looked at only by enable.
start_case
account kd 3002 /home/kd
own_home $H 3002
printf '[Seat:*]\nautologin-user=kd\n' > "$CONF"
if command -v strace > /dev/null; then
  traced -f -qq -o "$WORK/strace.log" -e trace=chdir,openat,faccessat2,clone,fork,vfork \
    "$HELPER" disable kd > "$OUT" 2> "$ERR"
  STATUS=$?
  expect_status "disable" 0
  ! grep -q '/home' "$WORK/strace.log" || fail "disable looked at a home"
fi

# ~/.dmrc is opened with the user's uid, never root's, and with no supplementary groups, as
# LightDM under systemd opens it: every open of it comes from a process whose effective uid is
# the user's and that dropped its groups, and a link to /etc/shadow is refused to it.
if command -v strace > /dev/null; then
  for setup in dmrc-root-only dmrc-to-shadow; do
    start_case
    rm -rf $H
    account kd 3002 $H
    own_home $H 3002
    if [ "$setup" = dmrc-root-only ]; then
      printf '[Desktop]\nSession=secret\n' > $H/.dmrc
      chmod 0600 $H/.dmrc
    else
      ln -s /etc/shadow $H/.dmrc
    fi
    traced -f -qq -o "$WORK/strace.log" -e trace=setuid,setresuid,setgid,setgroups,openat "$HELPER" \
      enable kd > "$OUT" 2> "$ERR"
    STATUS=$?
    expect_status "$setup, traced" 0
    # A process's lines: its effective uid 3002 comes first, then the open, which is refused.
    awk -v home="$H/.dmrc" '
      { pid = $1 }
      /setgroups\(0, NULL\) += 0/ { nogroups[pid] = 1 }
      /setresuid\(-1, 3002, -1\) += 0/ { user[pid] = 1 }
      /setresuid\(-1, 0, -1\) += 0/ { delete user[pid] }
      index($0, "\"" home "\"") && /openat/ {
        opens++
        if (!(pid in user)) { print "opened as root: " $0; bad = 1 }
        if (!(pid in nogroups)) { print "opened with groups: " $0; bad = 1 }
        if ($0 !~ /= -1 EACCES/) { print "not refused: " $0; bad = 1 }
      }
      END { if (opens != 1) { print "opens of .dmrc: " opens; bad = 1 } exit bad }
    ' "$WORK/strace.log" || fail "$setup: ~/.dmrc was not opened as the user alone"
    grep -q 'setgroups(1, \[3002\]) *= 0' "$WORK/strace.log" ||
      fail "$setup: the user's own groups were not taken on: $(grep setgroups "$WORK/strace.log")"
  done
else
  echo "SKIP (strace cases): strace is not installed"
fi

finish
