#!/bin/bash
# A caller that closed its standard streams, poisoned the environment, gave a user name that
# reads as an option, or put something other than a file at the configuration's path.
source "$(dirname "$0")/lib/sandbox.sh" "$@"

source "$(dirname "$0")/lib/cases.sh"

ENABLED_ALICE=$'[Seat:*]\nautologin-user=alice\nautologin-user-timeout=0\n'

# Closed standard streams: the temporary file must not take descriptor 0, 1 or 2, where a
# message or a tool's output could land in it.
command -v strace > /dev/null || echo "SKIP (closed streams): strace is not installed"
for closed in "<&-" ">&-" "2>&-" "<&- >&- 2>&-"; do
  command -v strace > /dev/null || break
  start_case
  eval "traced -qq -e trace=openat -o '$WORK/strace.log' '$HELPER' enable alice $closed"
  STATUS=$?
  expect_status "streams closed ($closed)" 0
  expect_bytes "streams closed ($closed)" "$CONF" "$ENABLED_ALICE"
  # The new file is unnamed (O_TMPFILE), or named where the filesystem has no unnamed files.
  tmp_fd=$(sed -n 's/.*\(O_TMPFILE\|lightdm\.conf\.tmp\.\).*= \([0-9]*\)$/\2/p' "$WORK/strace.log")
  [ "${tmp_fd:-0}" -ge 3 ] || fail "streams closed ($closed): temporary file on descriptor '$tmp_fd'"
  expect_no_litter "streams closed ($closed)"
done

# Standard streams that fail. Once the change is made it stands: the status is 0 and a lost
# success line is reported on standard error. Before it, the failure's status stays 1. A broken
# pipe is never a signal death, and never leaves a temporary file.
if command -v perl > /dev/null && command -v strace > /dev/null; then
  # broken FD ARGS...: runs ARGS with descriptor FD (1 or 2) on a pipe whose reader is gone.
  broken() {
    perl -e 'my $fd = shift; pipe(my $r, my $w) or die; close $r;
             open($fd == 1 ? \*STDOUT : \*STDERR, ">&", $w) or die; exec @ARGV or die' "$@"
  }
  for error in "Broken pipe" "No space left on device"; do
    start_case
    if [ "$error" = "Broken pipe" ]; then
      broken 1 "$HELPER" enable alice 2> "$ERR"
    else
      "$HELPER" enable alice > /dev/full 2> "$ERR"
    fi
    STATUS=$?
    expect_status "stdout: $error" 0
    expect_bytes "stdout: $error (stderr)" "$ERR" \
      "Warning: could not write to standard output: $error"$'\n'
    expect_bytes "stdout: $error (file)" "$CONF" "$ENABLED_ALICE"
    # status changes nothing: an answer that did not arrive is its failure.
    if [ "$error" = "Broken pipe" ]; then
      broken 1 "$HELPER" status 2> "$ERR"
    else
      "$HELPER" status > /dev/full 2> "$ERR"
    fi
    STATUS=$?
    expect_status "status, stdout: $error" 1
    expect_bytes "status, stdout: $error (stderr)" "$ERR" \
      "Warning: could not write to standard output: $error"$'\n'
  done
  # gpasswd says what it does on the same broken pipe; the group must still come out right.
  start_case
  add_group "bob,alice"
  broken 1 "$HELPER" disable alice 2> "$ERR"
  STATUS=$?
  expect_status "stdout a broken pipe, tool speaks" 0
  [ "$(getent group autologin | cut -d: -f4)" = bob ] ||
    fail "stdout a broken pipe, tool speaks: members are $(getent group autologin | cut -d: -f4)"
  locks=$(find /etc -maxdepth 1 -name '*.lock' ! -name .pwd.lock)
  [ -z "$locks" ] || fail "stdout a broken pipe, tool speaks: lock files left: $locks"
  start_case
  rm "$CONF"
  broken 2 "$HELPER" disable > "$OUT"
  STATUS=$?
  expect_status "stderr a broken pipe, refusal" 1
  # A write that fails leaves no temporary file behind, with nowhere to say so.
  start_case
  broken 2 env "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" strace -qq \
    -o /dev/null -e trace=write -e "inject=write:error=ENOSPC:when=$(own_write 1)" "$HELPER" \
    disable > "$OUT"
  STATUS=$?
  expect_status "stderr a broken pipe, write fails" 1
  expect_bytes "stderr a broken pipe, write fails (file)" "$CONF" "$SEAT"
  expect_no_litter "stderr a broken pipe, write fails"
else
  echo "SKIP (failing streams): perl or strace is not installed"
fi

# A poisoned environment: impostor tools first on PATH, shell start-up files, a loader path.
start_case
mkdir -p "$WORK/evil"
for tool in groupadd usermod gpasswd sh env.sh; do
  printf '#!/bin/sh\ntouch %s/ran-%s\n' "$WORK/evil" "$tool" > "$WORK/evil/$tool"
  chmod 755 "$WORK/evil/$tool"
done
hostile_env=(PATH="$WORK/evil:$PATH" ENV="$WORK/evil/env.sh" BASH_ENV="$WORK/evil/env.sh"
  IFS=/ LD_LIBRARY_PATH="$WORK/evil" SHELLOPTS=xtrace FOO=bar
  LANG=de_DE.UTF-8 LANGUAGE=de LC_MESSAGES=C LC_ALL=../../../tmp/x)
env -i "${hostile_env[@]}" "$HELPER" enable alice > "$OUT" 2> "$ERR"
STATUS=$?
expect_run "hostile environment" 0 $'Auto login enabled for user: alice\n' ""
ran=$(ls "$WORK/evil" | grep '^ran-')
[ -z "$ran" ] || fail "hostile environment: impostors ran: $ran"
[ "$(getent group autologin | cut -d: -f4)" = alice ] || fail "hostile environment: real tools did not run"

# What exactly the tools see.
start_case
add_group ""
fake_tool usermod "env | grep -vE '^(PWD|OLDPWD|SHLVL|_)=' | sort > $WORK/tool-env"
env -i "${hostile_env[@]}" "$HELPER" enable alice > "$OUT" 2> "$ERR"
STATUS=$?
expect_status "tool environment" 0
expect_bytes "tool environment" "$WORK/tool-env" \
  $'LANG=de_DE.UTF-8\nLANGUAGE=de\nLC_MESSAGES=C\nPATH=/usr/sbin:/usr/bin:/sbin:/bin\n'

# Signals the caller left ignored or blocked, which exec passes on. With SIGCHLD ignored the
# kernel would reap the shell itself, and a tool that worked would count as failed.
if command -v perl > /dev/null; then
  start_case
  perl -e '$SIG{CHLD} = $SIG{INT} = $SIG{TERM} = $SIG{PIPE} = "IGNORE"; exec @ARGV' \
    "$HELPER" enable alice > "$OUT" 2> "$ERR"
  STATUS=$?
  expect_run "signals ignored by the caller" 0 $'Auto login enabled for user: alice\n' ""
  [ "$(getent group autologin | cut -d: -f4)" = alice ] ||
    fail "signals ignored by the caller: alice was not added"
  start_case
  add_group ""
  fake_tool usermod "grep -E '^Sig(Ign|Blk)' /proc/self/status > $WORK/tool-signals"
  perl -e '$SIG{INT} = $SIG{PIPE} = "IGNORE"; exec @ARGV' "$HELPER" enable alice > "$OUT" 2> "$ERR"
  # Only the standard signals count: glibc keeps 32 and 33 for itself. SIGPIPE (bit 12) stays
  # ignored, so that a tool writing to a reader that went away fails instead of dying.
  blocked=$(sed -n 's/^SigBlk:\t//p' "$WORK/tool-signals")
  ignored=$(sed -n 's/^SigIgn:\t//p' "$WORK/tool-signals")
  [ "$(( 0x${blocked:-1} & 0x7fffffff ))" = 0 ] || fail "tool signals: blocked $blocked"
  [ "$(( 0x${ignored:-1} & 0x7fffffff ))" = $((0x1000)) ] || fail "tool signals: ignored $ignored"
else
  echo "SKIP (ignored signals): perl is not installed"
fi

# The caller's umask does not decide the new file's mode.
for mask in 0777 0000; do
  start_case
  (umask $mask; exec "$HELPER" disable) > "$OUT" 2> "$ERR"
  STATUS=$?
  expect_status "umask $mask" 0
  expect_mode "umask $mask" "$CONF" 644
done

# A name that an account tool would read as an option is never handed to one: after the command
# word, an argument that starts with '-' is refused with the usage, and nothing runs.
start_case
add_group alice
fake_tool gpasswd
for word in -evil --help; do
  snapshot_etc
  run disable "$word"
  expect_run "disable $word" 1 "" "Usage: $HELPER enable <username>
       $HELPER disable [username]
"
  expect_bytes "disable $word (commands run)" "$TOOL_LOG" ""
  expect_unchanged "disable $word"
done

# Only a regular file is read as the configuration, and nothing blocks on the way.
start_case
for kind in fifo device directory; do
  rm -rf "$CONF"
  case $kind in
    fifo) mkfifo "$CONF" ;;
    device) mknod "$CONF" c 1 5 ;;
    directory) mkdir "$CONF" ;;
  esac
  timeout 1 "$HELPER" disable > "$OUT" 2> "$ERR"
  STATUS=$?
  expect_run "$kind at the path" 1 "" \
    $'Cannot read /etc/lightdm/lightdm.conf: not a regular file\n'
  expect_no_litter "$kind at the path"
done
# A link at the path is not replaced by a file, which would leave its target as it was.
rm -rf "$CONF"
printf '%s' "$SEAT" > /etc/lightdm/target.conf
ln -s target.conf "$CONF"
run disable
expect_run "link at the path" 1 "" \
  $'Cannot update /etc/lightdm/lightdm.conf: it is a symbolic link, and replacing it would leave the file it points to as it is\n'
[ -L "$CONF" ] || fail "link at the path: the link was replaced"

finish
