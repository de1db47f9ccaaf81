# Sourced by scripts/other-release: a minimal root of another Debian release, made with
# debootstrap from the mirror this machine's apt already uses, with the packages of
# scripts/packages.txt that the build and the tests need, kept in a cache between runs; and the
# way into it, a private mount and pid namespace.

source "$(dirname "${BASH_SOURCE[0]}")/packages.sh"

# The tags of scripts/packages.txt installed in the root, and the recipe's version: a change of
# either makes a new root. Raise ROOT_RECIPE when the steps below change what a root holds.
ROOT_TAGS=(build test)
ROOT_RECIPE=1
# A root older than this many days is made anew, so that it follows the release's updates.
ROOT_MAX_DAYS=${BRINDLEWAY_ROOT_MAX_DAYS:-14}
ROOT_CACHE=${BRINDLEWAY_ROOT_CACHE:-/var/cache/brindleway-helper/roots}
ROOT_MARK=.brindleway-root

# host_codename: this machine's release, from os-release.
host_codename() {
  (
    # shellcheck disable=SC1091
    . /etc/os-release 2> /dev/null && echo "${VERSION_CODENAME:-}"
  )
}

# other_suite CODENAME: the release the stage tests beside CODENAME: Debian 12 and 13 each test
# the other, so both are covered from either. Nothing for a release the project does not target.
other_suite() {
  case $1 in
    bookworm) echo trixie ;;
    trixie) echo bookworm ;;
  esac
}

# suite_name SUITE: how the summary names a release.
suite_name() {
  case $1 in
    bookworm) echo "Debian 12 (bookworm)" ;;
    trixie) echo "Debian 13 (trixie)" ;;
    *) echo "Debian $1" ;;
  esac
}

# apt_mirror CODENAME: prints "URI<TAB>FILE (FORMAT)" for the first enabled source of binary
# packages whose suite is CODENAME itself (not -updates or -security) with the main component,
# read from apt's deb822 files (*.sources) and its one-line files (sources.list, *.list), in the
# order apt reads them. Fails when there is none that debootstrap can use.
apt_mirror() {
  local codename=$1 file
  local etc=${APT_ETC:-/etc/apt}
  for file in "$etc/sources.list" "$etc"/sources.list.d/*.list "$etc"/sources.list.d/*.sources; do
    [ -r "$file" ] || continue
    case $file in
      *.sources) awk -v suite="$codename" -v file="$file" '
        function flush() {
          if (types ~ /(^| )deb( |$)/ && suites ~ "(^| )" suite "( |$)" &&
              comps ~ /(^| )main( |$)/ && enabled !~ /^(no|false|0)$/ && uri != "") {
            print uri "\t" file " (deb822)"; found = 1; exit
          }
          types = suites = comps = uri = enabled = ""
        }
        /^[ \t]*$/ { flush(); next }
        /^#/ { next }
        /^[ \t]/ { next }
        { key = tolower($1); sub(/:$/, "", key); value = $0; sub(/^[^:]*:[ \t]*/, "", value) }
        key == "types" { types = value }
        key == "suites" { suites = value }
        key == "components" { comps = value }
        key == "enabled" { enabled = tolower(value) }
        key == "uris" { split(value, u, /[ \t]+/); uri = u[1] }
        END { if (!found) flush() }' "$file" ;;
      *) awk -v suite="$codename" -v file="$file" '
        { sub(/#.*/, "") }
        $1 == "deb" {
          i = 2
          if ($i ~ /^\[/) { while ($i !~ /\]$/ && i < NF) i++; i++ }
          if ($(i + 1) != suite) next
          for (j = i + 2; j <= NF; j++) if ($j == "main") { print $i "\t" file " (one-line)"; exit }
        }' "$file" ;;
    esac
  done | awk -F'\t' '$1 ~ /^(https?|file):/ { print; exit }' | grep .
}

# root_key SUITE ARCH: the cache key, the suite, the architecture and a hash of what goes in.
root_key() {
  local hash
  hash=$({ echo "recipe $ROOT_RECIPE"; package_names "${ROOT_TAGS[@]}"; } | sha256sum | cut -c1-12)
  echo "$1-$2-$hash"
}

# root_is_good ROOT: the root was finished (its mark is written last) and is not too old.
root_is_good() {
  [ -f "$1/$ROOT_MARK" ] &&
    [ -z "$(find "$1/$ROOT_MARK" -mtime +"$ROOT_MAX_DAYS" 2> /dev/null)" ]
}

# in_root ROOT SOURCE COMMAND...: runs COMMAND as root in ROOT inside a private mount and pid
# namespace: /proc of that namespace, the host's /dev, an empty /run and /tmp, and SOURCE (if
# not empty) bound read-only at /src with the directory ROOT_BUILD_DIR bound writable over
# /src/build, so that the build inside neither writes over the host's build nor changes the
# sources. The mounts vanish with the namespace, also when the command is killed.
in_root() {
  local root=$1 source=$2 out
  shift 2
  out=${ROOT_BUILD_DIR:-}
  unshare --mount --pid --fork --propagation private --kill-child=SIGKILL \
    bash -c '
      set -e
      root=$1 source=$2 out=$3
      shift 3
      # The root is a mount of its own, so that the tests inside can make their mounts private.
      mount --bind "$root" "$root"
      mount --rbind /dev "$root/dev"
      mount -t proc proc "$root/proc"
      mount -t tmpfs -o mode=0755 tmpfs "$root/run"
      mount -t tmpfs -o mode=1777 tmpfs "$root/tmp"
      if [ -n "$source" ]; then
        mkdir -p "$root/src"
        mount --bind "$source" "$root/src"
        mount -o remount,bind,ro "$root/src"
        mount --bind "$out" "$root/src/build"
      fi
      exec chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
        TERM=dumb DEBIAN_FRONTEND=noninteractive "$@"' \
    in_root "$root" "$source" "$out" "$@"
}

# bootstrap SUITE ARCH MIRROR DIR LOG: a minimal root (debootstrap --variant=minbase) of SUITE
# in DIR, with nothing else installed; debootstrap's output goes to LOG.
bootstrap() {
  local suite=$1 arch=$2 mirror=$3 dir=$4 log=$5
  echo "debootstrap --variant=minbase --arch=$arch $suite $dir $mirror" >> "$log"
  # debootstrap mounts /proc and /sys in the target: a namespace of its own keeps them there.
  unshare --mount --propagation private \
    debootstrap --variant=minbase --arch="$arch" --components=main "$suite" "$dir" "$mirror" \
    >> "$log" 2>&1
}

# make_root SUITE ARCH MIRROR DIR LOG: bootstrap, then apt-get installs the root's packages
# there. Services are kept from starting. Fails on any step.
make_root() {
  local suite=$1 arch=$2 mirror=$3 dir=$4 log=$5 packages
  packages=$(package_names "${ROOT_TAGS[@]}" | tr '\n' ' ')
  bootstrap "$suite" "$arch" "$mirror" "$dir" "$log" || return 1
  printf '#!/bin/sh\nexit 101\n' > "$dir/usr/sbin/policy-rc.d"
  chmod 755 "$dir/usr/sbin/policy-rc.d"
  cp /etc/resolv.conf "$dir/etc/resolv.conf" 2> /dev/null
  echo "apt-get install --no-install-recommends $packages" >> "$log"
  # shellcheck disable=SC2086
  in_root "$dir" "" sh -c "apt-get update -qq && apt-get install -y -qq --no-install-recommends \
    $packages && apt-get clean" >> "$log" 2>&1 || return 1
  rm -f "$dir/usr/sbin/policy-rc.d"
}

# ensure_root SUITE: sets ROOT to a good root of SUITE for this architecture, making it first
# if the cache has none, and holds a shared lock on the cache (fd ROOT_LOCK) until the caller
# exits, so that no other run removes the root while it is in use. A root is made under a
# temporary name and renamed once it is whole, so a failed or killed run never leaves one that
# looks good; the exclusive lock keeps two runs from making or removing roots at once. Says on
# stderr what it does and where the log is.
ensure_root() {
  local suite=$1 arch key partial mirror log
  arch=$(dpkg --print-architecture)
  key=$(root_key "$suite" "$arch")
  ROOT=$ROOT_CACHE/$key
  mkdir -p "$ROOT_CACHE" || return 1
  exec {ROOT_LOCK}> "$ROOT_CACHE/.lock"
  flock "$ROOT_LOCK"
  if root_is_good "$ROOT"; then
    flock -s "$ROOT_LOCK"
    return 0
  fi
  mirror=$(apt_mirror "$(host_codename)") || {
    echo "no Debian mirror for $(host_codename) main in this machine's apt sources" >&2
    return 1
  }
  log=$ROOT_CACHE/$key.log
  # Roots of this suite and architecture that are stale, and what killed runs left.
  rm -rf --one-file-system "$ROOT_CACHE/$suite-$arch-"* "$ROOT_CACHE"/*.partial.*
  partial=$ROOT_CACHE/$key.partial.$$
  echo "Making a $(suite_name "$suite") root for $arch in $ROOT" >&2
  echo "  from ${mirror%%$'\t'*}, the mirror of ${mirror#*$'\t'} (log: $log)" >&2
  : > "$log"
  if ! make_root "$suite" "$arch" "${mirror%%$'\t'*}" "$partial" "$log"; then
    tail -20 "$log" >&2
    rm -rf --one-file-system "$partial"
    return 1
  fi
  printf 'suite=%s\narch=%s\nmirror=%s\nmade=%s\n' "$suite" "$arch" "${mirror%%$'\t'*}" \
    "$(date -u +%FT%TZ)" > "$partial/$ROOT_MARK"
  mv "$partial" "$ROOT" && flock -s "$ROOT_LOCK"
}
