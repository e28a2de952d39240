#!/bin/sh
# Runs the "Using quorvel" section of README.md as a reader would: in a
# fresh copy of the source tree, every ```sh block in order, with each other
# block written to the file its first-line comment names.  Only the install
# prefix changes, to a scratch one.  Both programs the section builds must
# run with no LD_LIBRARY_PATH and print the README's trace line.
#   check_readme_install.sh <cmake> <source dir> [sanitizers]
set -eu
cmake=$1; source=$2
if [ -n "${3:-}" ]; then
  echo "built with -fsanitize=$3: the README install sequence is checked by the plain builds"
  exit 77
fi
command -v pkg-config > /dev/null || { echo "pkg-config missing: skipped"; exit 77; }

work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
mkdir "$work/tree"
tar -C "$source" --exclude=./.git --exclude=./build --exclude='./build-*' --exclude=./out \
    -cf - . | tar -C "$work/tree" -xf -

awk -v prefix="$work/prefix" -v q="'" '
  /^## / { in_section = ($0 == "## Using quorvel"); next }
  !in_section { next }
  /^```/ && fence == "" { fence = substr($0, 4); named = 0; next }
  /^```/ { if (named) print "QUORVEL_README_EOF"; fence = ""; next }
  fence == "" { next }
  { gsub("/opt/quorvel", prefix) }
  fence == "sh" { print; next }
  !named {
    path = $0; sub(/^(\/\*|#) */, "", path); sub(/ *\*\/$/, "", path)
    if (path !~ /^[A-Za-z0-9_.-]+\/[A-Za-z0-9_.\/-]+$/) {
      print "README block without a file name: " $0 > "/dev/stderr"; exit 1
    }
    dir = path; sub(/\/[^\/]*$/, "", dir)
    print "mkdir -p " dir " && cat > " path " <<" q "QUORVEL_README_EOF" q; named = 1
  }
  { print }
' "$source/README.md" > "$work/readme.sh"

cd "$work/tree"
PATH=$(dirname "$cmake"):$PATH
if ! env -u LD_LIBRARY_PATH -u PKG_CONFIG_PATH -u CMAKE_PREFIX_PATH \
     sh -eux "$work/readme.sh" > "$work/run.log" 2>&1; then
  tail -n 60 "$work/run.log"; exit 1
fi
ran=$(grep -c '^\[E\]\[[0-9 :.-]*\]\[[0-9]*\] {app} 2 things went wrong' "$work/run.log" || true)
[ "$ran" = 2 ] || { tail -n 60 "$work/run.log"; echo "expected the trace line from both programs, got $ran"; exit 1; }
echo "README install sequence: installed, built and ran both programs"
