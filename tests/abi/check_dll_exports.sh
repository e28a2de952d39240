#!/bin/sh
# quorvel.dll must export exactly the names of the module-definition file,
# undecorated, and its import library must offer the variables as data
# only (no call thunk), so that importers reach the DLL's own variables.
# Arguments: the DLL, its import library, the sorted plain export list,
# the names marked DATA.  OBJDUMP and NM name the target's tools.
set -eu
dll=$1; implib=$2; expected=$3; shift 3
actual=$(mktemp); trap 'rm -f "$actual"' EXIT
"${OBJDUMP:-objdump}" -p "$dll" |
  awk '/^\[Ordinal\/Name Pointer\] Table/ { table = 1; next }
       table && /^\t\[ *[0-9]+\]/ { print $NF; next }
       table { table = 0 }' | sort -u > "$actual"
if ! diff -u "$expected" "$actual"; then
  echo "export table differs from the module-definition file (- expected, + actual)"
  exit 1
fi
echo "export table matches: $(wc -l < "$actual") names"
status=0
for name in "$@"; do
  # On i686 C names carry a leading underscore in the archive.
  if "${NM:-nm}" "$implib" | grep -qE " T _?$name\$"; then
    echo "$name has a call thunk in the import library: it must be exported as DATA"
    status=1
  fi
done
[ $status -eq 0 ] && echo "$# variables are data exports"
exit $status
