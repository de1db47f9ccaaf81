#!/bin/bash
# The audit line: one authpriv.notice datagram to /dev/log per change, naming who asked, and
# nothing for a refusal. A log daemon that is absent or stuck must cost nothing: no message, no
# error, no wait. The test's own /dev holds a socket that perl reads in place of a daemon.
source "$(dirname "$0")/lib/sandbox.sh" "$@"

source "$(dirname "$0")/lib/cases.sh"

if ! perl -MIO::Socket::UNIX -e 1 2> /dev/null; then
  echo "SKIP: perl's IO::Socket::UNIX is missing"
  exit 77
fi
LOG=$WORK/syslog
ENABLED=$'Auto login enabled for user: alice\n'
DISABLED=$'Auto login disabled\n'

# A /dev of the test's own, with the few devices a run needs, so that /dev/log is ours.
mount -t tmpfs -o mode=0755 tmpfs /dev
for node in "null 1 3" "zero 1 5" "full 1 7" "random 1 8" "urandom 1 9"; do
  set -- $node
  mknod -m 666 "/dev/$1" c "$2" "$3"
done
ln -s /proc/self/fd /dev/fd

# log_daemon READS: binds /dev/log and appends each datagram, one a line, to $LOG; with READS
# 0 it reads nothing, and fills its own queue first, as a stuck daemon's fills.
DAEMON=
log_daemon() {
  rm -f /dev/log "$LOG" "$WORK/ready"
  perl -MIO::Socket::UNIX -MSocket -e '
    my ($reads, $log, $ready) = @ARGV;
    my $s = IO::Socket::UNIX->new(Type => SOCK_DGRAM, Local => "/dev/log") or die "bind: $!";
    if (!$reads) {
      my $c = IO::Socket::UNIX->new(Type => SOCK_DGRAM, Peer => "/dev/log") or die "peer: $!";
      $c->blocking(0);
      my $n = 0;
      $n++ while defined $c->send("filler") && $n < 100000;
    }
    open(my $ok, ">", $ready) and close $ok;
    open(my $out, ">>", $log) or die;
    $out->autoflush(1);
    while ($reads) { defined $s->recv(my $line, 65536) or die; print $out "$line\n"; }
    sleep 3600;' "$1" "$LOG" "$WORK/ready" &
  DAEMON=$!
  until_true 2 test -e "$WORK/ready" || fail "the stand-in log daemon did not start"
}
stop_daemon() {
  [ -n "$DAEMON" ] && kill "$DAEMON" 2> /dev/null && wait "$DAEMON" 2> /dev/null
  DAEMON=
  rm -f /dev/log
}
trap 'stop_daemon; leave_sandbox' EXIT

# expect_log WHAT LINES...: the daemon got exactly LINES (patterns) from the helper, in order.
expect_log() {
  local what=$1 i=0 line
  shift
  sleep 0.1
  # The account tools log their own lines (authpriv.info); only the helper's are counted.
  mapfile -t got < <(grep ' brindleway-helper\[' "$LOG" 2> /dev/null)
  [ "${#got[@]}" = "$#" ] || fail "$what: ${#got[@]} log lines, expected $#: ${got[*]}"
  for line in "$@"; do
    [[ ${got[i]:-} =~ ^$line$ ]] || fail "$what: log line '${got[i]:-}' does not match '$line'"
    i=$((i + 1))
  done
  : > "$LOG"
}
STAMP="<85>$(LC_ALL=C date +%b) [ 1-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9]"

start_case
log_daemon 1
# Who asked: pkexec's PKEXEC_UID when it holds a plain uid, else the real uid (root here).
while IFS='|' read -r what pkexec_uid args want; do
  PKEXEC_UID=$pkexec_uid "$HELPER" $args > "$OUT" 2> "$ERR"
  STATUS=$?
  expect_status "$what" 0
  expect_bytes "$what (stderr)" "$ERR" ""
  expect_log "$what" "$STAMP brindleway-helper\[[0-9]+\]: $want"
done <<'ROWS'
enable through pkexec|1000|enable alice|automatic login enabled for alice by uid 1000
disable through pkexec|1000|disable|automatic login disabled by uid 1000
disable with a user|4294967294|disable alice|automatic login disabled by uid 4294967294
a forged uid|1000 0|enable alice|automatic login enabled for alice by uid 0
a uid past uid_t|4294967296|disable|automatic login disabled by uid 0
ROWS
unset_run() { env -u PKEXEC_UID "$HELPER" "$@" > "$OUT" 2> "$ERR"; STATUS=$?; }
unset_run enable alice
expect_log "run directly" "$STAMP brindleway-helper\[[0-9]+\]: automatic login enabled for alice by uid 0"

# A refusal logs nothing, nor does a dry run.
PKEXEC_UID=1000 "$HELPER" enable nosuchuser > "$OUT" 2> "$ERR"
STATUS=$?
expect_status "refusal" 1
for args in "enable alice" "disable alice"; do
  # shellcheck disable=SC2086
  PKEXEC_UID=1000 "$HELPER" --dry-run $args > "$OUT" 2> "$ERR"
  STATUS=$?
  expect_status "--dry-run $args" 0
done
mkdir -p /etc/lightdm/lightdm.conf.d
printf '[Seat:seat0]\nautologin-user=bob\n' > /etc/lightdm/lightdm.conf.d/50-seat0.conf
PKEXEC_UID=1000 "$HELPER" disable > "$OUT" 2> "$ERR"
STATUS=$?
expect_status "refused by a drop-in" 1
expect_log "refusals"
rm /etc/lightdm/lightdm.conf.d/50-seat0.conf

# No daemon, and a daemon whose queue is full: the helper's own line neither waits nor says a
# word. (With a stuck daemon only disable is timed: PAM modules and the account tools log
# through glibc's syslog(), which waits on a full queue, as it would for LightDM; the PAM
# check's deadline bounds that wait at 30 s, and the run then refuses.)
stop_daemon
for daemon in none stuck; do
  [ "$daemon" = stuck ] && log_daemon 0
  if [ "$daemon" = none ]; then
    timeout 10 "$HELPER" enable alice > "$OUT" 2> "$ERR"
    STATUS=$?
    expect_run "log daemon $daemon" 0 "$ENABLED" ""
  fi
  start=$(date +%s%N)
  timeout 10 "$HELPER" disable > "$OUT" 2> "$ERR"
  STATUS=$?
  took=$((($(date +%s%N) - start) / 1000000))
  expect_run "log daemon $daemon, disable" 0 "$DISABLED" ""
  [ "$took" -lt 2000 ] || fail "log daemon $daemon: disable took $took ms"
done
stop_daemon

finish
