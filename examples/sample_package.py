#!/usr/bin/env python3
"""Completes a copy of the sample package for the package checker.

    python3 examples/sample_package.py DEST [build/Setup.exe]
    python3 examples/sample_package.py --in-place


examples/package holds what this project may ship: the settings file and the
INFs. The programs Microsoft ships with a real package (DPInst.exe in Vi32 and
Vi64, the .NET Framework and imaging-component installers in DotNetFx) cannot
be part of it; the end-to-end suite's stand-ins take their place in DEST, and
Setup.exe is put beside the settings file. With --in-place (as `make` runs it)
the stand-ins go into examples/package itself, where git ignores them, so that
the package checker judges the sample as a whole package.
"""
import shutil
import sys
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "e2e"))

import rig  # noqa: E402

STAND_INS = {
    "Vi64/DPInst.exe": "dpinst_x64.exe",
    "Vi32/DPInst.exe": "dpinst_x86.exe",
    # Only their presence is checked; any program stands in for them.
    "DotNetFx/dotNetFx40_Client_x86_x64.exe": "dpinst_x86.exe",
    "DotNetFx/wic_x64_enu.exe": "dpinst_x64.exe",
}


def add_stand_ins(dest: Path) -> None:
    for relative, stand_in in STAND_INS.items():
        (dest / relative).parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(rig.BIN / stand_in, dest / relative)


def main() -> int:
    if sys.argv[1:] == ["--in-place"]:
        rig.build_tools()
        add_stand_ins(REPO / "examples" / "package")
        return 0
    dest = Path(sys.argv[1])
    setup = Path(sys.argv[2]) if len(sys.argv) > 2 else REPO / "build" / "Setup.exe"
    rig.build_tools()
    shutil.rmtree(dest, ignore_errors=True)
    shutil.copytree(REPO / "examples" / "package", dest)
    add_stand_ins(dest)
    if setup.is_file():
        shutil.copyfile(setup, dest / "Setup.exe")
    return 0


if __name__ == "__main__":
    rig.run_main(main)
