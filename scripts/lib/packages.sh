# Sourced by scripts/demo, scripts/test and .ci/run: installs, with apt-get, the packages of
# scripts/packages.txt that a command needs and this machine lacks, saying which and why.

PACKAGE_LIST=$(dirname "${BASH_SOURCE[0]}")/../packages.txt

# packages_for TAG...: prints "package<TAB>purpose" for each line of the list that has one of
# TAGs among its comma-separated tags.
packages_for() {
  awk -v tags=" $* " '!/^#/ && NF >= 2 {
    n = split($2, own, ",")
    for (i = 1; i <= n; i++) if (index(tags, " " own[i] " ")) {
      package = $1; $1 = ""; $2 = ""; sub(/^ +/, ""); print package "\t" $0; break } }' \
    "$PACKAGE_LIST"
}

# package_names TAG...: the names alone, one a line, sorted: what a root for TAGs is made of.
package_names() {
  packages_for "$@" | cut -f1 | LC_ALL=C sort -u
}

# missing_packages TAG...: the same lines, for the packages that are not installed.
missing_packages() {
  local package purpose
  while IFS=$'\t' read -r package purpose; do
    if [ "$(dpkg-query -W -f='${db:Status-Status}' "$package" 2> /dev/null)" != installed ]; then
      printf '%s\t%s\n' "$package" "$purpose"
    fi
  done < <(packages_for "$@")
}

# install_missing COMMAND TAG...: installs what TAGs need, or, when not root, says exactly what
# to run instead and fails. COMMAND names the caller in that message.
install_missing() {
  local command=$1 missing names
  shift
  missing=$(missing_packages "$@")
  [ -n "$missing" ] || return 0
  names=$(cut -f1 <<< "$missing" | tr '\n' ' ')
  if [ "$(id -u)" != 0 ]; then
    echo "$command needs Debian packages that are not installed: ${names% }." >&2
    echo "Install them as root, then run $command again:" >&2
    echo "    apt-get install --no-install-recommends ${names% }" >&2
    echo "or run $command as root, which installs them itself." >&2
    return 1
  fi
  echo "Installing with apt-get what $command needs and this machine lacks:"
  awk -F'\t' '{ printf "    %-20s %s\n", $1, $2 }' <<< "$missing"
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive apt-get update -qq &&
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $names \
      > /dev/null || {
    echo "$command: apt-get could not install: ${names% }" >&2
    return 1
  }
}
