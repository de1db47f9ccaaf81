#!/bin/bash
# The package's whole life on a copy of this system: dpkg installs it, an unprivileged user runs
# pkexec, polkitd (on a system bus of the test's own) grants the installed action through a
# rules file, pkexec starts the installed helper as root and LightDM reads the file it wrote; a
# user the rule does not name is refused. Then dpkg purges the package, and nothing it
# installed is left, and nothing else changed beyond dpkg's own records.
# Usage: e2e_pkexec_chain.sh PACKAGE.deb
source "$(dirname "$0")/lib/namespace.sh" "$@"
source "$(dirname "$0")/lib/chain.sh" "$1"

prepare_system
# Enabling then disabling gives the seat section and the group back as they were; the group
# exists first, as it does after any earlier enable.
echo "autologin:x:990:" >> "$SYSTEM/etc/group"
echo "autologin:!::" >> "$SYSTEM/etc/gshadow"
cp -a "$LAYERS/upper" "$WORK/prepared"

install_package
installed=$(in_system dpkg-query -L brindleway-helper)
start_daemons

as stranger enable alice
expect_status "stranger" 127
grep -q 'Error executing command as another user' "$ERR" || fail "stranger: pkexec did not refuse: $(cat "$ERR")"
expect_bytes "stranger (configuration)" "$SYSTEM/etc/lightdm/lightdm.conf" "$SEAT"

as granted enable alice
expect_run "granted enable" 0 $'Auto login enabled for user: alice\n' ""
expect_bytes "granted enable (configuration)" "$SYSTEM/etc/lightdm/lightdm.conf" \
  $'[Seat:*]\nautologin-user=alice\nautologin-user-timeout=0\n'
[ "$(autologin_members)" = alice ] || fail "granted enable: alice not in the group"
if in_system sh -c 'command -v lightdm' > /dev/null; then
  in_system lightdm --show-config 2>&1 | grep -q '^B  autologin-user=alice$' ||
    fail "granted enable: LightDM does not read autologin-user=alice"
  # And LightDM's PAM service lets alice in without a password, as it will at boot.
  if in_system sh -c 'command -v pamtester' > /dev/null; then
    in_system pamtester lightdm-autologin alice authenticate acct_mgmt > "$WORK/pam.log" 2>&1 ||
      fail "granted enable: lightdm-autologin refuses alice: $(cat "$WORK/pam.log")"
  fi
fi

# gpasswd says on standard output what it did, before the helper's line.
as granted disable alice
expect_status "granted disable" 0
[ "$(tail -n 1 "$OUT")" = "Auto login disabled" ] || fail "granted disable: stdout $(cat "$OUT")"
expect_bytes "granted disable (configuration)" "$SYSTEM/etc/lightdm/lightdm.conf" "$SEAT"

# The prompt in the caller's language. pkexec empties its environment before its own text agent
# starts, so that agent always registers as en_US; a desktop's agent, and pkttyagent, register
# with their LANG, and polkitd translates the action's message for them through the package's
# catalog. pkttyagent answers for the shell that then runs pkexec, on a terminal that script
# gives it. The German locale is made with localedef into a directory mounted over the copy's
# /usr/lib/locale; locale-gen would edit /etc. Only the action's message is read: polkit's own
# words around it are German only where its catalog is installed.
cat > "$SYSTEM/tmp/prompt.sh" << 'PROMPT'
fifo=$(mktemp -u /tmp/agent.XXXXXX)
mkfifo "$fifo"
pkttyagent --process $$ --notify-fd 3 3> "$fifo" &
cat "$fifo" > /dev/null
rm -f "$fifo"
pkexec --disable-internal-agent "$1" status
PROMPT
# prompt LANG: the text the agent shows the user "stranger", who must authenticate.
prompt() {
  in_system setpriv --reuid=stranger --regid=stranger --clear-groups env -u LC_ALL LANG="$1" \
    timeout 10 script -qec "sh /tmp/prompt.sh $INSTALLED" /dev/null < /dev/null 2>&1 |
    sed 's/\x1b\[[0-9;]*m//g; s/\r$//'
}
if [ -r /usr/share/i18n/locales/de_DE ] && command -v script localedef > /dev/null; then
  mkdir "$WORK/locales"
  cp -a /usr/lib/locale/C.utf8 "$WORK/locales/" 2> /dev/null
  if localedef -i de_DE -f UTF-8 "$WORK/locales/de_DE.utf8" > "$WORK/localedef.log" 2>&1; then
    mount --bind "$WORK/locales" "$SYSTEM/usr/lib/locale"
    german=$(prompt de_DE.UTF-8)
    grep -qx 'Zum Ändern der automatischen Anmeldung ist eine Authentifizierung erforderlich' <<< "$german" ||
      fail "German prompt: the action's message is not German: $german"
    english=$(prompt C.UTF-8)
    grep -qx 'Authentication is required to change automatic login' <<< "$english" ||
      fail "C.UTF-8 prompt: the action's message is not the English one: $english"
  else
    fail "localedef could not make de_DE.UTF-8: $(cat "$WORK/localedef.log")"
  fi
else
  echo "SKIP (prompt in German): needs the locales package's de_DE, script and localedef"
fi
stop_daemons

in_system dpkg --purge brindleway-helper > "$WORK/purge.log" 2>&1 ||
  fail "dpkg --purge failed: $(cat "$WORK/purge.log")"
if in_system dpkg-query -W brindleway-helper > /dev/null 2>&1; then
  fail "dpkg still knows the package after the purge"
fi
while IFS= read -r path; do
  # A directory the system had before (/usr, /usr/share/man...) rightly stays.
  if [ -e "$SYSTEM$path" ] && ! { [ -d "$path" ] && [ ! -L "$path" ]; }; then
    fail "left behind by the purge: $path"
  fi
done <<< "$installed"

# same_entry A B: A (in the upper layer) is what B was: the same kind, owner, mode and content.
# A whiteout (a 0:0 character device) is the same as a B that does not exist.
same_entry() {
  if [ -c "$1" ] && [ "$(stat -c %t:%T "$1")" = 0:0 ]; then
    [ ! -e "$2" ] && [ ! -L "$2" ]
    return
  fi
  { [ -e "$2" ] || [ -L "$2" ]; } || return 1
  [ "$(stat -c '%F %u %g %a' "$1")" = "$(stat -c '%F %u %g %a' "$2")" ] || return 1
  if [ -L "$1" ]; then
    [ "$(readlink "$1")" = "$(readlink "$2")" ]
  elif [ -f "$1" ]; then
    cmp -s "$1" "$2"
  fi
}

# Everything in the upper layer now is what it was once the test had prepared the system, or
# failing that, on the host. dpkg's records and log, man-db's index, the account tools' backup
# files and their lock file may differ.
bookkeeping='^/(var/lib/dpkg/|var/log/dpkg\.log$|var/cache/man/|etc/(passwd|shadow|group|gshadow)-$|etc/\.pwd\.lock$)'
while IFS= read -r path; do
  [[ $path =~ $bookkeeping ]] && continue
  if [ -e "$WORK/prepared$path" ] || [ -L "$WORK/prepared$path" ]; then
    before=$WORK/prepared$path
  else
    before=$path
  fi
  same_entry "$LAYERS/upper$path" "$before" || fail "changed after the purge: $path"
done < <(cd "$LAYERS/upper" && find . -mindepth 1 | sed 's/^\.//')
while IFS= read -r path; do
  [ -e "$LAYERS/upper$path" ] || [ -L "$LAYERS/upper$path" ] || fail "gone after the purge: $path"
done < <(cd "$WORK/prepared" && find . -mindepth 1 | sed 's/^\.//')

finish
