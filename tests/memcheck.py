#!/usr/bin/env python3
"""Runs a built test suite under valgrind's memcheck.

    tests/memcheck.py BUILD_DIR [-j N] [-R REGEX]

Reads the suite from ctest (ctest --show-only=json-v1), so it runs exactly
what ctest runs: each GoogleTest program once per environment with all of
its cases, each other program of the build directly, and each script with
the programs of the build it is given replaced by wrappers that start them
under memcheck.  Processes a test forks or starts are followed
(--trace-children), except the machine's own tools.  Any memcheck error,
definite leak or failing test fails the run; a "possible" leak is shown
but not counted, as it is what a thread still running at exit leaves (its
stack and thread-local block).  The log of each run is kept in
BUILD_DIR/memcheck/.
"""

import argparse
import concurrent.futures
import json
import os
import re
import stat
import subprocess
import sys
import time

VALGRIND = [
    "valgrind", "--tool=memcheck", "--error-exitcode=99", "--leak-check=full",
    "--errors-for-leak-kinds=definite", "--show-leak-kinds=definite,possible",
    "--suppressions=" + os.path.join(os.path.dirname(os.path.abspath(__file__)), "memcheck.supp"),
    "--trace-children=yes",
    # The machine's own tools run natively, but for the shell and unshare, which
    # take a test program onto a network namespace host of its own.
    "--trace-children-skip=" + ",".join(
        "%s/%s" % (d, t) for d in ("/usr/bin", "/bin", "/usr/sbin", "/sbin")
        for t in ("[", "a*", "b*", "c*", "d*", "e*", "f*", "g*", "h*", "i*", "j*", "k*",
                  "l*", "m*", "n*", "o*", "p*", "q*", "r*", "sa*", "se*", "sl*", "so*",
                  "st*", "t*", "uname", "v*", "w*", "x*", "y*", "z*")),
    "--child-silent-after-fork=no", "--num-callers=30",
]


def is_elf(path):
    try:
        with open(path, "rb") as f:
            return f.read(4) == b"\x7fELF"
    except OSError:
        return False


def is_program(path):
    """An ELF executable of the build (a shared library is handed on as it is)."""
    name = os.path.basename(path)
    return is_elf(path) and os.access(path, os.X_OK) and not re.search(r"\.so(\.|$)", name)


def properties(test):
    props = {p["name"]: p["value"] for p in test.get("properties", [])}
    env = dict(item.split("=", 1) for item in props.get("ENVIRONMENT", []))
    return props, env


def load_suite(build_dir, regex):
    out = subprocess.run(["ctest", "--test-dir", build_dir, "--show-only=json-v1"],
                         check=True, capture_output=True, text=True).stdout
    runs = {}  # (command tuple, env tuple, cwd) -> [gtest filters] or None
    for test in json.loads(out)["tests"]:
        if regex and not re.search(regex, test["name"]):
            continue
        props, env = properties(test)
        if props.get("DISABLED"):
            continue
        command = test["command"]
        cwd = props.get("WORKING_DIRECTORY", build_dir)
        skip_code = props.get("SKIP_RETURN_CODE")
        filters = [a for a in command if a.startswith("--gtest_filter=")]
        if filters:
            rest = tuple(a for a in command if not a.startswith("--gtest_filter="))
            key = (rest, tuple(sorted(env.items())), cwd, skip_code)
            runs.setdefault(key, []).append(filters[0].split("=", 1)[1])
        else:
            runs[(tuple(command), tuple(sorted(env.items())), cwd, skip_code)] = None
    return runs


def wrapper_for(program, wrap_dir, log_dir, name):
    """A script that starts program under memcheck, for scripts that run it."""
    os.makedirs(os.path.join(wrap_dir, name), exist_ok=True)
    path = os.path.join(wrap_dir, name, os.path.basename(program))
    log = os.path.join(log_dir, name + "." + os.path.basename(program) + ".%p.log")
    with open(path, "w") as f:
        f.write("#!/bin/sh\nexec %s --log-file=%s %s \"$@\"\n" %
                (" ".join(VALGRIND), log, program))
    os.chmod(path, os.stat(path).st_mode | stat.S_IXUSR)
    return path


def command_for(key, filters, build_dir, log_dir, wrap_dir, name):
    command = list(key[0])
    log = os.path.join(log_dir, name + ".%p.log")
    if filters is not None:
        command.insert(1, "--gtest_filter=" + ":".join(filters))
    if is_elf(command[0]):
        return VALGRIND + ["--log-file=" + log] + command
    # A script: the build's programs among its arguments run under memcheck.
    return [command[0]] + [wrapper_for(a, wrap_dir, log_dir, name)
                           if a.startswith(build_dir) and is_program(a) else a
                           for a in command[1:]]


def errors_in_logs(log_dir, name):
    bad = []
    for log in sorted(os.listdir(log_dir)):
        if not log.startswith(name + "."):
            continue
        text = open(os.path.join(log_dir, log), errors="replace").read()
        m = re.search(r"ERROR SUMMARY: (\d+) errors", text)
        if m and int(m.group(1)) > 0:
            bad.append(log)
    return bad


def run_one(index, key, filters, build_dir, log_dir, wrap_dir):
    name = "%03d-%s" % (index, os.path.basename(key[0][0]))
    command = command_for(key, filters, build_dir, log_dir, wrap_dir, name)
    env = dict(os.environ, **dict(key[1]))
    started = time.time()
    with open(os.path.join(log_dir, name + ".out"), "w") as out:
        rc = subprocess.run(command, cwd=key[2], env=env, stdout=out,
                            stderr=subprocess.STDOUT, timeout=3600).returncode
    seconds = time.time() - started
    skipped = key[3] is not None and rc == int(key[3])
    bad = errors_in_logs(log_dir, name)
    ok = (rc == 0 or skipped) and not bad
    label = "%s %s" % (name, " ".join(key[1][i][0] + "=" + key[1][i][1]
                                      for i in range(len(key[1]))))
    return ok, "%-6s %6.0f s  %s rc=%d%s" % ("ok" if ok else "FAIL", seconds, label, rc,
                                           " errors in " + ", ".join(bad) if bad else "")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build_dir")
    parser.add_argument("-j", type=int, default=2)
    parser.add_argument("-R", default="")
    args = parser.parse_args()
    build_dir = os.path.abspath(args.build_dir)
    log_dir = os.path.join(build_dir, "memcheck")
    wrap_dir = os.path.join(log_dir, "bin")
    os.makedirs(wrap_dir, exist_ok=True)
    for old in os.listdir(log_dir):
        if old.endswith(".log") or old.endswith(".out"):
            os.remove(os.path.join(log_dir, old))
    runs = load_suite(build_dir, args.R)
    failures = 0
    with concurrent.futures.ThreadPoolExecutor(args.j) as pool:
        jobs = [pool.submit(run_one, i, key, filters, build_dir, log_dir, wrap_dir)
                for i, (key, filters) in enumerate(runs.items())]
        for job in concurrent.futures.as_completed(jobs):
            ok, line = job.result()
            failures += not ok
            print(line, flush=True)
    print("%d of %d runs clean under memcheck" % (len(runs) - failures, len(runs)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
