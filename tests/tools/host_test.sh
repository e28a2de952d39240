#!/usr/bin/env bash
# The quorvel tool's host subcommands on a host of their own (a user,
# network and mount namespace with a veth pair): net against ip, resolve
# against getent on a bind-mounted hosts file, mask and broadcast against
# python3's ipaddress, ini, json (read back by python3's json), time against
# date, run against the command run directly.  Usage: host_test.sh QUORVEL
set -u
if [ "${QRVL_NETNS:-}" != 1 ]; then
  for tool in unshare ip python3 getent date cmp truncate; do
    command -v "$tool" > /dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
  done
  [ -f /etc/resolv.conf ] && [ -f /etc/hosts ] ||
    { echo "SKIP: no /etc/resolv.conf or /etc/hosts to mount over"; exit 77; }
  unshare -rnm true 2> /dev/null || { echo "SKIP: unshare -rnm is refused here"; exit 77; }
  Q=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
  QRVL_NETNS=1 exec unshare -rnm --fork bash "$0" "$Q"
fi
Q=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# status LABEL WANT COMMAND: the command exits with WANT.
status() {
  eval "$3" > out 2> err; local got=$?
  [ "$got" = "$2" ] || { fail "$1: exit $got, expected $2"; cat err; }
}

# The host: veth1 (the lower index) holds the default routes and two IPv4
# addresses, veth0 the other end; name servers on loopback answer nothing
# at once, so failed lookups fail fast.
printf 'nameserver %s\n' 127.0.0.1 ::1 127.0.0.53 > resolv.conf
echo 'options timeout:1 attempts:1' >> resolv.conf
printf '%s %s\n' 127.0.0.1 localhost 10.77.0.9 alpha.test fd77::9 alpha.test 10.77.0.10 beta.test \
  fd77::10 gamma.test > hosts
mount --bind resolv.conf /etc/resolv.conf && mount --bind hosts /etc/hosts || exit 1
ip link set lo up
ip link add veth0 type veth peer name veth1
while read -r command; do ip $command || fail "ip $command"; done << 'EOF'
link set veth0 up
link set veth1 up
addr add 10.77.0.2/24 dev veth1
addr add 10.78.0.5/16 dev veth1
addr add 10.77.0.1/24 dev veth0
-6 addr add fd77::2/64 dev veth1 nodad
-6 addr add fd78::7/48 dev veth1 nodad
-6 addr add fd77::1/64 dev veth0 nodad
route add default via 10.77.0.1 dev veth1
-6 route add default via fd77::fe dev veth1
EOF
for i in $(seq 30); do  # "running" follows the carrier, which the kernel reports late
  [ "$(ip -o link show up | grep -c 'veth.*state UP')" = 2 ] && break
  sleep 0.1
done

# quorvel net as ip and resolv.conf describe the host: usable IPv4 addresses
# on adapters with a default route, global IPv6 ones on every adapter, the
# local address the first in the gateway's subnet; then without routes.
expect_net() {
  python3 - "$(ip -j addr)" "$(ip -j -4 route show default)" "$(ip -j -6 route show default)" \
    << 'EOF'
import ipaddress, json, sys
addrs, routes = json.loads(sys.argv[1]), {4: json.loads(sys.argv[2]), 6: json.loads(sys.argv[3])}
servers = [l.split()[1] for l in open('/etc/resolv.conf') if l.startswith('nameserver')]
default = None
for v, fam in ((4, 'inet'), (6, 'inet6')):
    gw = routes[v][0] if routes[v] else None
    usable = [(f"{a['local']}/{a['prefixlen']}", i['ifname'])
              for i in addrs for a in i['addr_info']
              if a['family'] == fam and a['scope'] == 'global'
              and (v == 6 or (gw and gw['dev'] == i['ifname']))]
    for ip, dev in usable: print(f"ipv{v} address {ip} {dev}")
    print(f"ipv{v} gateway {gw['gateway'] if gw else 'none'}")
    near = [ip for ip, _ in usable
            if gw and ipaddress.ip_address(gw['gateway']) in ipaddress.ip_interface(ip).network]
    local = (near or [ip for ip, _ in usable] or ['0.0.0.0/32' if v == 4 else '::/128'])[0]
    print(f"ipv{v} local {local}")
    default = default or (usable and f"{local} ipv{v}")
    for s in servers if gw else []:
        if (':' in s) == (v == 6): print(f"ipv{v} dns {s}")
print(f"default {default or '0.0.0.0/32 ipv4'}")
EOF
}
for state in routes none; do
  expect_net > want
  "$Q" net > got || fail "net ($state): exit $?"
  cmp -s got want || { fail "net ($state) differs from ip"; diff got want; }
  "$Q" net -6 | cmp -s - <(grep '^ipv6 ' want) || fail "net -6 ($state)"
  [ $state = routes ] && { ip route del default; ip -6 route del default; }
done
ip route add default via 10.77.0.1 dev veth1
ip -6 route add default via fd77::fe dev veth1

# quorvel resolve against getent: the first address of each family, both
# routes the same, the NAT64 form of the IPv4 one; a missing name fails.
names=(alpha.test beta.test gamma.test localhost)
for name in "${names[@]}"; do
  v4=$(getent ahosts "$name" | awk '$1 !~ /:/ {print $1; exit}')
  v6=$(getent ahosts "$name" | awk '$1 ~ /:/ {print $1; exit}')
  echo "$name ipv4 ${v4:--} ${v4:--}"
  echo "$name ipv6 ${v6:--} ${v6:--}"
  [ -n "$v4" ] && python3 -c 'import sys; b = bytes(map(int, sys.argv[2].split(".")))
print("%s nat64 64:ff9b::%02x%02x:%02x%02x" % (sys.argv[1], *b))' "$name" "$v4"
done > want
"$Q" resolve -w 3000 "${names[@]}" > got || fail "resolve: exit $?"
cmp -s got want || { fail "resolve differs from getent"; diff got want; }
status "resolve absent" 1 '"$Q" resolve -w 300 alpha.test absent.test'
grep -qx "absent.test ipv4 - -" out && grep -q "absent.test: not found" err ||
  fail "resolve absent: $(cat out err)"

# mask and broadcast against ipaddress, compared as addresses (the library
# writes a single zero group as ::, python does not).
{ for p in $(seq 0 32); do echo "4 $p $("$Q" mask $p)"; done
  for p in $(seq 0 128); do echo "6 $p $("$Q" mask -6 $p)"; done
  for ip in 192.168.17.5 10.0.0.1 0.0.0.0 255.255.255.255 172.31.250.3; do
    for p in 0 1 8 13 20 24 30 31 32; do echo "b $p $("$Q" broadcast $ip $p) $ip"; done
  done; } > masks
python3 - masks << 'EOF' || fail "mask/broadcast"
import ipaddress, sys
bad = 0
for line in open(sys.argv[1]):
    kind, p, got, *ip = line.split() + ['']
    want = {'4': lambda: ipaddress.ip_network(f'0.0.0.0/{p}').netmask,
            '6': lambda: ipaddress.ip_network(f'::/{p}').netmask,
            'b': lambda: ipaddress.ip_network(f'{ip[0]}/{p}', strict=False).broadcast_address
            }[kind]()
    if got == '' or ipaddress.ip_address(got) != want:
        print(f'{line.strip()}: expected {want}'); bad += 1
sys.exit(bad != 0)
EOF
for words in "mask 33" "mask -6 129" "mask -1" "mask x" "mask" "broadcast 1.2.3.256 8" \
             "broadcast ::1 8" "broadcast 1.2.3.4 33" "broadcast 1.2.3 8" "net x" "resolve" \
             "ini" "json" "json =1" "json a" "time -1" "time 4294967296" "run" "tour x"; do
  status "usage: $words" 2 "\"\$Q\" $words"
done

for sub in net resolve mask broadcast ini json time run tour; do
  status "$sub --help" 0 '"$Q" $sub --help'
  grep -q "^Usage: quorvel $sub" out || fail "$sub --help"
done

# ini: values by SECTION.NAME (continuations give one line each), the
# listing's line numbers, and a malformed line reported by number.
printf '%s\n' '; c' 'top = 1' '[server]' 'host = example.org' 'port : 8080 ; inline' '  more' \
  '[a.b]' 'c=d' > good.ini
while IFS='|' read -r key want; do
  got=$("$Q" ini --get "$key" good.ini) || fail "ini --get $key: exit $?"
  [ "$got" = "$(printf "$want")" ] || fail "ini --get $key: '$got', expected '$want'"
done << 'EOF'
top|1
server.host|example.org
server.port|8080\nmore
a.b.c|d
EOF
for key in server.nope nope.host host; do
  status "ini --get $key" 1 '"$Q" ini --get $key good.ini'
done
"$Q" ini good.ini | grep -qx "4 \[server\] host = example.org" || fail "ini listing"
printf '[s]\nok = 1\nno pair here\nx = 2\n' > bad.ini
status "ini malformed" 1 '"$Q" ini bad.ini'
grep -q "bad.ini:3: " err && grep -qx "4 \[s\] x = 2" out || fail "ini malformed: $(cat out err)"

# json: the object read back has each member with its documented type.
python3 - "$Q" << 'EOF' || fail "json"
import json, subprocess, sys
args = ['a=1', 'b=-0', 'c=01', 'd=+1', 'e=1.5', 'f=1e3', 'g=4294967295', 'h=4294967296',
        'i=-2147483648', 'j=-2147483649', 'k=99999999999999999999', 'l=true', 'm=false',
        'n=null', 'o=True', 'p=', 'q=a"b\\c', 'r=t\tab\nnl', 's=ünï', 't==x', 'k"ey=2',
        'u=NaN', 'v=1.', 'w= 1', 'a=dup']
def model(v):
    if v in ('true', 'false', 'null'): return json.loads(v)
    try:
        n = json.loads(v)
        if isinstance(n, (int, float)) and v not in ('NaN', 'Infinity', '-Infinity') \
                and v.strip() == v:
            return n
    except ValueError: pass
    return v
for extra, want in (([], [(a.split('=', 1)[0], model(a.split('=', 1)[1])) for a in args]),
                    (['-s'], [tuple(a.split('=', 1)) for a in args])):
    out = subprocess.run([sys.argv[1], 'json'] + extra + args, capture_output=True,
                         check=True).stdout
    got = json.loads(out, object_pairs_hook=list)
    if got != want: sys.exit(f"json {extra}: {out!r}")
EOF

# time against date: UTC, and local time with whole-hour standard offsets
# (+5:30 counts as +5).
for s in 0 951782400 1700000000 4294967295; do
  for zone in "UTC0 0" "XYZ-5:30 18000" "PST8 -28800"; do
    set -- $zone
    [ $((s + $2)) -lt 0 ] || [ $((s + $2)) -gt 4294967295 ] && continue
    want="seconds $s
utc $(date -u -d @$s '+%Y-%m-%d-%H-%M-%S %A %-j') UTC
local $(date -u -d @$((s + $2)) '+%Y-%m-%d-%H-%M-%S %A %-j')"
    [ "$(TZ=$1 "$Q" time $s)" = "$want" ] || fail "time $s in $1: $(TZ=$1 "$Q" time $s)"
  done
done

# run: the same bytes as the command run directly, standard error merged.
head -c 100000 /dev/urandom > large
run_same() {
  "$Q" run "$@" > got 2>&1 || fail "run $*: exit $?"
  "$@" > want 2>&1
  cmp -s got want || fail "run $*: output differs"
}
run_same printf '%s\n' "a b" "it's" '$HOME' '"'
run_same printf 'a\0b\0'
run_same cat large
run_same sh -c 'echo out; echo err >&2; echo out2'
run_same ls -l --all /etc
status "run missing" 1 '"$Q" run no-such-program-here'

# The tour: every section, a few fixed facts, and a debug queue that keeps up.
status tour 0 '"$Q" tour'
[ "$(grep -c '^== [1-8]\. ' out)" = 8 ] && ! grep -q overloading out &&
  grep -qx 'the worker squared 0..3: 0 1 4 9' out &&
  grep -qx 'SHA-256:      d7a8fbb307d7809469ca9abcb0082e4f8d5651e46d3cdb762d02d0bf37c9e592' out &&
  grep -qx 'localhost resolves to 127.0.0.1 and :: (result 1)' out || fail "tour: $(cat out)"

# The progress bar: on a terminal for an input over 64 MiB, never otherwise.
truncate -s $((64 << 20)) edge && truncate -s $((64 << 20 | 1)) over
python3 - "$Q" << 'EOF' || fail "progress bar"
import os, pty, subprocess, sys
def bar(path, tty):
    m, s = pty.openpty()
    p = subprocess.run([sys.argv[1], 'hash', 'md5', path], stdout=subprocess.DEVNULL,
                       stderr=s if tty else subprocess.PIPE)
    os.close(s)
    got = p.stderr or b''
    while tty:
        try: data = os.read(m, 65536)
        except OSError: break
        if not data: break
        got += data
    os.close(m)
    return b'MiB/s' in got
sys.exit(not (bar('over', True) and not bar('edge', True) and not bar('over', False)))
EOF

[ $failures = 0 ] && echo "all comparisons agree" || echo "$failures failed"
[ $failures = 0 ]
