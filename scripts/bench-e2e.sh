#!/bin/sh
# End-to-end benchmark: the real Wendalux.exe under Wine with the stand-in driver and a TCP
# client (bench/e2e_bench_win32.cpp), plus the idle cost read from /proc while it idles.
# Writes build/bench/e2e.json and prints a summary.
# With BENCH_BASELINE=REV (a git revision, for example HEAD~3) the program of that revision is
# built in a folder of its own and measured first by the same benchmark, so that old and new
# stand side by side in one run (build/bench/e2e-baseline.json).
# Usage: bench-e2e.sh WINDOWS_BUILD OUTPUT_FOLDER
set -u
wine_scripts=$(cd "$(dirname "$0")" && pwd)
. "$wine_scripts/wine-session.sh"
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)

source_root=$(cd "$wine_scripts/.." && pwd)
to_windows() { printf 'Z:%s' "$1" | tr '/' '\\'; }

# The baseline's program, built from a worktree of that revision with the same toolchain.
if [ -n "${BENCH_BASELINE:-}" ]; then
    baseline_src="$out/baseline-src"
    baseline_build="$out/baseline-build"
    git -C "$source_root" worktree remove --force "$baseline_src" 2>/dev/null || rm -rf "$baseline_src"
    git -C "$source_root" worktree add --detach "$baseline_src" "$BENCH_BASELINE" >/dev/null || exit 1
    cmake -S "$baseline_src" -B "$baseline_build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$baseline_src/cmake/mingw-w64-posix.cmake" >/dev/null &&
        cmake --build "$baseline_build" --target Wendalux >/dev/null || exit 1
    git -C "$source_root" worktree remove --force "$baseline_src"
fi

# One run of the benchmark against a program; PROGRAM empty means this build's own.
run_bench() {
    label=$1 program=$2 work=$3 json=$4
    rm -rf "$work"
    wine_session_prefix "$build/wineprefix-template" "$work"
    wine_session_display "$work" 1280x1024x24
    echo "== $label"
    WENDALUX_PROGRAM="$program" wine "$build/tests/e2e_bench.exe" \
        "$(to_windows "$work/results.json")" "$(to_windows "$work/idle")" &
    bench=$!

    while [ ! -f "$work/idle" ] && kill -0 "$bench" 2>/dev/null; do sleep 0.2; done
    [ -f "$work/idle" ] || { echo "bench-e2e: the benchmark ended before its idle phase" >&2; exit 1; }
    pid=$(pgrep -f 'Wendalux\.exe' | head -n 1)
    ticks=$(getconf CLK_TCK)
    sample() {
        cpu=$(awk '{print $14 + $15}' "/proc/$pid/stat")
        switches=$(cat /proc/"$pid"/task/*/status | awk '/ctxt_switches/ {s += $2} END {print s}')
    }
    # Per thread (ticks of CPU, context switches), to see where idle time goes.
    threads() {
        for task in /proc/"$pid"/task/*; do
            printf '%s %s %s\n' "${task##*/}" "$(awk '{print $14 + $15}' "$task/stat")" \
                "$(awk '/ctxt_switches/ {s += $2} END {print s}' "$task/status")"
        done
    }
    sample
    threads >"$work/threads0"
    cpu0=$cpu
    switches0=$switches
    sleep 30
    sample
    threads >"$work/threads1"
    echo "idle per thread (id, CPU ticks, context switches in 30 s):"
    join "$work/threads0" "$work/threads1" | awk '{printf "  %s %d %d\n", $1, $4 - $2, $5 - $3}'
    rss=$(awk '/^VmRSS/ {print $2}' "/proc/$pid/status")
    private=$(awk '/^RssAnon/ {print $2}' "/proc/$pid/status")
    wait "$bench"
    summarise "$work/results.json" "$json" "$cpu0" "$cpu" "$ticks" "$switches0" "$switches" \
        "$rss" "$private"
    wine_session_stop "$work"
}

summarise() {
python3 - "$@" <<'PYTHON'
import json, platform, os, sys
results, output = sys.argv[1], sys.argv[2]
cpu0, cpu1, ticks, sw0, sw1, rss, private = map(int, sys.argv[3:])
data = json.load(open(results))
data["idle"] = {
    "seconds": 30,
    "cpu_percent_of_one_core": round((cpu1 - cpu0) / ticks / 30 * 100, 3),
    "wakeups_per_second": round((sw1 - sw0) / 30, 1),
    "working_set_mb": round(rss / 1024, 1),
    "private_mb": round(private / 1024, 1),
}
data["machine"] = {"cpu": next((l.split(":", 1)[1].strip() for l in open("/proc/cpuinfo")
                                 if l.startswith("model name")), "unknown"),
                   "cores": os.cpu_count(), "system": platform.platform(),
                   "wine": os.popen("wine --version").read().strip()}
json.dump(data, open(output, "w"), indent=2)
e, u, b, i = data["enter_to_frame"], data["user_keyboard"], data["burst"], data["idle"]
a = data["arrival_to_filter"]
print("Scanner, Enter-to-frame over %d scans: median %.1f ms, p99 %.1f ms, max %.1f ms"
      % (e["count"], e["median_ms"], e["p99_ms"], e["max_ms"]))
print("User's keyboard: %d strokes, %d reached the system, %d entered the program (no cost: "
      "never filtered)" % (u["strokes"], u["reached_system"], u["entered_program"]))
print("Burst: %d strokes, %d lost, %d scans, %d bytes, byte-exact %s, %.2f s"
      % (b["strokes"], b["strokes_lost"], b["scans"], b["bytes"], b["byte_exact"], b["seconds"]))
print("Arrival to filter over %d re-plugs: median %.1f ms, p99 %.1f ms, max %.1f ms (goal < 100)"
      % (a["count"], a["median_ms"], a["p99_ms"], a["max_ms"]))
print("Idle 30 s: CPU %.3f%% of one core, %.1f wake-ups/s, working set %.1f MB, private %.1f MB"
      % (i["cpu_percent_of_one_core"], i["wakeups_per_second"], i["working_set_mb"],
         i["private_mb"]))
print("written: %s" % output)
PYTHON
}

trap 'wine_session_stop "$out/e2e-work"' EXIT
trap 'exit 130' INT TERM
if [ -n "${BENCH_BASELINE:-}" ]; then
    run_bench "baseline $BENCH_BASELINE" "$baseline_build/bin/Wendalux.exe" \
        "$out/e2e-work" "$out/e2e-baseline.json"
fi
run_bench "this build" "" "$out/e2e-work" "$out/e2e.json"
