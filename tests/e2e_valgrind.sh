#!/bin/bash
# valgrind memcheck on the built helper: no invalid access, no uninitialised read and no leak,
# on a success path and on failure paths.
source "$(dirname "$0")/lib/sandbox.sh" "$@"

if ! command -v valgrind > /dev/null; then
  echo "SKIP: valgrind is not installed"
  exit 77
fi
fresh_etc
add_user alice 2001

# memcheck WHAT STATUS ARGS...: the run ends with STATUS and memcheck finds nothing.
memcheck() {
  local what=$1 status=$2
  shift 2
  valgrind --quiet --error-exitcode=99 --leak-check=full --show-leak-kinds=definite,indirect \
    --errors-for-leak-kinds=definite,indirect --track-fds=no --log-file="$WORK/memcheck.log" \
    "$HELPER" "$@" > "$OUT" 2> "$ERR"
  STATUS=$?
  expect_status "$what" "$status"
  [ ! -s "$WORK/memcheck.log" ] || fail "$what: memcheck says: $(head -20 "$WORK/memcheck.log")"
}

printf '[Seat:*]\n#autologin-user=\n' > "$CONF"
memcheck "enable" 0 enable alice
memcheck "disable" 0 disable alice
memcheck "bad name" 1 enable 'a b'
memcheck "unknown command" 1 frobnicate
rm "$CONF"
memcheck "missing configuration" 1 disable
head -c 200000 /dev/zero | tr '\0' '#' > "$CONF"
memcheck "configuration too large" 1 disable
mount -t tmpfs -o size=8k tmpfs /etc/lightdm
printf '[Seat:*]\n#autologin-user=\n' > "$CONF"
head -c 1M /dev/zero > /etc/lightdm/filler 2>/dev/null
memcheck "disk full" 1 enable alice
umount /etc/lightdm

finish
