#!/usr/bin/env bash
# Builds and runs the INF-gathering benchmark: optimised, no sanitizers, not part
# of ctest. Usage: bash tests/bench/run_bench.sh [build folder] [repeats]
set -euo pipefail
out=${1:-build/bench}
mkdir -p "$out"
sources=$(ls src/*/*.cpp tests/sim/*.cpp | grep -v 'src/app/win_main.cpp')
g++ -std=c++17 -O2 -Isrc -Itests "-DSETUP_SOURCE_DIR=\"$PWD\"" $sources tests/bench/bench_inf_gather.cpp -o "$out/bench_inf_gather"
"$out/bench_inf_gather" "${2:-5}"
