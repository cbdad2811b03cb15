#!/usr/bin/env bash
# Records expected/<name>.txt for every INF here with setupapi under Wine.
# Usage: bash tests/unit/inf_cases/record.sh   (from the checkout's root)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'WINEPREFIX=$work/prefix wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=" WINEPREFIX=$work/prefix
i686-w64-mingw32-g++ -std=c++17 -O2 -static -o "$work/infdump.exe" tests/e2e/tools/infdump.cpp -lsetupapi
wine wineboot -i >/dev/null 2>&1
wineserver -w
folder=$WINEPREFIX/drive_c/w
mkdir -p "$folder/inf_cases"
cp "$work/infdump.exe" "$folder/"
cp "$here"/*.inf "$folder/inf_cases/"
mkdir -p "$here/expected"
cd "$folder"
for inf in inf_cases/*.inf; do
    wine infdump.exe "$inf" | tr -d '\r' >"$here/expected/$(basename "$inf").txt"
done
echo "recorded $(ls "$here"/*.inf | wc -l) INFs into $here/expected"
