// The engine that hash and hmac share: digest inputs in pieces, list the
// digests in the format of sha256sum, and check such lists.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cli.hpp"

namespace qcli {

struct Hasher;

// One algorithm.  final writes digest_size bytes, the value shown in hex.
struct DigestAlgo {
  const char *name;
  size_t digest_size;  // at most kMaxDigest
  uint64_t max_input;  // the longest input the algorithm digests correctly
  void (*init)(Hasher *);
  void (*update)(Hasher *, const uint8_t *, uint32_t);
  void (*final)(Hasher *, uint8_t *digest);
};

constexpr size_t kMaxDigest = 32;

// The running state of one digest; key is the HMAC key.
struct Hasher {
  union State {
    csha256_ctx sha;
    QRVL_MD5_CTX md5;
    hmac_csha256_ctx hmac;
    uint32_t crc;
  } state;
  Buffer whole;  // the message, for algorithms that take it in one piece
  Buffer key;
};

// Looks name up in a table of count algorithms; null when absent.
const DigestAlgo *find_algo(const DigestAlgo *table, size_t count, const char *name);

// Prints "<hex>  <name>" for each file (standard input when there is none
// or for "-"); a name holding a backslash or a line feed is escaped and the
// line starts with a backslash.  Returns kFailed when an input failed.
int list_digests(const DigestAlgo &algo, Hasher *hasher, int count, char **files);

// Checks the lists named by lists (standard input when none) as
// "sha256sum -c" does: "NAME: OK" or "NAME: FAILED" per line, warnings on
// stderr, kFailed on a mismatch, an unreadable file or a list without one
// well-formed line.  quiet leaves out the OK lines.
int check_digests(const DigestAlgo &algo, Hasher *hasher, int count, char **lists, bool quiet);

}  // namespace qcli
