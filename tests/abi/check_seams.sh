#!/bin/sh
# The include rule of src/README.md: a family includes only its own files,
# src/common/, src/platform/platform.hpp and the public headers (common/
# is a family in this sense); only platform/ includes the operating
# system's headers.
set -eu
cd "$1/src"
os_headers='pthread\.h|unistd\.h|sys/|netinet/|arpa/|netdb\.h|ifaddrs\.h|linux/|fcntl\.h|spawn\.h|signal\.h|dlfcn\.h|windows\.h|winsock2\.h'
report=$(find . -path ./platform -prune -o \( -name '*.cpp' -o -name '*.hpp' \) -print | sort |
  xargs grep -nE '^#include ["<]' | awk -F: -v os="^#include <($os_headers)" '
    {
      split($1, part, "/"); family = part[2]
      line = $0; sub(/^[^:]*:[^:]*:/, "", line)
      if (line ~ os) { print $1 ":" $2 ": operating-system header: " line; next }
      if (line !~ /^#include "/) next
      target = line; sub(/^#include "/, "", target); sub(/".*/, "", target)
      if (target ~ /^quorvel\// || target == "quorvel.h" || target ~ /^common\// ||
          target == "platform/platform.hpp" || index(target, family "/") == 1) next
      print $1 ":" $2 ": " line
    }')
if [ -n "$report" ]; then
  echo "$report"
  exit 1
fi
echo "every include follows the seam rule"
