#!/bin/sh
# Runs every fuzz target for FUZZ_SECONDS (default 60) from its seed corpus in fuzz/corpus/,
# keeping what it learns in the build tree, and prints the executions per target.
# Usage: fuzz.sh FUZZ_BUILD
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
seconds=${FUZZ_SECONDS:-60}
failed=0
summary=""
for target in accept_rule_fuzz device_key_fuzz device_naming_fuzz port_text_fuzz \
              settings_values_fuzz translate_fuzz scan_frame_fuzz frame_decoder_fuzz \
              sim_command_fuzz; do
    corpus="$build/corpus/$target"
    mkdir -p "$corpus" "$build/findings"
    log="$build/$target.log"
    "$build/fuzz/$target" "$corpus" "$here/fuzz/corpus/$target" -max_total_time="$seconds" \
        -print_final_stats=1 -artifact_prefix="$build/findings/$target-" >"$log" 2>&1
    status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    if [ $status -ne 0 ]; then
        failed=1
        summary="$summary
$target: FAILED after ${runs:-?} executions (see $log)"
    else
        summary="$summary
$target: ${runs:-?} executions, no finding"
    fi
done
echo "fuzzing, $seconds s per target:$summary"
exit $failed
