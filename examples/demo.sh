#!/usr/bin/env bash
# Shows Setup.exe at work under Wine: a silent installation ("Setup.exe /s") of
# the sample driver package in examples/package on a Windows 10 64-bit prefix,
# told in plain words: which DPInst it started with which options, what DPInst
# returned, the result, the exit code and the runtime log.
#
#   bash examples/demo.sh [build/Setup.exe]      (or: make demo)
#
# The first run builds what is missing and makes a Wine prefix under
# build/e2e/prefixes (about half a minute); later runs reuse it.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
setup=${1:-$repo/build/Setup.exe}
if [[ ! -f "$setup" ]]; then
    if [[ "$(realpath -m "$setup")" == "$repo/build/Setup.exe" ]]; then
        make -C "$repo" exe >&2
    else
        echo "no Setup.exe at $setup" >&2
        exit 2
    fi
fi
exec python3 "$repo/examples/demo.py" "$setup"
