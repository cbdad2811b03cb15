#!/usr/bin/env python3
"""Benchmark (not a test): what the protected copy costs a silent installation.

    python3 tests/bench/bench_package_copy.py [build/Setup.exe] [rounds]

A package like a real one (about 300 MB: Vi64, Vi32, two XP folders and the
41 MB prerequisite installer) of which a 64-bit Windows 10 run uses Setup.ini
and Vi64. Each round runs `Setup.exe /s` under Wine once from the package as
it is (only administrators may change it: used in place) and once after
others were given write access to its folder (the run copies what it uses),
alternating, and beside them times `cp -r` of the files the run needs into
drive C: and their `rm -rf`. Runs are timed as bench_trace.py times them.
Prints min and median of each side and the copy's extra cost against `cp -r`.
"""
import os
import shutil
import stat
import statistics
import subprocess
import sys
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / "tests" / "e2e"))
sys.path.insert(0, str(Path(__file__).resolve().parent))

import rig  # noqa: E402
from bench_trace import timed_run, warm_prefix  # noqa: E402

MB = 1 << 20
INF = (REPO / "examples" / "package" / "Vi64" / "GlidexTP.inf").read_bytes()
SETTINGS = "[W864]\r\nPath=\\Vi64\\DPInst.exe\r\nSupport=0x18\r\n[W832]\r\nPath=\\Vi32\\DPInst.exe\r\nSupport=0x18\r\n"
# Folder -> [(file, megabytes)]: the driver files of each platform folder.
LAYOUT = {
    "Vi64": [("GlidexTP.sys", 3), ("GlidexApp.exe", 24), ("GlidexHelp.chm", 18), ("GlidexRes.dll", 29)],
    "Vi32": [("GlidexTP.sys", 2), ("GlidexApp.exe", 22), ("GlidexHelp.chm", 18), ("GlidexRes.dll", 27)],
    "XP32": [("GlidexTP.sys", 2), ("GlidexApp.exe", 20), ("GlidexHelp.chm", 16), ("GlidexRes.dll", 25)],
    "XP64": [("GlidexTP.sys", 3), ("GlidexApp.exe", 21), ("GlidexRes.dll", 26)],
    "DotNetFx": [("dotNetFx40_Client_x86_x64.exe", 41)],
}
NEEDED = ["Setup.ini", "Vi64"]


def package() -> rig.Package:
    block = os.urandom(MB)
    files = {"Setup.ini": SETTINGS}
    for folder, entries in LAYOUT.items():
        for name, megabytes in entries:
            files[f"{folder}\\{name}"] = block * megabytes
    files["Vi64\\GlidexTP.inf"] = INF
    files["Vi32\\GlidexTP.inf"] = INF
    return rig.Package(files=files, dpinst={"Vi64": "x64", "Vi32": "x86", "XP32": "x86", "XP64": "x64"})


def timed_copy(source: Path, target: Path) -> tuple:
    target.mkdir()
    start = time.monotonic()
    subprocess.run(["cp", "-r", *[str(source / n) for n in NEEDED], str(target)], check=True)
    copied = time.monotonic()
    subprocess.run(["rm", "-rf", str(target)], check=True)
    return copied - start, time.monotonic() - copied


def show(label: str, values: list) -> None:
    print(f"{label:34}: min {min(values) * 1000:7.1f} ms, median {statistics.median(values) * 1000:7.1f} ms")


def main() -> int:
    setup = Path(sys.argv[1] if len(sys.argv) > 1 else REPO / "build" / "Setup.exe").resolve()
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 20
    pkg = package()
    with warm_prefix(pkg, setup) as prefix:
        root = prefix.unix(pkg.folder)
        size = sum(p.stat().st_size for p in root.rglob("*") if p.is_file())
        needed = sum(p.stat().st_size for n in NEEDED for p in [root / n, *(root / n).rglob("*")] if p.is_file())
        print(f"package {size / MB:.1f} MB, of which the run needs {needed / MB:.1f} MB")
        env = prefix.env()
        mode = root.stat().st_mode
        times = {"in place": [], "copied": [], "cp": [], "rm": []}
        target = prefix.unix("C:\\bench-copy")
        try:
            for round_number in range(rounds + 1):
                for writable in (False, True) if round_number % 2 == 0 else (True, False):
                    root.chmod(mode | stat.S_IWOTH if writable else mode & ~stat.S_IWOTH)
                    elapsed = timed_run(prefix, env, pkg.exe_path)
                    if round_number == 0:  # the first round warms up and checks what the run did
                        newest = max(prefix.step_traces(), key=lambda p: p.stat().st_mtime_ns)
                        said = "Package: copied to" if writable else "used in place"
                        if said not in newest.read_text("cp1252"):
                            raise rig.RigError(f"the run did not say {said!r}")
                    else:
                        times["copied" if writable else "in place"].append(elapsed)
                copy, remove = timed_copy(root, target)
                if round_number > 0:
                    times["cp"].append(copy)
                    times["rm"].append(remove)
        finally:
            root.chmod(mode)
            shutil.rmtree(target, ignore_errors=True)
        show("silent run, package used in place", times["in place"])
        show("silent run, needed files copied", times["copied"])
        show("cp -r of the needed files", times["cp"])
        show("rm -rf of them", times["rm"])
        for name, pick in (("min", min), ("median", statistics.median)):
            extra = pick(times["copied"]) - pick(times["in place"])
            cp = pick(times["cp"])
            print(
                f"{name:6}: the copy costs {extra * 1000:+.1f} ms, cp -r {cp * 1000:.1f} ms: {extra / cp:.2f} times; "
                f"{extra / (cp + pick(times['rm'])):.2f} times cp -r plus rm -rf"
            )
        return 0


if __name__ == "__main__":
    rig.run_main(main)
