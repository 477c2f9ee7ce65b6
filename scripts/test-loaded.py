#!/usr/bin/env python3
"""Runs a build tree's tests several times with one busy process per core beside them, as on a
machine that has other work to do, and prints how often each test failed and how long each run
took. A test that fails here fails by chance somewhere else.

Usage: test-loaded.py BUILD_TREE RUNS [JOBS [REGEX]]  (REGEX: only the ctest entries it matches)
"""
import collections
import os
import re
import signal
import subprocess
import sys
import time
import xml.etree.ElementTree as ElementTree

FAILED_CASE = re.compile(r"^\[  FAILED  \] (\S+\.\S+) \(\d+ ms\)$", re.MULTILINE)


def start_load():
    """One busy loop per core, at normal priority, each in its own process group."""
    return [subprocess.Popen(["sh", "-c", "while :; do :; done"], start_new_session=True)
            for _ in range(os.cpu_count() or 1)]


def stop_load(busy):
    for process in busy:
        try:
            os.killpg(process.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        process.wait()


def run_once(tree, jobs, only, number, logs):
    """One ctest run: the ctest entries that failed, the test cases that failed, seconds."""
    junit = os.path.join(logs, f"run-{number}.xml")
    log = os.path.join(logs, f"run-{number}.log")
    started = time.monotonic()
    with open(log, "w") as out:
        subprocess.run(["ctest", "--test-dir", tree, "--output-on-failure", "-j", str(jobs),
                        "--output-junit", junit] + (["-R", only] if only else []),
                       stdout=out, stderr=subprocess.STDOUT, check=False)
    seconds = time.monotonic() - started
    entries = {}
    if os.path.exists(junit):
        for case in ElementTree.parse(junit).getroot().iter("testcase"):
            entries[case.get("name")] = case.get("status") not in ("run", "skipped", "notrun",
                                                                  "disabled")
    with open(log, errors="replace") as text:
        cases = set(FAILED_CASE.findall(text.read()))
    return entries, cases, seconds


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    tree = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2])
    jobs = int(sys.argv[3]) if len(sys.argv) > 3 else 2
    only = sys.argv[4] if len(sys.argv) > 4 else ""
    logs = os.path.join(tree, "loaded")
    os.makedirs(logs, exist_ok=True)
    entry_failures = collections.Counter()
    case_failures = collections.Counter()
    entry_names = set()
    times = []
    busy = start_load()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    try:
        for number in range(1, runs + 1):
            entries, cases, seconds = run_once(tree, jobs, only, number, logs)
            failed = sorted(name for name, bad in entries.items() if bad)
            entry_names.update(entries)
            entry_failures.update(failed)
            case_failures.update(cases)
            times.append(seconds)
            print(f"run {number}/{runs}: {seconds:.0f} s, {len(entries)} tests, "
                  f"{len(failed)} failed{': ' + ', '.join(failed) if failed else ''}",
                  flush=True)
    finally:
        stop_load(busy)
    print(f"\n{len(busy)} busy processes beside {runs} runs of {tree} (logs in {logs})")
    print(f"{'test':<52} failed")
    for name in sorted(entry_names):
        print(f"{name:<52} {entry_failures[name]}/{runs}")
    for case, count in sorted(case_failures.items()):
        print(f"  case {case:<45} {count}/{runs}")
    print("wall time per run: " + ", ".join(f"{seconds:.0f} s" for seconds in times))
    total = sum(entry_failures.values())
    print(f"{total} failures in {runs} runs")
    return 1 if total or not entry_names else 0


if __name__ == "__main__":
    sys.exit(main())
