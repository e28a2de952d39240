#!/bin/sh
# Builds the Debian packages and uses them as their users would.  lintian
# must find no errors.  As root the packages are installed with dpkg and
# purged again at the end (a machine that already has them, or any file of
# them, is refused); otherwise they are unpacked into a scratch root.  Then
# a C program builds against them through pkg-config and through
# find_package(quorvel CONFIG), shared and static, and runs (and, installed,
# gets its dependency on libquorvel0 from the symbols file), and the
# packaged quorvel command passes its self-test without a search path of
# its own.
#   tests/packaging/check_packages.sh
set -eu
cd "$(dirname "$0")/../.."
for tool in cmake lintian dpkg-deb dpkg-shlibdeps pkg-config cc readelf; do
  command -v $tool > /dev/null || { echo "check_packages: $tool is missing"; exit 1; }
done

rm -rf build/package/packages
cmake --workflow --preset package
dir=build/package/packages
set -- $dir/libquorvel0_*.deb $dir/libquorvel-dev_*.deb $dir/quorvel-tools_*.deb
for deb; do [ -f "$deb" ] || { echo "check_packages: no $deb"; exit 1; }; done
lintian --fail-on error "$@"
version=$(dpkg-deb -f "$1" Version)
for deb in "$2" "$3"; do
  dpkg-deb -f "$deb" Depends | grep -q "libquorvel0 (= $version)" ||
    { echo "check_packages: $deb does not depend on libquorvel0 $version"; exit 1; }
done

if [ "$(id -u)" = 0 ]; then
  for deb; do
    name=$(dpkg-deb -f "$deb" Package)
    if dpkg -s "$name" > /dev/null 2>&1; then
      echo "check_packages: $name is installed already, left alone"; exit 1
    fi
    for file in $(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print substr($6, 2) }'); do
      if [ -e "$file" ] || [ -L "$file" ]; then
        echo "check_packages: $file exists already, left alone"; exit 1
      fi
    done
  done
  work=$(mktemp -d)
  trap 'dpkg --purge quorvel-tools libquorvel-dev libquorvel0 > /dev/null || true; rm -rf "$work"' EXIT
  dpkg -i "$@"
  # The system's own search paths must be enough.
  unset PKG_CONFIG_PATH CMAKE_PREFIX_PATH LD_LIBRARY_PATH
  prefix=/usr
else
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  for deb; do dpkg-deb -x "$deb" "$work/root"; done
  prefix=$work/root/usr
  libdir=$(dirname "$(find "$prefix/lib" -name libquorvel.so.0)")
  export PKG_CONFIG_PATH="$libdir/pkgconfig" CMAKE_PREFIX_PATH="$prefix" LD_LIBRARY_PATH="$libdir"
fi

consumer=tests/abi/c99_consumer.c
cc -std=c99 -Wall -Wextra -pedantic -Werror "$consumer" -o "$work/app-pc" \
   $(pkg-config --cflags --libs quorvel)
"$work/app-pc"

mkdir "$work/app"
cp "$consumer" "$work/app/app.c"
cat > "$work/app/CMakeLists.txt" << 'EOF'
cmake_minimum_required(VERSION 3.25)
project(app C)
find_package(quorvel 0.1 CONFIG REQUIRED)
add_executable(app app.c)
target_link_libraries(app PRIVATE quorvel::quorvel)
add_executable(app_static app.c)
target_link_libraries(app_static PRIVATE quorvel::quorvel_static)
EOF
if ! cmake -S "$work/app" -B "$work/app/build" > "$work/app.log" 2>&1 ||
   ! cmake --build "$work/app/build" >> "$work/app.log" 2>&1; then
  cat "$work/app.log"; exit 1
fi
readelf -d "$work/app/build/app" | grep -q 'NEEDED.*\[libquorvel\.so\.0\]' ||
  { echo "check_packages: the CMake consumer does not need libquorvel.so.0"; exit 1; }
"$work/app/build/app"
"$work/app/build/app_static"
# A package of the program would depend on libquorvel0 through its symbols.
if [ "$prefix" = /usr ]; then
  mkdir "$work/app/debian" && : > "$work/app/debian/control"
  deps=$(cd "$work/app" && dpkg-shlibdeps -O build/app 2> /dev/null)
  echo "$deps" | grep -q "libquorvel0 (>= ${version%-*})" ||
    { echo "check_packages: dpkg-shlibdeps says $deps"; exit 1; }
fi

if readelf -d "$prefix/bin/quorvel" | grep -q 'R[UN]*PATH'; then
  echo "check_packages: the packaged quorvel carries a library search path"; exit 1
fi
"$prefix/bin/quorvel" selftest
echo "check_packages: the packages are lintian-clean and work as installed"
