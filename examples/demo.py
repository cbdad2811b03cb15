#!/usr/bin/env python3
"""A silent installation of the sample package under Wine, told in plain words.

    python3 examples/demo.py build/Setup.exe

Used by examples/demo.sh (make demo).
"""
import configparser
import re
import sys
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "e2e"))

import rig  # noqa: E402
import run_once  # noqa: E402

PACKAGE = REPO / "examples" / "package"
LOG = "C:\\TouchPad\\log\\Setup.log"
DPINST_RETURNS = 1  # what the stand-in is told to return: one driver package installed

RESULTS = {
    0: "success",
    3: "a step failed softly",
    4: "drivers only staged, not installed",
    1603: "installation failed",
    1608: "unknown option value",
    1633: "package does not fit this machine",
    1641: "restart needed to finish",
}


def dpinst_code_in_words(code: int) -> str:
    """DPInst's return code 0xWWXXYYZZ: flags, then counts of failed, staged and installed packages."""
    installed, staged, failed = code & 0xFF, (code >> 8) & 0xFF, (code >> 16) & 0xFF
    words = [f"{installed} driver package{'' if installed == 1 else 's'} installed"]
    words += [f"{staged} only copied to the driver store"] if staged else []
    words += [f"{failed} failed"] if failed or code & 0x80000000 else []
    words += ["a restart is needed"] if code & 0x40000000 else ["no restart needed"]
    return ", ".join(words)


def main() -> int:
    setup = Path(sys.argv[1] if len(sys.argv) > 1 else REPO / "build" / "Setup.exe")
    print(
        f"""Setup.exe sits at the root of a touch-pad driver package. It picks the right
DPInst.exe (the driver installer) for the running Windows, runs it, turns its
return code into an exit code for deployment tools, and writes a short log.

This demo runs it under Wine, pretending to be 64-bit Windows 10, on the sample
package in examples/package (Setup.ini, and Vi32 and Vi64 folders with the
driver's INF). The real DPInst.exe cannot ship here, so a small stand-in takes
its place in Vi32 and Vi64: it notes how it was started and returns {DPINST_RETURNS}.

Running:  Setup.exe /s     ("/s" means silent: no questions asked)
""",
        flush=True,
    )

    done = run_once.run_package(
        setup, PACKAGE, "/s", dpinst=["Vi64=x64", "Vi32=x86"], dpinst_exit=DPINST_RETURNS, files=[LOG]
    )
    result = done["result"]
    if result.exit_code is None:
        print(f"Setup.exe did not finish: {result.error}")
        return 1

    settings = configparser.ConfigParser(interpolation=None)
    settings.read(PACKAGE / "Setup.ini")
    print("What happened")
    if settings.has_section("W864"):
        w864 = settings["W864"]
        print(
            f"  Windows 10 64-bit reads the [W864] section of Setup.ini: Path={w864.get('Path', '')}, "
            f"Support={w864.get('Support', '0')}"
        )
    for call, run in zip(done["dpinst_calls"], done["dpinst_runs"]):
        program, options = re.match(r'"([^"]*)"(.*)', call).groups() if call.startswith('"') else (call, "")
        bits = re.search(r"bits=(\d+)", run)
        print(f"  Setup.exe started   {program}" + (f"  ({bits.group(1)}-bit)" if bits else ""))
        source = (
            "Silent in Setup.ini"
            if settings.has_option("W864", "Silent")
            else "Setup.ini names none, so the built-in ones"
        )
        print(f"  with the options    {options.strip() or '(none)'}   (those for a silent run: {source})")
        print(f"  The stand-in's record of its command line:  {call}")
    if not done["dpinst_calls"]:
        print("  Setup.exe did not start DPInst.")
    else:
        code = DPINST_RETURNS
        print(f"  DPInst returned     {code} (0x{code:08X}): {dpinst_code_in_words(code)}")

    log = done["files"][LOG]
    text = log[2:].decode("utf-16-le", errors="replace") if log and log.startswith(b"\xff\xfe") else None
    logged = re.search(r"^Exit code = (-?\d+)", text or "", re.M)
    if logged:
        code = int(logged.group(1))
        print(f"  Setup's result      {code} ({RESULTS.get(code, 'passed on from DPInst')})")
    for box in done["boxes"]:
        print(f"  A message box said: {box['text']!r}")
    if not done["boxes"]:
        print("  No message box was shown.")
    print(f"  Exit code           {result.exit_code}  (Support=63 in Setup.ini passes the result on as the exit code)")

    print(f"\nThe runtime log {LOG} (UTF-16 text, shown decoded):")
    if text is None:
        print("  (not written)")
    lines = (text or "").rstrip("\r\n").split("\r\n")
    for line in lines:
        print(f"  | {line}")
    if "  Installed version:" in lines:
        print("  The installed version is empty: this machine had no touch-pad driver before.")
    return 0 if result.exit_code == 0 else 1


if __name__ == "__main__":
    rig.run_main(main)
