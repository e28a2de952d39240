#!/bin/sh
# Every src/<family>/X.exports names only symbols that X.cpp defines, and
# belongs to a source the build compiles.  Arguments: the source tree, then
# the library's object files (…/src/<family>/X.cpp.o or .obj).  SKIP names
# the lists of sources that only other platforms compile; SYMBOL_PREFIX is
# what the target's object files put before C names ("_" on 32-bit Windows).
set -eu
src=$1; shift
status=0
tmp=$(mktemp); trap 'rm -f "$tmp"' EXIT
for list in $(find "$src/src" -name '*.exports' | sort); do
  rel=${list#"$src"/}
  case " ${SKIP:-} " in *" $rel "*) continue ;; esac
  object=""
  for o in "$@"; do
    case $o in */"${rel%.exports}.cpp.o" | */"${rel%.exports}.cpp.obj") object=$o ;; esac
  done
  if [ -z "$object" ]; then
    echo "$rel: no compiled source ${rel%.exports}.cpp"
    status=1
    continue
  fi
  missing=$(grep -v '^#' "$list" | awk '{ print $1 }' | sort -u |
    comm -23 - "$("${NM:-nm}" --defined-only -g --format=posix "$object" | awk -v p="${SYMBOL_PREFIX:-}" '{ n = $1; if (p != "" && index(n, p) == 1) n = substr(n, length(p) + 1); print n }' | sort -u > "$tmp"; echo "$tmp")")
  for name in $missing; do
    echo "$rel: $name is not defined in ${rel%.exports}.cpp"
    status=1
  done
done
[ $status -eq 0 ] && echo "every export list matches its source"
exit $status
