#!/usr/bin/env python3
"""Runs bench_crypto with OpenSSL unmasked and with its crypto instructions
masked, and prints one Markdown table per primitive: our throughput with the
engine that ran it, the baseline's in both runs, and the ratios.

    bench/crypto/engine_tables.py build/default/bench/bench_crypto [--reps N] [--engine_tier=T]

Our engines do not read OpenSSL's mask, so our figure is the median of both
runs' repetitions; each ratio uses the baseline of one run.  zlib does not
read the mask either: its two figures are two runs of the same code.
"""
import json
import os
import statistics
import subprocess
import sys

MASKED = "~0x200000200000000:~0x20000000"  # no AES-NI, PCLMULQDQ, SHA-NI
SIZES = ["64", "1024", "16384", "1048576"]

# (table title, rows); a row is (operation, our benchmark, baseline, baseline name).
TABLES = [
    ("AES-128", [
        ("ECB encrypt", "BM_AesSha_Qrvl_Aes128EcbEncrypt", "BM_AesSha_Ossl_Aes128EcbEncrypt", "EVP"),
        ("ECB decrypt", "BM_AesSha_Qrvl_Aes128EcbDecrypt", "BM_AesSha_Ossl_Aes128EcbDecrypt", "EVP"),
        ("CBC encrypt", "BM_AesSha_Qrvl_Aes128CbcEncrypt", "BM_AesSha_Ossl_Aes128CbcEncrypt", "EVP"),
        ("CBC decrypt", "BM_AesSha_Qrvl_Aes128CbcDecrypt", "BM_AesSha_Ossl_Aes128CbcDecrypt", "EVP"),
    ]),
    ("SHA-256 and HMAC-SHA-256", [
        ("SHA-256", "BM_AesSha_Qrvl_Sha256", "BM_AesSha_Ossl_Sha256", "EVP"),
        ("HMAC, keyed per message", "BM_AesSha_Qrvl_HmacSha256", "BM_AesSha_Ossl_HmacSha256", "EVP_MAC"),
        ("HMAC, reinit per message", "BM_AesSha_Qrvl_HmacSha256Reused",
         "BM_AesSha_Ossl_HmacSha256Reused", "EVP_MAC"),
    ]),
    ("CRC-32 (`GetCrc32`)", [
        ("mode 1, reflected", "BM_crc32_reflected_quorvel", "BM_crc32_zlib", "zlib crc32"),
        ("mode 0, MSB first", "BM_crc32_msb_quorvel", "BM_crc32_zlib", "zlib crc32"),
    ]),
    ("Base64", [
        ("encode", "BM_base64_encode_quorvel", "BM_base64_encode_openssl", "EVP_EncodeBlock"),
        ("decode", "BM_base64_decode_quorvel", "BM_base64_decode_openssl", "EVP_DecodeBlock"),
    ]),
    ("MD5", [
        ("MD5", "BM_md5_quorvel", "BM_md5_openssl", "EVP"),
    ]),
]

# Single short calls, compared by time per call: (operation, ours, baseline, baseline name).
CALLS = [
    ("one 16-byte `CAesCbcEncrypt`, keys ready", "BM_AesSha_Qrvl_Aes128CbcEncrypt/16",
     "BM_AesSha_Ossl_Aes128CbcEncrypt/16", "EVP, key set up"),
    ("`hmac_csha256` of 16 bytes", "BM_AesSha_Qrvl_HmacSha256/16",
     "BM_AesSha_Ossl_HmacSha256OneShot/16", "`HMAC()`"),
]


def run(binary, reps, extra, mask):
    env = dict(os.environ)
    env.pop("OPENSSL_ia32cap", None)
    if mask:
        env["OPENSSL_ia32cap"] = mask
    names = sorted({b for _, rows in TABLES for r in rows for b in r[1:3]} |
                   {b.split("/")[0] for r in CALLS for b in r[1:3]})
    pattern = "^(" + "|".join(names) + ")/(16|" + "|".join(SIZES + ["65536"]) + ")$"
    out = subprocess.run(
        [binary, "--benchmark_filter=" + pattern, "--benchmark_format=json",
         "--benchmark_repetitions=%d" % reps] + extra,
        env=env, check=True, capture_output=True, text=True).stdout
    results = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("run_type") != "iteration":
            continue
        entry = results.setdefault(b["run_name"], {"rates": [], "ns": [], "label": b.get("label", "")})
        entry["rates"].append(b["bytes_per_second"] / 1e6)
        entry["ns"].append(b["cpu_time"])  # the programs report in nanoseconds
    return results


def median(results, name):
    entry = results.get(name)
    return statistics.median(entry["rates"]) if entry else None


def size_text(size):
    n = int(size)
    return "%d MiB" % (n >> 20) if n >= 1 << 20 else "%d KiB" % (n >> 10) if n >= 1024 else "%d B" % n


def fmt(value):
    return "-" if value is None else "%.0f" % value


def ratio(ours, base):
    return "-" if not ours or not base else "%.2f" % (ours / base)


def main():
    args = sys.argv[1:]
    reps = 3
    if "--reps" in args:
        i = args.index("--reps")
        reps = int(args[i + 1])
        del args[i:i + 2]
    binary, extra = args[0], args[1:]
    plain = run(binary, reps, extra, None)
    masked = run(binary, reps, extra, MASKED)
    for title, rows in TABLES:
        print("### %s\n" % title)
        print("| operation | size | engine | ours MB/s | baseline | unmasked MB/s | ratio "
              "| masked MB/s | ratio |")
        print("|---|---:|---|---:|---|---:|---:|---:|---:|")
        for op, ours, base, base_name in rows:
            for size in sorted(SIZES + ["65536"], key=int):
                key_ours, key_base = ours + "/" + size, base + "/" + size
                if key_ours not in plain:
                    continue
                rates = plain[key_ours]["rates"] + masked.get(key_ours, {"rates": []})["rates"]
                mine = statistics.median(rates)
                b_plain, b_masked = median(plain, key_base), median(masked, key_base)
                print("| %s | %s | %s | %s | %s | %s | %s | %s | %s |" % (
                    op, size_text(size), plain[key_ours]["label"] or "portable", fmt(mine), base_name,
                    fmt(b_plain), ratio(mine, b_plain), fmt(b_masked), ratio(mine, b_masked)))
        print()
    print("### Short calls (CPU time per call)\n")
    print("| operation | engine | ours ns | baseline | unmasked ns | time ratio | masked ns | time ratio |")
    print("|---|---|---:|---|---:|---:|---:|---:|")
    for op, ours, base, base_name in CALLS:
        mine = statistics.median(plain[ours]["ns"] + masked[ours]["ns"])
        b_plain = statistics.median(plain[base]["ns"])
        b_masked = statistics.median(masked[base]["ns"])
        print("| %s | %s | %.0f | %s | %.0f | %.2f | %.0f | %.2f |" % (
            op, plain[ours]["label"], mine, base_name, b_plain, mine / b_plain, b_masked, mine / b_masked))
    print()


if __name__ == "__main__":
    main()
