#!/bin/bash
# LightDM's PAM gate, judged by pamtester with this release's own stack (the sandbox's copy of
# /etc/pam.d): the accounts that the tests make by default are ones LightDM would log in
# automatically, and the gate can say no, so that a test which expects PAM to agree or to
# refuse measures the helper and not the test's own account. Debian 13's stack (LightDM 1.32)
# refuses a nologin or false shell; Debian 12's lets those in.
source "$(dirname "$0")/lib/sandbox.sh" "$@"

for tool in pamtester lightdm; do
  if ! command -v $tool > /dev/null; then
    echo "SKIP: $tool is not installed (scripts/test installs it)"
    exit 77
  fi
done
fresh_etc
SERVICE=lightdm-autologin
if [ ! -r "/etc/pam.d/$SERVICE" ]; then
  fail "LightDM is installed but /etc/pam.d/$SERVICE is not there"
  finish
fi
# The stack's own shell line, where it has one, decides the nologin cases.
if grep -qE '^[[:space:]]*auth.*pam_succeed_if\.so.*shell notin' "/etc/pam.d/$SERVICE"; then
  shells=refused
else
  shells=granted
fi
echo "$(lightdm --version 2>&1), $SERVICE refuses nologin shells: $([ $shells = refused ] && echo yes || echo no)"

# Each case: account | how add_user makes it (shell) | a change to its shadow line | verdict.
cases=(
  "plain|||granted"
  "bash|/bin/bash||granted"
  "nologin|/usr/sbin/nologin||$shells"
  "false|/bin/false||$shells"
  "expired||s/:::\$/::1:/|refused"
  "root|||refused"
)
id=3000
for case in "${cases[@]}"; do
  IFS='|' read -r name shell edit expected <<< "$case"
  id=$((id + 1))
  [ "$name" = root ] || add_user "$name" "$id" ${shell:+"$shell"}
  [ -z "$edit" ] || sed -i "/^$name:/$edit" /etc/shadow
  if pamtester "$SERVICE" "$name" authenticate acct_mgmt > "$WORK/pam.log" 2>&1; then
    verdict=granted
  else
    verdict=refused
  fi
  [ "$verdict" = "$expected" ] ||
    fail "$name: $SERVICE $verdict it, expected $expected: $(tr '\n' ' ' < "$WORK/pam.log")"
done

finish
