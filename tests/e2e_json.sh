#!/bin/bash
# What a program reads: --json answers judged by a real parser against the schemas in docs/, one
# golden object for each shape, the same object in every language but for its messages, and
# `changed` as the files tell it.
source "$(dirname "$0")/lib/sandbox.sh" "$@"
source "$(dirname "$0")/lib/cases.sh"
python3 -c 'import jsonschema' 2> /dev/null ||
  { echo "SKIP: python3-jsonschema is not installed"; exit 77; }
HERE=$(cd "$(dirname "$0")" && pwd)
DOCS=$HERE/../docs
DE="LANG=$MESSAGES_LOCALE LANGUAGE=de"

# judge SHAPE [ARGS...]: the last run's standard output is one object that fits
# docs/SHAPE.schema.json; json_check.py's output (ARGS: --no-messages, --get PATH) in $JUDGED.
JUDGED=$WORK/judged
judge() {
  local shape=$1
  shift
  python3 "$HERE/lib/json_check.py" "$DOCS/$shape.schema.json" "$OUT" "$@" > "$JUDGED" 2>&1 ||
    fail "$shape: $(cat "$JUDGED")"
}
# expect_field SHAPE PATH VALUE
expect_field() {
  judge "$1" --get "$2"
  [ "$(cat "$JUDGED")" = "$3" ] || fail "$1 $2: $(cat "$JUDGED"), expected $3"
}
in_locale() {
  local vars=$1
  shift
  # shellcheck disable=SC2086
  env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin $vars "$HELPER" "$@" > "$OUT" 2> "$ERR"
  STATUS=$?
}

# Seat1 logs nobody in.
seat1_nobody() {
  start_case
  mkdir -p /run/systemd/seats
  printf 'IS_SEAT0=0\nCAN_GRAPHICAL=1\n' > /run/systemd/seats/seat1
  printf '[Seat:*]\nautologin-user=alice\n[Seat:seat1]\nautologin-user=\n' > "$CONF"
}

# A kiosk: alice logged in at once on every seat but seat1, which counts down, into a session of
# the site's own.
kiosk() {
  seat1_nobody
  mkdir -p /etc/lightdm/sessions
  printf '[Desktop Entry]\nName=Kiosk\nExec=kiosk-session\n' > /etc/lightdm/sessions/kiosk.desktop
  printf '%s\n' '[LightDM]' 'sessions-directory=/etc/lightdm/sessions' '[Seat:*]' \
    'autologin-user=alice' 'autologin-user-timeout=0' 'user-session=kiosk' '[Seat:seat1]' \
    'autologin-user-timeout=30' > "$CONF"
}

# One golden object a shape, messages and all, in the C locale.
kiosk
run --json status
judge status
diff -u "$HERE/golden/status.json" "$JUDGED" || fail "status: not the golden object"
start_case
run --json enable alice
judge result
diff -u "$HERE/golden/result.json" "$JUDGED" || fail "result: not the golden object"

# The same object in German, but for its messages. SETUP | ARGS | a message to translate
while IFS='|' read -r setup args translated; do
  for vars in LC_ALL=C "$DE"; do
    eval "$setup"
    # shellcheck disable=SC2086
    in_locale "$vars" $args
    if [ "$vars" = LC_ALL=C ]; then
      c_status=$STATUS
      cp "$OUT" "$WORK/c.json"
    fi
  done
  what="'$args' in German"
  [ "$STATUS" = "$c_status" ] || fail "$what: exit $STATUS, in C $c_status"
  case $args in
    *status) shape=status ;;
    *) shape=result ;;
  esac
  judge "$shape" --no-messages
  cp "$JUDGED" "$WORK/de.judged"
  cp "$WORK/c.json" "$OUT"
  judge "$shape" --no-messages
  cmp -s "$JUDGED" "$WORK/de.judged" || fail "$what: $(diff "$JUDGED" "$WORK/de.judged")"
  if [ -n "$translated" ]; then
    cp "$WORK/c.json" "$OUT"
    judge "$shape" --get "$translated"
    c_message=$(cat "$JUDGED")
    eval "$setup"
    # shellcheck disable=SC2086
    in_locale "$DE" $args
    judge "$shape" --get "$translated"
    [ "$(cat "$JUDGED")" != "$c_message" ] || fail "$what: $translated not translated: $c_message"
  fi
done << 'EOF_CASES'
kiosk|--json status|
kiosk; rm /etc/lightdm/sessions/kiosk.desktop|--json status|checks.session.message
seat1_nobody|--json status|
start_case|--json --dry-run enable alice|
start_case|--json enable root|refusal.message
start_case; printf '[Seat:*]\nautologin-user=a\\sb\n' > $CONF|--json status|
start_case; printf 'garbage\n' >> $CONF|--json status|checks.configuration.message
start_case|--json --dry-run disable alice|
EOF_CASES

# changed: the file's bytes or the group differ afterwards, and only then.
start_case
for row in "enable alice|true|true" "enable alice|false|false" "disable alice|true|false" \
  "disable alice|false|false" "--dry-run enable alice|true|true"; do
  IFS='|' read -r args changed created <<< "$row"
  # shellcheck disable=SC2086
  run --json $args
  expect_status "--json $args" 0
  expect_field result changed "$changed"
  [ "$args" = "enable alice" ] && expect_field result group.created "$created"
  # gpasswd's own words stand in the object, not ahead of it.
  [ "$args/$changed" = "disable alice/true" ] &&
    expect_field result tool_output "Removing user alice from group autologin"
done

# Bytes that are not UTF-8: the file's text as base64, a value quoted as plain status quotes it.
start_case
printf '# caf\351\n[Seat:*]\n#autologin-user=\n' > "$CONF"
cp "$CONF" "$WORK/latin1.conf"
run --json --dry-run enable alice
expect_field result file.before null
judge result --get file.before_base64
base64 -d "$JUDGED" 2> /dev/null | cmp -s - "$WORK/latin1.conf" ||
  fail "before_base64 is not the file"
printf '[Seat:*]\nautologin-user=a\\sb\tc\n' > "$CONF"
run --json status
expect_field status user 'a\x20b\x09c'

finish
