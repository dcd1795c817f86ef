#!/usr/bin/env bash
# Builds the libFuzzer targets under AddressSanitizer and
# UndefinedBehaviorSanitizer and runs each for a while (TVK_FUZZ_SECONDS,
# 60 by default), starting from the committed seed corpus. Any finding fails
# the run and is kept in build/fuzz/findings/ to add to the corpus and tests.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${TVK_FUZZ_SECONDS:-60}
cmake --preset fuzz -DTVK_WARNINGS_AS_ERRORS=ON > /dev/null
cmake --build --preset fuzz -j "$(nproc)"
findings=build/fuzz/findings
mkdir -p "$findings"
for target in extract naming; do
    grown=build/fuzz/corpus-$target # new inputs go here, not into the seeds
    mkdir -p "$grown"
    log=build/fuzz/$target.log
    if ! "build/fuzz/fuzz/${target}_fuzz" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$findings/$target-" "$grown" "fuzz/corpus/$target" > "$log" 2>&1; then
        tail -n 40 "$log"
        echo "fuzz: ${target}_fuzz found a fault; input in $findings/" >&2
        exit 1
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    time=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log")
    echo "fuzz: ${target}_fuzz: $runs executions in $time s, no finding"
done
