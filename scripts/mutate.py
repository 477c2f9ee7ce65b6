#!/usr/bin/env python3
"""Mutation check of the portable code: plants each fault of tests/mutants.txt in turn, runs
the native tests that link the file, and prints what the tests caught.

    python3 scripts/mutate.py [--only TEXT] [--list FILE] [--check]

The mutated file is always put back: on success, on a failed build, on Ctrl+C or a kill
signal, and, should the machine die mid-run, by the next run, which restores the copy kept in
build/mutate/pending before it does anything else."""

import argparse
import json
import os
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WORK = os.path.join(ROOT, "build", "mutate")
PENDING = os.path.join(WORK, "pending")
# make test's two native trees: a mutant the sanitizer-free tree misses may still be a race
# or a memory fault.
TREES = [
    ("asan", "address", "Debug", {}),
    ("tsan", "thread", "RelWithDebInfo", {"TSAN_OPTIONS": "halt_on_error=1"}),
]
STOP_SIGNALS = (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)


class Stopped(Exception):
    pass


def on_signal(number, frame):
    raise Stopped(signal.Signals(number).name)


def parse_list(path):
    """Blocks of: '[file]' headings, '* what the fault is', '- original', '+ replacement' ('+'
    alone: empty), '= equivalent: why'. A line that starts with a blank continues the text
    above it, indentation and all."""
    mutants = []
    current_file = None
    mutant = None
    kind = None
    with open(path, encoding="utf-8") as handle:
        for number, raw in enumerate(handle, 1):
            line = raw.rstrip("\n")
            if line.startswith("#") or not line.strip():
                continue
            if line.startswith("[") and line.endswith("]"):
                current_file = line[1:-1]
                continue
            if line.startswith("* "):
                mutant = {"file": current_file, "what": line[2:], "line": number,
                          "original": [], "replacement": [], "equivalent": None}
                mutants.append(mutant)
                kind = None
                continue
            if mutant is None:
                sys.exit(f"{path}:{number}: text before the first '* ' line")
            if line.startswith(" ") and kind:
                mutant[kind].append(line)
            elif line.startswith("- "):
                kind = "original"
                mutant[kind].append(line[2:])
            elif line == "+" or line.startswith("+ "):
                kind = "replacement"
                mutant[kind].append(line[2:])
            elif line.startswith("= "):
                kind = None
                mutant["equivalent"] = line[2:]
            else:
                sys.exit(f"{path}:{number}: cannot read this line")
    for m in mutants:
        m["original"] = "\n".join(m["original"])
        m["replacement"] = "\n".join(m["replacement"])
        if not m["file"] or not m["original"]:
            sys.exit(f"{path}:{m['line']}: a mutant needs a [file] and '- ' text")
    return mutants


def restore_pending():
    if not os.path.exists(PENDING):
        return
    with open(PENDING, encoding="utf-8") as handle:
        saved = json.load(handle)
    with open(saved["path"], "w", encoding="utf-8", newline="") as handle:
        handle.write(saved["text"])
    os.remove(PENDING)
    print(f"restored {os.path.relpath(saved['path'], ROOT)} left mutated by an earlier run")


def run(command, env=None, timeout=None, quiet=True):
    """Runs a command in a process group of its own, so that a timeout or an interruption
    takes every process it started with it. Returns the exit code, or None on timeout."""
    process = subprocess.Popen(command, cwd=ROOT, env=env, start_new_session=True,
                               stdout=subprocess.DEVNULL if quiet else None,
                               stderr=subprocess.DEVNULL if quiet else None)
    try:
        return process.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        return None
    finally:
        if process.poll() is None:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()


def configure(tree, sanitizer, build_type):
    directory = os.path.join(WORK, tree)
    if not os.path.exists(os.path.join(directory, "build.ninja")):
        code = run(["cmake", "-S", ".", "-B", directory, "-G", "Ninja",
                    f"-DCMAKE_BUILD_TYPE={build_type}", f"-DWENDALUX_SANITIZER={sanitizer}",
                    "-DCMAKE_EXPORT_COMPILE_COMMANDS=ON"],
                   quiet=False)
        if code != 0:
            sys.exit(f"cannot configure {directory}")
    return directory


def test_programs(directory):
    tests = os.path.join(directory, "tests")
    return sorted(name for name in os.listdir(tests)
                  if name.endswith("_test") and os.access(os.path.join(tests, name), os.X_OK))


def defined_symbols(path):
    output = subprocess.run(["nm", "--defined-only", path], capture_output=True, text=True,
                            check=True).stdout
    return {parts[2] for parts in (line.split() for line in output.splitlines())
            if len(parts) == 3 and parts[1] in "TDBR"}


def objects_of(directory, source):
    """Every object built from the source: a file can be part of more than one library."""
    with open(os.path.join(directory, "compile_commands.json"), encoding="utf-8") as handle:
        commands = json.load(handle)
    wanted = os.path.join(ROOT, source)
    objects = []
    for c in commands:
        if os.path.normpath(c["file"]) == wanted:
            words = c["command"].split()
            objects.append(os.path.join(c["directory"], words[words.index("-o") + 1]))
    return objects


def programs_linking(directory, source, programs):
    """The test programs that hold code of the source file: a static library lends a program
    only the objects it uses."""
    objects = objects_of(directory, source)
    if not objects:
        sys.exit(f"no object for {source} in {directory}")
    own = set().union(*(defined_symbols(obj) for obj in objects))
    return [p for p in programs
            if own & defined_symbols(os.path.join(directory, "tests", p))]


def run_tests(directory, programs, extra_env, caps):
    """The first program that fails or outlives its cap, or None when all pass."""
    env = dict(os.environ, **extra_env)
    # The quickest first, and each stops at its first failure: most mutants die in seconds.
    for program in sorted(programs, key=lambda name: caps[name]):
        code = run([os.path.join(directory, "tests", program), "--gtest_fail_fast"], env=env,
                   timeout=caps[program])
        if code is None:
            return f"{program} (hung)"
        if code != 0:
            return program
    return None


def mutate_and_test(mutant, trees, programs, caps):
    path = os.path.join(ROOT, mutant["file"])
    with open(path, encoding="utf-8", newline="") as handle:
        text = handle.read()
    count = text.count(mutant["original"])
    if count != 1:
        return ("not found" if count == 0 else "ambiguous"), ""
    with open(PENDING, "w", encoding="utf-8") as handle:
        json.dump({"path": path, "text": text}, handle)
    try:
        with open(path, "w", encoding="utf-8", newline="") as handle:
            handle.write(text.replace(mutant["original"], mutant["replacement"]))
        for tree, directory, env in trees:
            linking = programs[(tree, mutant["file"])]
            if run(["cmake", "--build", directory, "--target", *linking]) != 0:
                return "no build", tree
            failed = run_tests(directory, linking, env, caps[tree])
            if failed:
                return "killed", f"{tree}: {failed}"
        return "survived", ""
    finally:
        # A second Ctrl+C must not cut the file back off half-written.
        blocked = signal.pthread_sigmask(signal.SIG_BLOCK, STOP_SIGNALS)
        with open(path, "w", encoding="utf-8", newline="") as handle:
            handle.write(text)
        os.remove(PENDING)
        signal.pthread_sigmask(signal.SIG_SETMASK, blocked)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--list", default=os.path.join(ROOT, "tests", "mutants.txt"))
    parser.add_argument("--only", default="", help="only mutants whose file contains this")
    parser.add_argument("--check", action="store_true",
                        help="only check that each original text is found once")
    args = parser.parse_args()
    for number in STOP_SIGNALS:
        signal.signal(number, on_signal)
    os.makedirs(WORK, exist_ok=True)
    restore_pending()

    mutants = [m for m in parse_list(args.list) if args.only in m["file"]]
    if args.check:
        return check_list(mutants)
    started = time.monotonic()
    trees, programs, caps = [], {}, {}
    for tree, sanitizer, build_type, env in TREES:
        directory = configure(tree, sanitizer, build_type)
        if run(["cmake", "--build", directory], quiet=False) != 0:
            sys.exit(f"the unmutated code does not build in {directory}")
        names = test_programs(directory)
        # Each program's cap: four times its unmutated time, and never under 20 s.
        caps[tree] = {}
        for name in names:
            began = time.monotonic()
            if run_tests(directory, [name], env, {name: 600}):
                sys.exit(f"{name} fails in {tree} without a mutant: fix that first")
            caps[tree][name] = max(20.0, 4 * (time.monotonic() - began))
        for source in {m["file"] for m in mutants}:
            programs[(tree, source)] = programs_linking(directory, source, names)
        trees.append((tree, directory, env))

    results = []
    try:
        for index, mutant in enumerate(mutants, 1):
            line = mutant_line(mutant)
            if not any(programs[(tree, mutant["file"])] for tree, _, _ in trees):
                outcome, by = "survived", "no test links the file"
            else:
                outcome, by = mutate_and_test(mutant, trees, programs, caps)
            if mutant["equivalent"] and outcome == "survived":
                outcome = "equivalent"
            results.append((mutant, line, outcome, by))
            print(f"[{index}/{len(mutants)}] {outcome:10} {mutant['file']}:{line} "
                  f"{mutant['what']}" + (f"  ({by})" if by else ""), flush=True)
    except Stopped as stop:
        print(f"\nstopped by {stop}; the source is as it was", file=sys.stderr)
        return 130
    return report(results, time.monotonic() - started)


def check_list(mutants):
    faults = 0
    for mutant in mutants:
        with open(os.path.join(ROOT, mutant["file"]), encoding="utf-8") as handle:
            count = handle.read().count(mutant["original"])
        if count != 1:
            faults += 1
            print(f"{list_line(mutant)}: the original text is found {count} times")
    files = len({m["file"] for m in mutants})
    print(f"{len(mutants)} mutants in {files} files, {faults} faulty")
    return 1 if faults else 0


def mutant_line(mutant):
    with open(os.path.join(ROOT, mutant["file"]), encoding="utf-8") as handle:
        text = handle.read()
    at = text.find(mutant["original"])
    return text.count("\n", 0, at) + 1 if at >= 0 else 0


def report(results, seconds):
    print("\n| Mutant | Fault | Result | Caught by |\n|---|---|---|---|")
    for mutant, line, outcome, by in results:
        print(f"| {mutant['file']}:{line} | {mutant['what']} | {outcome} | {by} |")
    folders = {}
    for mutant, _, outcome, _ in results:
        folder = mutant["file"].split("/")[0]
        folders.setdefault(folder, []).append(outcome)
    folders["overall"] = [outcome for _, _, outcome, _ in results]
    print("\n| Folder | Killed | Survived | Equivalent | Score |\n|---|---|---|---|---|")
    for folder, outcomes in folders.items():
        killed = outcomes.count("killed")
        survived = outcomes.count("survived")
        score = f"{100 * killed / (killed + survived):.0f} %" if killed + survived else "-"
        print(f"| {folder} | {killed} | {survived} | {outcomes.count('equivalent')} | {score} |")
    broken = [r for r in results if r[2] in ("not found", "ambiguous", "no build")]
    for mutant, _, outcome, _ in broken:
        print(f"{list_line(mutant)}: {outcome}", file=sys.stderr)
    print(f"\n{len(results)} mutants in {seconds / 60:.1f} min")
    return 1 if broken else 0


def list_line(mutant):
    return f"tests/mutants.txt:{mutant['line']}"


if __name__ == "__main__":
    sys.exit(main())
