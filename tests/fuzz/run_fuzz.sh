#!/usr/bin/env bash
# Builds every tests/fuzz/fuzz_*.cpp with libFuzzer, ASan and UBSan against the
# core and the simulated machine, and runs each for a bounded time.
# FUZZ_SECONDS (default 15) sets the time per target.
set -euo pipefail
out=${1:-build/fuzz}
seconds=${FUZZ_SECONDS:-15}
flags=(-std=c++17 -g -O1 -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -Isrc -Itests "-DSETUP_SOURCE_DIR=\"$PWD\"")
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
    clang++ "${flags[@]}" -fsanitize=fuzzer "$target" "${objects[@]}" -o "$out/$name"
    mkdir -p "$out/corpus/$name"
    if "$out/$name" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=0 \
        "$out/corpus/$name" >"$out/$name.log" 2>&1; then
        echo "fuzz $name: clean for ${seconds}s ($(grep -c . "$out/$name.log") log lines)"
        passed=$((passed + 1))
    else
        echo "fuzz $name: FAILED, see $out/$name.log"
        tail -30 "$out/$name.log"
        failed=$((failed + 1))
    fi
done
echo "fuzz: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
