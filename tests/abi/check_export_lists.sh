#!/bin/sh
# Every src/<family>/X.exports names only symbols that X.cpp defines, and
# belongs to a source the build compiles.  Arguments: the source tree, then
# the library's object files (…/src/<family>/X.cpp.o).
set -eu
src=$1; shift
status=0
tmp=$(mktemp); trap 'rm -f "$tmp"' EXIT
for list in $(find "$src/src" -name '*.exports' | sort); do
  rel=${list#"$src"/}
  object=""
  for o in "$@"; do
    case $o in */"${rel%.exports}.cpp.o") object=$o ;; esac
  done
  if [ -z "$object" ]; then
    echo "$rel: no compiled source ${rel%.exports}.cpp"
    status=1
    continue
  fi
  missing=$(grep -v '^#' "$list" | sort -u |
    comm -23 - "$("${NM:-nm}" --defined-only -g --format=posix "$object" | awk '{print $1}' | sort -u > "$tmp"; echo "$tmp")")
  for name in $missing; do
    echo "$rel: $name is not defined in ${rel%.exports}.cpp"
    status=1
  done
done
[ $status -eq 0 ] && echo "every export list matches its source"
exit $status
