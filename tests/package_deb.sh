#!/bin/bash
# Builds the Debian package the way a packager does (prefix /usr, cpack -G DEB) and checks what
# it holds. Leaves the package at OUT_DIR/brindleway-helper.deb for the pkexec chain test.
# Usage: package_deb.sh SOURCE_DIR OUT_DIR
set -u
SRC=$1 OUT=$2
for tool in dpkg-deb dpkg-shlibdeps; do
  if ! command -v $tool > /dev/null; then
    echo "SKIP: $tool missing (apt-get install dpkg-dev)"
    exit 77
  fi
done
source "$(dirname "$0")/lib/check.sh"

rm -rf "$OUT"
cmake -S "$SRC" -B "$OUT" -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_BUILD_TYPE=Release \
  -DBUILD_TESTING=OFF -DBRINDLEWAY_BENCH=OFF > "$OUT.log" 2>&1 &&
  cmake --build "$OUT" -j"$(nproc)" >> "$OUT.log" 2>&1 &&
  (cd "$OUT" && cpack -G DEB >> "$OUT.log" 2>&1) || {
  cat "$OUT.log" >&2
  echo "FAIL: the package did not build" >&2
  exit 1
}
deb=$(ls "$OUT"/brindleway-helper_*.deb)
ln -sf "$(basename "$deb")" "$OUT/brindleway-helper.deb"

contents=$(dpkg-deb -c "$deb")
echo "$contents"
for entry in "-rwxr-xr-x root/root .* ./usr/libexec/brindleway-helper$" \
  "-rw-r--r-- root/root .* ./usr/share/polkit-1/actions/org.brindleway.helper.autologin.policy$" \
  "-rw-r--r-- root/root .* ./usr/share/man/man8/brindleway-helper.8.gz$"; do
  grep -qE -- "$entry" <<< "$contents" || fail "the package lacks: $entry"
done
[ "$(grep -c -- '^-' <<< "$contents")" = 3 ] || fail "the package holds more than the three files"

fields=$(dpkg-deb -f "$deb")
echo "$fields"
grep -q '^Section: admin$' <<< "$fields" || fail "Section is not admin"
grep -qE '^Depends: (.*, )?pkexec(,|$)' <<< "$fields" || fail "the package does not depend on pkexec"
grep -qE '^Maintainer: .+ <.+@.+>$' <<< "$fields" || fail "no maintainer"

mkdir -p "$OUT/root"
dpkg-deb -x "$deb" "$OUT/root"
grep -q '>/usr/libexec/brindleway-helper</annotate>' \
  "$OUT/root/usr/share/polkit-1/actions/org.brindleway.helper.autologin.policy" ||
  fail "the polkit action does not name /usr/libexec/brindleway-helper"
gzip -t "$OUT/root/usr/share/man/man8/brindleway-helper.8.gz" || fail "the man page is not gzip"

finish
