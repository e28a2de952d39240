#!/bin/sh
# netns.sh RESOLV_CONF SETUP PROGRAM [ARG...]
#
# Runs PROGRAM on a host of its own: a new user, network and mount
# namespace with loopback up, a veth pair veth1/veth0 up (veth1 takes the
# lower interface index), /etc/resolv.conf bind-mounted from RESOLV_CONF,
# and then each line of SETUP run as the arguments of one `ip` command.
# An empty RESOLV_CONF makes a host without /etc/resolv.conf, as minimal
# containers are: once SETUP has run, an empty /etc is mounted over the
# machine's.  QRVL_NETNS is 1 inside.  Exits 77 when the machine cannot
# build such a host (no unshare or ip, user namespaces refused, no TUN
# device).
set -eu
if [ "${QRVL_NETNS:-}" != 1 ]; then
  command -v unshare > /dev/null 2>&1 || { echo "netns.sh: unshare is missing"; exit 77; }
  command -v ip > /dev/null 2>&1 || { echo "netns.sh: ip (iproute2) is missing"; exit 77; }
  [ -z "$1" ] || [ -f /etc/resolv.conf ] || { echo "netns.sh: no /etc/resolv.conf to mount over"; exit 77; }
  unshare -rnm true 2> /dev/null || { echo "netns.sh: unshare -rnm is refused here"; exit 77; }
  QRVL_NETNS=1 exec unshare -rnm --fork sh "$0" "$@"
fi
resolv_conf=$1
setup=$2
shift 2
ip link set lo up
ip link add veth0 type veth peer name veth1
ip link set veth0 up
ip link set veth1 up
[ -z "$resolv_conf" ] || mount --bind "$resolv_conf" /etc/resolv.conf
# A machine without the TUN device cannot build a host that needs one.
printf '%s\n' "$setup" | while read -r command; do
  [ -z "$command" ] || ip $command || case $command in
    tuntap*) echo "netns.sh: no TUN device here"; exit 77 ;;
    *) exit 1 ;;
  esac
done
# Only now: ip may read its tables under /etc.
[ -n "$resolv_conf" ] || mount -t tmpfs none /etc
exec "$@"
