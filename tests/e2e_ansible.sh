#!/bin/bash
# The Ansible collection against the built helper: ansible-playbook, connection local, runs the
# integration target's phases as root on the sandbox's /etc. --check --diff shows the change and
# leaves /etc byte for byte as it was; the real run changes, then not; each refusal fails the
# task with the message and the code the helper itself gives for that case, and changes nothing.
source "$(dirname "$0")/lib/sandbox.sh" "$@"

if ! command -v ansible-playbook > /dev/null; then
  echo "SKIP: ansible-playbook is not installed (apt-get install ansible-core)"
  exit 77
fi
SOURCE=$(cd "$(dirname "$0")/.." && pwd)/ansible/ansible_collections/brindleway/lightdm
fresh_etc
add_user alice 2001
cp -a "$WORK/etc.pristine/lightdm/lightdm.conf" "$CONF"

# ansible-playbook writes ~/.ansible and needs a UTF-8 locale; it runs on a copy of the
# collection, as the sources may be read-only.
export HOME=$WORK/home LC_ALL=C.UTF-8 ANSIBLE_NOCOLOR=1 ANSIBLE_RETRY_FILES_ENABLED=0
export ANSIBLE_COLLECTIONS_PATH=$WORK/collections ANSIBLE_PYTHON_INTERPRETER=/usr/bin/python3
export ANSIBLE_ROLES_PATH=$ANSIBLE_COLLECTIONS_PATH/ansible_collections/brindleway/lightdm/tests/integration/targets
mkdir -p "$HOME" "$ANSIBLE_COLLECTIONS_PATH/ansible_collections/brindleway"
cp -a "$SOURCE" "$ANSIBLE_COLLECTIONS_PATH/ansible_collections/brindleway/"
printf -- '- hosts: localhost\n  gather_facts: false\n  roles: [autologin]\n' > "$WORK/play.yml"
PLAY_LOG=$WORK/play.log

# play WHAT PHASE [ansible-playbook options...]: runs the phase for alice; WHAT fails on exit
# status other than 0, with the play's output.
play() {
  local what=$1 phase=$2
  shift 2
  (cd "$WORK" && ansible-playbook -i localhost, -c local "$@" -e "phase=$phase" -e user=alice \
    -e "helper=$HELPER" -e "@$WORK/expected.json" play.yml) > "$PLAY_LOG" 2>&1 ||
    fail "$what: ansible-playbook failed: $(grep -E 'FAILED|fatal|ERROR|msg' "$PLAY_LOG" | head -20)"
}

# etc_state: every byte, mode, owner and time under /etc.
etc_state() { tar --sort=name -C /etc -cf - . | sha256sum; }

# expected ARGS...: the helper's own answer to ARGS, which the task must hand on: the message of
# the plain run and the code of the --json run, as JSON. With AS_USER set, run as that uid.
expected() {
  local as=() msg code
  [ -z "${AS_USER:-}" ] || as=(setpriv --reuid="$AS_USER" --regid="$AS_USER" --clear-groups)
  msg=$(LC_ALL=C "${as[@]}" "$HELPER" "$@" 2>&1 > /dev/null)
  code=$(LC_ALL=C "${as[@]}" "$HELPER" --json "$@" 2> /dev/null | python3 -c \
    'import json, sys; print((json.load(sys.stdin).get("refusal") or {}).get("code"))' 2> /dev/null)
  python3 -c 'import json, sys; print(json.dumps(dict(msg=sys.argv[1], code=sys.argv[2])))' \
    "$msg" "${code:-None}"
}
echo "{\"not_root\": $(AS_USER=2001 expected disable)}" > "$WORK/expected.json"

before=$(etc_state)
play "--check --diff" check --check --diff
[ "$(etc_state)" = "$before" ] || fail "--check --diff changed /etc"
for line in '+autologin-user=alice' '+alice' '+++ after: /etc/lightdm/lightdm.conf'; do
  grep -qxF -- "$line" "$PLAY_LOG" || fail "--check --diff does not show '$line': $(cat "$PLAY_LOG")"
done

play "enable, again, status, disable" apply
grep -q "changed=2 .*failed=0" "$PLAY_LOG" || fail "enable, disable: not two changes: $(tail -3 "$PLAY_LOG")"

# One case a line: what it lays out (a shell command), the helper's arguments, the task's.
while IFS='|' read -r case layout args task; do
  fresh_etc
  add_user alice 2001
  cp -a "$WORK/etc.pristine/lightdm/lightdm.conf" "$CONF"
  eval "$layout"
  # shellcheck disable=SC2086
  echo "{\"refused\": $(expected $args | sed "s/}\$/, \"args\": $task}/")}" > "$WORK/expected.json"
  before=$(etc_state)
  play "$case" refusal
  [ "$(etc_state)" = "$before" ] || fail "$case: /etc changed"
done << 'EOF_CASES'
uid 0|:|enable root|{"user": "root"}
a session that is not installed|sed -i 's/^\[Seat:\*\]$/&\nuser-session=no-such-desktop/' "$CONF"|enable alice|{"user": "alice"}
a drop-in that overrides|mkdir -p /etc/lightdm/lightdm.conf.d && printf '[Seat:seat0]\nautologin-user=bob\n' > /etc/lightdm/lightdm.conf.d/50-seat0.conf|disable|{"state": "disabled"}
EOF_CASES

finish
