#!/bin/sh
# quorvel.dll may import system DLLs only: no C++ runtime, no threads
# library, no compiler runtime beside it.  The IP configuration module is
# loaded at run time and must not appear here either.
set -eu
imports=$("${OBJDUMP:-objdump}" -p "$1" | awk '/DLL Name:/ { print $3 }' | sort -u)
echo "imports:" $imports
status=0
for dll in $imports; do
  case $(echo "$dll" | tr 'A-Z' 'a-z') in
    kernel32.dll | msvcrt.dll | ws2_32.dll | api-ms-win-core-synch-l1-2-0.dll | api-ms-win-crt-*.dll) ;;
    *) echo "not a system DLL: $dll"; status=1 ;;
  esac
done
exit $status
