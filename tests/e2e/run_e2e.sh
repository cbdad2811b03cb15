#!/usr/bin/env bash
# End-to-end tests of the real Setup.exe under Wine: bash tests/e2e/run_e2e.sh build/Setup.exe [-k NAME]
set -euo pipefail
if [[ $# -lt 1 ]]; then
    echo "usage: $0 path/to/Setup.exe [-k NAME] [--list]" >&2
    exit 2
fi
setup=$1
shift
exec python3 "$(dirname "$0")/e2e.py" --setup "$setup" "$@"
