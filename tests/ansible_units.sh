#!/bin/bash
# The Ansible collection's unit tests, as `ansible-test units` runs them (pytest --forked -n),
# with the Python of Debian's ansible-core, and the sanity tests that need no Python package
# index (the module shebang among them). ansible-test writes tests/output/ into the collection
# and ~/.ansible into HOME, and the sources may be read-only: both go to a temporary tree.
# Usage: ansible_units.sh SOURCE_DIR
set -u
if ! command -v ansible-test > /dev/null; then
  echo "SKIP: ansible-test is not installed (apt-get install ansible-core)"
  exit 77
fi
tree=$(mktemp -d /tmp/brindleway-ansible.XXXXXX)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/home" "$tree/ansible_collections/brindleway"
cp -a "$1/ansible/ansible_collections/brindleway/lightdm" "$tree/ansible_collections/brindleway/"
# ansible-test runs the interpreter its own package was made for, whatever python3 PATH finds.
python=$(head -1 "$(command -v ansible-test)" | sed -n 's|^#! *\(/[^ ]*python[0-9.]*\).*|\1|p')
version=$("${python:-/usr/bin/python3}" -c 'import sys; print("%d.%d" % sys.version_info[:2])')
cd "$tree/ansible_collections/brindleway/lightdm" || exit 1
export HOME=$tree/home
sanity=()
available=$(ansible-test sanity --list-tests 2> /dev/null)
for test in action-plugin-docs compile empty-init line-endings no-assert no-get-exception \
  no-illegal-filenames no-main-display no-smart-quotes no-unicode-literals replace-urlopen \
  shebang symlinks use-argspec-type-path use-compat-six; do
  grep -qx "$test" <<< "$available" && sanity+=(--test "$test")
done
ansible-test sanity --color no --python "$version" "${sanity[@]}" &&
  ansible-test units --color no --python "$version"
