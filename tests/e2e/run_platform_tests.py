#!/usr/bin/env python3
"""Runs the Win32 platform layer's test program under Wine:

    python3 tests/e2e/run_platform_tests.py build/platform_tests.exe

It runs in the Windows 10 prefix of the end-to-end tests, on a fresh
C:\\platform that holds a folder and a link to it, and ends with the
program's "platform: N passed, N failed" line and its exit code.
"""

import argparse
import shutil
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

import rig  # noqa: E402

WORK = "C:\\platform"
PROGRAM = "C:\\platform_tests.exe"


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("program", type=Path, help="platform_tests.exe")
    options = parser.parse_args()
    rig.build_tools()
    display = rig.Display()
    prefix = None
    try:
        prefix = rig.Prefix("win10", display.start())
        prefix.open()
        folder = prefix.unix(WORK)
        shutil.rmtree(folder, ignore_errors=True)
        (folder / "target").mkdir(parents=True)
        (folder / "link").symlink_to("target")
        shutil.copyfile(options.program, prefix.unix(PROGRAM))
        done = prefix.wine(PROGRAM, WORK, check=False, timeout=120)
        shutil.rmtree(folder, ignore_errors=True)
        prefix.unix(PROGRAM).unlink()
    finally:
        if prefix:
            prefix.close()
        display.stop()
    output = done.stdout.decode("ascii", errors="replace").replace("\r\n", "\n")
    print(output, end="")
    if "\nplatform: " not in "\n" + output:
        print(f"platform_tests.exe ended with {done.returncode} before its summary", file=sys.stderr)
        print("platform: 0 passed, 1 failed")
        return 1
    return 1 if done.returncode else 0


if __name__ == "__main__":
    rig.run_main(main, ("platform rig error: {error}", "platform: 0 passed, 1 failed"), failure_code=1)
