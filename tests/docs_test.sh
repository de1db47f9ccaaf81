#!/bin/bash
# The README stays short and true, and the pages under docs/ stay reachable:
#  - the two commands the README tells a newcomer to run are the ones CI and the fresh-machine
#    check run;
#  - the package file the install steps name carries the version of debian/changelog;
#  - the README's times are the ones docs/testing.md measured;
#  - every relative link, anchor included, leads somewhere, and every page's table of contents
#    lists each of its sections.
# Usage: docs_test.sh SOURCE_DIR
set -u
cd "$1" || exit 1
source tests/lib/check.sh

lines=$(wc -l < README.md)
[ "$lines" -le 150 ] || fail "README.md has $lines lines, more than 150"

# The commands of the README's code blocks, one a line.
readme_commands=$(awk '/^```/ { inside = !inside; next } inside' README.md)
for command in scripts/demo scripts/test; do
  grep -qx "$command" <<< "$readme_commands" || fail "README.md does not tell to run $command"
done
grep -qx 'scripts/test' .ci/run || fail ".ci/run does not run the README's scripts/test"
grep -qx '\[ $# -gt 0 \] || set -- scripts/demo scripts/test' scripts/fresh-machine ||
  fail "scripts/fresh-machine does not run the README's two commands by default"

version=$(sed -n '1s/^brindleway-helper (\([^)]*\)).*/\1/p' debian/changelog)
[ -n "$version" ] || fail "no version in debian/changelog"
for page in README.md docs/*.md; do
  for named in $(grep -o 'brindleway-helper_[^_ ]*_' "$page" | sort -u); do
    [ "$named" = "brindleway-helper_${version}_" ] ||
      fail "$page names ${named}amd64.deb, but debian/changelog is at $version"
  done
done

# The fresh-machine rows of the README's table are rows of docs/testing.md's.
while IFS= read -r row; do
  grep -qF -- "$row" docs/testing.md || fail "README.md's row '$row' is not in docs/testing.md"
done < <(grep -E '^\| Debian 1[0-9] \|' README.md | sed 's/ |$//')

# slug HEADING: the anchor a Markdown renderer gives a heading.
slug() {
  tr '[:upper:]' '[:lower:]' <<< "$1" | sed -e 's/[^a-z0-9 _-]//g' -e 's/ /-/g'
}

# anchors PAGE: the anchors of PAGE's headings, one a line.
anchors() {
  local heading
  grep -E '^#{1,6} ' "$1" | sed -E 's/^#+ //' | while IFS= read -r heading; do
    slug "$heading"
  done
}

for page in README.md docs/*.md; do
  dir=$(dirname "$page")
  for link in $(grep -oE '\]\([^)]+\)' "$page" | sed -E 's/^\]\((.*)\)$/\1/' | grep -v '://'); do
    file=${link%%#*}
    anchor=${link#"$file"}
    anchor=${anchor#\#}
    target=$page
    [ -z "$file" ] || target=$dir/$file
    if [ ! -e "$target" ]; then
      fail "$page links to $link, and $target does not exist"
    elif [ -n "$anchor" ] && ! anchors "$target" | grep -qx -- "$anchor"; then
      fail "$page links to $link, and $target has no such heading"
    fi
  done
done

for page in docs/*.md; do
  while IFS= read -r heading; do
    grep -qF -- "](#$(slug "$heading"))" "$page" ||
      fail "$page: its table of contents lacks '$heading'"
  done < <(grep -E '^## ' "$page" | sed 's/^## //')
done

finish
