#!/bin/bash
# Builds the Debian package as a maintainer does, `dpkg-buildpackage -us -uc -b` from debian/,
# on a copy of the sources (the build writes beside the tree it builds), holds lintian --pedantic
# to no error and no warning, and checks what the package holds. Leaves the package at
# OUT_DIR/brindleway-helper.deb for the install and pkexec chain tests.
# Usage: package_deb.sh SOURCE_DIR OUT_DIR
set -u
SRC=$1 OUT=$2
for tool in dpkg-buildpackage dh lintian; do
  if ! command -v $tool > /dev/null; then
    echo "SKIP: $tool is not installed (scripts/test installs it: dpkg-dev, debhelper, lintian)"
    exit 77
  fi
done
source "$(dirname "$0")/lib/check.sh"

rm -rf "$OUT"
tree=$OUT/src/brindleway-helper
mkdir -p "$tree"
tar -C "$SRC" --anchored --exclude='./build*' --exclude=./.git -cf - . | tar -C "$tree" -xf -
# dpkg-checkbuilddeps, part of the build, fails when debian/control asks for a package that
# scripts/packages.txt does not install.
if ! (cd "$tree" && dpkg-buildpackage -us -uc -b) > "$OUT/build.log" 2>&1; then
  tail -40 "$OUT/build.log" >&2
  echo "FAIL: dpkg-buildpackage -us -uc -b failed (whole log: $OUT/build.log)" >&2
  exit 1
fi
deb=$(ls "$OUT"/src/brindleway-helper_*.deb)
ln -sf "${deb#"$OUT"/}" "$OUT/brindleway-helper.deb"

lintian --pedantic --info --display-info "$OUT"/src/brindleway-helper_*.changes > "$OUT/lintian.log" 2>&1
echo "lintian --pedantic:"
sed 's/^/    /' "$OUT/lintian.log"
if grep -qE '^[EW]: ' "$OUT/lintian.log"; then
  fail "lintian reports errors or warnings"
fi

# expect_holds DEB ENTRY...: DEB holds a file for each ENTRY (a pattern of dpkg-deb -c's lines),
# and no other file.
expect_holds() {
  local deb=$1 entry contents
  shift
  contents=$(dpkg-deb -c "$deb")
  echo "$contents"
  for entry in "$@"; do
    grep -qE -- "$entry" <<< "$contents" || fail "$(basename "$deb") lacks: $entry"
  done
  [ "$(grep -c -- '^-' <<< "$contents")" = "$#" ] ||
    fail "$(basename "$deb") holds more than the $# files"
}

# What the package holds: the table in docs/install.md, and the two files Debian asks of every package.
expected=(
  "-rwxr-xr-x root/root .* ./usr/libexec/brindleway-helper$"
  "-rw-r--r-- root/root .* ./usr/share/polkit-1/actions/org.brindleway.helper.autologin.policy$"
  "-rw-r--r-- root/root .* ./usr/share/man/man8/brindleway-helper.8.gz$"
  "-rw-r--r-- root/root .* ./usr/share/doc/brindleway-helper/copyright$"
  "-rw-r--r-- root/root .* ./usr/share/doc/brindleway-helper/changelog.gz$"
  "-rw-r--r-- root/root .* ./usr/share/doc/brindleway-helper/result.schema.json$"
  "-rw-r--r-- root/root .* ./usr/share/doc/brindleway-helper/status.schema.json$"
)
# A message catalog for every language of po/LINGUAS.
for lang in $(grep -v '^#' "$SRC/po/LINGUAS"); do
  expected+=("-rw-r--r-- root/root .* ./usr/share/locale/$lang/LC_MESSAGES/brindleway-helper\\.mo$")
done
expect_holds "$deb" "${expected[@]}"

fields=$(dpkg-deb -f "$deb")
echo "$fields"
grep -q '^Section: admin$' <<< "$fields" || fail "Section is not admin"
for package in pkexec passwd; do
  grep -qE "^Depends: (.*, )?$package(,|\$)" <<< "$fields" || fail "the package does not depend on $package"
done
grep -qE '^Maintainer: .+ <.+@.+>$' <<< "$fields" || fail "no maintainer"

mkdir -p "$OUT/root"
dpkg-deb -x "$deb" "$OUT/root"
grep -q '>/usr/libexec/brindleway-helper</annotate>' \
  "$OUT/root/usr/share/polkit-1/actions/org.brindleway.helper.autologin.policy" ||
  fail "the polkit action does not name /usr/libexec/brindleway-helper"
gzip -t "$OUT/root/usr/share/man/man8/brindleway-helper.8.gz" || fail "the man page is not gzip"
msgunfmt --no-wrap "$OUT/root/usr/share/locale/de/LC_MESSAGES/brindleway-helper.mo" 2> /dev/null |
  grep -q '^msgstr "Zum Ändern der automatischen Anmeldung' ||
  fail "the German catalog lacks the polkit action's message"
# GPL-3.0-or-later, as the sources' LICENSE, in Debian's machine-readable form.
copyright=$OUT/root/usr/share/doc/brindleway-helper/copyright
grep -qx 'License: GPL-3+' "$copyright" || fail "debian/copyright does not license the files GPL-3+"
grep -q '/usr/share/common-licenses/GPL-3' "$copyright" ||
  fail "debian/copyright does not point at /usr/share/common-licenses/GPL-3"
cmp -s "$SRC/LICENSE" /usr/share/common-licenses/GPL-3 ||
  fail "LICENSE is not the text of the GPL version 3"
# The installed binary is the one dpkg-buildflags hardened, not a plain build.
bash "$(dirname "$0")/dist_test.sh" "$OUT/root/usr/libexec/brindleway-helper" \
  "$OUT/root/usr/share/polkit-1/actions/org.brindleway.helper.autologin.policy" \
  "$SRC/dist/brindleway-helper.8" > "$OUT/dist.log" 2>&1 ||
  fail "the packaged helper fails the dist checks: $(cat "$OUT/dist.log")"

# The Ansible collection: on ansible-core's default collections path, for every architecture,
# beside the helper it asks.
collection=$(ls "$OUT"/src/ansible-collection-brindleway-lightdm_*_all.deb)
tree=./usr/share/ansible/collections/ansible_collections/brindleway/lightdm
expected=()
for file in README.md galaxy.yml meta/runtime.yml plugins/module_utils/helper.py \
  plugins/doc_fragments/helper.py \
  plugins/modules/autologin.py plugins/modules/autologin_info.py; do
  expected+=("-rw-r--r-- root/root .* ${tree//./\\.}/${file//./\\.}\$")
done
for file in doc/ansible-collection-brindleway-lightdm/copyright \
  doc/ansible-collection-brindleway-lightdm/changelog.gz \
  lintian/overrides/ansible-collection-brindleway-lightdm; do
  expected+=("-rw-r--r-- root/root .* ./usr/share/$file\$")
done
expect_holds "$collection" "${expected[@]}"
fields=$(dpkg-deb -f "$collection")
echo "$fields"
version=$(dpkg-deb -f "$deb" Version)
grep -q '^Architecture: all$' <<< "$fields" || fail "the collection's package is not Architecture: all"
grep -qE "^Depends: (.*, )?brindleway-helper \(>= $version\)(,|\$)" <<< "$fields" ||
  fail "the collection's package does not depend on brindleway-helper (>= $version)"
grep -qx 'Enhances: ansible-core' <<< "$fields" || fail "the collection's package does not enhance ansible-core"
if command -v ansible-doc > /dev/null; then
  dpkg-deb -x "$collection" "$OUT/collection"
  # Where ansible-core looks for collections when nothing else is set.
  ansible_home=$OUT/ansible-home
  mkdir -p "$ansible_home"
  HOME=$ansible_home LC_ALL=C.UTF-8 ansible-config dump | grep -q "^COLLECTIONS_PATHS(default) = .*'/usr/share/ansible/collections'" ||
    fail "/usr/share/ansible/collections is not on ansible-core's default collections path"
  listed=$(HOME=$ansible_home LC_ALL=C.UTF-8 ANSIBLE_COLLECTIONS_PATH=$OUT/collection/usr/share/ansible/collections \
    ansible-doc -t module -l brindleway.lightdm 2>&1)
  for module in autologin autologin_info; do
    grep -q "^brindleway\.lightdm\.$module " <<< "$listed" ||
      fail "ansible-doc does not find brindleway.lightdm.$module in the package: $listed"
  done
else
  echo "SKIP: ansible-doc is not installed: the packaged collection is not loaded"
fi

finish
