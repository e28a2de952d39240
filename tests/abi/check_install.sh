#!/bin/sh
# Installs the build into a scratch prefix, then builds the consumer project
# against it twice: through find_package(quorvel CONFIG) and through
# pkg-config.  Both consumers must run.
set -eu
cmake=$1; build=$2; consumer=$3
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
"$cmake" --install "$build" --prefix "$work/prefix" > "$work/install.log"
"$cmake" -S "$consumer" -B "$work/cmake" -DCMAKE_PREFIX_PATH="$work/prefix" > "$work/configure.log"
"$cmake" --build "$work/cmake" > "$work/build.log"
LD_LIBRARY_PATH="$work/prefix/lib:$work/prefix/lib64:${LD_LIBRARY_PATH:-}" "$work/cmake/consumer"
if ! command -v pkg-config > /dev/null; then
  echo "pkg-config missing: pkg-config consumer skipped"
  exit 77
fi
pc=$(find "$work/prefix" -name quorvel.pc -printf '%h')
flags=$(PKG_CONFIG_PATH="$pc" pkg-config --cflags --libs quorvel)
cc -std=c99 -Wall -Werror "$consumer/../c99_consumer.c" $flags -o "$work/pkgconfig_consumer"
LD_LIBRARY_PATH="$work/prefix/lib:$work/prefix/lib64:${LD_LIBRARY_PATH:-}" "$work/pkgconfig_consumer"
