# Sourced after sandbox.sh by the tests that work on the account tools: a fresh start for each
# case, and stand-ins for the tools at their real paths.

SEAT=$'[Seat:*]\n#autologin-user=\n#autologin-user-timeout=0\n'
TOOL_LOG=$WORK/tools.log
FAKES=()

# Starts a case: fresh /etc with alice, the seat section, the real tools and an empty log.
start_case() {
  local fake
  for fake in "${FAKES[@]}"; do umount "$fake"; done
  FAKES=()
  fresh_etc
  add_user alice 2001
  printf '%s' "$SEAT" > "$CONF"
  : > "$TOOL_LOG"
}

# fake_tool NAME [BODY]: the tool at its real path only logs its arguments to $TOOL_LOG, then
# runs the shell code BODY.
fake_tool() {
  local real fake=$WORK/fake-$1
  real=$(command -v "$1")
  printf '#!/bin/sh\necho "%s $*" >> %s\n%s\n' "$1" "$TOOL_LOG" "${2:-}" > "$fake"
  chmod 755 "$fake"
  mount --bind "$fake" "$real"
  FAKES+=("$real")
}

# What a stand-in for usermod runs to do the tool's work too: list alice in the group that
# add_group made, in both files, as the helper reads the outcome from them.
LIST_ALICE="sed -i '/^autologin:/s/\$/alice/' /etc/group /etc/gshadow"

# add_group MEMBERS [GID]: the autologin group exists, listing MEMBERS (comma-separated).
add_group() {
  echo "autologin:x:${2:-990}:$1" >> /etc/group
  echo "autologin:!::$1" >> /etc/gshadow
}
