#!/bin/bash
# The configuration on disk: missing, empty and private files, a full disk and a read-only
# directory. A failure must leave the old file whole and no temporary file behind.
source "$(dirname "$0")/lib/sandbox.sh" "$@"

SEAT=$'[Seat:*]\n#autologin-user=\n#autologin-user-timeout=0\n'
ENABLED=$'[Seat:*]\nautologin-user=alice\nautologin-user-timeout=0\n'
fresh_etc
add_user alice 2001

rm -f "$CONF"
run enable alice
expect_run "missing file" 1 "" $'Cannot open /etc/lightdm/lightdm.conf: No such file or directory\n'
[ ! -e "$CONF" ] || fail "missing file: a configuration was created"
expect_no_litter "missing file"

: > "$CONF"
run disable
expect_run "empty file" 0 $'Auto login disabled\n' ""
expect_bytes "empty file (content)" "$CONF" ""
expect_mode "empty file" "$CONF" 644

# The new file never grants more than the old one: its mode is the old mode & 0644, and it
# belongs to root:root whoever owned the old file.
for modes in 600:600 640:640 400:400 000:0 644:644 664:644 755:644 4755:644; do
  printf '%s' "$SEAT" > "$CONF"
  chmod "${modes%:*}" "$CONF"
  chown 12345:12345 "$CONF"
  run enable alice
  expect_run "mode ${modes%:*}" 0 $'Auto login enabled for user: alice\n' ""
  expect_bytes "mode ${modes%:*} (content)" "$CONF" "$ENABLED"
  expect_mode "mode ${modes%:*}" "$CONF" "${modes#*:}"
  [ "$(stat -c %u:%g "$CONF")" = 0:0 ] || fail "mode ${modes%:*}: not owned by root:root"
  expect_no_litter "mode ${modes%:*}"
done

# Nor does the group the caller runs under decide the new file's group.
printf '%s' "$SEAT" > "$CONF"
setpriv --regid=12345 --clear-groups "$HELPER" disable > "$OUT" 2> "$ERR"
STATUS=$?
expect_status "caller's group" 0
[ "$(stat -c %u:%g "$CONF")" = 0:0 ] || fail "caller's group: owned by $(stat -c %u:%g "$CONF")"

# A refusal changes nothing, the group included: a full disk or a read-only directory must be
# found out before alice joins the group, or she stays in it with automatic login still off.
# The enable above put her in it; she leaves it first.
gpasswd -d alice autologin > /dev/null 2>&1
cp /etc/group "$WORK/group.before"
cp /etc/gshadow "$WORK/gshadow.before"
# Checks the group files and puts them back, so that each case starts from the same ones.
expect_group_untouched() {
  cmp -s "$WORK/group.before" /etc/group ||
    fail "$1: refused, but /etc/group changed: $(diff "$WORK/group.before" /etc/group | tr '\n' ' ')"
  cp "$WORK/group.before" /etc/group
  cp "$WORK/gshadow.before" /etc/gshadow
}

# A full disk: a small tmpfs over /etc/lightdm, filled up but for the configuration.
mount -t tmpfs -o size=64k tmpfs /etc/lightdm
printf '%s' "$SEAT" > "$CONF"
head -c 1M /dev/zero > /etc/lightdm/filler 2>/dev/null
run enable alice
expect_run "full disk" 1 "" $'Write error: No space left on device\n'
expect_bytes "full disk (content)" "$CONF" "$SEAT"
expect_no_litter "full disk"
expect_group_untouched "full disk"

# A read-only directory.
rm /etc/lightdm/filler
mount -o remount,ro /etc/lightdm
run enable alice
expect_run "read-only directory" 1 "" $'Cannot create temp file: Read-only file system\n'
expect_bytes "read-only directory (content)" "$CONF" "$SEAT"
expect_group_untouched "read-only directory"
umount /etc/lightdm

finish
