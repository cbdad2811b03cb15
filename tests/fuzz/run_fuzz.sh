#!/usr/bin/env bash
# Builds every tests/fuzz/fuzz_*.cpp with libFuzzer, ASan and UBSan against the
# core and the simulated machine, and runs each for a bounded time from the
# committed seeds in tests/fuzz/corpus/<target> (inputs that once found a
# fault among them, so each run replays those first).
# FUZZ_SECONDS (default 15) sets the time per target; FUZZ_ONLY=NAME runs
# only the targets whose name holds NAME.
set -euo pipefail
out=${1:-build/fuzz}
seconds=${FUZZ_SECONDS:-15}
flags=(-std=c++17 -g -O1 -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -Isrc -Itests)
mkdir -p "$out/obj" "$out/corpus"

objects=()
for source in $(ls src/*/*.cpp tests/sim/*.cpp | grep -v 'src/app/win_main.cpp'); do
    object="$out/obj/$(echo "$source" | tr '/' '_' ).o"
    if [[ ! -f "$object" || "$source" -nt "$object" || -n "$(find src tests/sim -name '*.h' -newer "$object" | head -1)" ]]; then
        clang++ "${flags[@]}" -c "$source" -o "$object"
    fi
    objects+=("$object")
done

passed=0
failed=0
for target in tests/fuzz/fuzz_*.cpp; do
    [[ -e "$target" ]] || continue
    name=$(basename "$target" .cpp)
    [[ "$name" == *"${FUZZ_ONLY:-}"* ]] || continue
    clang++ "${flags[@]}" -fsanitize=fuzzer "$target" "${objects[@]}" -o "$out/$name"
    mkdir -p "$out/corpus/$name" "tests/fuzz/corpus/$name"
    if "$out/$name" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=60 -print_final_stats=1 \
        -artifact_prefix="$out/$name-" "$out/corpus/$name" "tests/fuzz/corpus/$name" >"$out/$name.log" 2>&1; then
        runs=$(grep -oE "number_of_executed_units: [0-9]+" "$out/$name.log" | grep -oE "[0-9]+$")
        coverage=$(grep -E "^#[0-9]+" "$out/$name.log" | tail -1 | grep -oE "cov: [0-9]+ ft: [0-9]+")
        echo "fuzz $name: clean for ${seconds}s, $runs runs, $coverage"
        passed=$((passed + 1))
    else
        echo "fuzz $name: FAILED, see $out/$name.log"
        tail -30 "$out/$name.log"
        failed=$((failed + 1))
    fi
done
echo "fuzz: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
