#!/bin/bash
# LightDM's PAM gate: enable asks the autologin PAM service as LightDM will, and pamtester, with
# the sandbox's own /etc/pam.d, judges every answer. An exit 0 must be an account the service
# lets in; an exit 1 must leave every file and the group line as they were.
source "$(dirname "$0")/lib/sandbox.sh" "$@"
source "$(dirname "$0")/lib/cases.sh"

if ! command -v pamtester > /dev/null; then
  echo "SKIP: pamtester is not installed (apt-get install --no-install-recommends pamtester)"
  exit 77
fi

# account NAME SHELL PASSWORD EXPIRE: an account of the sandbox with that shell, password field
# and expiry day (empty: none), with a home of its own.
account() { add_user "$1" 3001 --shell "$2" --password "$3" --expire "$4"; }

# A stack like Arch's: members of the autologin group pass, everyone else meets pam_unix, which
# has no password to check.
GROUP_STACK='auth [success=1 default=ignore] pam_succeed_if.so user ingroup autologin quiet
auth required pam_unix.so
auth required pam_permit.so
@include common-account'
DENY_STACK=$'auth required pam_deny.so\naccount required pam_permit.so'

# judge SERVICE NAME [DISPLAY]: pamtester's answer, on the X display LightDM sets as PAM_TTY
# (":0" unless minimum-display-number says otherwise).
judge() {
  pamtester -I "tty=${3:-:0}" "${1:-lightdm-autologin}" "$2" authenticate acct_mgmt > /dev/null 2>&1
}

# One case a line: the account (shell, password, expiry), the stack, what else is set up, and the
# outcome. The access stack adds pam_access to the stock one; its setup is the access.conf
# lines, comma-separated, after "min7," when [LightDM] minimum-display-number=7. "judge" means whatever pamtester says of the account before the run, which is the
# answer for a stack that needs no group: a nologin shell passes Debian 12's stack and not
# Debian 13's, whose stack turns such shells away.
#   name     shell              password        expire  stack  setup             expect
CASES="
kb        /bin/bash          !               -       stock  -                 judge
locked    /bin/bash          !\$6\$salt\$hash  -       stock  -                 judge
nol       /usr/sbin/nologin  !               -       stock  -                 judge
fal       /bin/false         !               -       stock  -                 judge
expired   /bin/bash          !               1       stock  -                 1
kb        /bin/bash          !               -       group  -                 0
kb        /bin/bash          !               -       group  usermod-fails     1
kb        /bin/bash          !               -       group  groupadd-fails    1
kb        /bin/bash          !               -       group  group-exists      0
kb        /bin/bash          !               -       stock  deny-seat         1
kb        /bin/bash          !               -       stock  deny-lightdm      1
kb        /bin/bash          !               -       access -:kb::0           1
kb        /bin/bash          !               -       access +:kb:LOCAL        0
kb        /bin/bash          !               -       access +:ALL:ALL         0
kb        /bin/bash          !               -       access -:kb:LOCAL        1
kb        /bin/bash          !               -       access -:ALL:ALL         1
kb        /bin/bash          !               -       access min7,-:kb::0      0
kb        /bin/bash          !               -       access min7,-:kb::7      1
kb        /bin/bash          !               -       access min7,-:kb::0,-:kb::7 1
"
while read -r name shell password expire stack setup expect; do
  [ -n "$name" ] || continue
  what="$name ($shell, $stack stack, $setup)"
  start_case
  [ "$expire" = - ] && expire=""
  account "$name" "$shell" "$password" "$expire"
  service=lightdm-autologin
  [ "$stack" = group ] && printf '%s\n' "$GROUP_STACK" > /etc/pam.d/lightdm-autologin
  display=:0
  if [ "$stack" = access ]; then
    echo 'account required pam_access.so' >> /etc/pam.d/lightdm-autologin
    if [ "${setup#min7,}" != "$setup" ]; then
      setup=${setup#min7,}
      display=:7
      printf '[LightDM]\nminimum-display-number=7\n%s' "$SEAT" > "$CONF"
    fi
    tr , '\n' <<< "$setup" > /etc/security/access.conf
    setup=access
  fi
  case $setup in
    usermod-fails) fake_tool usermod "exit 1" ;;
    groupadd-fails) fake_tool groupadd "exit 10" ;;
    group-exists) add_group "bob" ;;
    deny-seat | deny-lightdm)
      service=brindleway-deny
      printf '%s\n' "$DENY_STACK" > /etc/pam.d/$service
      if [ "$setup" = deny-seat ]; then
        printf '[Seat:*]\npam-autologin-service=%s\n#autologin-user=\n' "$service" > "$CONF"
      else
        printf '[LightDM]\npam-autologin-service=%s\n%s' "$service" "$SEAT" > "$CONF"
      fi
      ;;
  esac
  if [ "$expect" = judge ]; then
    if judge "$service" "$name" "$display"; then expect=0; else expect=1; fi
  fi
  snapshot_etc
  # A dry run cannot foresee a tool that fails: it asks PAM as if the tool had worked.
  case $setup in
    *-fails)
      DRY_RUN_TOO='' run --dry-run enable "$name"
      expect_status "$what, dry run" 0
      expect_unchanged "$what, dry run"
      DRY_RUN_TOO='' run enable "$name"
      ;;
    *) DRY_RUN_TOO=1 run enable "$name" ;;
  esac
  if [ "$STATUS" != "$expect" ]; then
    fail "$what: exit $STATUS, expected $expect (stderr: $(cat "$ERR"))"
    continue
  fi
  if [ "$STATUS" = 0 ]; then
    judge "$service" "$name" "$display" || fail "$what: exit 0, but pamtester refuses $name"
    grep -qx "autologin-user=$name" "$CONF" || fail "$what: exit 0, but the file does not name $name"
    # The real service passes too: a [LightDM] line is asked as well, never instead.
    judge lightdm-autologin "$name" "$display" ||
      fail "$what: exit 0, but lightdm-autologin refuses $name"
  else
    expect_unchanged "$what"
    expect_no_litter "$what"
    grep -q "^Cannot enable automatic login for $name: LightDM's PAM service $service refuses $name (" "$ERR" ||
      fail "$what: not PAM's refusal: $(cat "$ERR")"
    judge "$service" "$name" "$display" && fail "$what: refused, yet pamtester lets $name in"
  fi
done <<< "$CASES"

# The message, exactly, for an expired account. (Debian's common-account turns pam_unix's "User
# account has expired" into pam_deny's answer.)
start_case
account expired /bin/bash '!' 1
run enable expired
expect_run "expired account" 1 "" \
  "Cannot enable automatic login for expired: LightDM's PAM service lightdm-autologin refuses expired (Authentication failure)"$'\n'

# A display number that is not plain digits is not guessed at: LightDM reads it with
# g_key_file_get_integer, whose rules for signs and blanks the helper does not repeat.
start_case
account kb /bin/bash '!' ''
printf '[LightDM]\nminimum-display-number=+7\n%s' "$SEAT" > "$CONF"
snapshot_etc
run enable kb
expect_run "minimum-display-number=+7" 1 "" \
  $'Cannot enable automatic login for kb: cannot tell which display LightDM gives its seats: /etc/lightdm/lightdm.conf sets minimum-display-number=+7 (line 2)\n'
expect_unchanged "minimum-display-number=+7"

# status asks PAM on the display too: pam_access turns kb away on :0.
start_case
account kb /bin/bash '!' ''
echo 'account required pam_access.so' >> /etc/pam.d/lightdm-autologin
echo '-:kb::0' > /etc/security/access.conf
printf '[Seat:*]\nautologin-user=kb\n' > "$CONF"
run status
expect_status "status, pam_access on :0" 0
expect_bytes "status, pam_access on :0 (first line)" <(head -1 "$OUT") \
  $'LightDM will show the greeter and log nobody in on seat0: its PAM service lightdm-autologin refuses kb (Permission denied)\n'

# status asks PAM when run by root, and says why the greeter will show instead.
start_case
account expired /bin/bash '!' 1
printf '[Seat:*]\nautologin-user=expired\n' > "$CONF"
run status
expect_status "status, expired account" 0
expect_bytes "status, expired account (first line)" <(head -1 "$OUT") \
  $'LightDM will show the greeter and log nobody in on seat0: its PAM service lightdm-autologin refuses expired (Authentication failure)\n'
setpriv --reuid=65534 --regid=65534 --clear-groups "$HELPER" status > "$OUT" 2> "$ERR"
STATUS=$?
expect_status "status without root" 0
expect_bytes "status without root (first line)" <(head -1 "$OUT") $'Auto login enabled for user: expired\n'

# PAM that never answers is not waited for without end: a module that sleeps past the deadline
# counts as a refusal. (pam_exec runs the sleeper; the deadline is 30 seconds.)
if ls /usr/lib/*/security/pam_exec.so /lib/*/security/pam_exec.so > /dev/null 2>&1; then
  start_case
  account kb /bin/bash '!' ''
  printf '#!/bin/sh\nsleep 300\n' > "$WORK/sleeper"
  chmod 755 "$WORK/sleeper"
  printf 'auth required pam_exec.so %s\nauth required pam_permit.so\naccount required pam_permit.so\n' \
    "$WORK/sleeper" > /etc/pam.d/lightdm-autologin
  snapshot_etc
  started=$(date +%s)
  # Timed: the pseudo-locale's second run of the refusal would double it.
  BRINDLEWAY_PSEUDO_LOCALE='' run enable kb
  took=$(($(date +%s) - started))
  expect_run "PAM that hangs" 1 "" \
    $'Cannot enable automatic login for kb: cannot ask LightDM\'s PAM service lightdm-autologin: it did not answer within 30 seconds\n'
  [ "$took" -lt 40 ] || fail "PAM that hangs: the run took $took s"
  expect_unchanged "PAM that hangs"
  # pam_exec puts its program in a session of its own, out of reach of the helper's kill.
  pkill -f "$WORK/sleeper"
else
  echo "SKIP (PAM that hangs): pam_exec.so not found"
fi

finish
