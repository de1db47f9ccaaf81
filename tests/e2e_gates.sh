#!/bin/bash
# The gates beside LightDM's files: the display manager the system starts, openSUSE's sysconfig
# override, the seats logind lists, and the group change a failed run must take back.
source "$(dirname "$0")/lib/sandbox.sh" "$@"
source "$(dirname "$0")/lib/cases.sh"

ENABLED=$'Auto login enabled for user: alice\n'
DROP_IN=/etc/lightdm/lightdm.conf.d/50-site.conf

# Another display manager starts at boot: enable does its work and says so once; status too.
GDM=$'Warning: this system starts gdm3 at boot, not LightDM, so automatic login will not happen\n'
start_case
mkdir -p /etc/systemd/system
ln -sfn /lib/systemd/system/gdm3.service /etc/systemd/system/display-manager.service
run enable alice
expect_run "gdm3 starts at boot" 0 "$ENABLED" "$GDM"
grep -qx 'autologin-user=alice' "$CONF" || fail "gdm3 starts at boot: the file was not changed"
run status
expect_status "status, gdm3 starts at boot" 0
[ "$(tail -1 "$OUT")" = "${GDM%$'\n'}" ] || fail "status, gdm3 starts at boot: last line $(tail -1 "$OUT")"
rm /etc/systemd/system/display-manager.service
echo /usr/sbin/gdm3 > /etc/X11/default-display-manager
run enable alice
expect_run "default-display-manager names gdm3" 0 "$ENABLED" "$GDM"

# openSUSE's DISPLAYMANAGER_AUTOLOGIN comes after every file: only the promise itself may stand.
SYSCONFIG=/etc/sysconfig/displaymanager
start_case
add_user bob 2002
mkdir -p /etc/sysconfig
printf 'DISPLAYMANAGER="lightdm"\nDISPLAYMANAGER_AUTOLOGIN="bob"\n' > $SYSCONFIG
cp "$CONF" "$WORK/before.conf"
run enable alice
expect_run "sysconfig names bob, enable alice" 1 "" \
  $'Cannot enable automatic login for alice: /etc/sysconfig/displaymanager sets DISPLAYMANAGER_AUTOLOGIN=bob (line 2), which LightDM applies after all of its own files\n'
run disable
expect_run "sysconfig names bob, disable" 1 "" \
  $'Cannot disable automatic login: /etc/sysconfig/displaymanager sets DISPLAYMANAGER_AUTOLOGIN=bob (line 2), which LightDM applies after all of its own files\n'
cmp -s "$WORK/before.conf" "$CONF" || fail "sysconfig refusals changed lightdm.conf"
getent group autologin > /dev/null && fail "sysconfig refusal created the group"
run status
expect_run "status, sysconfig names bob" 0 $'Auto login enabled for user: bob\nautologin-user=bob from /etc/sysconfig/displaymanager DISPLAYMANAGER_AUTOLOGIN line 2\nautologin-user-timeout=0 from /etc/sysconfig/displaymanager DISPLAYMANAGER_AUTOLOGIN line 2\nsession=lightdm-xsession from LightDM\'s default\n' ""
run enable bob
expect_run "sysconfig names bob, enable bob" 0 $'Auto login enabled for user: bob\n' ""
printf 'DISPLAYMANAGER_AUTOLOGIN=""\n' > $SYSCONFIG
run disable
expect_run "sysconfig empty, disable" 0 $'Auto login disabled\n' ""
printf 'DISPLAYMANAGER_AUTOLOGIN="$USER"\n' > $SYSCONFIG
run disable
expect_run "sysconfig expands a variable" 1 "" \
  $'Cannot disable automatic login: cannot tell how LightDM reads /etc/sysconfig/displaymanager: line 1: a value the shell would expand\n'

# Every seat logind lists is judged: a section for seat1 that logs bob in is refused by name,
# and status says how seat1 differs. A section for a seat nobody lists changes nothing.
start_case
add_user bob 2002
mkdir -p /run/systemd/seats /etc/lightdm/lightdm.conf.d
printf 'IS_SEAT0=0\nCAN_GRAPHICAL=1\n' > /run/systemd/seats/seat1
printf '[Seat:seat1]\nautologin-user=bob\n' > "$DROP_IN"
run disable
expect_run "seat1 logs bob in, disable" 1 "" \
  $'Cannot disable automatic login: /etc/lightdm/lightdm.conf.d/50-site.conf sets autologin-user=bob in [Seat:seat1] (line 2), so LightDM would log in bob on seat1\n'
run enable alice
expect_status "seat1 logs bob in, enable" 1
run status
expect_run "status, seat1 logs bob in" 0 $'Auto login disabled\nautologin-user is not set\nOn seat1, LightDM would log in bob instead\n' ""
# status, as root, asks each seat's PAM service too: seat1's turns alice away.
printf '[Seat:seat1]\npam-autologin-service=brindleway-deny\n' > "$DROP_IN"
printf 'auth required pam_deny.so\naccount required pam_permit.so\n' > /etc/pam.d/brindleway-deny
printf '[Seat:*]\nautologin-user=alice\n' > "$CONF"
run status
expect_run "status, seat1's PAM service refuses" 0 $'Auto login enabled for user: alice\nautologin-user=alice from /etc/lightdm/lightdm.conf [Seat:*] line 2\nsession=lightdm-xsession from LightDM\'s default\nOn seat1, LightDM would show the greeter and log nobody in instead: its PAM service brindleway-deny refuses alice (Authentication failure)\n' ""
run enable alice
expect_run "enable, seat1's PAM service refuses" 1 "" \
  $'Cannot enable automatic login for alice: LightDM\'s PAM service brindleway-deny refuses alice (Authentication failure)\n'
rm /run/systemd/seats/seat1
printf '[Seat:seat1]\nautologin-user=bob\n' > "$DROP_IN"
run disable
expect_run "a section for a seat nobody lists" 0 $'Auto login disabled\n' ""

# A change that cannot be put in place takes back this run's group change: the group it
# created goes again, and so does a membership it added.
if command -v strace > /dev/null; then
  for group in missing exists; do
    start_case
    [ "$group" = exists ] && add_group "bob"
    cp /etc/group "$WORK/group.before"
    run_traced -e trace=rename,renameat,renameat2 -e inject=rename,renameat,renameat2:error=EIO \
      -- enable alice
    expect_status "rename fails, group $group" 1
    cmp -s /etc/group "$WORK/group.before" || fail "rename fails, group $group: /etc/group changed: $(grep autologin /etc/group)"
    expect_no_litter "rename fails, group $group"
  done
else
  echo "SKIP (group taken back after a failed rename): strace is not installed"
fi

finish
