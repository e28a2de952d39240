#!/bin/sh
# Runs a 64-bit Windows program of the build (a test, a test listing)
# under wine64.
#
# The first program of a wine prefix starts the wine server and the wine
# services, and they inherit its standard streams and keep them open as
# long as they run.  Started from ctest they would hold ctest's pipes, so
# each test would wait for them to exit.  The first call therefore starts
# the server (persistent: `wineserver -k` stops it) and the services with
# their streams on /dev/null; later calls find it running.
set -eu
: "${WINEPREFIX:=${HOME:-/tmp}/.wine}"
: "${WINEDEBUG:=-all}"
export WINEPREFIX WINEDEBUG
mkdir -p "$WINEPREFIX"

# A running server of this prefix listens on a socket named after the
# prefix directory's device and inode, in a directory of its own under /tmp.
server_running() {
  set -- $(stat -c '%d %i' "$WINEPREFIX")
  for socket in /tmp/.wine-"$(id -u)"/server-"$(printf '%x-%x' "$1" "$2")"/socket \
                /tmp/wine-*/server-"$(printf '%x-%x' "$1" "$2")"/socket; do
    [ -S "$socket" ] && return 0
  done
  return 1
}

(
  flock 9
  if ! server_running; then
    # Neither may keep the lock's descriptor.
    wineserver -p </dev/null >/dev/null 2>&1 9>&- || true
    /usr/lib/wine/wine64 cmd /c exit </dev/null >/dev/null 2>&1 9>&- || true
  fi
) 9>"$WINEPREFIX.lock"
exec /usr/lib/wine/wine64 "$@"
