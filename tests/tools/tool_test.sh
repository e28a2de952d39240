#!/usr/bin/env bash
# The quorvel tool against the real tools of the machine: the same bytes on
# stdout and the same exit codes as sha256sum and friends, base64, xxd,
# gzip and bzip2 (their CRCs), openssl enc and dgst; then its own error
# paths.  Usage: tool_test.sh QUORVEL VERSION
set -u
Q=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")  # the script works in a scratch directory
VERSION=$2
for tool in sha256sum sha224sum md5sum base64 xxd openssl gzip bzip2 cmp; do
  command -v "$tool" > /dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# same LABEL OURS THEIRS: both shell commands give the same stdout and status.
same() {
  eval "$2" > ours 2> ours.err; local a=$?
  eval "$3" > theirs 2> theirs.err; local b=$?
  cmp -s ours theirs || { fail "$1: output differs"; diff <(xxd ours) <(xxd theirs) | head -5; }
  [ "$a" = "$b" ] || fail "$1: exit $a, expected $b"
}
# status LABEL WANT COMMAND: the command exits with WANT.
status() {
  eval "$3" > out 2> err; local got=$?
  [ "$got" = "$2" ] || { fail "$1: exit $got, expected $2"; cat err; }
}

printf '' > empty
printf 'abc' > abc
head -c 1000 /dev/urandom > small
head -c 200000 /dev/urandom > large  # several read chunks
printf 'two words\n' > 'with space'
printf 'x' > 'back\slash'
printf 'y' > $'new\nline'
files=(empty abc small large 'with space' 'back\slash' $'new\nline')

# Digests of files, standard input and "-" among files.
for algo in sha256 sha224 md5; do
  same "$algo files" '"$Q" hash $algo "${files[@]}"' '${algo}sum "${files[@]}"'
  same "$algo stdin" '"$Q" hash $algo < large' '${algo}sum < large'
  same "$algo dash" '"$Q" hash $algo abc - small < abc' '${algo}sum abc - small < abc'
done

# CRC-32 both ways: gzip's trailer holds the reflected one little-endian, a
# one-block bzip2 stream the other big-endian at bytes 10 to 13.
for f in abc small large; do
  crc=$(gzip -c < $f | tail -c 8 | head -c 4 | xxd -p | sed 's/\(..\)\(..\)\(..\)\(..\)/\4\3\2\1/')
  same "crc32 $f" '"$Q" hash crc32 $f' 'echo "$crc  $f"'
  msb=$(bzip2 -c < $f | head -c 14 | tail -c 4 | xxd -p)
  same "crc32-msb $f" '"$Q" hash crc32-msb $f' 'echo "$msb  $f"'
done

# Checking lists: good, then a tampered file, a missing one, a bad line.
sha256sum "${files[@]}" > list
same "check good" '"$Q" hash sha256 -c list' 'sha256sum -c list'
printf 'abd' > abc
{ cat list; echo "0000000000000000000000000000000000000000000000000000000000000000  gone"
  echo "not a checksum line"; } > bad
for lists in list bad 'bad list' "- < bad"; do
  same "check $lists" '"$Q" hash sha256 -c $lists' 'sha256sum -c $lists'
  sed 's/^sha256sum: WARNING/quorvel: WARNING/' theirs.err | grep WARNING > want.err
  grep WARNING ours.err | cmp -s - want.err || fail "check $lists: warnings differ"
done
sha256sum --quiet -c list > theirs 2> /dev/null
"$Q" hash sha256 --quiet -c list 2> /dev/null | cmp -s - theirs || fail "check --quiet"

# HMAC against openssl dgst, with a text key and a hex key.
for algo in sha256 sha224; do
  for f in empty small large; do
    want=$(openssl dgst -$algo -hmac 'secret key' -r < $f | cut -d' ' -f1)
    same "hmac $algo -k $f" '"$Q" hmac $algo -k "secret key" $f' 'echo "$want  $f"'
    want=$(openssl dgst -$algo -mac HMAC -macopt hexkey:00ff10 -r < $f | cut -d' ' -f1)
    same "hmac $algo -K $f" '"$Q" hmac $algo -K 00FF10 < $f' 'echo "$want  -"'
  done
done

"$Q" hmac sha224 -k k small large > macs && "$Q" hmac sha224 -k k -c macs > out &&
  printf 'small: OK\nlarge: OK\n' | cmp -s - out || fail "hmac -c: $(cat out)"
status "hmac -c, other key" 1 '"$Q" hmac sha224 -k K -c macs'

# Base64 and hex both ways; bad input fails as it does for the real tools.
for f in empty abc small large; do
  for wrap in "" "-w 0" "-w 1" "-w 64" "-w 76"; do
    same "base64 $wrap $f" '"$Q" base64 $wrap < $f' 'base64 $wrap < $f'
  done
  base64 < $f > $f.b64
  same "base64 -d $f" '"$Q" base64 -d < $f.b64' 'base64 -d < $f.b64'
  same "hex $f" '"$Q" hex < $f' 'xxd -p < $f'
  xxd -p < $f > $f.hex
  same "hex -d $f" '"$Q" hex -d < $f.hex' 'xxd -r -p < $f.hex'
done
for bad in 'YQ' 'YQ=' 'Y===' 'YW Jj' 'YWJ*' 'YQ=a'; do
  status "base64 -d '$bad'" 1 'printf "$bad" | "$Q" base64 -d'
  [ -s out ] && fail "base64 -d '$bad' wrote output"
done
for bad in 'abc' '0g' '12:34'; do status "hex -d '$bad'" 1 'printf "$bad" | "$Q" hex -d'; done

# AES: each key size and mode against openssl enc, both directions.
key=000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f
iv=0f0e0d0c0b0a09080706050403020100
for bits in 128 192 256; do
  k=${key:0:$((bits / 4))}
  for mode in ecb cbc; do
    ivs=""; [ $mode = cbc ] && ivs="-iv $iv"
    for f in empty abc small large; do
      openssl enc -aes-$bits-$mode -K $k $ivs -in $f -out $f.enc
      same "aes enc $bits $mode $f" '"$Q" aes enc -m $mode -K $k $ivs -in $f' 'cat $f.enc'
      same "aes dec $bits $mode $f" '"$Q" aes dec -m $mode -K $k $ivs < $f.enc' 'cat $f'
    done
    # A wrong key, or a cut cipher text: "bad decrypt", exit 1, nothing written.
    status "aes wrong key $bits $mode" 1 '"$Q" aes dec -m $mode -K ${k/00/01} $ivs -in abc.enc'
    grep -q "bad decrypt" err && [ ! -s out ] || fail "aes wrong key $bits $mode: $(cat err)"
    status "aes cut $bits $mode" 1 'head -c 999 large.enc | "$Q" aes dec -m $mode -K $k $ivs'
  done
done
"$Q" aes enc -m cbc -K $key -iv $iv -in small -out small.q && cmp -s small.q small.enc ||
  fail "aes -out"

# Usage errors exit 2; failing inputs and outputs exit 1 with a clear line.
while read -r words; do
  status "usage: $words" 2 "\"\$Q\" $words < /dev/null"
  grep -q "^Try 'quorvel" err || fail "usage: $words: no hint"
done << 'EOF'

nosuch
hash
hash sha512
hash sha256 --bogus
hmac sha256
hmac sha256 -k a -K 00
hmac sha256 -K 0
aes enc -m cbc -K 00112233445566778899aabbccddeeff
aes enc -m ecb -K 0011
aes enc -m xts -K 00112233445566778899aabbccddeeff
aes sign -m ecb -K 00112233445566778899aabbccddeeff
base64 -w
base64 -w -3
hex -x
speed nosuch
selftest extra
EOF
status "missing file" 1 '"$Q" hash sha256 abc nofile'
grep -qx "quorvel: hash: nofile: No such file or directory" err || fail "missing file: $(cat err)"
grep -q "  abc$" out || fail "missing file: the other file was not listed"
for cmd in "hash md5 large" "base64 large" "hex large" "selftest" "--help" \
           "aes enc -m ecb -K ${key:0:32} -in large"; do
  status "/dev/full: $cmd" 1 "\"\$Q\" $cmd > /dev/full"
  grep -q "write error" err || fail "/dev/full: $cmd: $(cat err)"
done
status "aes -out /dev/full" 1 '"$Q" aes enc -m ecb -K ${key:0:32} -in large -out /dev/full'

# Self-test, help, version and a short speed run.
status selftest 0 '"$Q" selftest'
[ "$(grep -c ': ok$' out)" = 15 ] || fail "selftest: $(cat out)"
for sub in hash hmac aes base64 hex selftest speed; do
  status "$sub --help" 0 '"$Q" $sub --help'
  grep -q "^Usage: quorvel $sub" out || fail "$sub --help"
done
same "--version" '"$Q" --version' 'echo "quorvel $VERSION"'
status speed 0 '"$Q" speed -t 12 sha256 aes-128-cbc'
[ "$(awk 'NF == 7' out | wc -l)" = 2 ] && grep -q '^MB/s ' out && grep -q '^aes-128-cbc ' out ||
  fail "speed: $(cat out)"

[ $failures = 0 ] && echo "all comparisons agree" || echo "$failures failed"
[ $failures = 0 ]
