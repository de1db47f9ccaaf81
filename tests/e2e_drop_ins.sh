#!/bin/bash
# Reading the drop-ins when something goes wrong, and when there are thousands. A drop-in that
# decides may be skipped only for what LightDM also skips whenever it starts (absent, a loop,
# not a regular file); a failure that may pass (no memory, no descriptor left, an interrupted
# call) must never turn into a false "Auto login disabled".
source "$(dirname "$0")/lib/sandbox.sh" "$@"

if ! command -v strace > /dev/null; then
  echo "SKIP: strace is not installed"
  exit 77
fi
D=/etc/lightdm/lightdm.conf.d
DECIDING=$D/50-seat0.conf
OLD=$'[Seat:*]\n#autologin-user=\n'
REFUSED="Cannot disable automatic login: $DECIDING sets autologin-user=bob in [Seat:seat0] (line 2), so LightDM would log in bob on seat0"
BOB=$'Auto login enabled for user: bob\nautologin-user=bob from '"$DECIDING"$' [Seat:seat0] line 2\nsession=lightdm-xsession from LightDM\'s default\nWithout logind, LightDM would show the greeter and log nobody in instead\n'
fresh_etc
# status, run as root, asks LightDM's PAM service about bob, who must exist to be let in.
add_user bob 2002
mkdir -p "$D"
printf '%s' "$OLD" > "$CONF"
printf '[Seat:seat0]\nautologin-user=bob\n' > "$DECIDING"

# expect_untouched WHAT: the configuration is as it was, with nothing beside it.
expect_untouched() {
  expect_bytes "$1 (configuration)" "$CONF" "$OLD"
  expect_no_litter "$1"
}

# Four open errors that pass with time, injected on every open of the deciding drop-in: both
# commands refuse, naming it. Injected once, EINTR is tried again and the answer is right.
for error in "ENOMEM|Cannot allocate memory" "ENFILE|Too many open files in system" \
  "EMFILE|Too many open files" "EINTR|Interrupted system call"; do
  name=${error%%|*}
  text=${error#*|}
  inject=(-P "$DECIDING" -e trace=openat -e "inject=openat:error=$name")
  run_traced "${inject[@]}" -- disable
  expect_run "disable, $name" 1 "" "Cannot disable automatic login: cannot read $DECIDING: $text"$'\n'
  expect_untouched "disable, $name"
  run_traced "${inject[@]}" -- status
  expect_run "status, $name" 1 "" "Cannot tell what LightDM does: cannot read $DECIDING: $text"$'\n'
done
inject=(-P "$DECIDING" -e trace=openat -e "inject=openat:error=EINTR:when=1..3")
run_traced "${inject[@]}" -- disable
expect_run "disable, EINTR three times" 1 "" "$REFUSED"$'\n'
expect_untouched "disable, EINTR three times"
run_traced "${inject[@]}" -- status
expect_run "status, EINTR three times" 0 "$BOB" ""

# Listing the directory, and the calls after the open, fail the same way.
while IFS='|' read -r what path inject text; do
  run_traced -P "$path" -e "inject=$inject" -- status
  expect_run "$what" 1 "" "Cannot tell what LightDM does: cannot read $path: $text"$'\n'
done <<ROWS
directory cannot be opened|$D|openat:error=ENOMEM|Cannot allocate memory
directory cannot be listed|$D|getdents64:error=EIO|Input/output error
drop-in cannot be stat'ed|$DECIDING|fstat,newfstatat:error=EIO|Input/output error
drop-in cannot be read|$DECIDING|read:error=EIO|Input/output error
ROWS

# A caller that leaves too few descriptors: status, as a user who cannot lift the limit, says
# it cannot tell. A root caller's 1,018 open descriptors are closed first, and the drop-in
# decides.
(
  for fd in $(ls /proc/$BASHPID/fd); do
    [ "$fd" -le 2 ] || eval "exec $fd>&-"
  done 2> /dev/null
  ulimit -n 4
  exec setpriv --reuid=65534 --regid=65534 --clear-groups "$HELPER" status
) > "$OUT" 2> "$ERR"
STATUS=$?
expect_status "status with four descriptors" 1
expect_bytes "status with four descriptors (stdout)" "$OUT" ""
grep -qx 'Cannot tell what LightDM does: cannot read .*: Too many open files' "$ERR" ||
  fail "status with four descriptors: $(cat "$ERR")"
(
  ulimit -n 1024
  for fd in $(seq 3 1020); do eval "exec $fd< /dev/null"; done
  exec "$HELPER" disable
) > "$OUT" 2> "$ERR"
STATUS=$?
expect_run "1,018 inherited descriptors" 1 "" "$REFUSED"$'\n'
expect_untouched "1,018 inherited descriptors"

# What LightDM skips whenever it starts, the helper skips: a dangling link, a link loop, a
# directory, a socket, a device. None of them stops a disable.
rm "$DECIDING"
ln -s /nonexistent "$D/10-dangling.conf"
ln -s 11-loop.conf "$D/11-loop.conf"
mkdir "$D/12-dir.conf"
perl -MIO::Socket::UNIX -e 'IO::Socket::UNIX->new(Local => $ARGV[0], Listen => 1) or die' \
  "$D/13-socket.conf"
mknod "$D/14-null.conf" c 1 3
run disable
expect_run "what LightDM skips" 0 $'Auto login disabled\n' ""
expect_no_litter "what LightDM skips"
rm -rf "${D:?}"/*
printf '%s' "$OLD" > "$CONF"

# Thousands of drop-ins are read in one pass, in strcmp order: the last name decides. Past
# 8,192 names the helper cannot tell.
seq -f "$D/%05g.conf" 1 4000 | xargs touch
printf '[Seat:seat0]\nautologin-user=carol\n' > "$D/00000.conf"
printf '[Seat:seat0]\nautologin-user=bob\n' > "$D/zz.conf"
run status
expect_status "4,000 drop-ins" 0
[ "$(head -1 "$OUT")" = "Auto login enabled for user: bob" ] || fail "4,000 drop-ins: $(cat "$OUT")"
rm "$D/zz.conf"
# best_ms COMMAND...: the shortest wall time of three runs, in milliseconds.
best_ms() {
  local best=999999 start took
  for _ in 1 2 3; do
    start=$(date +%s%N)
    "$@" > /dev/null 2>&1
    took=$((($(date +%s%N) - start) / 1000000))
    [ "$took" -lt "$best" ] && best=$took
  done
  echo "$best"
}
if command -v lightdm > /dev/null; then
  helper_ms=$(best_ms "$HELPER" status)
  lightdm_ms=$(best_ms lightdm --show-config)
  echo "4,000 empty drop-ins: status $helper_ms ms, lightdm --show-config $lightdm_ms ms"
  [ "$helper_ms" -le $((3 * lightdm_ms + 20)) ] ||
    fail "4,000 drop-ins: status took $helper_ms ms, lightdm --show-config $lightdm_ms ms"
else
  echo "SKIP (timing against LightDM): lightdm is not installed"
fi
seq -f "$D/x%05g.conf" 1 4192 | xargs touch
run status
expect_run "8,193 drop-ins" 1 "" \
  "Cannot tell what LightDM does: cannot tell how LightDM reads $D: more than 8192 drop-ins"$'\n'

finish
