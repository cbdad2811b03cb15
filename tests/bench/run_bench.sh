#!/usr/bin/env bash
# Builds and runs the INF-gathering benchmark: optimised, no sanitizers, not part
# of ctest. Usage: bash tests/bench/run_bench.sh [host build folder] [repeats] [sizes|names]
set -euo pipefail
build=${1:-build/host}
[[ -f "$build/CMakeCache.txt" ]] || make -s host HOST_DIR="$build"
cmake --build "$build" -j"${JOBS:-2}" --target bench_inf_gather
"$build/bench_inf_gather" "${2:-5}" "${3:-}"
