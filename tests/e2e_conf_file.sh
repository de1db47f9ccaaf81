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

# A full disk: a small tmpfs over /etc/lightdm, filled up but for the configuration.
mount -t tmpfs -o size=64k tmpfs /etc/lightdm
printf '%s' "$SEAT" > "$CONF"
head -c 1M /dev/zero > /etc/lightdm/filler 2>/dev/null
snapshot_etc
run enable alice
expect_run "full disk" 1 "" $'Write error: No space left on device\n'
expect_bytes "full disk (content)" "$CONF" "$SEAT"
expect_no_litter "full disk"
expect_unchanged "full disk"

# A read-only directory.
rm /etc/lightdm/filler
mount -o remount,ro /etc/lightdm
snapshot_etc
run enable alice
expect_run "read-only directory" 1 "" $'Cannot create temp file: Read-only file system\n'
expect_bytes "read-only directory (content)" "$CONF" "$SEAT"
expect_unchanged "read-only directory"
umount /etc/lightdm

# The new file keeps the old one's ACL, labels and notes, minus what the kernel computes or
# binds, and never a default ACL of the directory; its ACL's mask follows the mode, so no named
# entry gains a right. An attribute that cannot be kept refuses the change before anything
# else: file, attributes and group as they were. /etc is a copy on /tmp, which must carry
# user.* and trusted.* attributes and ACLs (tmpfs carries user.* only from Linux 6.6).
if command -v setfacl > /dev/null && command -v setfattr > /dev/null &&
  setfattr -n user.probe -v 1 "$CONF" 2> /dev/null &&
  setfacl -m u:alice:r "$CONF" 2> /dev/null; then
  # attributes FILE: its ACL, effective rights included, then every other attribute in hex.
  attributes() {
    getfacl -c -p "$1" | sed '/^$/d'
    getfattr -d -m - -e hex --absolute-names "$1" | grep -v -e '^#' -e '^system.posix_acl' -e '^$'
  }
  ACL_640=$'user::rw-\nuser:alice:r--\ngroup::r--\nmask::r--\nother::---\n'
  PLAIN=$'user::rw-\ngroup::r--\nother::r--\n'
  COPY_FAILS=$'Cannot replace /etc/lightdm/lightdm.conf: cannot keep its extended attribute'
  # WHAT | SETUP (on $CONF, mode 644, no attributes) | STRACE INJECTION (none: -) |
  # ATTRIBUTES AFTER (unchanged: the run must refuse) | STDERR
  cases=(
    "ACL kept|chmod 640 \$CONF; setfacl -m u:alice:r \$CONF|-|${ACL_640}|"
    "ACL with a wider mask narrowed to the mode|chmod 664 \$CONF; setfacl -m u:alice:rw,g:daemon:rw \$CONF|-|user::rw-
user:alice:rw-	#effective:r--
group::rw-	#effective:r--
group:daemon:rw-	#effective:r--
mask::r--
other::r--
|"
    "directory's default ACL not inherited|setfacl -d -m u:alice:rw /etc/lightdm|-|${PLAIN}|"
    "own ACL kept over the directory's default|chmod 640 \$CONF; setfacl -m u:alice:r \$CONF; setfacl -d -m u:daemon:rw /etc/lightdm|-|${ACL_640}|"
    "user.* kept|setfattr -n user.note -v hi \$CONF|-|${PLAIN}user.note=0x6869
|"
    "trusted.* kept|setfattr -n trusted.site -v ok \$CONF|-|${PLAIN}trusted.site=0x6f6b
|"
    "a label kept|setfattr -n security.foo -v etc_t \$CONF|-|${PLAIN}security.foo=0x6574635f74
|"
    "what the kernel computes skipped|setfattr -n security.ima -v 0x0102 \$CONF; setfattr -n security.evm -v 0x0304 \$CONF; setfattr -n user.note -v hi \$CONF|-|${PLAIN}user.note=0x6869
|"
    "a label that cannot be set|setfattr -n security.foo -v etc_t \$CONF|fsetxattr:error=EPERM|unchanged|${COPY_FAILS} security.foo: Operation not permitted"
    "an ACL that cannot be set|setfacl -m u:alice:r \$CONF|fsetxattr:error=EOPNOTSUPP|unchanged|${COPY_FAILS} system.posix_acl_access: Operation not supported"
    "attributes that cannot be listed|setfattr -n user.note -v hi \$CONF|flistxattr:error=EIO|unchanged|Cannot replace /etc/lightdm/lightdm.conf: cannot list its extended attributes: Input/output error"
    "an inherited ACL that cannot be removed|setfacl -d -m u:alice:rw /etc/lightdm|fremovexattr:error=EIO|unchanged|Cannot replace /etc/lightdm/lightdm.conf: cannot remove the ACL the new file inherited from its directory: Input/output error"
  )
  for row in "${cases[@]}"; do
    IFS='|' read -r -d '' what setup inject expected message <<< "$row" || true
    message=${message%$'\n'}
    rm -f "$CONF"
    setfacl -b -k /etc/lightdm
    printf '%s' "$SEAT" > "$CONF"
    chmod 644 "$CONF"
    eval "$setup"
    before=$(attributes "$CONF"; echo x)
    cp "$CONF" "$WORK/conf.before"
    gpasswd -d alice autologin > /dev/null 2>&1
    snapshot_etc
    if [ "$inject" = - ]; then
      run enable alice
    elif command -v strace > /dev/null; then
      run_traced -e trace="${inject%%:*}" -e inject="$inject" -- enable alice
    else
      echo "SKIP ($what): strace is not installed"
      continue
    fi
    if [ "$expected" = unchanged ]; then
      expect_run "$what" 1 "" "$message"$'\n'
      cmp -s "$WORK/conf.before" "$CONF" || fail "$what: the file changed"
      [ "$(attributes "$CONF"; echo x)" = "$before" ] || fail "$what: its attributes changed"
      expect_unchanged "$what"
    else
      expect_run "$what" 0 $'Auto login enabled for user: alice\n' ""
      expect_bytes "$what (content)" "$CONF" "$ENABLED"
      attributes "$CONF" > "$WORK/attributes"
      expect_bytes "$what (attributes)" "$WORK/attributes" "$expected"
      gpasswd -d alice autologin > /dev/null 2>&1
    fi
    expect_no_litter "$what"
  done
  setfacl -b -k /etc/lightdm
else
  echo "SKIP (extended attributes): needs setfacl and setfattr, and ACLs and user.* attributes on /tmp"
fi

finish
