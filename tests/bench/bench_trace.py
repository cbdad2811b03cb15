#!/usr/bin/env python3
"""Benchmark (not a test): how much the step trace costs a silent installation.

    python3 tests/bench/bench_trace.py [build/Setup.exe] [runs]

Runs `Setup.exe /s` on the sample package under Wine, with the DPInst stand-in
returning 1, in alternating rounds with the trace and without it: for the runs
without, the user's TEMP and TMP name a folder that does not exist, so the trace
cannot be created and the run goes on untraced. Each run is timed from the
moment the wrapper has started it (its process-id file) to the moment its
exit code is back (the exit-code file), so Wine's own start-up is left out; the
prefix is warm. Other work on the machine only ever adds time, so the fastest
tenth of each side is the fairer comparison on a busy machine; the minimum,
that tenth's mean and the median are printed.
"""
import contextlib
import statistics
import sys
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / "tests" / "e2e"))

import rig  # noqa: E402

PACKAGE = REPO / "examples" / "package"
NO_TEMP = "C:\\no-such-temp"


def package() -> rig.Package:
    files = {str(p.relative_to(PACKAGE)).replace("/", "\\"): p for p in sorted(PACKAGE.rglob("*")) if p.is_file()}
    return rig.Package(files=files, dpinst={"Vi64": "x64", "Vi32": "x86"})


def timed_run(prefix: rig.Prefix, env: dict, exe_path: str) -> float:
    session = rig.Session(prefix, env, time.monotonic() + 60)
    try:
        run = session.start(exe_path, "/s")
        result = run.wait()
        elapsed = run.exit_file.stat().st_mtime_ns - run.pid_file.stat().st_mtime_ns
    finally:
        session.close(False)
    if result.exit_code != 0:
        raise rig.RigError(f"the silent install ended with {result.exit_code} {result.error}")
    return elapsed / 1e9


def set_temp(prefix: rig.Prefix, folder: str) -> None:
    for name in ("TEMP", "TMP"):
        prefix.wine("reg", "add", "HKCU\\Environment", "/v", name, "/d", folder, "/f")


@contextlib.contextmanager
def warm_prefix(pkg: rig.Package, setup: Path):
    """A Windows 10 prefix holding the package, its DPInst stand-in returning 1."""
    rig.build_tools()
    rig.ensure_locales(["en_US.UTF-8"])
    display = rig.Display()
    prefix = None
    try:
        prefix = rig.Prefix("win10", display.start()).open()
        prefix.start_server()
        prefix.clean()
        rig.write_package(prefix, pkg, setup)
        prefix.unix(rig.RECORDS_WIN + "\\dpinst_control.ini").write_bytes(rig.DPInst(exit_code=1).control())
        prefix.unix(rig.RECORDS_WIN + "\\cwd").mkdir(parents=True, exist_ok=True)
        yield prefix
    finally:
        if prefix:
            prefix.clean()
            prefix.close()
        display.stop()


def main() -> int:
    setup = Path(sys.argv[1] if len(sys.argv) > 1 else REPO / "build" / "Setup.exe").resolve()
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 100
    pkg = package()
    with warm_prefix(pkg, setup) as prefix:
        env = prefix.env()
        temp = "C:\\users\\" + next(prefix.drive_c.glob("users/*/Temp")).parent.name + "\\Temp"
        times = {"with the trace": [], "without the trace": []}
        rounds = 5
        try:
            for round_number in range(rounds * 2):
                traced = round_number % 2 == 0
                set_temp(prefix, temp if traced else NO_TEMP)
                timed_run(prefix, env, pkg.exe_path)  # warm up
                before = len(prefix.step_traces())
                for _ in range(max(runs // rounds, 1)):
                    times["with the trace" if traced else "without the trace"].append(
                        timed_run(prefix, env, pkg.exe_path)
                    )
                if (len(prefix.step_traces()) > before) != traced:
                    raise rig.RigError("the TEMP setting did not switch the trace on and off")
        finally:
            set_temp(prefix, temp)
        fastest = {}
        for label, values in times.items():
            values.sort()
            fastest[label] = statistics.mean(values[: max(len(values) // 10, 1)])
            print(
                f"{label:18}: min {values[0] * 1000:6.1f} ms, fastest tenth {fastest[label] * 1000:6.1f} ms, "
                f"median {statistics.median(values) * 1000:6.1f} ms ({len(values)} runs)"
            )
        difference = fastest["with the trace"] - fastest["without the trace"]
        print(f"the trace costs {difference * 1000:+.1f} ms (fastest tenths)")
        return 0


if __name__ == "__main__":
    rig.run_main(main)
