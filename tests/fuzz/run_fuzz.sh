#!/usr/bin/env bash
# Builds the fuzz targets (libFuzzer, ASan and UBSan against the core and the
# simulated machine) in the host build and runs each for a bounded time from
# the committed seeds in tests/fuzz/corpus/<target> (inputs that once found a
# fault among them, so each run replays those first).
# FUZZ_SECONDS (default 15) sets the time per target; FUZZ_ONLY=NAME runs
# only the targets whose name holds NAME.
#   bash tests/fuzz/run_fuzz.sh [host build folder]
set -euo pipefail
build=${1:-build/host}
seconds=${FUZZ_SECONDS:-15}
targets=()
for source in tests/fuzz/fuzz_*.cpp; do
    name=$(basename "$source" .cpp)
    [[ "$name" == *"${FUZZ_ONLY:-}"* ]] && targets+=("$name")
done
cmake --build "$build" -j"${JOBS:-2}" --target "${targets[@]}"

passed=0
failed=0
for name in "${targets[@]}"; do
    corpus="$build/fuzz/corpus/$name"
    log="$build/fuzz/$name.log"
    mkdir -p "$corpus"
    if "$build/fuzz/$name" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=60 -print_final_stats=1 \
        -artifact_prefix="$build/fuzz/$name-" "$corpus" "tests/fuzz/corpus/$name" >"$log" 2>&1; then
        runs=$(grep -oE "number_of_executed_units: [0-9]+" "$log" | grep -oE "[0-9]+$")
        coverage=$(grep -E "^#[0-9]+" "$log" | tail -1 | grep -oE "cov: [0-9]+ ft: [0-9]+")
        echo "fuzz $name: clean for ${seconds}s, $runs runs, $coverage"
        passed=$((passed + 1))
    else
        echo "fuzz $name: FAILED, see $log"
        tail -30 "$log"
        failed=$((failed + 1))
    fi
done
echo "fuzz: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
