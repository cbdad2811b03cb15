#!/usr/bin/env python3
"""Runs one Setup.exe command under Wine and shows what a person would have seen.

    python3 tests/e2e/run_once.py --setup build/Setup.exe --package DIR [options] -- ARGUMENTS

The package folder is copied to C:\\pkg in a clean prefix (Setup.exe from
--setup is put beside its files), a dialog robot reads and answers every
message box, and the exit code comes back whole. Prints a readable report, or
JSON with --json.
"""

import argparse
import json
import sys
from pathlib import Path
from typing import Optional, Sequence

sys.path.insert(0, str(Path(__file__).resolve().parent))

import rig  # noqa: E402

WINDOWS_NAMES = {
    "win10": "Windows 10, 64-bit",
    "win81": "Windows 8.1, 64-bit",
    "win8": "Windows 8, 64-bit",
    "win7": "Windows 7, 64-bit",
    "vista": "Windows Vista, 64-bit",
    "winxp64": "Windows XP, 64-bit",
    "winxp": "Windows XP, 32-bit",
    "win2k": "Windows 2000",
}
BUTTON_NAMES = {"ok": "OK", "yes": "Yes", "no": "No", "cancel": "Cancel"}


def package_from(folder: Path, dpinst: list) -> rig.Package:
    files = {
        str(p.relative_to(folder)).replace("/", "\\"): p
        for p in sorted(folder.rglob("*"))
        if p.is_file() and p.name.lower() != "setup.exe"
    }
    widths = dict(item.split("=", 1) for item in dpinst)
    return rig.Package(files=files, dpinst=widths)


def report(version: str, command: str, result: rig.RunResult, boxes: list) -> str:
    lines = [f"Windows version reported: {WINDOWS_NAMES.get(version, version)}", f"Command line: {command}", ""]
    if not boxes:
        lines.append("No message box was shown.")
    for number, box in enumerate(boxes, 1):
        buttons = ", ".join(
            BUTTON_NAMES.get(b, b) + (" (default)" if b == box["default"] else "") for b in box["buttons"]
        )
        lines += [f"Message box {number}", f"  caption: {box['caption']}", f"  buttons: {buttons}", "  text:"]
        lines += [("    | " + line.replace("\t", "        ")).rstrip() for line in box["text"].split("\n")]
        lines += [f"  answered: {BUTTON_NAMES.get(box.get('pressed'), box.get('pressed'))}", ""]
    lines.append(f"Exit code: {result.exit_code}" if result.exit_code is not None else f"No exit code: {result.error}")
    return "\n".join(lines)


def run_package(
    setup: Path,
    package_dir: Path,
    arguments: str,
    windows: str = "win10",
    dpinst: Sequence[str] = (),
    dpinst_exit: int = 0,
    answers: Sequence[str] = (),
    files: Sequence[str] = (),
) -> dict:
    """Runs one Setup.exe command in a fresh copy of the package and returns what
    came out: the command, the RunResult, the boxes, the stand-in's records
    (command lines; "bits=NN station=visible|hidden cwd=FOLDER" lines) and the
    bytes of each of files (None when missing)."""
    rig.build_tools()
    rig.ensure_locales(["en_US.UTF-8"])
    display = rig.Display()
    prefix = None
    try:
        prefix = rig.Prefix(windows, display.start()).open()
        package = package_from(package_dir, list(dpinst))
        result, boxes = rig.run_setup(
            prefix, package, setup.resolve(), arguments, answers, dpinst=rig.DPInst(exit_code=dpinst_exit)
        )

        def lines(name: str) -> list:
            path = prefix.unix(rig.RECORDS_WIN + "\\" + name)
            return path.read_bytes().decode("utf-8", "replace").splitlines() if path.exists() else []

        def content(name: str) -> Optional[bytes]:
            path = prefix.unix(name)
            return path.read_bytes() if path.is_file() else None

        return {
            "command": rig.cmdline_bytes(package.exe_path, arguments).decode(),
            "result": result,
            "boxes": boxes,
            "dpinst_calls": lines("dpinst_calls.txt"),
            "dpinst_runs": lines("dpinst_runs.txt"),
            "files": {name: content(name) for name in files},
        }
    finally:
        if prefix:
            prefix.close()
        display.stop()


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--setup", required=True, type=Path)
    parser.add_argument("--package", required=True, type=Path, help="folder holding the package's files")
    parser.add_argument("--windows", default="win10", help="Windows version the prefix reports")
    parser.add_argument(
        "--dpinst",
        action="append",
        default=[],
        metavar="FOLDER=x64|x86",
        help="put the DPInst stand-in of that width into this package folder",
    )
    parser.add_argument("--dpinst-exit", type=lambda v: int(v, 0), default=0, help="the stand-in's exit code")
    parser.add_argument("--answer", action="append", default=[], help="ok/yes/no/cancel/default, box by box")
    parser.add_argument("--json", action="store_true")
    parser.add_argument("arguments", nargs=argparse.REMAINDER)
    options = parser.parse_args()
    arguments = " ".join(a for a in options.arguments if a != "--")

    done = run_package(
        options.setup, options.package, arguments, options.windows, options.dpinst, options.dpinst_exit, options.answer
    )
    result = done["result"]
    if options.json:
        print(
            json.dumps(
                {
                    "command": done["command"],
                    "exit_code": result.exit_code,
                    "error": result.error,
                    "boxes": done["boxes"],
                    "dpinst_calls": done["dpinst_calls"],
                },
                ensure_ascii=False,
                indent=1,
            )
        )
    else:
        print(report(options.windows, done["command"], result, done["boxes"]))
        for call in done["dpinst_calls"]:
            print(f"DPInst was started as: {call}")
    return 0 if result.exit_code is not None else 1


if __name__ == "__main__":
    rig.run_main(main)
