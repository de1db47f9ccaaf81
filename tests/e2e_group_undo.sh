#!/bin/bash
# A refused enable puts the autologin group back as it found it, judged by /etc/group and
# /etc/gshadow and not by what the account tools said; and no name lookup waits without end.
# The tools are the real ones. Two of them are made to hang after they wrote, as on a system
# with SSSD: the shadow tools run /usr/sbin/sss_cache once their files are written, and here
# that is a sleeper, laid over /usr/sbin for this test alone. A hung tool costs its 30-second
# deadline, so those cases run at the same time, each in a namespace of its own with its own
# copy of /etc and its own /run; the rest run one after the other.
source "$(dirname "$0")/lib/sandbox.sh" "$@"
source "$(dirname "$0")/lib/cases.sh"
require_tools gcc strace

if [ ! -e /etc/pam.d/lightdm-autologin ]; then
  echo "SKIP: LightDM's PAM service lightdm-autologin is not installed"
  exit 77
fi

# The sleeper: only under usermod or groupadd, and only when the case asks for it, so that an
# undo's own gpasswd or groupdel finishes at once. Asked to be stuck, it looks at a FUSE server
# that never answers, where SIGKILL cannot end it. Anything else that flushes a cache (nscd)
# finds nothing to do, as without those daemons.
mkdir "$WORK/sbin.upper" "$WORK/sbin.work"
cat > "$WORK/sbin.upper/sss_cache" << 'EOF'
#!/bin/sh
tool=$(cat /proc/$PPID/comm)
[ -e "/etc/brindleway-hang-$tool" ] && exec sleep 600
[ -e "/etc/brindleway-stuck-$tool" ] && exec stat "$(cat "/etc/brindleway-stuck-$tool")"
exit 0
EOF
chmod 755 "$WORK/sbin.upper/sss_cache"
cp "$WORK/sbin.upper/sss_cache" "$WORK/sbin.upper/nscd"
mount -t overlay overlay \
  -o "lowerdir=/usr/sbin,upperdir=$WORK/sbin.upper,workdir=$WORK/sbin.work" /usr/sbin ||
  { echo "SKIP: cannot lay an overlay over /usr/sbin"; exit 77; }
# Copies of the real tools, for the stand-ins that run one and then fail.
cp /usr/sbin/usermod /usr/sbin/groupadd "$WORK/"

# A name service module that never answers, in place of hesiod's.
cat > "$WORK/nss_hang.c" << 'EOF'
#include <unistd.h>
int _nss_hesiod_getpwnam_r(void) { for (;;) pause(); }
int _nss_hesiod_getpwuid_r(void) { for (;;) pause(); }
int _nss_hesiod_getgrnam_r(void) { for (;;) pause(); }
int _nss_hesiod_getgrgid_r(void) { for (;;) pause(); }
int _nss_hesiod_initgroups_dyn(void) { for (;;) pause(); }
EOF
gcc -shared -fPIC -o "$WORK/libnss_hesiod.so.2" "$WORK/nss_hang.c" ||
  { echo "FATAL: cannot build the hanging name service module" >&2; exit 1; }
hesiod=$(ldconfig -p | sed -n 's/^\tlibnss_hesiod.so.2 (libc6,x86-64) => //p' | head -1)
if [ -n "$hesiod" ] && [ -e "$hesiod" ]; then
  mount --bind "$WORK/libnss_hesiod.so.2" "$hesiod"
else
  # No module to lay it over: the whole library directory gets an overlay that adds it.
  libdir=/usr/lib/$(gcc -print-multiarch)
  mkdir "$WORK/lib.upper" "$WORK/lib.work"
  cp "$WORK/libnss_hesiod.so.2" "$WORK/lib.upper/"
  mount -t overlay overlay \
    -o "lowerdir=$libdir,upperdir=$WORK/lib.upper,workdir=$WORK/lib.work" "$libdir"
fi

# expired NAME: an account that LightDM's PAM service refuses, as its expiry day is long past.
# Its home is there, so that only PAM refuses.
expired() { add_user "$1" 3001 --expire 1; }

# The gid that groupadd -r gives the next system group, learnt on a throwaway copy.
next_system_gid() {
  local probe=$WORK/probe
  rm -rf "$probe"
  mkdir "$probe"
  cp -a /etc "$probe/etc"
  groupadd -P "$probe" -r brindleway-probe > /dev/null 2>&1 || return 1
  sed -n 's/^brindleway-probe:[^:]*:\([0-9]*\):.*/\1/p' "$probe/etc/group"
}

# Each case: the setup, the name enabled, how the run must end (status, then one line that
# standard error must hold exactly, or "-" for any refusal and "=" for none). "same" means
# /etc/lightdm, /etc/group and /etc/gshadow must be byte for byte as before; "kept" means the
# membership is taken back but a group is left, which the warning names; "theirs" means an
# administrator changed the group while the run asked PAM, and the undo left it alone; "stuck"
# means usermod's cache flush outlived its kill, so the undo neither tries nor claims anything. "slow" cases hang a tool till
# its deadline and run in the background.
#   name                setup                  user   status  files  speed
CASES="
name-service-hangs   ghost                   ghost  1  same  slow
usermod-hangs        group,hang-usermod      exp    1  same  slow
groupadd-hangs       hang-groupadd           exp    1  same  slow
usermod-exits-1      group,usermod-fails     exp    1  same  fast
groupadd-exits-1     groupadd-fails          exp    1  same  fast
pam-refuses          group                   exp    1  same  fast
pam-refuses-created  -                       exp    1  same  fast
pam-refuses-listed   group-bob-exp           exp    1  same  fast
commit-fails         commit-fails            alice  1  same  fast
commit-fails-group   group,commit-fails      alice  1  same  fast
group-only-member    group-exp-gshadow-none  exp    1  same  fast
gshadow-only-member  gshadow-exp             exp    1  same  fast
no-gshadow-line      no-gshadow              exp    1  same  fast
no-group-line        no-group                exp    1  same  fast
groupdel-refused     orphan-gid              exp    1  kept  fast
lab-of-600           group-600               exp    1  same  fast
admin-adds-meanwhile group,pam-adds-bob      exp    1  theirs fast
usermod-stuck        group,stuck-usermod     exp    1  stuck slow
"

# The refusal that a case must print, exactly, first on standard error.
STUCK_WARNING="Warning: usermod did not end when it was killed and may still change /etc/group and /etc/gshadow"
PAM_REFUSAL="Cannot enable automatic login for exp: LightDM's PAM service lightdm-autologin refuses exp (Authentication failure)"
COMMIT_REFUSAL="Cannot replace /etc/lightdm/lightdm.conf: Invalid cross-device link"
disagree() {
  echo "Cannot enable automatic login for exp: /etc/group and /etc/gshadow disagree about group 'autologin' (/etc/group has $1, /etc/gshadow has $2), and the account tools could not put both back"
}
expected_stderr() {
  case $1 in
    commit-fails*) echo "$COMMIT_REFUSAL" ;;
    group-only-member) disagree "'autologin:x:990:exp'" "'autologin:!::'" ;;
    gshadow-only-member) disagree "'autologin:x:990:'" "'autologin:!::exp'" ;;
    no-gshadow-line) disagree "'autologin:x:990:'" "no line" ;;
    no-group-line) disagree "no line" "'autologin:!::'" ;;
    name-service-hangs) echo "Cannot look up user ghost: the name service did not answer within 30 seconds" ;;
    usermod-stuck) echo "$STUCK_WARNING" ;;
    *) echo "$PAM_REFUSAL" ;;
  esac
}

# run_case NAME DIR USER STRACE: runs enable USER in a namespace of its own over the /etc in DIR
# with a /run of its own, and leaves status, output and the time taken (ms) in DIR.case. A run
# that outlives every deadline it has is killed, so that a hang fails the case instead of the test.
run_case() {
  local name=$1 dir=$2 user=$3 inject=$4
  unshare --mount --propagation private bash -c '
    mount --bind "$1" /etc && mount -t tmpfs tmpfs /run || exit 99
    out=$2; helper=$3; user=$4; inject=$5
    start=$(date +%s%N)
    if [ "$inject" = yes ]; then
      # LeakSanitizer cannot work under ptrace: a sanitizer build leaves it out here.
      timeout -s KILL 90 env ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" \
        strace -qq -o /dev/null -e trace=rename,renameat,renameat2 \
        -e inject=rename,renameat,renameat2:error=EXDEV "$helper" enable "$user" > "$out/stdout" 2> "$out/stderr"
    else
      timeout -s KILL 90 "$helper" enable "$user" > "$out/stdout" 2> "$out/stderr"
    fi
    echo $? > "$out/status"
    echo $((($(date +%s%N) - start) / 1000000)) > "$out/ms"
  ' run_case "$dir" "$dir.case" "$HELPER" "$user" "$inject"
}

# While the lookup of ghost hangs in its child, no lock is held: a second run beside the hung
# one, with the same /run, goes through at once. It runs in a namespace of its own, beside the
# table below.
start_case
sed -i 's/^passwd:.*/passwd: files hesiod/' /etc/nsswitch.conf
BESIDE=$WORK/beside
mkdir "$BESIDE"
unshare --mount --propagation private bash -c '
  mount --bind "$1" /etc && mount -t tmpfs tmpfs /run || exit 99
  timeout -s KILL 90 "$2" enable ghost > /dev/null 2>&1 &
  sleep 1
  start=$(date +%s%N)
  timeout -s KILL 20 "$2" disable > "$3/stdout" 2> "$3/stderr"
  echo $? > "$3/status"
  echo $((($(date +%s%N) - start) / 1000000)) > "$3/ms"
  wait
' beside "$WORK/etc.$ETC_COPIES" "$HELPER" "$BESIDE" &
PIDS=($!)

# 600 kiosk accounts in the group: one line of several KiB.
LAB=$(seq -f 'kiosk%g' 1 600 | paste -sd,)
# A FUSE server that reads and never answers, for a usermod that sleeps in the kernel where its
# kill cannot reach it. Root's own mount: root alone gets through.
mkdir "$WORK/stuck"
python3 "$(dirname "$0")/lib/stuck_fuse.py" "$WORK/stuck" 0 0 > "$WORK/fuse.log" 2>&1 &
FUSE_SERVER=$!
until_true 5 grep -q ready "$WORK/fuse.log" || fail "the FUSE server did not start: $(cat "$WORK/fuse.log")"

CASE_DIRS=()
while read -r name setup user status files speed; do
  [ -n "$name" ] || continue
  start_case
  dir=$WORK/etc.$ETC_COPIES
  mkdir "$dir.case"
  echo "$name $user $status $files" > "$dir.case/what"
  expired exp
  inject=no
  for step in ${setup//,/ }; do
    case $step in
      group) add_group "" ;;
      group-bob-exp) add_group "bob,exp" ;;
      group-600) add_group "$LAB" ;;
      pam-adds-bob)
        # An administrator's usermod -aG that lands while the run asks PAM.
        add_user bob 3002
        printf '#!/bin/sh\n/usr/sbin/usermod -aG autologin bob\n' > /etc/brindleway-add-bob
        chmod 755 /etc/brindleway-add-bob
        sed -i '1i auth optional pam_exec.so /etc/brindleway-add-bob' /etc/pam.d/lightdm-autologin ;;
      stuck-usermod) echo "$WORK/stuck/x" > "/etc/brindleway-$step" ;;
      hang-*) : > "/etc/brindleway-$step" ;;
      usermod-fails | groupadd-fails)
        tool=${step%-fails}
        fake_tool "$tool" "$WORK/$tool \"\$@\"; exit 1" ;;
      commit-fails) inject=yes ;;
      group-exp-gshadow-none)
        echo "autologin:x:990:exp" >> /etc/group
        echo "autologin:!::" >> /etc/gshadow ;;
      gshadow-exp)
        echo "autologin:x:990:" >> /etc/group
        echo "autologin:!::exp" >> /etc/gshadow ;;
      no-gshadow) echo "autologin:x:990:" >> /etc/group ;;
      no-group) echo "autologin:!::" >> /etc/gshadow ;;
      orphan-gid)
        gid=$(next_system_gid) || { fail "$name: no system gid to take"; continue 2; }
        echo "$gid" > "$dir.case/gid"
        echo "orphan:x:2999:$gid::/nonexistent:/bin/bash" >> /etc/passwd
        echo "orphan:!:19000:0:99999:7:::" >> /etc/shadow ;;
      ghost) sed -i 's/^passwd:.*/passwd: files hesiod/; s/^group:.*/group: files hesiod/' \
               /etc/nsswitch.conf ;;
      -) ;;
    esac
  done
  mkdir "$dir.case/before"
  cp -a /etc/lightdm /etc/group /etc/gshadow /etc/group- /etc/gshadow- "$dir.case/before/"
  if [ "$speed" = slow ]; then
    run_case "$name" "$dir" "$user" "$inject" &
    PIDS+=($!)
  else
    run_case "$name" "$dir" "$user" "$inject"
  fi
  CASE_DIRS+=("$dir")
done <<< "$CASES"

# A group lookup that would hang is never made: disable NAME reads the files, and alice is no
# member, so nothing asks the name service about the group after the commit.
start_case
sed -i 's/^group:.*/group: files hesiod/' /etc/nsswitch.conf
started=$(date +%s%N)
timeout -s KILL 20 "$HELPER" disable alice > "$OUT" 2> "$ERR"
STATUS=$?
took=$((($(date +%s%N) - started) / 1000000))
expect_run "disable alice, group lookup hangs" 0 $'Auto login disabled\n' ""
[ "$took" -lt 5000 ] || fail "disable alice, group lookup hangs: took $took ms"

wait "${PIDS[@]}"
# Ending the server lets the stuck usermod go.
kill "$FUSE_SERVER"
umount -l "$WORK/stuck"
STATUS=$(cat "$BESIDE/status")
OUT=$BESIDE/stdout
ERR=$BESIDE/stderr
expect_run "a run beside a hung lookup" 0 $'Auto login disabled\n' ""
took=$(cat "$BESIDE/ms")
[ "$took" -lt 5000 ] || fail "a run beside a hung lookup: took $took ms"

longest=0
longest_case=""
for dir in "${CASE_DIRS[@]}"; do
  read -r name user status files < "$dir.case/what"
  STATUS=$(cat "$dir.case/status")
  ERR=$dir.case/stderr
  ms=$(cat "$dir.case/ms")
  if [ "$ms" -gt "$longest" ]; then longest=$ms; longest_case=$name; fi
  expect_status "$name" "$status"
  expect_bytes "$name (stdout)" "$dir.case/stdout" ""
  first=$(head -1 "$ERR")
  [ "$first" = "$(expected_stderr "$name")" ] || fail "$name: stderr begins '$first'"
  # Whatever a deadline cost, one deadline is the most a case may take, and a little.
  [ "$ms" -lt 40000 ] || fail "$name: the run took $ms ms"
  # and a case meant to hang did hang, till the deadline.
  case $name in
    *-hangs | *-stuck) [ "$ms" -ge 29000 ] || fail "$name: the run took $ms ms; nothing hung" ;;
  esac
  before=$dir.case/before
  if [ "$files" = same ]; then
    [ "$(wc -l < "$ERR")" = 1 ] || fail "$name: more than the refusal: $(cat "$ERR")"
    diff -r "$before/lightdm" "$dir/lightdm" > /dev/null || fail "$name: /etc/lightdm changed"
    cmp -s "$before/group" "$dir/group" || fail "$name: /etc/group changed:
$(diff "$before/group" "$dir/group")"
    cmp -s "$before/gshadow" "$dir/gshadow" || fail "$name: /etc/gshadow changed:
$(diff "$before/gshadow" "$dir/gshadow")"
  elif [ "$files" = theirs ]; then
    expect_bytes "$name (stderr)" "$ERR" "$PAM_REFUSAL
Warning: did not undo this run's change to group 'autologin': it changed again since this run changed it, and is left as it is: /etc/group has 'autologin:x:990:exp,bob', /etc/gshadow has 'autologin:!::exp,bob'
"
    [ "$(grep -h ^autologin: "$dir/group" "$dir/gshadow")" = 'autologin:x:990:exp,bob
autologin:!::exp,bob' ] || fail "$name: the group is not as the administrator left it"
  elif [ "$files" = stuck ]; then
    expect_bytes "$name (stderr)" "$ERR" "$STUCK_WARNING
$PAM_REFUSAL
Warning: did not undo this run's change to group 'autologin': a tool of this run may still change /etc/group and /etc/gshadow
"
    [ "$(grep -h ^autologin: "$dir/group" "$dir/gshadow")" = 'autologin:x:990:exp
autologin:!::exp' ] || fail "$name: the group is not as usermod left it"
  else
    # groupdel refuses the primary group of orphan: the membership goes, the group stays, and
    # the warning names both lines left.
    gid=$(cat "$dir.case/gid")
    expect_bytes "$name (stderr)" "$ERR" "$PAM_REFUSAL
Warning: could not undo this run's change to group 'autologin': /etc/group has 'autologin:x:$gid:' (before: no line), /etc/gshadow has 'autologin:!::' (before: no line)
"
    diff -r "$before/lightdm" "$dir/lightdm" > /dev/null || fail "$name: /etc/lightdm changed"
    [ "$(diff "$before/group" "$dir/group" | grep '^[<>]')" = "> autologin:x:$gid:" ] ||
      fail "$name: /etc/group: $(diff "$before/group" "$dir/group")"
  fi
  # The tools' backups: where a tool ran, each one of them rewrote them, so that they hold the
  # state before the last undo, the group listing the user; before any tool, as they were.
  case $name in
    groupdel-refused | usermod-stuck) ;;
    name-service-hangs | pam-refuses-listed | *-member | no-*-line)
      cmp -s "$before/group-" "$dir/group-" && cmp -s "$before/gshadow-" "$dir/gshadow-" ||
        fail "$name: the backups changed" ;;
    *)
      grep -q "^autologin:x:[0-9]*:\(.*,\)\?$user\(,.*\)\?$" "$dir/group-" &&
        grep -q "^autologin:[^:]*:[^:]*:\(.*,\)\?$user\(,.*\)\?$" "$dir/gshadow-" ||
        fail "$name: the backups do not hold the group listing $user:
$(grep -h ^autologin: "$dir/group-" "$dir/gshadow-")" ;;
  esac
  left=$(ls "$dir" | grep -E '^(group|gshadow|passwd|shadow)\.lock$|\+$')
  [ -z "$left" ] || fail "$name: the tools left $left"
done
echo "longest run that held the lock: $longest ms ($longest_case)"

finish
