#!/bin/bash
# LightDM's own reading of what the helper wrote, starting from the file the package ships and
# from hand-edited files that LightDM reads more loosely than a strict parser would.
source "$(dirname "$0")/lib/sandbox.sh" "$@"

if ! command -v lightdm > /dev/null; then
  echo "SKIP: lightdm is not installed (apt-get install --no-install-recommends lightdm)"
  exit 77
fi
shipped_sum=$(dpkg-query -W -f='${Conffiles}\n' lightdm | awk '$1 == "/etc/lightdm/lightdm.conf" {print $2}')
if [ "$(md5sum < "$WORK/etc.pristine/lightdm/lightdm.conf" | cut -d' ' -f1)" != "$shipped_sum" ]; then
  echo "SKIP: this machine's /etc/lightdm/lightdm.conf is not the file the package ships"
  exit 77
fi
cp "$WORK/etc.pristine/lightdm/lightdm.conf" "$WORK/shipped.conf"

fresh_etc
add_user alice 2001

expect_keys() {
  local keys
  keys=$(seat_keys)
  [ "$keys" = "$2" ] || fail "$1: LightDM reads [$keys], expected [$2]"
}

cp "$WORK/shipped.conf" "$CONF"
expect_keys "shipped file" ""
run enable alice
expect_status "enable on the shipped file" 0
expect_keys "enable on the shipped file" $'autologin-user=alice\nautologin-user-timeout=0'
diff "$WORK/shipped.conf" "$CONF" > "$WORK/diff"
[ "$(grep -c '^[<>]' "$WORK/diff")" = 4 ] || fail "enable touched more than the two lines"
run disable
expect_status "disable on the shipped file" 0
expect_keys "disable on the shipped file" ""
cmp -s "$WORK/shipped.conf" "$CONF" || fail "enable then disable did not give back the shipped file"

# Files whose autologin lines LightDM honours although they are not written the usual way.
# Disabling must leave none; enabling must leave exactly alice's.
long_name=$(head -c 3000 /dev/zero | tr '\0' b)
cases=(
  $'[Seat:*]\nautologin-user = bob\nautologin-user-timeout = 5\n'
  $' [Seat:*]\n\tautologin-user=bob\n'
  $'[Seat:*]  \nautologin-user=bob\n'
  $'[SeatDefaults]\nautologin-user=bob\n'
  $'[Seat:*]\r\nautologin-user=bob\r\n[Other]\r\nx=1\r\n'
  $'[Seat:*]\nautologin-user=bob\nautologin-user=carol\n'
  $'[Seat:*]\nautologin-user='"$long_name"$'\n'
  $'[LightDM]\nminimum-vt=7'
  ''
)
for text in "${cases[@]}"; do
  label=$(printf '%s' "$text" | head -c 40 | tr '\n\r\t' '|^>')
  printf '%s' "$text" > "$CONF"
  run disable
  expect_status "disable [$label]" 0
  expect_keys "disable [$label]" ""
  printf '%s' "$text" > "$CONF"
  run enable alice
  expect_status "enable [$label]" 0
  keys=$(seat_keys)
  case "$keys" in
    autologin-user=alice | autologin-user=alice$'\n'autologin-user-timeout=0) ;;
    *) fail "enable [$label]: LightDM reads [$keys]" ;;
  esac
done

finish
