"""The Wine rig: helper programs, prefixes, a private X display, and one routine
that runs a Setup.exe command in a prefix and reports what happened.

The scenario runner (e2e.py) and examples/demo.sh both build on this module.
Everything it makes lives under build/e2e, so a fresh clone recreates it.
"""

import contextlib
import dataclasses
import fcntl
import hashlib
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path
from typing import Callable, Dict, List, Optional, Sequence, Union

REPO = Path(__file__).resolve().parents[2]
TOOLS_SRC = Path(__file__).resolve().parent / "tools"
WORK = Path(os.environ.get("E2E_WORK", REPO / "build" / "e2e"))
BIN = WORK / "bin"
PREFIXES = WORK / "prefixes"
LOGS = WORK / "logs"

# Changing how a prefix is made bumps this, and old prefixes are made again.
PREFIX_RECIPE = "1"

VERSIONS_64 = ("vista", "win7", "win8", "win81", "win10", "winxp64")
VERSIONS_32 = ("winxp", "win2k")

# Inside every prefix: the helpers, and the folder scenario records go to.
TOOLS_WIN = "C:\\e2etools"
RECORDS_WIN = "C:\\e2e"

MOUSE_CLASS = "{4D36E96F-E325-11CE-BFC1-08002BE10318}"


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


# ---------------------------------------------------------------------------
# Helper programs


@dataclasses.dataclass(frozen=True)
class Tool:
    output: str
    source: str
    compiler: str
    flags: Sequence[str] = ()


TOOLS = (
    Tool("runexe.exe", "runexe.cpp", "i686-w64-mingw32-g++"),
    Tool("robot.exe", "robot.cpp", "i686-w64-mingw32-g++"),
    Tool("dpinst_x86.exe", "dpinst.cpp", "i686-w64-mingw32-g++", ("-mwindows",)),
    Tool("dpinst_x64.exe", "dpinst.cpp", "x86_64-w64-mingw32-g++", ("-mwindows",)),
    Tool("dbghelp.dll", "markdll.cpp", "i686-w64-mingw32-g++", ("-shared", "-Wl,--kill-at")),
    Tool("notexe_x86.dll", "notexe.cpp", "i686-w64-mingw32-g++", ("-shared",)),
    Tool("notexe_x64.dll", "notexe.cpp", "x86_64-w64-mingw32-g++", ("-shared",)),
)

# What Package.dpinst can place as DPInst.exe.
STAND_INS = {
    "x64": "dpinst_x64.exe",
    "x86": "dpinst_x86.exe",
    "dll-x64": "notexe_x64.dll",  # passes a header check, cannot be started
    "dll-x86": "notexe_x86.dll",
}

COMMON_FLAGS = ("-std=c++17", "-static", "-O2", "-s", "-Wall", "-Wextra", "-Werror")

# A helper may import these and nothing else: no mingw runtime DLL travels along.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "msvcrt.dll", "advapi32.dll"}


def build_tools() -> None:
    """Compiles the helper programs into build/e2e/bin when their source changed."""
    BIN.mkdir(parents=True, exist_ok=True)
    for tool in TOOLS:
        source = TOOLS_SRC / tool.source
        output = BIN / tool.output
        command = [tool.compiler, *COMMON_FLAGS, *tool.flags, "-o", str(output), str(source)]
        digest = hashlib.sha256(source.read_bytes() + " ".join(command).encode()).hexdigest()
        stamp = output.with_name(output.name + ".sha256")
        if output.exists() and stamp.exists() and stamp.read_text() == digest:
            continue
        log(f"  building {tool.output}")
        done = subprocess.run(command, capture_output=True, text=True)
        if done.returncode != 0:
            raise RigError(f"cannot build {tool.output}:\n{done.stderr}")
        objdump = tool.compiler.replace("g++", "objdump")
        imports = subprocess.run([objdump, "-p", str(output)], capture_output=True, text=True).stdout
        foreign = {m.lower() for m in re.findall(r"DLL Name: (\S+)", imports)} - SYSTEM_DLLS
        if foreign:
            raise RigError(f"{tool.output} needs DLLs a prefix lacks: {sorted(foreign)}")
        stamp.write_text(digest)


def version_dll(product_version: str, machine: str = "i686", table: str = "040904b0") -> Path:
    """A DLL whose version resource holds this ProductVersion string in one string
    table (US English, Unicode by default); built once per text and kept in build/e2e/bin."""
    language = int(table[:4], 16)
    script = ("1 VERSIONINFO\nFILEVERSION 1,0,0,0\nPRODUCTVERSION 1,0,0,0\nBEGIN\n"
              f"  BLOCK \"StringFileInfo\"\n  BEGIN\n    BLOCK \"{table}\"\n    BEGIN\n"
              f"      VALUE \"ProductVersion\", \"{product_version.replace(chr(34), chr(34) * 2)}\"\n"
              f"    END\n  END\n  BLOCK \"VarFileInfo\"\n  BEGIN\n    VALUE \"Translation\", 0x{language:04x}, 1200\n"
              "  END\nEND\n")
    digest = hashlib.sha256((machine + script).encode()).hexdigest()[:16]
    output = BIN / f"version-{digest}.dll"
    if output.exists():
        return output
    BIN.mkdir(parents=True, exist_ok=True)
    work = BIN / f"version-{digest}"
    work.mkdir(exist_ok=True)
    (work / "version.rc").write_text(script, encoding="utf-8")
    (work / "empty.cpp").write_text("int version_resource_only;\n")
    steps = [[f"{machine}-w64-mingw32-windres", "-c", "65001", "-O", "coff", "-o", str(work / "version.o"),
              str(work / "version.rc")],
             [f"{machine}-w64-mingw32-g++", "-shared", "-static", "-s", "-o", str(work / "out.dll"),
              str(work / "empty.cpp"), str(work / "version.o")]]
    for step in steps:
        done = subprocess.run(step, capture_output=True, text=True)
        if done.returncode != 0:
            raise RigError(f"cannot build a version DLL: {done.stderr}")
    (work / "out.dll").rename(output)
    shutil.rmtree(work)
    return output


# ---------------------------------------------------------------------------
# Processes


def _kill_group(process: subprocess.Popen) -> None:
    with contextlib.suppress(ProcessLookupError, PermissionError):
        os.killpg(process.pid, signal.SIGKILL)
    with contextlib.suppress(Exception):
        process.wait(timeout=5)


class Display:
    """A private Xvfb server; message boxes need a display to be real windows."""

    def __init__(self) -> None:
        self.process: Optional[subprocess.Popen] = None
        self.name = ""

    def start(self) -> str:
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + 30
        with os.fdopen(read_end, "rb") as pipe:
            while not number.endswith(b"\n") and time.monotonic() < deadline:
                chunk = pipe.read(1)
                if not chunk:
                    break
                number += chunk
        if not number.strip().isdigit():
            self.stop()
            raise RigError("Xvfb did not start")
        self.name = ":" + number.strip().decode()
        return self.name

    def stop(self) -> None:
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                _kill_group(self.process)
        self.process = None


# ---------------------------------------------------------------------------
# Locales


def _normal_locale(name: str) -> str:
    name = name.strip()
    if "." not in name:
        return name
    base, charset = name.split(".", 1)
    return base + "." + charset.lower().replace("-", "")


def ensure_locales(names: Sequence[str]) -> None:
    """Generates the host locales Wine needs; without them it falls back to English."""
    wanted = {n for n in names if n and n not in ("C", "POSIX", "C.UTF-8")}
    have = {_normal_locale(x) for x in subprocess.run(["locale", "-a"], capture_output=True,
                                                      text=True).stdout.split()}
    missing = sorted(n for n in wanted if _normal_locale(n) not in have)
    if not missing:
        return
    log(f"  generating locales {' '.join(missing)}")
    gen = Path("/etc/locale.gen")
    lines = gen.read_text().splitlines() if gen.exists() else []
    for name in missing:
        entry = f"{name} {name.split('.', 1)[1] if '.' in name else 'ISO-8859-1'}"
        lines = [line for line in lines if line.strip().lstrip("# ").strip() != entry]
        lines.append(entry)
    try:
        gen.write_text("\n".join(lines) + "\n")
        subprocess.run(["locale-gen"], check=True, capture_output=True, timeout=600)
    except (OSError, subprocess.SubprocessError) as error:
        raise RigError(f"cannot generate locales {missing} (run as root?): {error}")


# ---------------------------------------------------------------------------
# Prefixes


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
        env.update({
            "WINEPREFIX": str(self.path),
            "WINEARCH": "win64" if self.wide else "win32",
            "WINEDEBUG": debug,
            "WINEDLLOVERRIDES": "mscoree=;mshtml=",
            "DISPLAY": self.display,
            "LANG": "en_US.UTF-8",
        })
        env.update(extra or {})
        return env

    def unix(self, path: str) -> Path:
        return windows_to_unix(self.drive_c, path)

    def wine(self, *args: str, check: bool = True, timeout: float = 60,
             env: Optional[Dict[str, str]] = None) -> subprocess.CompletedProcess:
        # Only wineboot runs before drive_c exists; it writes nothing relative.
        folder = self.drive_c if self.drive_c.is_dir() else PREFIXES
        # Files, not pipes: processes the call leaves running (explorer.exe)
        # inherit the handles and would keep a pipe open.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            process = subprocess.Popen(["wine", *args], env=env or self.env(), cwd=folder,
                                       stdout=out, stderr=err, start_new_session=True)
            try:
                process.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                _kill_group(process)
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
            done = self.wine(f"{TOOLS_WIN}\\robot.exe", "--out", f"{RECORDS_WIN}\\warm.jsonl",
                             "--stop", f"{RECORDS_WIN}\\warm.jsonl", "--timeout", "0", check=False)
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
        for path in ("C:\\pkg", RECORDS_WIN, "C:\\TouchPad", "C:\\production", "C:\\windows\\DpInst.log",
                     "C:\\windows\\DpInst_org.log", "C:\\VornCustomSetting", *state.get("paths", []), *extra_paths):
            target = self.unix(path)
            if target.is_dir() and not target.is_symlink():
                shutil.rmtree(target)
            elif target.exists() or target.is_symlink():
                target.unlink()
        for key, view in state.get("keys", []):
            args = ["reg", "delete", key, "/f"] + ([f"/reg:{view}"] if view else [])
            self.wine(*args, check=False)
        self._save_dirty({})
        self.unix(RECORDS_WIN).mkdir(parents=True)

    def set_relay_include(self, functions: str) -> None:
        if functions != self.relay_include:
            self.wine("reg", "add", "HKCU\\Software\\Wine\\Debug", "/v", "RelayInclude", "/d", functions, "/f")
            self.relay_include = functions

    # -- seeding

    def reg_add(self, key: str, name: Optional[str], value: Union[str, int, bytes, Sequence[str]],
                kind: Optional[str] = None, view: Optional[str] = None, forget_key: Optional[str] = None) -> None:
        """Adds one value; the key (or forget_key) is deleted again before the next scenario."""
        if kind is None:
            kind = "REG_DWORD" if isinstance(value, int) else "REG_MULTI_SZ" if isinstance(
                value, (list, tuple)) else "REG_BINARY" if isinstance(value, bytes) else "REG_SZ"
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


# ---------------------------------------------------------------------------
# Relay traces

_CALL = re.compile(r"^(?:([0-9a-f]+):)?([0-9a-f]+):Call ([\w.]+)\((.*)\) ret=[0-9a-f]+$")
_ESCAPES = {"n": b"\n", "r": b"\r", "t": b"\t", '"': b'"', "\\": b"\\"}


@dataclasses.dataclass
class Arg:
    value: int
    text: Optional[bytes] = None  # the string the argument points to, as traced
    cut: bool = False             # the trace showed only the start of the string


@dataclasses.dataclass
class Call:
    pid: Optional[int]
    function: str
    args: List[Arg]


def _parse_args(text: str) -> List[Arg]:
    args: List[Arg] = []
    i = 0
    while i < len(text):
        m = re.compile(r"[0-9a-fA-F]+").match(text, i)
        if not m:
            break
        arg = Arg(int(m.group(0), 16))
        i = m.end()
        if text.startswith(' "', i) or text.startswith(' L"', i):
            i = text.index('"', i) + 1
            raw = bytearray()
            while i < len(text) and text[i] != '"':
                if text[i] == "\\" and i + 1 < len(text):
                    if text[i + 1] == "x":
                        raw.append(int(text[i + 2:i + 4], 16))
                        i += 4
                        continue
                    raw += _ESCAPES.get(text[i + 1], text[i + 1].encode())
                    i += 2
                    continue
                raw += text[i].encode("latin-1", errors="replace")
                i += 1
            i += 1
            if text.startswith("...", i):
                arg.cut = True
                i += 3
            arg.text = bytes(raw)
        args.append(arg)
        if text.startswith(",", i):
            i += 1
    return args


def parse_relay(stderr: bytes) -> List[Call]:
    calls = []
    for line in stderr.decode("latin-1").splitlines():
        m = _CALL.match(line)
        if m:
            calls.append(Call(int(m.group(1), 16) if m.group(1) else None, m.group(3), _parse_args(m.group(4))))
    return calls


# ---------------------------------------------------------------------------
# Packages and the DPInst stand-in


@dataclasses.dataclass
class Package:
    """A driver package folder: Setup.exe, its settings file, DPInst stand-ins, files.

    dpinst maps a folder inside the package to what is placed there as
    DPInst.exe (a key of STAND_INS: "x64", "x86", "dll-x64", "dll-x86"); files
    maps package-relative paths to their contents (str is written as UTF-8, with
    line feeds turned into CR LF; a Path is copied).
    """
    ini: Optional[Union[str, bytes]] = None
    dpinst: Dict[str, str] = dataclasses.field(default_factory=dict)
    files: Dict[str, Union[str, bytes, Path]] = dataclasses.field(default_factory=dict)
    folder: str = "C:\\pkg"
    exe_name: str = "Setup.exe"

    @property
    def exe_path(self) -> str:
        return self.folder + "\\" + self.exe_name


def text_bytes(content: Union[str, bytes]) -> bytes:
    if isinstance(content, bytes):
        return content
    return re.sub(r"(?<!\r)\n", "\r\n", content).encode("utf-8")


def ini_text(sections: Dict[str, Dict[str, object]]) -> str:
    """Settings file text from {section: {key: value}}."""
    out = []
    for section, values in sections.items():
        out.append(f"[{section}]")
        out += [f"{key}={value}" for key, value in values.items()]
    return "\n".join(out) + "\n"


def write_package(prefix: Prefix, package: Package, setup_exe: Path) -> None:
    prefix.note_path(package.folder)
    root = prefix.unix(package.folder)
    root.mkdir(parents=True, exist_ok=True)
    shutil.copyfile(setup_exe, root / package.exe_name)
    if package.ini is not None:
        name = os.path.splitext(package.exe_name)[0] + ".ini"
        (root / name).write_bytes(text_bytes(package.ini))
    for folder, width in package.dpinst.items():
        target = root.joinpath(*[p for p in folder.split("\\") if p]) / "DPInst.exe"
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(BIN / STAND_INS[width], target)
    for relative, content in package.files.items():
        target = root.joinpath(*[p for p in relative.split("\\") if p])
        target.parent.mkdir(parents=True, exist_ok=True)
        if isinstance(content, Path):
            shutil.copyfile(content, target)
        else:
            target.write_bytes(text_bytes(content))


@dataclasses.dataclass
class DPInst:
    """What the DPInst stand-in does when Setup.exe starts it."""
    exit_code: int = 0
    log_line: Optional[str] = None
    wait_for: Optional[str] = None  # a C:\\ path; the stand-in waits until it exists

    def control(self) -> bytes:
        lines = [f"ExitCode=0x{self.exit_code & 0xFFFFFFFF:08X}"]
        if self.log_line is not None:
            lines.append("LogLine=" + self.log_line)
        if self.wait_for:
            lines.append("WaitFor=" + self.wait_for)
        return ("\r\n".join(lines) + "\r\n").encode("utf-8")


# The ANSI code page Wine gives a process for its LC_CTYPE language.
CODE_PAGES = {
    "ar": "cp1256", "he": "cp1255", "ja": "cp932", "ru": "cp1251", "uk": "cp1251", "bg": "cp1251",
    "zh_CN": "gbk", "zh_TW": "cp950", "ko": "cp949", "th": "cp874", "el": "cp1253", "tr": "cp1254",
    "cs": "cp1250", "pl": "cp1250", "hu": "cp1250", "sk": "cp1250", "sl": "cp1250", "hr": "cp1250",
    "ro": "cp1250",
}


def code_page(locale: str) -> str:
    base = locale.split(".")[0]
    return CODE_PAGES.get(base) or CODE_PAGES.get(base.split("_")[0]) or "cp1252"


def env_code_page(env: Dict[str, str]) -> str:
    return code_page(env.get("LC_ALL") or env.get("LC_CTYPE") or env.get("LANG") or "en_US.UTF-8")


def cmdline_bytes(exe_path: str, arguments: str, encoding: str = "cp1252") -> bytes:
    """The command line as CreateProcessA takes it: in the ANSI code page."""
    command = f'"{exe_path}"' + (" " + arguments if arguments else "")
    return command.encode(encoding)


# ---------------------------------------------------------------------------
# Runs


@dataclasses.dataclass
class RunResult:
    exit_code: Optional[int]  # Setup.exe's full exit code; None when it did not run
    error: str = ""           # why there is no exit code
    pid: Optional[int] = None
    stderr: bytes = b""


class Session:
    """One scenario's worth of processes in one prefix: a dialog robot and any
    number of Setup.exe runs, all under one time limit."""

    def __init__(self, prefix: Prefix, env: Dict[str, str], deadline: float, relay: bool = False,
                 answers: Sequence[str] = (), hold: Optional[str] = None, logs: Optional[Path] = None) -> None:
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
            process = subprocess.Popen(["wine", *args], env=env, cwd=self.prefix.unix(RECORDS_WIN + "\\cwd"),
                                       stdout=subprocess.DEVNULL, stderr=stderr, start_new_session=True)
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
        args = [f"{TOOLS_WIN}\\robot.exe", "--out", f"{RECORDS_WIN}\\boxes.jsonl",
                "--stop", f"{RECORDS_WIN}\\robot.stop", "--ready", f"{RECORDS_WIN}\\robot.ready",
                "--timeout", str(int(max(self.left(), 1)) + 5)]
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
            _kill_group(self.robot)
        self.robot = None

    def start(self, exe_path: str, arguments: str = "", cmdline: Optional[bytes] = None) -> "Run":
        """Starts Setup.exe through the exit-code wrapper; returns at once."""
        self.runs += 1
        if cmdline is None:
            cmdline = cmdline_bytes(exe_path, arguments, env_code_page(self.env))
        return Run(self, self.runs, cmdline)

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
                _kill_group(process)

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

    def __init__(self, session: Session, number: int, cmdline: bytes) -> None:
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
        self.args = [f"{TOOLS_WIN}\\runexe.exe", folder + "\\cmdline.txt", folder + "\\exit.txt",
                     folder + "\\pid.txt"]
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
                    raise Timeout(f"Setup.exe run {self.number} ({self.cmdline.decode(errors='replace')}) "
                                  f"still running after {'its limit' if limit else 'the time limit'}")
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
            self.result = RunResult(None, f"the wrapper ended with {self.process.returncode} and no exit code",
                                    stderr=stderr)
        return self.result


def run_setup(prefix: Prefix, package: Package, setup_exe: Path, arguments: str = "",
              answers: Sequence[str] = (), env: Optional[Dict[str, str]] = None,
              dpinst: Optional[DPInst] = None, timeout: float = 60) -> tuple:
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
