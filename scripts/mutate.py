#!/usr/bin/env python3
"""Mutation check of the portable code: plants each fault of tests/mutants.txt in turn, runs
the native tests that link the file, and prints what the tests caught.

    python3 scripts/mutate.py [--only TEXT] [--list FILE] [--check]

The mutated file is always put back: on success, on a failed build, on Ctrl+C or a kill
signal, and, should the machine die mid-run, by the next run, which restores the copy kept in
build/mutate/pending before it does anything else."""

import argparse
import fcntl
import hashlib
import json
import os
import re
import signal
import subprocess
import sys
import time
from concurrent.futures import ThreadPoolExecutor

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WORK = os.path.join(ROOT, "build", "mutate")
PENDING = os.path.join(WORK, "pending")
# make test's two native trees: a mutant the sanitizer-free tree misses may still be a race
# or a memory fault.
# Without debug information, which nothing here reads and which slows each rebuild.
TREES = [
    ("asan", "address", "Debug", "-O0", {}),
    ("tsan", "thread", "RelWithDebInfo", "-O2 -DNDEBUG", {"TSAN_OPTIONS": "halt_on_error=1"}),
]
STOP_SIGNALS = (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)
EQUIVALENTS = os.path.join(ROOT, "tests", "mutants_equivalent.txt")
HAND, GENERATED = "hand list", "generated sample"
# A case this slow (in seconds, unmutated) runs alone; quicker ones run together up to it.
SLOW_CASE = 1.0
# The least time a run of cases gets before it counts as hung, and how many run at once.
UNIT_CAP = 5.0
PARALLEL = 4

# The generated mutants' ground: the portable product code. The Win32 and POSIX layers, the
# stand-in driver (simdriver/), tests/, fuzz/, bench/ and a program's entry point (a file with
# main) are left out, as are headers, which hold interface facts (driver flags, message ids).
PRODUCT_FOLDERS = ("capture", "common", "devices", "forwarding", "listener", "settings", "shell")
# Comments, string and character literals and preprocessor lines, blanked before the operators
# are looked for, so that a mutant is always code.
NOT_CODE = re.compile(r'//[^\n]*|/\*.*?\*/|"(?:\\.|[^"\\\n])*"|\'(?:\\.|[^\'\\\n])*\'|^[ \t]*#[^\n]*',
                      re.S | re.M)
RELATIONAL = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "=="}
FLIPPED = {"true": ["false"], "false": ["true"]}
# clang-format spaces binary operators, so a spaced '<' is a comparison, never a template.
OPERATORS = [
    ("relational", re.compile(r"(?<= )(<=|>=|==|!=|<|>)(?= )"), lambda t: [RELATIONAL[t]]),
    ("logical", re.compile(r"(?<= )(&&|\|\|)(?= )"), lambda t: ["||" if t == "&&" else "&&"]),
    ("return", re.compile(r"(?<=\breturn )(true|false)(?=;)"), FLIPPED.get),
    ("boolean", re.compile(r"(?<!return )\b(true|false)\b"), FLIPPED.get),
    ("count", re.compile(r"(?<![\w.'])(\d+)(?![\w.'])"),
     lambda t: [str(int(t) + 1)] + ([str(int(t) - 1)] if int(t) > 0 else [])),
]
# A decimal constant is taken for a size, an index or a count unless its line names a time:
# a timeout or a pause moved by a millisecond is no fault.
TIMING = re.compile(r"milli|second|timeout|wait|delay|interval|duration|pause|sleep|retry|"
                    r"clock|chrono", re.I)
# A number chosen by a condition (`? 1 : 0`) is a truth value for the driver, not a count.
TRUTH_VALUE = re.compile(r"\?\s*(\w+\s*:\s*)?$")
# A row of a table of values (translation tables): its numbers are data, not counts.
TABLE_ROW = re.compile(r"^[\s\w,]*,\s*$")
# A whole statement that releases or resets something: dropping it is a leak or stale state.
RELEASE = re.compile(r"^([ \t]*)((?:[\w:]+(?:\.|->))*\w*(?:close|shutdown|unlock|reset|clear)\w*"
                     r"\(.*\);)[ \t]*$", re.I)


class Stopped(Exception):
    pass


def on_signal(number, frame):
    raise Stopped(signal.Signals(number).name)


def parse_list(path):
    """Blocks of: '[file]' headings, '* what the fault is', '- original', '+ replacement' ('+'
    alone: empty), '= equivalent: why'. A line that starts with a blank continues the text
    above it, indentation and all (a reason: joined by a blank)."""
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
            if line.startswith(" ") and kind == "equivalent":
                mutant[kind] += " " + line.strip()
            elif line.startswith(" ") and kind:
                mutant[kind].append(line)
            elif line.startswith("- "):
                kind = "original"
                mutant[kind].append(line[2:])
            elif line == "+" or line.startswith("+ "):
                kind = "replacement"
                mutant[kind].append(line[2:])
            elif line.startswith("= "):
                kind = "equivalent"
                mutant[kind] = line[2:]
            else:
                sys.exit(f"{path}:{number}: cannot read this line")
    for m in mutants:
        m["original"] = "\n".join(m["original"])
        m["replacement"] = "\n".join(m["replacement"])
        if not m["file"] or not m["original"]:
            sys.exit(f"{path}:{m['line']}: a mutant needs a [file] and '- ' text")
    return mutants


def product_files():
    files = []
    for folder in PRODUCT_FOLDERS:
        for base, _, names in os.walk(os.path.join(ROOT, folder)):
            for name in names:
                path = os.path.join(base, name)
                if (name.endswith(".cpp") and not name.endswith(("_win32.cpp", "_posix.cpp"))
                        and not re.search(r"^int main\(", read(path), re.M)):
                    files.append(os.path.relpath(path, ROOT))
    return sorted(files)


def generate(source):
    """Every mutant of the operators in a file. Its identity is the file, its line's text
    before and after, and which occurrence of that pair it is, so that an edit elsewhere in
    the file leaves it as it was."""
    text = read(os.path.join(ROOT, source))
    code = NOT_CODE.sub(lambda m: re.sub(r"[^\n]", " ", m.group()), text)
    mutants, seen, at = [], {}, 0
    for line, masked in zip(text.split("\n"), code.split("\n")):
        found = []
        for kind, pattern, replacements in OPERATORS:
            if kind == "count" and (TIMING.search(masked) or TABLE_ROW.match(masked)):
                continue
            for match in pattern.finditer(masked):
                if kind == "count" and TRUTH_VALUE.search(masked[:match.start()]):
                    continue
                found += [(kind, match.start(), match.end(), r) for r in replacements(match[0])]
        release = RELEASE.match(masked)
        if release:
            found.append(("release", release.start(2), release.end(2), ""))
        for kind, start, end, replacement in sorted(found, key=lambda f: f[1]):
            original = line.strip()
            changed = (line[:start] + replacement + line[end:]).strip()
            occurrence = seen[(original, changed)] = seen.get((original, changed), 0) + 1
            mutants.append({"file": source, "what": f"{kind} #{occurrence}", "line": 0,
                            "original": original, "replacement": changed,
                            "occurrence": occurrence, "equivalent": None,
                            "span": (at + start, at + end, replacement)})
        at += len(line) + 1
    return mutants


def identity(mutant):
    return "|".join([mutant["file"], mutant["original"], mutant["replacement"],
                     str(mutant.get("occurrence", 1))])


def generated_sample(size, seed):
    """The size mutants whose identities hash lowest with the seed, with the equivalents list's
    reasons; a mutant entering or leaving the pool never moves another in or out."""
    pool = [m for f in product_files() for m in generate(f)]
    reasons = {identity(e): e["equivalent"] for e in equivalent_list()}
    for mutant in pool:
        mutant["equivalent"] = reasons.get(identity(mutant))
    rank = lambda m: hashlib.sha256(f"{seed}|{identity(m)}".encode()).hexdigest()
    return sorted(pool, key=rank)[:size], pool


def equivalent_list():
    marked = parse_list(EQUIVALENTS)
    for mutant in marked:
        number = re.search(r"#(\d+)", mutant["what"])
        mutant["occurrence"] = int(number[1]) if number else 1
    return marked


def read(path):
    with open(path, encoding="utf-8", newline="") as handle:
        return handle.read()


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


def configure(tree, sanitizer, build_type, flags):
    """Configures the tree, every run, so that a tree made by an older run gets these settings
    too; a tree that has them is left as it is. Test discovery waits for ctest, which never
    runs here, so that a rebuilt test program is not also started to list its cases."""
    directory = os.path.join(WORK, tree)
    suffix = build_type.upper()
    code = run(["cmake", "-S", ".", "-B", directory, "-G", "Ninja",
                f"-DCMAKE_BUILD_TYPE={build_type}", f"-DWENDALUX_SANITIZER={sanitizer}",
                f"-DCMAKE_CXX_FLAGS_{suffix}={flags}", f"-DCMAKE_C_FLAGS_{suffix}={flags}",
                "-DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE=PRE_TEST",
                "-DCMAKE_EXPORT_COMPILE_COMMANDS=ON"])
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


def case_times(directory, program, env):
    """Each case of the unmutated program and its time in seconds; None when one fails."""
    output = os.path.join(WORK, f"{os.path.basename(directory)}-{program}.json")
    code = run([os.path.join(directory, "tests", program), f"--gtest_output=json:{output}"],
               env=env, timeout=600)
    if code != 0:
        return None
    with open(output, encoding="utf-8") as handle:
        suites = json.load(handle)["testsuites"]
    return {f"{suite['name']}.{case['name']}": float(case["time"].rstrip("s"))
            for suite in suites for case in suite["testsuite"]}


def test_units(program, times):
    """A program's cases in runs of their own: each slow case alone, the rest in runs of about
    a second, so that a mutant is found by the quick ones first and a hang costs only the cap
    of its own run."""
    units, batch, batch_time = [], [], 0.0
    for case, seconds in sorted(times.items(), key=lambda item: item[1]):
        if seconds >= SLOW_CASE:
            units.append((program, case, seconds))
            continue
        batch.append(case)
        batch_time += seconds
        if batch_time >= SLOW_CASE:
            units.append((program, ":".join(batch), batch_time))
            batch, batch_time = [], 0.0
    if batch:
        units.append((program, ":".join(batch), batch_time))
    return units


def run_tests(directory, units, extra_env):
    """The first run that fails or outlives its cap (four times its unmutated time, never
    under UNIT_CAP), or None when all pass. Up to PARALLEL runs at once, the quickest first:
    most of the slow cases wait on sockets and timers rather than use a core."""
    env = dict(os.environ, **extra_env)
    # The longest run starts at once beside the quick ones, so that a mutant that survives
    # waits for it only once; the quick ones then go in order.
    waiting = sorted(units, key=lambda unit: unit[2])
    if waiting and waiting[-1][2] >= SLOW_CASE:
        waiting.insert(0, waiting.pop())
    running = []
    try:
        while waiting or running:
            while waiting and len(running) < PARALLEL:
                program, cases, seconds = waiting.pop(0)
                command = [os.path.join(directory, "tests", program), "--gtest_fail_fast",
                           f"--gtest_filter={cases}"]
                process = subprocess.Popen(command, cwd=ROOT, env=env, start_new_session=True,
                                           stdout=subprocess.DEVNULL,
                                           stderr=subprocess.DEVNULL)
                running.append((process, program, time.monotonic() + max(UNIT_CAP, 4 * seconds)))
            time.sleep(0.02)
            for entry in list(running):
                process, program, deadline = entry
                code = process.poll()
                if code is None and time.monotonic() < deadline:
                    continue
                running.remove(entry)
                if code is None:
                    return f"{program} (hung)"
                if code != 0:
                    return program
        return None
    finally:
        for process, _, _ in running:
            if process.poll() is None:
                os.killpg(process.pid, signal.SIGKILL)
            process.wait()


def mutate_and_test(mutant, trees, units):
    path = os.path.join(ROOT, mutant["file"])
    text = read(path)
    if "span" in mutant:
        start, end, replacement = mutant["span"]
        mutated = text[:start] + replacement + text[end:]
    else:
        count = text.count(mutant["original"])
        if count != 1:
            return ("not found" if count == 0 else "ambiguous"), ""
        mutated = text.replace(mutant["original"], mutant["replacement"])
    with open(PENDING, "w", encoding="utf-8") as handle:
        json.dump({"path": path, "text": text}, handle)
    try:
        with open(path, "w", encoding="utf-8", newline="") as handle:
            handle.write(mutated)
        # The generated operators change values and conditions, not which lock guards what,
        # which is what the TSan tree is there for (a dropped unlock hangs in either tree): they
        # run in the ASan tree alone, which halves what a survivor costs.
        for tree, directory, env in trees if "span" not in mutant else trees[:1]:
            linking = units[(tree, mutant["file"])]
            targets = sorted({program for program, _, _ in linking})
            if run(["cmake", "--build", directory, "--target", *targets]) != 0:
                # A generated mutant may not compile (an array shorter than its values): the
                # compiler caught it, and it counts neither way.
                return ("stillborn" if "span" in mutant else "no build"), tree
            failed = run_tests(directory, linking, env)
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
    parser.add_argument("--sample", type=int, default=int(os.environ.get("MUTATE_SAMPLE") or 150),
                        help="how many generated mutants to plant (MUTATE_SAMPLE)")
    parser.add_argument("--seed", default=os.environ.get("MUTATE_SEED") or "1",
                        help="which of them (MUTATE_SEED)")
    args = parser.parse_args()
    for number in STOP_SIGNALS:
        signal.signal(number, on_signal)
    os.makedirs(WORK, exist_ok=True)
    # One run at a time per tree: a second one, even --check, would put back the file that the
    # first one is testing.
    lock = open(os.path.join(WORK, "lock"), "w")
    try:
        fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except BlockingIOError:
        sys.exit("another mutate.py is running on this tree: wait for it")
    restore_pending()

    hand = [m for m in parse_list(args.list) if args.only in m["file"]]
    sample, pool = generated_sample(args.sample, args.seed)
    if args.check:
        return check_list(hand, pool)
    # Taken from the whole sample, so that --only reruns exactly the sample's mutants of a file;
    # in file order, so that a file is rebuilt unmutated only once its mutants are done.
    sample = sorted((m for m in sample if args.only in m["file"]),
                    key=lambda m: (m["file"], m["span"][0]))
    started = time.monotonic()
    trees, units = [], {}
    for tree, sanitizer, build_type, flags, env in TREES:
        directory = configure(tree, sanitizer, build_type, flags)
        if run(["cmake", "--build", directory], quiet=False) != 0:
            sys.exit(f"the unmutated code does not build in {directory}")
        names = test_programs(directory)
        with ThreadPoolExecutor(PARALLEL) as pool:
            times = dict(zip(names, pool.map(lambda n: case_times(directory, n, env), names)))
        for name in names:
            if times[name] is None:
                sys.exit(f"{name} fails in {tree} without a mutant: fix that first")
        for source in {m["file"] for m in hand + sample}:
            units[(tree, source)] = [unit for program in programs_linking(directory, source, names)
                                     for unit in test_units(program, times[program])]
        trees.append((tree, directory, env))

    results = {HAND: [], GENERATED: []}
    planted = [(HAND, m) for m in hand] + [(GENERATED, m) for m in sample]
    try:
        for index, (group, mutant) in enumerate(planted, 1):
            line = mutant_line(mutant)
            if not any(units[(tree, mutant["file"])] for tree, _, _ in trees):
                outcome, by = "survived", "no test links the file"
            else:
                outcome, by = mutate_and_test(mutant, trees, units)
            if mutant["equivalent"] and outcome == "survived":
                outcome = "equivalent"
            results[group].append((mutant, line, outcome, by))
            print(f"[{index}/{len(planted)}] {outcome:10} {mutant['file']}:{line} "
                  f"{describe(mutant)}" + (f"  ({by})" if by else ""), flush=True)
    except Stopped as stop:
        print(f"\nstopped by {stop}; the source is as it was", file=sys.stderr)
        return 130
    return report(results, time.monotonic() - started)


def describe(mutant):
    if "span" not in mutant:
        return mutant["what"]
    return f"{mutant['what']}: {mutant['original']}  =>  {mutant['replacement'] or '(removed)'}"


def check_list(hand, pool):
    faults = 0
    for mutant in hand:
        count = read(os.path.join(ROOT, mutant["file"])).count(mutant["original"])
        if count != 1:
            faults += 1
            print(f"{list_line(mutant)}: the original text is found {count} times")
    generated = {identity(m) for m in pool}
    equivalents = equivalent_list()
    for mutant in equivalents:
        if identity(mutant) not in generated:
            faults += 1
            print(f"{os.path.relpath(EQUIVALENTS, ROOT)}:{mutant['line']}: no such generated "
                  "mutant any more")
    files = len({m["file"] for m in hand})
    print(f"{len(hand)} mutants in {files} files, {len(pool)} generated "
          f"({len(equivalents)} marked equivalent), {faults} faulty")
    return 1 if faults else 0


def mutant_line(mutant):
    text = read(os.path.join(ROOT, mutant["file"]))
    at = mutant["span"][0] if "span" in mutant else text.find(mutant["original"])
    return text.count("\n", 0, at) + 1 if at >= 0 else 0


def report(results, seconds):
    scores = []
    for group, rows in results.items():
        if not rows:
            continue
        print(f"\n{group}:\n\n| Mutant | Fault | Result | Caught by |\n|---|---|---|---|")
        for mutant, line, outcome, by in rows:
            print(f"| {mutant['file']}:{line} | {describe(mutant)} | {outcome} | {by} |")
        folders = {}
        for mutant, _, outcome, _ in rows:
            folders.setdefault(mutant["file"].split("/")[0], []).append(outcome)
        folders["overall"] = [outcome for _, _, outcome, _ in rows]
        print("\n| Folder | Killed | Survived | Equivalent | Score |\n|---|---|---|---|---|")
        for folder, outcomes in folders.items():
            print(f"| {folder} | " + " | ".join(tally(outcomes)) + " |")
        scores.append(f"{group}: " + "{} killed, {} survived, {} equivalent: {}".format(
            *tally(folders["overall"])))
    broken = [row for rows in results.values() for row in rows
              if row[2] in ("not found", "ambiguous", "no build")]
    for mutant, _, outcome, _ in broken:
        where = list_line(mutant) if "span" not in mutant else mutant["file"]
        print(f"{where}: {outcome}", file=sys.stderr)
    print("\n" + "\n".join(scores))
    print(f"{sum(len(rows) for rows in results.values())} mutants in {seconds / 60:.1f} min")
    return 1 if broken else 0


def tally(outcomes):
    killed = outcomes.count("killed")
    survived = outcomes.count("survived")
    score = f"{100 * killed / (killed + survived):.0f} %" if killed + survived else "-"
    return [str(killed), str(survived), str(outcomes.count("equivalent")), score]


def list_line(mutant):
    return f"tests/mutants.txt:{mutant['line']}"


if __name__ == "__main__":
    sys.exit(main())
