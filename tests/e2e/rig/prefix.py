"""Wine prefixes: made once per Windows version, reused, and cleaned between scenarios."""

import contextlib
import fcntl
import json
import os
import re
import shutil
import subprocess
import tempfile
from pathlib import Path
from typing import Dict, List, Optional, Sequence, Union

from .base import BIN, PREFIXES, RECORDS_WIN, TOOLS_WIN, RigError, Timeout, kill_group, log
from .tools import TOOLS

# Changing how a prefix is made bumps this, and old prefixes are made again.
PREFIX_RECIPE = "1"

VERSIONS_64 = ("vista", "win7", "win8", "win81", "win10", "winxp64")
VERSIONS_32 = ("winxp", "win2k")

MOUSE_CLASS = "{4D36E96F-E325-11CE-BFC1-08002BE10318}"


def windows_to_unix(drive_c: Path, path: str) -> Path:
    """C:\\a\\b -> PREFIX/drive_c/a/b, matching existing names without regard to case."""
    if not re.match(r"^[cC]:\\", path):
        raise RigError(f"only C:\\ paths can be mapped: {path}")
    current = drive_c
    for part in [p for p in path[3:].split("\\") if p]:
        candidate = current / part
        if not candidate.exists() and current.is_dir():
            for entry in os.listdir(current):
                if entry.lower() == part.lower():
                    candidate = current / entry
                    break
        current = candidate
    return current


class Prefix:
    """One Wine prefix per reported Windows version, made once and reused."""

    def __init__(self, version: str, display: str, path: Optional[Path] = None) -> None:
        if version not in VERSIONS_64 + VERSIONS_32:
            raise RigError(f"unknown Windows version {version!r}")
        self.version = version
        self.wide = version in VERSIONS_64
        self.path = path or PREFIXES / version
        self.drive_c = self.path / "drive_c"
        self.display = display
        self.server_up = False
        self._lock_file = None
        self._dirty_file = self.path / "e2e-dirty.json"
        self.relay_include = ""

    # -- environment and wine calls

    def env(self, extra: Optional[Dict[str, str]] = None, debug: str = "-all") -> Dict[str, str]:
        env = {k: v for k, v in os.environ.items() if not k.startswith(("LC_", "WINE")) and k != "LANGUAGE"}
        env.update(
            {
                "WINEPREFIX": str(self.path),
                "WINEARCH": "win64" if self.wide else "win32",
                "WINEDEBUG": debug,
                "WINEDLLOVERRIDES": "mscoree=;mshtml=",
                "DISPLAY": self.display,
                "LANG": "en_US.UTF-8",
            }
        )
        env.update(extra or {})
        return env

    def unix(self, path: str) -> Path:
        return windows_to_unix(self.drive_c, path)

    def wine(
        self, *args: str, check: bool = True, timeout: float = 60, env: Optional[Dict[str, str]] = None
    ) -> subprocess.CompletedProcess:
        # Only wineboot runs before drive_c exists; it writes nothing relative.
        folder = self.drive_c if self.drive_c.is_dir() else PREFIXES
        # Files, not pipes: processes the call leaves running (explorer.exe)
        # inherit the handles and would keep a pipe open.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            process = subprocess.Popen(
                ["wine", *args], env=env or self.env(), cwd=folder, stdout=out, stderr=err, start_new_session=True
            )
            try:
                process.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                kill_group(process)
                raise Timeout(f"wine {' '.join(args)} did not end within {timeout:.0f} s")
            out.seek(0)
            err.seek(0)
            done = subprocess.CompletedProcess(process.args, process.returncode, out.read(), err.read())
        if check and done.returncode != 0:
            raise RigError(f"wine {' '.join(args)} failed ({done.returncode}): {done.stderr.decode(errors='replace')}")
        return done

    def server(self, *args: str) -> None:
        try:
            subprocess.run(["wineserver", *args], env=self.env(), check=False, timeout=120)
        except subprocess.TimeoutExpired:
            raise Timeout(f"wineserver {' '.join(args)} did not end within 120 s")

    # -- making the prefix

    def _ready(self, path: Path) -> bool:
        stamp = path / "e2e-prefix"
        return stamp.exists() and stamp.read_text().strip() == PREFIX_RECIPE

    def _make_base(self, base: Path) -> None:
        log(f"  making base prefix {base.name} (about 20 s)")
        shutil.rmtree(base, ignore_errors=True)
        maker = Prefix(self.version, self.display, base)
        maker.wine("wineboot", "-i", timeout=300)
        # Answered boxes close in about 0.4 s instead of 2.5 s with unmanaged windows.
        maker.wine("reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Managed", "/d", "N", "/f")
        maker.server("-w")
        (base / "e2e-prefix").write_text(PREFIX_RECIPE + "\n")

    def ensure(self) -> None:
        """Makes the prefix when it is missing or was made by an older recipe."""
        PREFIXES.mkdir(parents=True, exist_ok=True)
        self._lock()
        if self._ready(self.path):
            return
        base = PREFIXES / ("base64" if self.wide else "base32")
        with open(PREFIXES / (base.name + ".lock"), "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            if not self._ready(base):
                self._make_base(base)
        log(f"  making prefix {self.version} from {base.name}")
        shutil.rmtree(self.path, ignore_errors=True)
        subprocess.run(["cp", "-a", str(base), str(self.path)], check=True)
        (self.path / "e2e-prefix").unlink()
        self.wine("winecfg", "-v", self.version)
        self.server("-w")
        # Drive Z: is the host's root: a program that writes to a relative or
        # empty path must not reach it.
        with contextlib.suppress(FileNotFoundError):
            (self.path / "dosdevices" / "z:").unlink()
        (self.path / "e2e-prefix").write_text(PREFIX_RECIPE + "\n")

    def _lock(self) -> None:
        if self._lock_file:
            return
        self._lock_file = open(PREFIXES / (self.version + ".lock"), "w")
        try:
            fcntl.flock(self._lock_file, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except BlockingIOError:
            log(f"  prefix {self.version} is in use by another run; waiting")
            fcntl.flock(self._lock_file, fcntl.LOCK_EX)

    def install_tools(self) -> None:
        target = self.unix(TOOLS_WIN)
        target.mkdir(parents=True, exist_ok=True)
        for tool in TOOLS:
            source = BIN / tool.output
            copy = target / tool.output
            if not copy.exists() or copy.read_bytes() != source.read_bytes():
                shutil.copyfile(source, copy)

    def start_server(self) -> None:
        """A persistent wineserver, warmed by one run that brings up the desktop."""
        if self.server_up:
            return
        # A run that was killed outright may have left programs behind; one of
        # them holding Setup.exe's mutex would turn every run into a second copy.
        self.server("-k")
        self.server("-p")
        self.server_up = True
        records = self.unix(RECORDS_WIN)
        records.mkdir(parents=True, exist_ok=True)
        for attempt in range(2):
            done = self.wine(
                f"{TOOLS_WIN}\\robot.exe",
                "--out",
                f"{RECORDS_WIN}\\warm.jsonl",
                "--stop",
                f"{RECORDS_WIN}\\warm.jsonl",
                "--timeout",
                "0",
                check=False,
            )
            if done.returncode != 53:
                break

    def stop_server(self) -> None:
        if self.server_up:
            self.server("-k")
            self.server_up = False

    def restart_server(self) -> None:
        self.server_up = False
        self.start_server()

    def open(self) -> "Prefix":
        self.ensure()
        self.install_tools()
        self.start_server()
        return self

    def close(self) -> None:
        self.stop_server()
        if self._lock_file:
            self._lock_file.close()
            self._lock_file = None

    # -- state between scenarios

    def _dirty(self) -> dict:
        try:
            return json.loads(self._dirty_file.read_text())
        except (OSError, ValueError):
            return {}

    def _save_dirty(self, state: dict) -> None:
        self._dirty_file.write_text(json.dumps(state))

    def note_key(self, key: str, view: Optional[str]) -> None:
        state = self._dirty()
        keys = state.setdefault("keys", [])
        if [key, view] not in keys:
            keys.append([key, view])
        self._save_dirty(state)

    def note_path(self, path: str) -> None:
        state = self._dirty()
        paths = state.setdefault("paths", [])
        if path not in paths:
            paths.append(path)
        self._save_dirty(state)

    def clean(self, extra_paths: Sequence[str] = ()) -> None:
        """Undoes what earlier scenarios left: files, registry keys, devices."""
        state = self._dirty()
        for path in (
            "C:\\pkg",
            RECORDS_WIN,
            "C:\\TouchPad",
            "C:\\production",
            "C:\\windows\\DpInst.log",
            "C:\\windows\\DpInst_org.log",
            "C:\\VornCustomSetting",
            *state.get("paths", []),
            *extra_paths,
        ):
            target = self.unix(path)
            if target.is_dir() and not target.is_symlink():
                shutil.rmtree(target)
            elif target.exists() or target.is_symlink():
                target.unlink()
        for key, view in state.get("keys", []):
            args = ["reg", "delete", key, "/f"] + ([f"/reg:{view}"] if view else [])
            self.wine(*args, check=False)
        for trace in self.step_traces():
            trace.unlink()
        self._save_dirty({})
        self.unix(RECORDS_WIN).mkdir(parents=True)

    def step_traces(self, pid: Optional[int] = None) -> List[Path]:
        """Setup.exe's step traces in the user's temporary folder, or the one of a process."""
        pattern = re.compile(r".+_\d{8}_\d{6}_" + (str(pid) if pid is not None else r"\d+") + r"_[0-9a-f]{8}\.log")
        return sorted(p for p in self.drive_c.glob("users/*/Temp/*.log") if pattern.fullmatch(p.name))

    def set_relay_include(self, functions: str) -> None:
        if functions != self.relay_include:
            self.wine("reg", "add", "HKCU\\Software\\Wine\\Debug", "/v", "RelayInclude", "/d", functions, "/f")
            self.relay_include = functions

    def reg_value(self, key: str, name: str, view: Optional[str] = None) -> Optional[str]:
        """A string value as `reg query` shows it in the view given, or None when there is none."""
        done = self.wine("reg", "query", key, "/v", name, *([f"/reg:{view}"] if view else []), check=False)
        for line in done.stdout.decode("utf-8", errors="replace").splitlines():
            parts = line.strip().split(None, 2)
            if len(parts) >= 2 and parts[0].lower() == name.lower() and parts[1] == "REG_SZ":
                return parts[2].strip() if len(parts) == 3 else ""
        return None

    # -- seeding

    def reg_add(
        self,
        key: str,
        name: Optional[str],
        value: Union[str, int, bytes, Sequence[str]],
        kind: Optional[str] = None,
        view: Optional[str] = None,
        forget_key: Optional[str] = None,
    ) -> None:
        """Adds one value; the key (or forget_key) is deleted again before the next scenario."""
        if kind is None:
            kind = (
                "REG_DWORD"
                if isinstance(value, int)
                else "REG_MULTI_SZ"
                if isinstance(value, (list, tuple))
                else "REG_BINARY"
                if isinstance(value, bytes)
                else "REG_SZ"
            )
        args = ["reg", "add", key] + (["/v", name] if name is not None else ["/ve"]) + ["/t", kind]
        if kind == "REG_MULTI_SZ":
            # "|" as the separator keeps a "\0" inside an ID from splitting it.
            args += ["/s", "|", "/d", "|".join(value)]
        elif kind == "REG_BINARY":
            args += ["/d", value.hex()]
        else:
            args += ["/d", str(value)]
        args += ["/f"] + ([f"/reg:{view}"] if view else [])
        self.note_key(forget_key or key, view)
        self.wine(*args)
