"""What every part of the rig shares: where it keeps its files, its errors,
its progress lines and the way its entry points end."""

import contextlib
import os
import signal
import subprocess
import sys
from pathlib import Path

REPO = Path(__file__).resolve().parents[3]
WORK = Path(os.environ.get("E2E_WORK", REPO / "build" / "e2e"))
BIN = WORK / "bin"
PREFIXES = WORK / "prefixes"
LOGS = WORK / "logs"

# Inside every prefix: the helpers, and the folder scenario records go to.
TOOLS_WIN = "C:\\e2etools"
RECORDS_WIN = "C:\\e2e"


class RigError(Exception):
    """The rig itself failed (not the program under test)."""


def run_main(main, failure_lines=("error: {error}",), failure_code=2) -> None:
    """Runs a command-line entry point: a stop by make or CI (SIGTERM) still ends
    Xvfb and the wine servers, and a rig error is reported instead of a trace."""
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    try:
        sys.exit(main())
    except RigError as error:
        print(failure_lines[0].format(error=error), file=sys.stderr)
        for line in failure_lines[1:]:
            print(line)
        sys.exit(failure_code)


class Timeout(RigError):
    """Something did not end or appear within its time limit."""


def log(message: str) -> None:
    print(message, file=sys.stderr, flush=True)


def kill_group(process: subprocess.Popen) -> None:
    with contextlib.suppress(ProcessLookupError, PermissionError):
        os.killpg(process.pid, signal.SIGKILL)
    with contextlib.suppress(Exception):
        process.wait(timeout=5)
