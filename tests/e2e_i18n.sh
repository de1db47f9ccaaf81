#!/bin/bash
# The reader's language: the catalogs the build made, read through the caller's locale, and
# only through values that name a locale. The lines callers parse stay the same in every one.
source "$(dirname "$0")/lib/sandbox.sh" "$@"
source "$(dirname "$0")/lib/cases.sh"
require_tools strace
[ -d "$LOCALE_TREE/de" ] || { echo "SKIP: the build made no catalogs"; exit 77; }

# in_locale "VAR=VALUE..." ARGS...: runs the helper with exactly those locale variables.
in_locale() {
  local vars=$1
  shift
  # shellcheck disable=SC2086
  env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin $vars "$HELPER" "$@" > "$OUT" 2> "$ERR"
  STATUS=$?
}

DE="LANG=$MESSAGES_LOCALE LANGUAGE=de"
ROOT_EN='Cannot enable automatic login for root: the account has user id 0'
ROOT_DE='Automatische Anmeldung für root kann nicht eingeschaltet werden: Das Konto hat die Benutzerkennung 0'

# Which locale speaks: LANGUAGE counts only outside the C locale, LC_ALL and LC_MESSAGES come
# before LANG, and a value that is not a name is as good as unset.
start_case
while IFS='|' read -r what vars stderr; do
  in_locale "$vars" enable root
  expect_run "$what" 1 "" "$stderr"$'\n'
done << EOF_CASES
German|$DE|$ROOT_DE
French|LANG=$MESSAGES_LOCALE LANGUAGE=fr|Impossible d'activer la connexion automatique pour root : le compte a l'identifiant utilisateur 0
Chinese|LANG=$MESSAGES_LOCALE LANGUAGE=zh_CN|无法为 root 启用自动登录：该账户的用户 ID 为 0
a list, first known language wins|LANG=$MESSAGES_LOCALE LANGUAGE=xy:pt_BR:de|Não foi possível ativar o login automático para root: a conta tem o ID de usuário 0
no locale at all|LANGUAGE=de|$ROOT_EN
LC_ALL=C over everything|LC_ALL=C LANG=$MESSAGES_LOCALE LANGUAGE=de|$ROOT_EN
LANG=C|LANG=C LANGUAGE=de|$ROOT_EN
LC_MESSAGES=POSIX|LC_MESSAGES=POSIX LANG=$MESSAGES_LOCALE LANGUAGE=de|$ROOT_EN
a path in LANGUAGE|LANG=$MESSAGES_LOCALE LANGUAGE=../../../usr/share/locale/de|$ROOT_EN
a path element among names|LANG=$MESSAGES_LOCALE LANGUAGE=/x:de|$ROOT_DE
LC_ALL a path, LANG still counts|LC_ALL=/usr/lib/locale/C.utf8 LANG=$MESSAGES_LOCALE LANGUAGE=de|$ROOT_DE
EOF_CASES

# The lines callers parse are the same in every locale; the sentences around them are not.
start_case
in_locale "$DE" enable alice
expect_run "German enable" 0 $'Auto login enabled for user: alice\n' ""
in_locale "$DE" status
first=$(head -1 "$OUT")
[ "$first" = "Auto login enabled for user: alice" ] || fail "German status: first line '$first'"
grep -qx "autologin-user=alice from /etc/lightdm/lightdm.conf \[Seat:\*\] line 2" "$OUT" ||
  fail "German status: the origin line changed: $(cat "$OUT")"
in_locale "$DE" disable alice
# gpasswd's own words come first, in the language its catalogs give (here none: the sandbox
# shows the helper's catalogs alone).
REMOVED=$'Removing user alice from group autologin\n'
expect_run "German disable" 0 "$REMOVED"$'Auto login disabled\n' ""
in_locale "$DE" --version
expect_status "German --version" 0
grep -qx 'brindleway-helper [0-9][^ ]*' "$OUT" || fail "German --version: $(cat "$OUT")"
printf '[Seat:*]\nautologin-user=alice\nautologin-user-timeout=5\n' > "$CONF"
in_locale "$DE" status
head -1 "$OUT" | grep -qx 'LightDM wird alice auf seat0 nach 5 Sekunden am Anmeldebildschirm anmelden.*' ||
  fail "German status, a countdown: $(head -1 "$OUT")"
printf '[Seat:*]\nautologin-user=alice\nautologin-user-timeout=1\n' > "$CONF"
in_locale "LANG=$MESSAGES_LOCALE LANGUAGE=fr" status
head -1 "$OUT" | grep -qx "LightDM connectera alice sur seat0 après 1 seconde sur l'écran de connexion.*" ||
  fail "French status, one second: $(head -1 "$OUT")"
in_locale "LC_ALL=C" status
head -1 "$OUT" | grep -qx 'LightDM will log in alice after 1 second at the greeter on seat0.*' ||
  fail "C status, one second: $(head -1 "$OUT")"

# Refusals built from a prefix and a reason, in German: the setting that stands against the
# request, and what LightDM would do because of it, a guest included.
DROP_IN=/etc/lightdm/lightdm.conf.d/50-site.conf
while IFS='|' read -r what setting args stderr; do
  start_case
  mkdir -p /etc/lightdm/lightdm.conf.d
  printf '[Seat:seat0]\n%s\n' "$setting" > "$DROP_IN"
  # shellcheck disable=SC2086
  in_locale "$DE" $args
  expect_run "German: $what" 1 "" "$stderr"$'\n'
done << EOF_CASES
another user|autologin-user=bob|disable|Automatische Anmeldung kann nicht ausgeschaltet werden: $DROP_IN setzt autologin-user=bob in [Seat:seat0] (Zeile 2), also würde LightDM bob auf seat0 anmelden
a guest|autologin-guest=true|enable alice|Automatische Anmeldung für alice kann nicht eingeschaltet werden: $DROP_IN setzt autologin-guest=true in [Seat:seat0] (Zeile 2), also würde LightDM einen Gast auf seat0 anmelden
a countdown|autologin-user-timeout=7|enable alice|Automatische Anmeldung für alice kann nicht eingeschaltet werden: $DROP_IN setzt autologin-user-timeout=7 in [Seat:seat0] (Zeile 2), also würde LightDM alice nach 7 Sekunden am Anmeldebildschirm auf seat0 anmelden
EOF_CASES

# Hostile values, under strace: no path the helper or a tool opens is built from them, and no
# locale file is read from outside the locale directories and the conversion modules. A run
# that succeeds sets up no catalog, so a translated refusal is traced as well.
gconv_dir=$(dirname "$(find /usr/lib /usr/lib64 -maxdepth 3 -name 'gconv-modules*' -print -quit 2> /dev/null)")
[ -d "$gconv_dir" ] || fail "no gconv directory found"
mkdir -p "$WORK/x/LC_MESSAGES" "$WORK/x/de/LC_MESSAGES"
cp "$LOCALE_TREE/de/LC_MESSAGES/brindleway-helper.mo" "$WORK/x/LC_MESSAGES/"
cp "$LOCALE_TREE/de/LC_MESSAGES/brindleway-helper.mo" "$WORK/x/de/LC_MESSAGES/"
up=../../..$WORK/x
while IFS='|' read -r what vars; do
  start_case
  add_group alice
  # LeakSanitizer cannot work under ptrace, in the sanitizer build.
  # shellcheck disable=SC2086
  env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin ASAN_OPTIONS=detect_leaks=0 $vars \
    strace -f -qq -o "$WORK/trace" \
    -e trace=open,openat,openat2,stat,newfstatat,statx,access,faccessat,faccessat2,readlink,execve \
    "$HELPER" disable alice > "$OUT" 2> "$ERR"
  STATUS=$?
  expect_run "hostile $what" 0 "$REMOVED"$'Auto login disabled\n' ""
  # shellcheck disable=SC2086
  env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin ASAN_OPTIONS=detect_leaks=0 $vars \
    strace -f -qq -o "$WORK/trace.refusal" \
    -e trace=open,openat,openat2,stat,newfstatat,statx,access,faccessat,faccessat2,readlink,execve \
    "$HELPER" enable root > "$OUT" 2> "$ERR"
  STATUS=$?
  refusal=$(cat "$ERR")
  [ "$STATUS" = 1 ] && { [ "$refusal" = "$ROOT_EN" ] || [ "$refusal" = "$ROOT_DE" ]; } ||
    fail "hostile $what: enable root gave $STATUS: $refusal"
  cat "$WORK/trace.refusal" >> "$WORK/trace"
  grep -o '"[^"]*"' "$WORK/trace" | tr -d '"' | sort -u > "$WORK/paths"
  reached=$(grep -F "$WORK/x" "$WORK/paths")
  [ -z "$reached" ] || fail "hostile $what: a path of the caller's: $reached"
  outside=$(grep -E 'locale|gconv|\.mo$|LC_' "$WORK/paths" |
    grep -vE "^(/usr/share/locale|/usr/lib/locale|$gconv_dir)(/|$)")
  [ -z "$outside" ] || fail "hostile $what: locale files outside the locale directories: $outside"
done << EOF_CASES
LANGUAGE up and out|LANG=$MESSAGES_LOCALE LANGUAGE=$up
LANGUAGE list|LANG=$MESSAGES_LOCALE LANGUAGE=de:$up:$WORK/x:.x
LC_MESSAGES absolute|LC_MESSAGES=$WORK/x LANG=$MESSAGES_LOCALE LANGUAGE=x
LC_ALL absolute|LC_ALL=$WORK/x
LANG up and out|LANG=$up
LC_CTYPE absolute|LANG=$MESSAGES_LOCALE LC_CTYPE=$WORK/x LANGUAGE=de
LOCPATH|LOCPATH=$WORK/x LANG=de_DE.UTF-8 LANGUAGE=de
NLSPATH and GCONV_PATH|NLSPATH=$WORK/x/%N GCONV_PATH=$WORK/x LANG=$MESSAGES_LOCALE LANGUAGE=de
a dot name|LANG=$MESSAGES_LOCALE LANGUAGE=.. LC_MESSAGES=.x
EOF_CASES
finish
