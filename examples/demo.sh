#!/usr/bin/env bash
# Shows Setup.exe at work under Wine: runs "Setup.exe /?" in a sample driver
# package and prints the help screen as it appeared, and the exit code.
#
#   bash examples/demo.sh build/Setup.exe
#
# The first run makes a Wine prefix under build/e2e/prefixes (about half a
# minute); later runs reuse it.
set -euo pipefail

setup=${1:-build/Setup.exe}
repo=$(cd "$(dirname "$0")/.." && pwd)
if [[ ! -f "$setup" ]]; then
    echo "no Setup.exe at $setup: run 'make exe' first" >&2
    exit 2
fi

# The sample package beside this script: Setup.ini, the INF files and, as the
# real DPInst.exe cannot ship here, the test stand-in put into Vi64 and Vi32.
package="$repo/examples/package"

cat <<'TEXT'
Setup.exe is a Windows program with no window of its own: all it says, it says
in message boxes, and deployment tools read its exit code. Here it runs under
Wine on a private X display; a small robot program reads each message box and
presses its default button.

Running:  Setup.exe /?    (examples/package copied to C:\pkg)

TEXT
python3 "$repo/tests/e2e/run_once.py" --setup "$setup" --package "$package" --dpinst 'Vi64=x64' --dpinst 'Vi32=x86' -- '/?'
