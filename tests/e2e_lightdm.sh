#!/bin/bash
# LightDM itself is the judge. For each configuration - a table of cases and a generated set,
# with drop-ins in all four directories LightDM reads, seat sections, guest logins, blanks of
# every kind and files LightDM cannot load - enable and disable must either succeed and leave
# LightDM (lightdm --show-config, seat precedence applied) doing what the success line says, or
# refuse and leave every file and the group untouched. status must agree with LightDM on every
# configuration it sees. e2e_desktop.sh lets the real daemon judge a sample of the generated set.
source "$(dirname "$0")/lib/sandbox.sh" "$@"
source "$(dirname "$0")/lib/lightdm.sh"

if ! command -v lightdm > /dev/null; then
  echo "SKIP: lightdm is not installed (apt-get install --no-install-recommends lightdm)"
  exit 77
fi
fresh_etc
add_user alice 2001
# Every name the cases log in has an account, so that LightDM's PAM service, which status asks
# as root, lets it in as it would at boot.
id=2002
for name in bob carol dave erin frank eve a b c d; do
  add_user "$name" $((id++))
done
private_lightdm_dirs
ENABLED=$'Auto login enabled for user: alice\n'
DISABLED=$'Auto login disabled\n'

# status must print, first, what LightDM's keys come to.
check_status() {
  local keys=$2 expected first
  expected=$(expected_status_line "$keys")
  "$HELPER" status > "$WORK/status.out" 2> "$WORK/status.err"
  local rc=$?
  if [ "$keys" = FAILED ]; then
    [ "$rc" = 1 ] || fail "$1: status exits $rc where LightDM cannot load its configuration"
    return
  fi
  # Saying it cannot tell is no lie; saying something else must be the truth.
  if [ "$rc" = 1 ] && grep -q "^Cannot tell what LightDM does: cannot tell how LightDM reads" \
    "$WORK/status.err"; then
    return
  fi
  first=$(head -1 "$WORK/status.out")
  # shellcheck disable=SC2053
  [[ $first == $expected ]] ||
    fail "$1: status says '$first', LightDM's keys [$(tr '\n' ' ' <<< "$keys")] mean '$expected'"
}

RUNS=(0 0)
# judge WHAT CASE: lays CASE out, asks status, then runs enable and disable on fresh copies.
judge() {
  local what=$1 layout=$2 cmd keys
  lay_out "$layout"
  check_status "$what (before)" "$(seat0_keys)"
  for cmd in enable disable; do
    lay_out "$layout"
    snapshot
    if [ "$cmd" = enable ]; then run enable alice; else run disable; fi
    case $STATUS in
      0)
        RUNS[0]=$((RUNS[0] + 1))
        if [ "$cmd" = enable ]; then expect_bytes "$what: $cmd" "$OUT" "$ENABLED"; else
          expect_bytes "$what: $cmd" "$OUT" "$DISABLED"; fi
        local seat
        while IFS= read -r seat; do
          keys=$(seat_keys "$seat")
          promise_holds "$keys" "$cmd" alice ||
            fail "$what: $cmd succeeded, but LightDM reads [$(tr '\n' ' ' <<< "$keys")] on seat '$seat'"
        done < <(promised_seats)
        check_status "$what (after $cmd)" "$(seat0_keys)"
        ;;
      1)
        RUNS[1]=$((RUNS[1] + 1))
        local changes
        changes=$(changed_since_snapshot 2>&1)
        [ -z "$changes" ] || fail "$what: $cmd refused but changed: $changes"
        [ "$(wc -l < "$ERR")" = 1 ] || fail "$what: $cmd refused without exactly one line: $(cat "$ERR")"
        [ ! -s "$OUT" ] || fail "$what: $cmd refused but printed on stdout"
        ;;
      *) fail "$what: $cmd exited $STATUS: $(cat "$ERR")" ;;
    esac
    expect_no_litter "$what: $cmd"
  done
}

# expect_refusal WHAT CASE CMD MESSAGE: CMD is refused with exactly MESSAGE.
expect_refusal() {
  lay_out "$2"
  # shellcheck disable=SC2086
  run $3
  expect_run "$1" 1 "" "$4"$'\n'
}

# The shipped file: enable changes two lines, disable gives it back byte for byte.
lay_out "@shipped"
run enable alice
expect_run "shipped file: enable" 0 "$ENABLED" ""
diff "$SHIPPED" "$CONF" > "$WORK/diff"
[ "$(grep -c '^[<>]' "$WORK/diff")" = 4 ] || fail "shipped file: enable touched more than two lines"
run disable
expect_run "shipped file: disable" 0 "$DISABLED" ""
cmp -s "$SHIPPED" "$CONF" || fail "shipped file: enable then disable did not give it back"

SEAT='@conf\n[Seat:*]\n#autologin-user=\n#autologin-user-timeout=0'
cases=(
  "load order, one drop-in in each directory|@drop 0 50.conf\n[Seat:*]\nautologin-user=a\n@drop 1 50.conf\n[Seat:*]\nautologin-user=b\n@drop 2 50.conf\n[Seat:*]\nautologin-user=c\n@drop 3 50.conf\n[Seat:*]\nautologin-user=d\nautologin-user-timeout=9\n$SEAT"
  "strcmp order in a directory|@drop 3 9.conf\n[Seat:*]\nautologin-user-timeout=7\n@drop 3 10.conf\n[Seat:*]\nautologin-user-timeout=0\n$SEAT"
  "only .conf names are read|@drop 3 a.conf~\n[Seat:seat0]\nautologin-user=bob\n@drop 3 a.CONF\n[Seat:*]\nautologin-guest=true\n@drop 3 .conf\n[Seat:*]\nautologin-user=eve\n$SEAT"
  "a drop-in GLib refuses is skipped whole|@drop 3 50.conf\n[Seat:*]\nautologin-guest=true\n; not a comment\n$SEAT"
  "the override that disable must keep|@drop 0 50.conf\n[Seat:*]\nautologin-user=bob\n@conf\n[Seat:*]\nautologin-user=\n"
  "SeatDefaults in a drop-in|@drop 2 50.conf\n[SeatDefaults]\nautologin-user=bob\nautologin-user-timeout=3\n$SEAT"
  "SeatDefaults after Seat:* in one file|@conf\n[Seat:*]\n#autologin-user=\n[SeatDefaults]\nautologin-user=bob\n[Seat:*]\nautologin-user-timeout=0"
  "a seat section for seat0|@drop 3 50.conf\n[Seat:seat0]\nautologin-user=bob\n$SEAT"
  "a seat glob in lightdm.conf|@conf\n[Seat:*]\n#autologin-user=\n[Seat:seat?]\nautologin-user-timeout=30"
  "a seat glob that agrees|@drop 1 50.conf\n[Seat:s*]\nautologin-user=alice\n$SEAT"
  "a seat glob for another seat|@drop 1 50.conf\n[Seat:seat1]\nautologin-user=bob\nautologin-guest=true\n$SEAT"
  "globs in order of first appearance|@drop 0 50.conf\n[Seat:*0]\nautologin-user=bob\n[Seat:seat?]\nautologin-user=carol\n@drop 3 60.conf\n[Seat:*0]\nautologin-user=dave\n$SEAT"
  "a guest login|@drop 3 50.conf\n[Seat:*]\nautologin-guest=true  \n$SEAT"
  "not quite a guest login|@drop 3 50.conf\n[Seat:*]\nautologin-guest=true\\\\v\nautologin-user=bob\n$SEAT"
  "autologin in the background|@drop 3 50.conf\n[Seat:*]\nautologin-in-background=true\n$SEAT"
  "a negative timeout|@conf\n[Seat:*]\nautologin-user=bob\nautologin-user-timeout=-1"
  "a timeout that is no number|@drop 3 50.conf\n[Seat:*]\nautologin-user-timeout=soon\n$SEAT"
  "blanks LightDM skips|@conf\n[Seat:*]\n\\\\f\\\\r autologin-user\\\\t =bob\n  \\\\t#autologin-user-timeout=4"
  "a vertical tab is no blank|@conf\n[Seat:*]\n\\\\vautologin-user=bob"
  "thousands of blanks|@conf\n[Seat:*]\n$(printf '%3000s' '')autologin-user$(printf '%2100s' '')=bob"
  "a locale key is another key|@conf\n[Seat:*]\nautologin-user[fr]=bob\n#autologin-user="
  "escapes in values|@drop 3 50.conf\n[Seat:*]\nautologin-user=b\\\\\\\\sob\n$SEAT"
  "a value that is not UTF-8|@drop 3 50.conf\n[Seat:*]\nautologin-user=b\\\\xffob\n$SEAT"
  "two seat sections|@conf\n[Seat:*]\nautologin-user=bob\n[LightDM]\nx=1\n[Seat:*]\nautologin-user=carol\nautologin-user-timeout=3"
  "no seat section at all|@conf\n[LightDM]\nminimum-vt=7"
  "no lightdm.conf line feed at the end|@conf\n[Seat:*]\nautologin-user-timeout=5\\\\c"
  "lightdm.conf with a line that is no key|$SEAT\nno equals sign"
  "lightdm.conf with a semicolon comment|$SEAT\n; comment"
  "lightdm.conf with a key before any group|@conf\nx=1\n[Seat:*]"
  "lightdm.conf with a byte order mark|@conf\n\\\\xef\\\\xbb\\\\xbf[Seat:*]\nautologin-user=bob"
  "lightdm.conf with text after a header|@conf\n[Seat:*]x\nautologin-user=bob"
  "lightdm.conf in another encoding|@conf\n[Seat:*]\nEncoding=ISO-8859-1\nautologin-user=bob"
  "lightdm.conf with an empty group name|@conf\n[]\n[Seat:*]"
  "a header with continuation bytes after it|@conf\n[Seat:*]\\\\x80\\\\x80 \nautologin-user=bob"
  "the shipped file with a drop-in user|@drop 3 50.conf\n[Seat:*]\nautologin-user=bob\n@shipped"
  "a section of locale keys only is no section|@drop 0 10.conf\n[Seat:seat?]\nx[zz]=1\n[Seat:*0]\nautologin-user-timeout=0\n@drop 1 10.conf\n[Seat:seat?]\nautologin-user-timeout=30\n$SEAT"
  "a timeout past 1024 bytes of zeros|@drop 3 50.conf\n[Seat:*]\nautologin-user-timeout=$(printf '%01100d' 0)5\n@conf\n[Seat:*]\n#autologin-user="
  "a guest value past 1024 bytes|@drop 3 50.conf\n[Seat:*]\nautologin-guest=true$(printf '%1030s' '')x\n$SEAT"
  "a section for a seat logind lists|@seat seat1\n@drop 3 50.conf\n[Seat:seat1]\nautologin-user=bob\n$SEAT"
  "a glob that only another seat matches|@seat seat1\n@seat seat-b\n@conf\n[Seat:*]\n#autologin-user=\n[Seat:*b]\nautologin-user-timeout=30"
  "a section for a seat nobody lists|@seat seat1\n@drop 3 50.conf\n[Seat:seat2]\nautologin-user=bob\nautologin-guest=true\n$SEAT"
  "a trailing backslash that GLib 2.77.3 refuses|@drop 3 50.conf\n[Seat:*]\nautologin-user=bob\\\\\\\\\n$SEAT"
  "an unknown escape that GLib 2.77.3 refuses|@drop 3 50.conf\n[Seat:*]\nautologin-user=b\\\\\\\\qob\nautologin-guest=fal\\\\\\\\se\n$SEAT"
  "a timeout GLib versions read apart|@drop 3 50.conf\n[Seat:*]\nautologin-user-timeout=5\\\\\\\\\n@conf\n[Seat:*]\nautologin-user=bob"
)
for entry in "${cases[@]}"; do
  judge "${entry%%|*}" "$(printf '%b' "${entry#*|}")"
done

# status runs as any user, who may not read a drop-in that LightDM, as root, reads: it must say
# it cannot tell rather than leave the drop-in out.
if command -v setpriv > /dev/null; then
  lay_out "$(printf '%b' "@drop 3 50.conf\n[Seat:*]\nautologin-user=bob\n$SEAT")"
  chmod 0600 "${LIGHTDM_DIRS[3]}/50.conf"
  if setpriv --reuid=65534 --regid=65534 --clear-groups "$HELPER" status > "$WORK/status.out" 2>&1; then
    first=$(head -1 "$WORK/status.out")
    expected=$(expected_status_line "$(seat0_keys)")
    # shellcheck disable=SC2053
    [[ $first == $expected ]] ||
      fail "status as nobody over a drop-in only root reads: says '$first', LightDM means '$expected'"
  fi
else
  echo "SKIP: status as another user (setpriv is missing)"
fi

# Refusals name the file, section, line and key in the way, and what LightDM would do.
expect_refusal "seat0 section" "$(printf '%b' "@drop 3 50.conf\n[Seat:seat0]\nautologin-user=bob\n$SEAT")" disable \
  "Cannot disable automatic login: /etc/lightdm/lightdm.conf.d/50.conf sets autologin-user=bob in [Seat:seat0] (line 2), so LightDM would log in bob on seat0"
expect_refusal "guest" "$(printf '%b' "@drop 0 50.conf\n[Seat:*]\nautologin-guest=true\n$SEAT")" "enable alice" \
  "Cannot enable automatic login for alice: /usr/share/lightdm/lightdm.conf.d/50.conf sets autologin-guest=true in [Seat:*] (line 2), so LightDM would log in a guest on seat0"
expect_refusal "unloadable" "$(printf '%b' "$SEAT\n; comment")" disable \
  "Cannot disable automatic login: LightDM cannot load /etc/lightdm/lightdm.conf (line 4: not a key-value pair, group or comment) and would not start"
expect_refusal "root" "@conf" "enable root" "Cannot enable automatic login for root: the account has user id 0"

# A generated set: random drop-ins and main files made of the pieces LightDM's rules turn on.
generate_layouts "${BRINDLEWAY_SEED:-7}" "${BRINDLEWAY_CASES:-60}"
for i in "${!GENERATED[@]}"; do
  judge "generated case $i (seed ${BRINDLEWAY_SEED:-7})" "${GENERATED[i]}"
done
echo "runs: ${RUNS[0]} succeeded with LightDM agreeing, ${RUNS[1]} refused with nothing changed"

finish
