#!/usr/bin/env bash
# Checks a driver package as Setup.exe would on every Windows version, by
# running CheckPackage.exe under Wine (for build pipelines on Linux):
#
#   bash tools/check-package.sh FOLDER [--device HARDWARE_ID]... [--json]
#
# Exit code: 0 clean, 1 warnings only, 2 errors. The checker only reads the
# package; its Wine prefix lives in build/check-package (or $WINEPREFIX).
set -euo pipefail
if [[ $# -lt 1 || ! -d $1 ]]; then
    echo "usage: $0 FOLDER [--device HARDWARE_ID]... [--json]" >&2
    exit 2
fi
repo=$(cd "$(dirname "$0")/.." && pwd)
checker=$(realpath "${CHECK_PACKAGE_EXE:-$repo/build/CheckPackage.exe}")
folder=$(realpath "$1")
shift
[[ -f $checker ]] || make -C "$repo" exe >&2
# The sample package in the tree lacks the programs Microsoft ships; make puts stand-ins there.
[[ $folder != "$repo/examples/package" ]] || make -s -C "$repo" sample >&2

export WINEPREFIX=${WINEPREFIX:-$repo/build/check-package/prefix}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
unset DISPLAY
if [[ ! -d $WINEPREFIX/drive_c ]]; then
    mkdir -p "$WINEPREFIX"
    (cd "$WINEPREFIX" && wine wineboot -i >/dev/null 2>&1 && wineserver -w)
fi
# The package is reached through drive Z:; Wine's current folder stays inside the prefix.
cd "$WINEPREFIX/drive_c"
set +e
wine "$(winepath -w "$checker")" "$(winepath -w "$folder")" "$@" | tr -d '\r'
status=${PIPESTATUS[0]}
exit "$status"
