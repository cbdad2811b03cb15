#!/usr/bin/env bash
# Builds the fuzz targets (libFuzzer, ASan and UBSan against the core and the
# simulated machine) in the host build and runs each for a bounded time.
# FUZZ_SECONDS (default 15) sets the time per target.
#   bash tests/fuzz/run_fuzz.sh [host build folder]
set -euo pipefail
build=${1:-build/host}
seconds=${FUZZ_SECONDS:-15}
targets=()
for source in tests/fuzz/fuzz_*.cpp; do
    targets+=("$(basename "$source" .cpp)")
done
cmake --build "$build" -j"${JOBS:-2}" --target "${targets[@]}"

passed=0
failed=0
for name in "${targets[@]}"; do
    corpus="$build/fuzz/corpus/$name"
    mkdir -p "$corpus"
    if "$build/fuzz/$name" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=0 \
        "$corpus" >"$build/fuzz/$name.log" 2>&1; then
        echo "fuzz $name: clean for ${seconds}s ($(grep -c . "$build/fuzz/$name.log") log lines)"
        passed=$((passed + 1))
    else
        echo "fuzz $name: FAILED, see $build/fuzz/$name.log"
        tail -30 "$build/fuzz/$name.log"
        failed=$((failed + 1))
    fi
done
echo "fuzz: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
