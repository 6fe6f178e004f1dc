#!/usr/bin/env bash
# Every file of the help project's [FILES] section is in the compiled help,
# as chmls (package fp-utils) lists it, and the contents and index are too;
# read back with chmlib (package libchm-bin, the reader xchm uses), each page
# holds the same bytes as the page it was compiled from.
#
#   chm_lists_pages.sh LUMIVUE.CHM LUMIVUE.HHP
set -euo pipefail
chm=$1 hhp=$2
command -v chmls >/dev/null || { echo "chmls is missing (scripts/install-deps)" >&2; exit 1; }
listing=$(chmls list "$chm" 2>/dev/null) || { echo "FAIL: chmls cannot read $chm" >&2; exit 1; }

expected=$(awk '/^\[FILES\]/ { files = 1; next } /^\[/ { files = 0 } files && NF { print }' "$hhp")
expected+=$'\n'toc.hhc$'\n'index.hhk
missing=0 count=0
while IFS= read -r file; do
  file=${file%$'\r'}
  [ -n "$file" ] || continue
  count=$((count + 1))
  # chmls prints the path inside the file last on each line, from the root.
  if ! grep -qE "[[:space:]]/${file//./\\.}\$" <<<"$listing"; then
    echo "FAIL: $file is not in $chm" >&2
    missing=$((missing + 1))
  fi
done <<<"$expected"
[ "$count" -ge 10 ] || { echo "FAIL: only $count files named in $hhp" >&2; exit 1; }
[ "$missing" -eq 0 ] || exit 1

command -v extract_chmLib >/dev/null || { echo "extract_chmLib is missing (scripts/install-deps)" >&2; exit 1; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
extract_chmLib "$chm" "$out" >/dev/null
source_dir=$(dirname "$hhp")
while IFS= read -r file; do
  file=${file%$'\r'}
  case $file in *.html | *.css | *.png) ;; *) continue ;; esac
  cmp -s "$source_dir/$file" "$out/$file" || { echo "FAIL: $file differs once read back" >&2; missing=1; }
done <<<"$expected"
[ "$missing" -eq 0 ] || exit 1
echo "all $count files of the project are in $(basename "$chm")"
