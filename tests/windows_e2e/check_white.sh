#!/usr/bin/env bash
# Checks that every page of the documents the confinement tests made under Wine renders almost
# white, with poppler's pdftoppm and ImageMagick's identify. Their items draw only a small bar
# of their own; a page that shows a file from the temporary directory is black.
# Usage: check_white.sh OUTPUTS
#   OUTPUTS  the converted documents; there must be at least one
set -uo pipefail
outputs=$1

for tool in pdftoppm identify; do
  if ! command -v "$tool" >/dev/null; then
    echo "check_white: $tool is missing (Debian's poppler-utils and imagemagick)" >&2
    exit 1
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

passed=0
failed=0
fail() {
  echo "FAIL  $1" >&2
  failed=$((failed + 1))
}

shopt -s nullglob
for pdf in "$outputs"/*.pdf; do
  label=$(basename "$pdf")
  rm -f "$work"/*
  if ! pdftoppm -gray -r 20 "$pdf" "$work/page" 2>/dev/null; then
    fail "$label: pdftoppm cannot render it"
    continue
  fi
  pages=("$work"/*.pgm)
  if [ ${#pages[@]} -eq 0 ]; then
    fail "$label: no page rendered"
    continue
  fi
  dark=""
  for page in "${pages[@]}"; do
    # The mean grey from 0 (black) to 1 (white), and whether it passes.
    read -r mean white < <(identify -format '%[fx:mean] %[fx:mean>=0.9]\n' "$page" 2>/dev/null)
    [ "${white:-0}" = 1 ] || dark+=" $(basename "$page" .pgm) (mean ${mean:-unreadable})"
  done
  if [ -n "$dark" ]; then
    fail "$label: dark pages:$dark"
  else
    echo "ok    $label: ${#pages[@]} white page(s)"
    passed=$((passed + 1))
  fi
done

[ $((passed + failed)) -gt 0 ] || fail "no document in $outputs (did the Wine test before this one pass?)"
echo "check_white: $passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
