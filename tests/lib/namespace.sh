# Sourced first by the tests that need root: re-runs the calling script as root in a private
# mount namespace, where the mounts it makes vanish with it and the host never sees them.
#
# Usage:  source "$(dirname "$0")/lib/namespace.sh" "$@"
# Exits 77 (skipped), saying why, where such a namespace cannot be had.

set -u

# Says why the sandbox cannot be had and stops: a test reports itself skipped. A script that
# talks to a person (scripts/demo) defines sandbox_refused before sourcing this file.
sandbox_unavailable() {
  if declare -F sandbox_refused > /dev/null; then
    sandbox_refused "$1"
  fi
  echo "SKIP: $1"
  exit 77
}

if [ -z "${BRINDLEWAY_SANDBOXED:-}" ]; then
  if [ "$(id -u)" != 0 ]; then
    sandbox_unavailable "needs root to make a private mount namespace"
  fi
  if ! unshare --mount --propagation private true 2> /dev/null; then
    sandbox_unavailable "this system refuses a private mount namespace (unshare --mount failed)"
  fi
  # The namespace we start in, for the check below: anything but a readable link refuses.
  outer_ns=$(readlink /proc/self/ns/mnt 2> /dev/null) || outer_ns=""
  if [ -z "$outer_ns" ]; then
    echo "FATAL: cannot read this process's mount namespace; refusing to touch /etc" >&2
    exit 1
  fi
  BRINDLEWAY_OUTER_MNT_NS=$outer_ns BRINDLEWAY_SANDBOXED=1 \
    exec unshare --mount --propagation private bash "$0" "$@"
fi

# Never go on unless this really is a namespace of our own: a different one from the namespace
# the script started in, both read. This fails closed: a link that cannot be read, or a
# sandboxed run that did not come through the unshare above, refuses.
inner_ns=$(readlink /proc/self/ns/mnt 2> /dev/null) || inner_ns=""
if [ -z "$inner_ns" ] || [ -z "${BRINDLEWAY_OUTER_MNT_NS:-}" ] ||
  [ "$inner_ns" = "$BRINDLEWAY_OUTER_MNT_NS" ]; then
  echo "FATAL: not in a private mount namespace of this script's making; refusing to touch /etc" >&2
  exit 1
fi
unset outer_ns inner_ns
