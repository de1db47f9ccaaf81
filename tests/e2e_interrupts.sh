#!/bin/bash
# The caller's terminal, a tool that never returns, and a SIGKILL in the middle of a run. The
# helper runs in a session with a controlling terminal (script(1)), as from a terminal window;
# Ctrl-C, Ctrl-Z and a hang-up go to its process group while an account tool runs, slowed down.
# None of them may reach the tool: the run finishes, its success line true. A tool that never
# returns is killed after 30 s with everything it started. A SIGKILL leaves nothing in
# /etc/lightdm.
source "$(dirname "$0")/lib/sandbox.sh" "$@"

source "$(dirname "$0")/lib/cases.sh"

require_tools script perl
ENABLED_CONF=$'[Seat:*]\nautologin-user=alice\nautologin-user-timeout=0\n'
STATUS_FILE=$WORK/status

members() { grep '^autologin:' /etc/group | cut -d: -f4; }

# slow_tool NAME: the real tool, started a second late.
slow_tool() {
  [ -e "$WORK/real-$1" ] || cp "$(command -v "$1")" "$WORK/real-$1"
  fake_tool "$1" "sleep 1; exec $WORK/real-$1 \"\$@\""
}

# in_terminal ARGS...: runs the helper with ARGS as a job of a shell with job control would:
# in a session whose controlling terminal is a pty (script), a parent that leads the session
# and ignores the terminal's signals, and the helper in a process group of its own that holds
# the terminal. The parent writes the helper's exit status (128 + N for signal N) to
# $STATUS_FILE. Sets TERMINAL (script's pid) and JOB (the helper's process group).
in_terminal() {
  rm -f "$STATUS_FILE"
  local command
  command="exec perl -MPOSIX -e '
    my (\$status, @run) = @ARGV;
    my @tty = qw(INT TSTP HUP QUIT TTIN TTOU);
    \$SIG{\$_} = \"IGNORE\" for @tty;
    my \$pid = fork() // die;
    if (!\$pid) {
      \$SIG{\$_} = \"DEFAULT\" for @tty;
      setpgid(0, 0);
      exec(@run) or die;
    }
    setpgid(\$pid, \$pid);
    tcsetpgrp(0, \$pid) or die \"tcsetpgrp: \$!\";
    waitpid(\$pid, 0);
    open(my \$out, \">\", \$status) or die;
    print \$out ((\$? & 127) ? 128 + (\$? & 127) : \$? >> 8), \"\\n\";
  ' $STATUS_FILE $HELPER $* > $OUT 2> $ERR"
  SHELL=/bin/sh setsid script -qec "$command" /dev/null < /dev/null > /dev/null 2>&1 &
  TERMINAL=$!
  JOB=
  until_true 5 job_found || fail "no job started for $*"
}
job_found() {
  local leader
  leader=$(ps -o pid= --ppid "$TERMINAL" 2> /dev/null | tr -d ' ')
  [ -n "$leader" ] || return 1
  JOB=$(ps -o pid= --ppid "$leader" 2> /dev/null | tr -d ' ')
  [ -n "$JOB" ] && [ "$(ps -o pgid= -p "$JOB" | tr -d ' ')" = "$JOB" ]
}
# finished: the helper's status is in, then STATUS holds it.
finished() {
  [ -s "$STATUS_FILE" ] || return 1
  STATUS=$(cat "$STATUS_FILE")
}

# The three signals a terminal sends, each while each kind of group step runs: enable's
# usermod (between staging and the commit) and disable's gpasswd.
for sig in INT TSTP HUP; do
  for command in "enable alice" "disable alice"; do
    what="SIG$sig during $command"
    start_case
    if [ "$command" = "enable alice" ]; then
      add_group ""
      slow_tool usermod
      tool=usermod final=$ENABLED_CONF member=alice line=$'Auto login enabled for user: alice\n'
    else
      add_group alice
      printf '%s' "$ENABLED_CONF" > "$CONF"
      slow_tool gpasswd
      tool=gpasswd final=$SEAT member="" line=$'Removing user alice from group autologin\nAuto login disabled\n'
    fi
    # shellcheck disable=SC2086
    in_terminal $command
    until_true 10 grep -q "^$tool " "$TOOL_LOG" || fail "$what: $tool never started"
    kill -s "$sig" -- "-$JOB" 2> /dev/null
    # Closing the terminal window: the pty goes away too.
    if [ "$sig" = HUP ]; then
      { kill -KILL "$TERMINAL" && wait "$TERMINAL"; } 2> /dev/null
    fi
    if ! until_true 15 finished; then
      fail "$what: the helper did not finish"
      kill -CONT -- "-$JOB" 2> /dev/null
      until_true 15 finished
    fi
    wait "$TERMINAL" 2> /dev/null
    expect_run "$what" 0 "$line" ""
    expect_bytes "$what (file)" "$CONF" "$final"
    [ "$(members)" = "$member" ] || fail "$what: members are '$(members)', expected '$member'"
    expect_no_litter "$what"
  done
done

# A SIGKILL from inside usermod, while the new file is staged: the configuration stays whole
# and nothing is left beside it.
start_case
add_group ""
fake_tool usermod 'p=$PPID
while [ "$(cat /proc/$p/comm)" != brindleway-help ]; do p=$(cut -d" " -f4 /proc/$p/stat); done
kill -KILL "$p"'
before=$(ls -A /etc/lightdm)
{ run enable alice; } 2> /dev/null  # bash's "Killed"
expect_status "SIGKILL from usermod" 137
expect_bytes "SIGKILL from usermod (file)" "$CONF" "$SEAT"
[ "$(ls -A /etc/lightdm)" = "$before" ] ||
  fail "SIGKILL from usermod: /etc/lightdm now holds $(ls -A /etc/lightdm | tr '\n' ' ')"

# A gpasswd that never returns, and a program it started: both are killed at the deadline,
# and the run goes on as after a failed group step, saying that alice is still listed.
start_case
add_group alice
printf '%s' "$ENABLED_CONF" > "$CONF"
fake_tool gpasswd "sleep 1000 & echo \$! > $WORK/hung.pid; wait"
start=$(date +%s)
timeout 60 "$HELPER" disable alice > "$OUT" 2> "$ERR"
STATUS=$?
took=$(($(date +%s) - start))
expect_run "gpasswd never returns" 0 $'Auto login disabled\n' \
  $'Warning: could not remove user \'alice\' from group \'autologin\'\n'
expect_bytes "gpasswd never returns (file)" "$CONF" "$SEAT"
[ "$took" -ge 29 ] && [ "$took" -le 35 ] || fail "gpasswd never returns: the run took $took s"
hung=$(cat "$WORK/hung.pid" 2> /dev/null)
# Killed and not yet reaped by init counts as gone.
if [ -z "$hung" ]; then
  fail "gpasswd never returns: the stand-in did not start its child"
elif [ "$(cut -d' ' -f3 "/proc/$hung/stat" 2> /dev/null || echo Z)" != Z ]; then
  fail "gpasswd never returns: the program it started outlived it"
  kill "$hung"
fi

finish
