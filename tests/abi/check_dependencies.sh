#!/bin/sh
# C programs must not pull in the C++ runtime through quorvel.
set -eu
needed=$(readelf -d "$1" | awk '/NEEDED/ { print $5 }')
echo "NEEDED: $needed"
if echo "$needed" | grep -qE 'libstdc\+\+|libgcc_s'; then
  echo "libquorvel depends on the C++ runtime"
  exit 1
fi
readelf -d "$1" | grep -q 'SONAME' || { echo "no SONAME"; exit 1; }
