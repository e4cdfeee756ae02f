#!/usr/bin/env bash
# Checks the documents that the Windows end-to-end tests made under Wine with poppler's Linux
# tools, which a Windows program cannot run: each has no font left (text drawn as outlines), as
# many pages as its input, and nothing qpdf --check or pdfinfo would warn about.
# Usage: check_outputs.sh FIXTURES OUTPUTS
#   FIXTURES  the fixture PDFs, NAME.pdf
#   OUTPUTS   the converted documents, NAME.pdf or NAME.<anything>.pdf, each checked against the
#             fixture NAME.pdf; every fixture must have at least one
set -uo pipefail
fixtures=$1
outputs=$2

for tool in pdffonts pdfinfo qpdf; do
  if ! command -v "$tool" >/dev/null; then
    echo "check_outputs: $tool is missing (Debian's poppler-utils)" >&2
    exit 1
  fi
done

passed=0
failed=0
fail() {
  echo "FAIL  $1" >&2
  failed=$((failed + 1))
}

# Prints the font rows of pdffonts (the table below its two heading lines); fails with it.
fonts() {
  local table
  table=$(pdffonts "$1" 2>&1) || { echo "$table"; return 1; }
  tail -n +3 <<<"$table" | sed '/^$/d'
}

pages() {
  pdfinfo "$1" 2>/dev/null | sed -n 's/^Pages: *//p'
}

shopt -s nullglob
for fixture in "$fixtures"/*.pdf; do
  name=$(basename "$fixture" .pdf)
  converted=("$outputs/$name.pdf" "$outputs/$name".*.pdf)
  [ -f "${converted[0]}" ] || converted=("${converted[@]:1}")
  if [ ${#converted[@]} -eq 0 ]; then
    fail "$name: no converted document in $outputs (did the Wine test before this one pass?)"
    continue
  fi
  if ! input_fonts=$(fonts "$fixture") || [ -z "$input_fonts" ]; then
    fail "$name: the fixture itself shows no font, so the check would prove nothing"
    continue
  fi
  input_pages=$(pages "$fixture")
  if [ -z "$input_pages" ]; then
    fail "$name: pdfinfo cannot read the fixture"
    continue
  fi
  for output in "${converted[@]}"; do
    label=$(basename "$output")
    if ! output_fonts=$(fonts "$output"); then
      fail "$label: pdffonts cannot read it: $output_fonts"
    elif [ -n "$output_fonts" ]; then
      fail "$label: fonts left in the document:"$'\n'"$output_fonts"
    elif [ "$(pages "$output")" != "$input_pages" ]; then
      fail "$label: $(pages "$output") pages, the input has $input_pages"
    elif ! check=$(qpdf --check "$output" 2>&1) || grep -q WARNING <<<"$check"; then
      fail "$label: qpdf --check finds fault with it:"$'\n'"$check"
    elif warnings=$(pdfinfo "$output" 2>&1 >/dev/null) && [ -n "$warnings" ]; then
      fail "$label: pdfinfo warns:"$'\n'"$warnings"
    else
      echo "ok    $label: no font, $input_pages page(s) as its input"
      passed=$((passed + 1))
    fi
  done
done

echo "check_outputs: $passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
