#!/bin/bash
# The other release's root is made from the mirror that this machine's apt uses: the mirror is
# read from apt's sources in both formats, and only a source of the release's own suite with
# main counts (not -security, not -updates, not one that is disabled, not a CD). And the cache
# key changes with what the root is made of.
# Usage: release_root_test.sh
set -u
source "$(dirname "$0")/lib/check.sh"
source "$(dirname "$0")/../scripts/lib/release_root.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Each case: what it stands for | file under /etc/apt | its content | expected output, where @
# stands for the apt directory.
M=http://mirror.example/debian
cases=(
  "deb822, security first|sources.list.d/debian.sources|Types: deb\nURIs: $M-security\nSuites: bookworm-security\nComponents: main\n\nTypes: deb\nURIs: $M\nSuites: bookworm bookworm-updates\nComponents: main\n|$M\t@/sources.list.d/debian.sources (deb822)"
  "deb822, source packages only|sources.list.d/src.sources|Types: deb-src\nURIs: $M\nSuites: bookworm\nComponents: main\n|"
  "deb822, disabled, then enabled|sources.list.d/two.sources|Enabled: no\nTypes: deb\nURIs: http://off.example/debian\nSuites: bookworm\nComponents: main\n\n# note\nTypes: deb deb-src\nURIs: $M http://second.example/debian\nSuites: bookworm\nComponents: contrib main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n|$M\t@/sources.list.d/two.sources (deb822)"
  "deb822, no main|sources.list.d/c.sources|Types: deb\nURIs: $M\nSuites: bookworm\nComponents: contrib\n|"
  "deb822, another release|sources.list.d/t.sources|Types: deb\nURIs: $M\nSuites: trixie\nComponents: main\n|"
  "one-line, with options|sources.list|# deb http://commented.example/debian bookworm main\ndeb-src $M bookworm main\ndeb [arch=amd64 signed-by=/k.gpg] $M bookworm main contrib\n|$M\t@/sources.list (one-line)"
  "one-line, updates only|sources.list|deb $M bookworm-updates main\n|"
  "one-line, a CD then a mirror|sources.list.d/x.list|deb cdrom:[Debian 12]/ bookworm main\ndeb https://mirror.example/debian bookworm main\n|https://mirror.example/debian\t@/sources.list.d/x.list (one-line)"
)
for case in "${cases[@]}"; do
  IFS='|' read -r what file content expected <<< "$case"
  rm -rf "$work/apt"
  mkdir -p "$work/apt/sources.list.d"
  printf "$content" > "$work/apt/$file"
  got=$(APT_ETC=$work/apt apt_mirror bookworm)
  status=$?
  expected=$(printf "${expected//@/$work/apt}")
  [ "$got" = "$expected" ] || fail "$what: got '$got', expected '$expected'"
  if [ -z "$expected" ] && [ "$status" = 0 ]; then fail "$what: found a mirror where none is"; fi
done

# The key: suite, architecture and a hash of the package list and recipe; another list, another
# key; the same list, the same key.
list=$work/packages.txt
printf 'cmake build x\nlightdm test y\nclang host z\n' > "$list"
PACKAGE_LIST=$list
key1=$(root_key trixie amd64)
[[ $key1 =~ ^trixie-amd64-[0-9a-f]{12}$ ]] || fail "key '$key1' is not suite-arch-hash"
printf 'cmake build x\nlightdm test y\nclang host z2\nvalgrind lint w\n' > "$list"
[ "$(root_key trixie amd64)" = "$key1" ] || fail "a package the root does not install changed the key"
printf 'cmake build x\nlightdm test y\npamtester test,lint v\n' > "$list"
[ "$(root_key trixie amd64)" != "$key1" ] || fail "a package more in the root left the key as it was"

# A root counts only once its mark is written, and not when older than the limit.
mkdir "$work/root"
root_is_good "$work/root" && fail "a root without its mark counts as good"
: > "$work/root/$ROOT_MARK"
root_is_good "$work/root" || fail "a finished root does not count as good"
touch -d "$((ROOT_MAX_DAYS + 2)) days ago" "$work/root/$ROOT_MARK"
root_is_good "$work/root" && fail "a root older than $ROOT_MAX_DAYS days counts as good"

finish
