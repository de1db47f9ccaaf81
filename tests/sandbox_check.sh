#!/bin/bash
# The sandbox's safety check fails closed: a script that sources tests/lib/sandbox.sh reaches
# its body only in a mount namespace of its own making, and refuses when it cannot tell.
# Usage: sandbox_check.sh
set -u
source "$(dirname "$0")/lib/check.sh"
LIB=$(cd "$(dirname "$0")/lib" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The body only says where it is; it never touches /etc, so a check that fails open is caught
# without harm.
printf 'source %s/sandbox.sh /bin/true\necho "body in $(readlink /proc/self/ns/mnt)"\n' "$LIB" \
  > "$work/probe.sh"
# A readlink that cannot read the links named in BROKEN_LINKS, as where /proc/1 is hidden.
mkdir "$work/bin"
cat > "$work/bin/readlink" <<'FAKE'
#!/bin/sh
for link in $BROKEN_LINKS; do [ "$1" = "$link" ] && exit 1; done
exec /usr/bin/readlink "$@"
FAKE
chmod 755 "$work/bin/readlink"

own_ns=$(readlink /proc/self/ns/mnt)
# Each case: what it stands for | environment | expected start of the output.
cases=(
  "claims to be sandboxed, no namespace recorded|BRINDLEWAY_SANDBOXED=1|FATAL"
  "claims to be sandboxed, /proc/1 unreadable|BRINDLEWAY_SANDBOXED=1 BROKEN_LINKS=/proc/1/ns/mnt|FATAL"
  "claims to be sandboxed in the namespace it started in|BRINDLEWAY_SANDBOXED=1 BRINDLEWAY_OUTER_MNT_NS=$own_ns|FATAL"
  "own namespace link unreadable|BROKEN_LINKS=/proc/self/ns/mnt|FATAL"
)
if [ "$(id -u)" = 0 ] && unshare --mount true 2> /dev/null; then
  cases+=("a real sandbox||body in mnt:"
          "a real sandbox, /proc/1 unreadable|BROKEN_LINKS=/proc/1/ns/mnt|body in mnt:")
else
  echo "SKIP (the sandboxed cases): needs root and a private mount namespace"
fi
for case in "${cases[@]}"; do
  IFS='|' read -r what environment expected <<< "$case"
  # shellcheck disable=SC2086
  output=$(env -u BRINDLEWAY_SANDBOXED -u BRINDLEWAY_OUTER_MNT_NS PATH="$work/bin:$PATH" \
    $environment bash "$work/probe.sh" 2>&1)
  case $output in
    "$expected"*) ;;
    *) fail "$what: printed '$output', expected '$expected...'" ;;
  esac
  if [ "$expected" = FATAL ]; then continue; fi
  [ "${output#body in }" != "$own_ns" ] || fail "$what: the body ran in the test's own namespace"
done

finish
