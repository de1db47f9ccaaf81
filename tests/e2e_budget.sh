#!/bin/bash
# What a whole run costs. On a 128 KiB configuration of typical lines, `disable` may execute at
# most three times the instructions of a plain copy through a temporary file with fsync and
# rename (callgrind counts instructions, so the figure does not depend on the machine's load),
# and its peak memory stays within 4 MiB.
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

# instructions COMMAND...: prints the instructions that COMMAND executes, on a fresh copy.
instructions() {
  cp "$WORK/typical.conf" "$CONF"
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 > /dev/null |
    sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
}

helper=$(instructions "$HELPER" disable)
copy=$(instructions "$PLAIN_COPY" "$CONF")
echo "disable on $(wc -c < "$WORK/typical.conf") bytes: $helper instructions; plain copy: $copy"
if [ -z "$helper" ] || [ -z "$copy" ] || [ "$helper" -gt $((3 * copy)) ]; then
  fail "disable costs $helper instructions, more than three times the plain copy's $copy"
fi

cp "$WORK/typical.conf" "$CONF"
peak=$(/usr/bin/time -f %M "$HELPER" disable 2>&1 > /dev/null | tail -1)
echo "peak memory of disable: $peak KiB"
[ "${peak:-99999}" -le 4096 ] || fail "disable peaks at $peak KiB, more than 4 MiB"

finish
