"""Running Setup.exe: a dialog robot and any number of Setup.exe runs in one prefix."""

import contextlib
import dataclasses
import json
import subprocess
import time
from pathlib import Path
from typing import Callable, Dict, List, Optional, Sequence

from .base import LOGS, RECORDS_WIN, TOOLS_WIN, WORK, RigError, Timeout, kill_group
from .locales import env_code_page
from .package import DPInst, Package, write_package
from .prefix import Prefix


def cmdline_bytes(exe_path: str, arguments: str, encoding: str = "cp1252") -> bytes:
    """The command line as CreateProcessA takes it: in the ANSI code page."""
    command = f'"{exe_path}"' + (" " + arguments if arguments else "")
    return command.encode(encoding)


@dataclasses.dataclass
class RunResult:
    exit_code: Optional[int]  # Setup.exe's full exit code; None when it did not run
    error: str = ""  # why there is no exit code
    pid: Optional[int] = None
    stderr: bytes = b""


class Session:
    """One scenario's worth of processes in one prefix: a dialog robot and any
    number of Setup.exe runs, all under one time limit."""

    def __init__(
        self,
        prefix: Prefix,
        env: Dict[str, str],
        deadline: float,
        relay: bool = False,
        answers: Sequence[str] = (),
        hold: Optional[str] = None,
        logs: Optional[Path] = None,
    ) -> None:
        self.prefix = prefix
        self.env = env
        self.deadline = deadline
        self.relay = relay
        self.answers = list(answers)
        self.hold = hold
        self.logs = logs
        self.processes: List[subprocess.Popen] = []
        self.robot: Optional[subprocess.Popen] = None
        self.runs = 0

    def left(self) -> float:
        return self.deadline - time.monotonic()

    def _spawn(self, args: Sequence[str], env: Dict[str, str], stderr_path: Optional[Path]) -> subprocess.Popen:
        stderr = open(stderr_path, "wb") if stderr_path else subprocess.DEVNULL
        try:
            process = subprocess.Popen(
                ["wine", *args],
                env=env,
                cwd=self.prefix.unix(RECORDS_WIN + "\\cwd"),
                stdout=subprocess.DEVNULL,
                stderr=stderr,
                start_new_session=True,
            )
        finally:
            if stderr_path:
                stderr.close()
        self.processes.append(process)
        return process

    def wait_until(self, condition: Callable[[], bool], what: str, limit: Optional[float] = None) -> None:
        end = min(self.deadline, time.monotonic() + limit) if limit else self.deadline
        while not condition():
            if time.monotonic() > end:
                raise Timeout(f"gave up waiting for {what}")
            time.sleep(0.02)

    def start_robot(self) -> None:
        self.prefix.unix(RECORDS_WIN + "\\cwd").mkdir(parents=True, exist_ok=True)
        ready = self.prefix.unix(RECORDS_WIN + "\\robot.ready")
        args = [
            f"{TOOLS_WIN}\\robot.exe",
            "--out",
            f"{RECORDS_WIN}\\boxes.jsonl",
            "--stop",
            f"{RECORDS_WIN}\\robot.stop",
            "--ready",
            f"{RECORDS_WIN}\\robot.ready",
            "--timeout",
            str(int(max(self.left(), 1)) + 5),
        ]
        if self.answers:
            args += ["--answers", ",".join(self.answers)]
        if self.hold:
            args += ["--hold", self.hold]
        for attempt in range(2):
            self.robot = self._spawn(args, self.env, self.logs / "robot.stderr" if self.logs else None)
            # Nothing else starts until the robot runs: two wine starts at once
            # occasionally fail in Wine.
            self.wait_until(lambda: ready.exists() or self.robot.poll() is not None, "the dialog robot")
            if ready.exists():
                return
            if self.robot.returncode != 53 or attempt:
                raise RigError(f"the dialog robot ended at start with {self.robot.returncode}")

    def stop_robot(self) -> None:
        if not self.robot:
            return
        self.prefix.unix(RECORDS_WIN + "\\robot.stop").write_bytes(b"")
        try:
            self.robot.wait(timeout=max(min(self.left(), 10), 1))
        except subprocess.TimeoutExpired:
            kill_group(self.robot)
        self.robot = None

    def hold_file(self, path: str, share_read: bool = False) -> Callable[[], None]:
        """Holds a C:\\ file open as a program that locks it would (no sharing,
        or reads only) until the returned function is called."""
        name = f"{RECORDS_WIN}\\hold{len(self.processes)}"
        ready, release = name + ".ready", name + ".release"
        args = [f"{TOOLS_WIN}\\holdfile.exe", path, ready, release] + (["r"] if share_read else [])
        holder = self._spawn(args, self.env, None)
        self.wait_until(lambda: self.prefix.unix(ready).exists() or holder.poll() is not None, f"a hold on {path}")
        if not self.prefix.unix(ready).exists():
            raise RigError(f"holdfile.exe could not open {path} (exit {holder.returncode})")
        return lambda: self.prefix.unix(release).write_bytes(b"")

    def start(self, exe_path: str, arguments: str = "", cmdline: Optional[bytes] = None, hidden: bool = False) -> "Run":
        """Starts Setup.exe through the exit-code wrapper; returns at once. A
        hidden run sits on a desktop nobody sees, as a SYSTEM deployment does."""
        self.runs += 1
        if cmdline is None:
            cmdline = cmdline_bytes(exe_path, arguments, env_code_page(self.env))
        return Run(self, self.runs, cmdline, hidden)

    def boxes(self) -> List[dict]:
        """Message boxes seen so far, each with the answer the robot gave."""
        path = self.prefix.unix(RECORDS_WIN + "\\boxes.jsonl")
        boxes: List[dict] = []
        if not path.exists():
            return boxes
        for line in path.read_bytes().decode("utf-8", errors="replace").splitlines():
            with contextlib.suppress(ValueError):
                record = json.loads(line)
                if record.get("type") == "box":
                    boxes.append(record)
                elif record.get("type") == "answer" and boxes:
                    for box in boxes:
                        if box["seq"] == record["seq"]:
                            box["pressed"] = record["pressed"]
                            if "note" in record:
                                box["note"] = record["note"]
        return boxes

    def kill_all(self) -> None:
        for process in self.processes:
            if process.poll() is None:
                kill_group(process)

    def close(self, failed: bool) -> None:
        if failed:
            self.kill_all()
            # Whatever of the prefix is still running (a Setup.exe stuck behind a
            # box, a waiting stand-in) goes with its server.
            self.prefix.restart_server()
        else:
            self.stop_robot()
            self.kill_all()


class Run:
    """One Setup.exe process started by runexe.exe."""

    def __init__(self, session: Session, number: int, cmdline: bytes, hidden: bool = False) -> None:
        self.session = session
        self.number = number
        self.cmdline = cmdline
        prefix = session.prefix
        folder = f"{RECORDS_WIN}\\run{number}"
        prefix.unix(folder).mkdir(parents=True, exist_ok=True)
        self.cmd_file = prefix.unix(folder + "\\cmdline.txt")
        self.exit_file = prefix.unix(folder + "\\exit.txt")
        self.pid_file = prefix.unix(folder + "\\pid.txt")
        self.cmd_file.write_bytes(cmdline)
        self.args = [
            f"{TOOLS_WIN}\\runexe.exe",
            *(["--hidden"] if hidden else []),
            folder + "\\cmdline.txt",
            folder + "\\exit.txt",
            folder + "\\pid.txt",
        ]
        self.stderr_path = (session.logs or WORK) / f"run{number}.stderr"
        env = dict(session.env)
        if session.relay:
            env["WINEDEBUG"] = "-all,+pid,+relay"
        self.env = env
        self.retried = False
        self.process = session._spawn(self.args, env, self.stderr_path)
        self.result: Optional[RunResult] = None

    def pid(self) -> Optional[int]:
        with contextlib.suppress(OSError, ValueError):
            return int(self.pid_file.read_text().strip())
        return None

    def wait(self, limit: Optional[float] = None) -> RunResult:
        if self.result:
            return self.result
        session = self.session
        while True:
            end = min(session.deadline, time.monotonic() + limit) if limit else session.deadline
            while self.process.poll() is None:
                if time.monotonic() > end:
                    raise Timeout(
                        f"Setup.exe run {self.number} ({self.cmdline.decode(errors='replace')}) "
                        f"still running after {'its limit' if limit else 'the time limit'}"
                    )
                time.sleep(0.02)
            # Wine's rare start failure (c0000135, exit 53) is the rig's problem,
            # not the program's: try once more.
            if self.process.returncode == 53 and not self.pid_file.exists() and not self.retried:
                self.retried = True
                self.process = session._spawn(self.args, self.env, self.stderr_path)
                continue
            break
        stderr = self.stderr_path.read_bytes() if self.stderr_path.exists() else b""
        text = self.exit_file.read_text().strip() if self.exit_file.exists() else ""
        if text.isdigit():
            self.result = RunResult(int(text), pid=self.pid(), stderr=stderr)
        elif text.startswith("error"):
            self.result = RunResult(None, f"Setup.exe could not be started ({text})", stderr=stderr)
        else:
            self.result = RunResult(
                None, f"the wrapper ended with {self.process.returncode} and no exit code", stderr=stderr
            )
        return self.result


def run_setup(
    prefix: Prefix,
    package: Package,
    setup_exe: Path,
    arguments: str = "",
    answers: Sequence[str] = (),
    env: Optional[Dict[str, str]] = None,
    dpinst: Optional[DPInst] = None,
    timeout: float = 60,
) -> tuple:
    """Runs one Setup.exe command in a clean prefix; returns (RunResult, boxes)."""
    prefix.clean()
    write_package(prefix, package, setup_exe)
    prefix.unix(RECORDS_WIN + "\\dpinst_control.ini").write_bytes((dpinst or DPInst()).control())
    logs = LOGS / "run_setup"
    logs.mkdir(parents=True, exist_ok=True)
    session = Session(prefix, prefix.env(env), time.monotonic() + timeout, answers=answers, logs=logs)
    failed = True
    try:
        session.start_robot()
        result = session.start(package.exe_path, arguments).wait()
        session.stop_robot()
        failed = False
        return result, session.boxes()
    finally:
        session.close(failed)
