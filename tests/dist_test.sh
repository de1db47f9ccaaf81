#!/bin/bash
# What the package ships besides the program: the polkit action is valid against polkit's own
# DTD, the man page lints clean, and the helper carries Debian's hardening.
# Usage: dist_test.sh HELPER POLICY MAN_PAGE
set -u
HELPER=$1 POLICY=$2 MAN_PAGE=$3
source "$(dirname "$0")/lib/check.sh"
skip() { echo "SKIP (one check): $*"; }

if command -v xmllint > /dev/null && [ -r /usr/share/polkit-1/policyconfig-1.dtd ]; then
  xmllint --nonet --noout --dtdvalid /usr/share/polkit-1/policyconfig-1.dtd "$POLICY" ||
    fail "the polkit action does not validate"
else
  skip "xmllint or polkit's DTD missing (apt-get install libxml2-utils polkitd)"
fi
grep -q '<message gettext-domain="brindleway-helper">Authentication is required to change automatic login</message>' "$POLICY" ||
  fail "the polkit action lacks its message, translated through the helper's domain"
grep -q '<description gettext-domain="brindleway-helper">' "$POLICY" ||
  fail "the polkit action's description is not translated through the helper's domain"
for default in "allow_any>auth_admin<" "allow_inactive>auth_admin<" "allow_active>auth_admin_keep<"; do
  grep -q "$default" "$POLICY" || fail "the polkit action lacks $default"
done

if command -v mandoc > /dev/null; then
  out=$(mandoc -T lint -W warning "$MAN_PAGE" 2>&1) || fail "mandoc: $out"
  [ -z "$out" ] || fail "mandoc: $out"
else
  skip "mandoc missing (apt-get install mandoc)"
fi
if command -v groff > /dev/null; then
  out=$(groff -man -ww -z "$MAN_PAGE" 2>&1)
  [ -z "$out" ] || fail "groff: $out"
else
  skip "groff missing (apt-get install groff-base)"
fi
for section in NAME SYNOPSIS DESCRIPTION "THE PROMISE" "EXIT STATUS" DIAGNOSTICS FILES SECURITY "SEE ALSO"; do
  grep -q "^\.SH \"\?$section\"\?$" "$MAN_PAGE" || fail "man page lacks $section"
done
# Every message the program prints is in DIAGNOSTICS.
for message in "must be run as root" "Unknown command" "Invalid username" "User does not exist" \
  "Cannot open" "Cannot read" "not a regular file" "larger than 131071 bytes" \
  "symbolic link" "user id 0" "Cannot enable automatic login for" "Cannot disable automatic login" \
  "cannot load" "cannot tell how LightDM reads" "cannot be lifted" "Cannot look up user" "so LightDM would" "a FIFO" "LightDM will" \
  "Cannot update" "Cannot create temp file" "Write error" "Cannot replace" \
  "could not create group" "could not add user" "Auto login enabled for user" \
  "Auto login disabled" "changed while it was being rewritten" "Cannot remove temp file" \
  "Cannot lock" "another run is still in progress" "Cannot put back" \
  "Cannot change the working directory" "could not write to standard output"; do
  grep -q "$message" "$MAN_PAGE" || fail "man page does not mention '$message'"
done

# Debian's hardening: PIE, full RELRO with immediate binding, stack protector, fortified calls.
headers=$(readelf -lW "$HELPER")
grep -q 'Elf file type is DYN' <<< "$headers" || fail "the helper is not a PIE"
grep -q 'GNU_RELRO' <<< "$headers" || fail "the helper has no RELRO segment"
readelf -dW "$HELPER" | grep -q 'BIND_NOW' || fail "the helper is not linked with -z now"
symbols=$(readelf -sW --dyn-syms "$HELPER")
grep -q '__stack_chk_fail' <<< "$symbols" || fail "the helper has no stack protector"
grep -qE '__[a-z]+_chk' <<< "$symbols" || fail "the helper calls no fortified functions"
if readelf -dW "$HELPER" | grep -q 'libstdc++'; then fail "the helper links libstdc++"; fi
[ ! -u "$HELPER" ] || fail "the helper is setuid"

finish
