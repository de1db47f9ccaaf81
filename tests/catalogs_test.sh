#!/bin/bash
# The catalogs: the template holds every text the sources mark, every language translates all
# of it with the right plural rule, and --help and --version answer without root, --version
# with debian/changelog's version.
#
# Usage: catalogs_test.sh SOURCE_DIR HELPER POLICY XGETTEXT-ARGS... -- SOURCES...
set -u
source "$(dirname "$0")/lib/check.sh"
SRC=$1
HELPER=$2
POLICY=$3
shift 3
xgettext_args=()
while [ "$1" != -- ]; do
  xgettext_args+=("$1")
  shift
done
shift
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
POT=$SRC/po/brindleway-helper.pot

# msgids FILE: every msgid and msgid_plural of a catalog, one a line, sorted.
msgids() {
  msgcat --no-wrap --sort-output "$1" | sed -n 's/^\(msgid\|msgid_plural\) "\(.\+\)"$/\1 \2/p' | sort
}

(cd "$SRC" && xgettext "${xgettext_args[@]}" -o "$WORK/now.pot" "$@" &&
  xgettext --its=po/its/polkit.its --from-code=UTF-8 --join-existing -o "$WORK/now.pot" \
    "$POLICY") || fail "xgettext failed"
msgids "$WORK/now.pot" > "$WORK/now"
msgids "$POT" > "$WORK/template"
missing=$(comm -23 "$WORK/now" "$WORK/template")
stale=$(comm -13 "$WORK/now" "$WORK/template")
[ -z "$missing" ] || fail "marked in the sources but not in the template (build update-po): $missing"
[ -z "$stale" ] || fail "in the template but no longer in the sources (build update-po): $stale"
count=$(grep -c '^msgid ' "$WORK/template")

declare -A plural_forms=(
  [de]='nplurals=2; plural=(n != 1);' [es]='nplurals=2; plural=(n != 1);'
  [fr]='nplurals=2; plural=(n > 1);' [pt_BR]='nplurals=2; plural=(n > 1);'
  [zh_CN]='nplurals=1; plural=0;'
)
languages=0
for lang in $(grep -v '^#' "$SRC/po/LINGUAS"); do
  languages=$((languages + 1))
  po=$SRC/po/$lang.po
  stats=$(LC_ALL=C msgfmt --check --statistics -o /dev/null "$po" 2>&1) || fail "$lang: msgfmt --check: $stats"
  [ "$stats" = "$count translated messages." ] || fail "$lang: $stats (the template has $count)"
  msgids "$po" | cmp -s - "$WORK/template" || fail "$lang: its msgids are not the template's"
  want=${plural_forms[$lang]:-}
  [ -n "$want" ] || fail "$lang: no plural rule known to this test"
  grep -qF "\"Plural-Forms: $want\\n\"" "$po" || fail "$lang: the plural header is not '$want'"
  [ -s "$SRC/po/glossary.$lang.txt" ] || fail "$lang: no glossary (po/glossary.$lang.txt)"
done
[ "$languages" -ge 5 ] || fail "only $languages languages in po/LINGUAS"

# --help and --version need no root and no locale; --version is never translated.
as_caller=()
[ "$(id -u)" != 0 ] || as_caller=(setpriv --reuid=65534 --regid=65534 --clear-groups)
version=$(sed -n '1s/^[^ ]* (\([^)-]*\).*/\1/p' "$SRC/debian/changelog")
for env in "LC_ALL=C" "LANG=C.UTF-8 LANGUAGE=de"; do
  # shellcheck disable=SC2086
  out=$(env -i $env "${as_caller[@]}" "$HELPER" --version 2> "$WORK/err")
  STATUS=$?
  [ "$STATUS" = 0 ] || fail "--version ($env): exit status $STATUS"
  [ "$out" = "brindleway-helper $version" ] || fail "--version ($env): '$out', changelog says $version"
  [ ! -s "$WORK/err" ] || fail "--version ($env): standard error: $(cat "$WORK/err")"
done
out=$(env -i LC_ALL=C "${as_caller[@]}" "$HELPER" --help 2> "$WORK/err")
STATUS=$?
want="Usage: $HELPER enable <username>
       $HELPER disable [username]
       $HELPER status

  enable USER     turn automatic login on for USER, with no delay
  disable [USER]  turn automatic login off, and take USER out of the autologin group
  status          say what LightDM will do at the next start, and why

Options, before the command word:
  --json          answer with one JSON object on standard output
  --dry-run       check all that enable or disable would, and change nothing"
[ "$STATUS" = 0 ] || fail "--help: exit status $STATUS"
[ "$out" = "$want" ] || fail "--help: $out"
[ ! -s "$WORK/err" ] || fail "--help: standard error: $(cat "$WORK/err")"
finish
