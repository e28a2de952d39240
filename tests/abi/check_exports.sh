#!/bin/sh
# The shared library must define exactly the symbols of the version script.
set -eu
lib=$1; expected=$2
actual=$(mktemp); trap 'rm -f "$actual"' EXIT
# Type A is the version node itself, not a symbol of ours.
"${NM:-nm}" -D --defined-only --format=posix "$lib" | awk '$2 != "A" { sub(/@.*/, "", $1); print $1 }' \
  | sort -u > "$actual"
if ! diff -u "$expected" "$actual"; then
  echo "exported set differs from the version script (- expected, + actual)"
  exit 1
fi
echo "exported set matches: $(wc -l < "$actual") symbols"
