#!/bin/bash
# The gates beside LightDM's files: the display manager the system starts, openSUSE's sysconfig
# override, the seats logind lists, and the group change a failed run must take back.
source "$(dirname "$0")/lib/sandbox.sh" "$@"
DRY_RUN_TOO=1
source "$(dirname "$0")/lib/cases.sh"

ENABLED=$'Auto login enabled for user: alice\n'
DROP_IN=/etc/lightdm/lightdm.conf.d/50-site.conf

# Which display manager starts at boot. Under systemd (/run/systemd/system) only the
# display-manager.service alias decides, the administrator's in /etc or else a package's in
# /usr/lib; one in /run is gone at the next boot. Without systemd the Debian file decides.
# enable does its work and says so once; status says it as its last line.
GDM='Warning: this system starts gdm3 at boot, not LightDM, so automatic login will not happen'
NONE='Warning: no display manager is enabled to start at boot, so automatic login will not happen'
ALIAS=/etc/systemd/system/display-manager.service
VENDOR=/usr/lib/systemd/system/display-manager.service
LIGHTDM_UNIT=/lib/systemd/system/lightdm.service
GDM_UNIT=/lib/systemd/system/gdm3.service
DM_FILE=/etc/X11/default-display-manager
# A package's directory of our own: the host's stays as it is.
mkdir "$WORK/vendor"
mount --bind "$WORK/vendor" /usr/lib/systemd/system
# WHAT | SETUP (from: no systemd, no alias, the Debian file naming lightdm) | WARNING
dm_cases=(
  "systemd, alias in /etc to lightdm|systemd; ln -s $LIGHTDM_UNIT $ALIAS|"
  "systemd, alias in /etc to gdm3|systemd; ln -s $GDM_UNIT $ALIAS|$GDM"
  "systemd, alias in /etc wins over the file|systemd; ln -s $LIGHTDM_UNIT $ALIAS; echo /usr/sbin/gdm3 > $DM_FILE|"
  "systemd, the vendor's alias to lightdm|systemd; ln -s lightdm.service $VENDOR|"
  "systemd, the vendor's alias to gdm3|systemd; ln -s gdm3.service $VENDOR|$GDM"
  "systemd, alias in /etc wins over the vendor's|systemd; ln -s $LIGHTDM_UNIT $ALIAS; ln -s gdm3.service $VENDOR|"
  "systemd, an alias in /run only|systemd; ln -s $LIGHTDM_UNIT /run/systemd/system/display-manager.service|$NONE"
  "systemd, no alias|systemd|$NONE"
  "no systemd, the file names lightdm, no alias|:|"
  "no systemd, the file names gdm3, alias to lightdm|ln -s $LIGHTDM_UNIT $ALIAS; echo /usr/sbin/gdm3 > $DM_FILE|$GDM"
)
systemd() { mkdir -p /run/systemd/system; }
# dm_check WHAT WARNING: enable warns WARNING (or nothing) once, and status ends with it.
dm_check() {
  run enable alice
  expect_run "$1" 0 "$ENABLED" "${2:+$2$'\n'}"
  grep -qx 'autologin-user=alice' "$CONF" || fail "$1: the file was not changed"
  run status
  expect_status "status, $1" 0
  if [ -n "$2" ]; then
    [ "$(tail -1 "$OUT")" = "$2" ] || fail "status, $1: last line $(tail -1 "$OUT")"
  else
    grep -q '^Warning' "$OUT" && fail "status, $1: $(grep '^Warning' "$OUT")"
  fi
}
start_case
for row in "${dm_cases[@]}"; do
  IFS='|' read -r what setup warning <<< "$row"
  printf '%s' "$SEAT" > "$CONF"
  rm -rf /run/systemd/system "$ALIAS" "$VENDOR"
  mkdir -p /etc/systemd/system /etc/X11
  echo /usr/sbin/lightdm > $DM_FILE
  eval "$setup"
  dm_check "$what" "$warning"
done
# systemctl disable lightdm removes the alias and leaves the Debian file naming lightdm.
rm -f "$ALIAS" "$VENDOR"
systemd
ln -sfn $LIGHTDM_UNIT $ALIAS
echo /usr/sbin/lightdm > $DM_FILE
dm_check "systemd, before systemctl disable" ""
rm $ALIAS
printf '%s' "$SEAT" > "$CONF"
dm_check "systemd, after systemctl disable" "$NONE"
rm -rf /run/systemd/system
umount /usr/lib/systemd/system

# openSUSE's DISPLAYMANAGER_AUTOLOGIN counts only where the installed LightDM reads it. Debian's
# never does: the file decides nothing in enable, disable or status.
SYSCONFIG=/etc/sysconfig/displaymanager
start_case
add_user bob 2002
mkdir -p /etc/sysconfig
printf 'DISPLAYMANAGER="lightdm"\nDISPLAYMANAGER_AUTOLOGIN="bob"\n' > $SYSCONFIG
if [ -x /usr/sbin/lightdm ] && ! grep -q /etc/sysconfig/displaymanager /usr/sbin/lightdm; then
  run status
  expect_run "Debian's LightDM, sysconfig names bob: status" 0 $'Auto login disabled\nautologin-user is not set\n' ""
  run enable alice
  expect_run "Debian's LightDM, sysconfig names bob: enable alice" 0 $'Auto login enabled for user: alice\n' ""
  run disable
  expect_run "Debian's LightDM, sysconfig names bob: disable" 0 $'Auto login disabled\n' ""
  start_case
  add_user bob 2002
  mkdir -p /etc/sysconfig
  printf 'DISPLAYMANAGER="lightdm"\nDISPLAYMANAGER_AUTOLOGIN="bob"\n' > $SYSCONFIG
fi
# openSUSE's build names the file: a copy of the program that does stands in for it.
# Where LightDM is not installed the helper reads no program, and the file counts for nothing.
if [ ! -e /usr/sbin/lightdm ]; then
  echo "SKIP (sysconfig): LightDM is not installed, so no build reads the file"
else
cat /usr/sbin/lightdm > "$WORK/suse-lightdm"
printf '\0/etc/sysconfig/displaymanager\0' >> "$WORK/suse-lightdm"
chmod 0755 "$WORK/suse-lightdm"
mount --bind "$WORK/suse-lightdm" /usr/sbin/lightdm
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
umount /usr/sbin/lightdm
fi

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
    snapshot_etc
    run_traced -e trace=rename,renameat,renameat2 -e inject=rename,renameat,renameat2:error=EIO \
      -- enable alice
    expect_status "rename fails, group $group" 1
    expect_unchanged "rename fails, group $group"
    expect_no_litter "rename fails, group $group"
  done
else
  echo "SKIP (group taken back after a failed rename): strace is not installed"
fi

finish
