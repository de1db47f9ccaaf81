#!/bin/bash
# What a whole run costs, with the stock drop-ins in place. On 128 KiB of lines nearly all inside
# [Seat:*] (comments of about 56 bytes), `disable` may execute at most twice the instructions of
# a plain copy through a temporary file with fsync and rename; on 128 KiB of LightDM's shipped
# file, at most three times. Both budgets allow FIXED_COST more for what a change does once,
# whatever the file's size, and a plain copy does not (docs/testing.md breaks it down): the
# libc functions bound at start-up, the audit line (the time zone read for the local time, one
# datagram), the move out of the caller's cgroup (mountinfo read through), the drop-ins and
# seats read, the unnamed file's commit and its attributes, and the front door. A run that
# prints only its success line sets up no message catalogs, so both budgets hold under
# LANG=C.UTF-8, as pkexec passes a desktop user's language on, as they do under LC_ALL=C.
# callgrind counts instructions, so the figures do not depend on the machine's load. Peak
# memory stays within 4 MiB.
source "$(dirname "$0")/lib/sandbox.sh" "$@"
PLAIN_COPY=$2

if ! command -v valgrind > /dev/null || [ ! -x /usr/bin/time ]; then
  echo "SKIP: needs valgrind and /usr/bin/time"
  exit 77
fi
fresh_etc

# Typical lines: LightDM's shipped configuration, repeated to fill 128 KiB.
if [ -r "$WORK/etc.pristine/lightdm/lightdm.conf" ]; then
  typical=$(cat "$WORK/etc.pristine/lightdm/lightdm.conf"; echo x)
  typical=${typical%x}
else
  typical=$'[LightDM]\n#start-default-seat=true\n#greeter-user=lightdm\n#minimum-display-number=0\n#minimum-vt=7\n#lock-memory=true\n#user-authority-in-system-dir=false\n#guest-account-script=guest-account\n#logind-check-graphical=false\n#log-directory=/var/log/lightdm\n#run-directory=/var/run/lightdm\n#cache-directory=/var/cache/lightdm\n#sessions-directory=/usr/share/lightdm/sessions\n#remote-sessions-directory=/usr/share/lightdm/remote-sessions\n#greeters-directory=$XDG_DATA_DIRS/lightdm/greeters\n#backup-logs=true\n#dbus-service=true\n\n[Seat:*]\n#type=local\n#pam-service=lightdm\n#xserver-command=X\n#greeter-session=example-gtk-gnome\n#greeter-hide-users=false\n#user-session=default\n#autologin-guest=false\n#autologin-user=\n#autologin-user-timeout=0\n#autologin-in-background=false\n#exit-on-failure=false\n\n[XDMCPServer]\n#enabled=false\n#port=177\n#listen-address=\n#key=\n#hostname=\n\n[VNCServer]\n#enabled=false\n#command=Xvnc\n#port=5900\n#width=1024\n#height=768\n#depth=8\n\n'
fi
config=""
while [ $((${#config} + ${#typical})) -le 131071 ]; do config+=$typical; done
rest=${typical:0:$((131071 - ${#config}))}
config+=${rest%$'\n'*}$'\n'
printf '%s' "$config" > "$WORK/typical.conf"

# Nearly all in [Seat:*]: commented-out keys and explanations, as in a long site file.
seat=$'[LightDM]\n[Seat:*]\n'
lines=($'#greeter-setup-script=/usr/share/lightdm/site/greeter-setup.sh\n'
  $'# The greeter runs this script before it shows itself, as root\n')
while [ $((${#seat} + 64)) -le 131071 ]; do seat+=${lines[$(( ${#seat} % 2 ))]}; done
printf '%s' "$seat" > "$WORK/seat.conf"

# instructions FILE LOCALE COMMAND...: prints the instructions that COMMAND executes on a fresh
# copy, with LOCALE (NAME=VALUE) in its environment.
instructions() {
  cp "$1" "$CONF"
  local locale=$2
  shift 2
  # The same small environment for both: the dynamic loader's work depends on it.
  # Both streams on /dev/null: the helper then writes its line itself, and callgrind counts one
  # process, not also the writer a pipe would call for.
  env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin "$locale" \
    valgrind --tool=callgrind --callgrind-out-file=/dev/null --log-file="$WORK/callgrind.log" \
    "$@" > /dev/null 2>&1
  sed -n 's/.*Collected : \([0-9]*\).*/\1/p' "$WORK/callgrind.log"
}

FIXED_COST=60000
# budget NAME FILE PERCENT: disable on FILE costs at most PERCENT of the plain copy's
# instructions, and FIXED_COST, in the C locale and in a UTF-8 one.
budget() {
  local helper copy locale
  copy=$(instructions "$2" LC_ALL=C "$PLAIN_COPY" "$CONF")
  for locale in LC_ALL=C LANG=C.UTF-8; do
    helper=$(instructions "$2" "$locale" "$HELPER" disable)
    echo "disable on $(wc -c < "$2") bytes of $1 under $locale: $helper instructions;" \
      "plain copy: $copy ($(awk -v h="$helper" -v c="$copy" 'BEGIN { printf "%.2f", h / c }')" \
      "times)"
    if [ -z "$helper" ] || [ -z "$copy" ] ||
      [ $((helper * 100)) -gt $(($3 * copy + FIXED_COST * 100)) ]; then
      fail "disable on $1 under $locale costs $helper instructions, more than $3% of the" \
        "plain copy's $copy and $FIXED_COST"
    fi
  done
}
# Line feeds are found 32 bytes an instruction with AVX2 and 16 without: a processor without it
# pays about 25,000 instructions more on 128 KiB (2.13 times a plain copy, measured by forcing
# that path). Such a machine is held to 2.25 times, and says so.
if grep -qw avx2 /proc/cpuinfo; then
  budget "seat-section comments" "$WORK/seat.conf" 200
else
  echo "NOTE: no AVX2 on this processor: the seat-section budget is 2.25 times, not 2"
  budget "seat-section comments" "$WORK/seat.conf" 225
fi
budget "the shipped file" "$WORK/typical.conf" 300

cp "$WORK/typical.conf" "$CONF"
peak=$(/usr/bin/time -f %M "$HELPER" disable 2>&1 > /dev/null | tail -1)
echo "peak memory of disable: $peak KiB"
[ "${peak:-99999}" -le 4096 ] || fail "disable peaks at $peak KiB, more than 4 MiB"

finish
