#!/usr/bin/env python3
"""End-to-end scenarios: the real Setup.exe under Wine.

    python3 tests/e2e/e2e.py --setup build/Setup.exe [-k TEXT] [--list]

Each scenario names the machine (Windows version, languages, registry values,
devices), the package, the command line and the answers to message boxes, and
what must come out (exit code, boxes, DPInst's command lines, files). Scenarios
live in tests/e2e/scenarios/*.py, each module holding a list SCENARIOS.
"""

import argparse
import dataclasses
import os
import re
import runpy
import shutil
import stat
import sys
import time
from pathlib import Path
from typing import Callable, Dict, List, Optional, Sequence, Tuple, Union

sys.path.insert(0, str(Path(__file__).resolve().parent))

if __name__ == "__main__":
    # Scenario modules import "e2e": let them share this module, not a second copy.
    sys.modules["e2e"] = sys.modules[__name__]

import rig  # noqa: E402
from rig import DPInst, Package, ini_text  # noqa: E402,F401  (re-exported for scenarios)

SCENARIO_DIR = Path(__file__).resolve().parent / "scenarios"
TIME_LIMIT = 60.0

# Calls a traced run always records: the style of each box, and restarts.
RELAY_FUNCTIONS = ("user32.MessageBoxA", "user32.ExitWindowsEx")

ABSENT = object()  # files: the file must not exist
PRESENT = object()  # files: the file must exist, whatever it holds


@dataclasses.dataclass
class Box:
    """An expected message box; a field left None is not checked."""

    text: Optional[str] = None
    caption: Optional[str] = None
    buttons: Optional[Sequence[str]] = None  # e.g. ("yes", "no")
    default: Optional[str] = None
    style: Optional[int] = None  # MessageBoxA's style argument (traced)


@dataclasses.dataclass
class Reg:
    """A registry value to seed. view: None (as `reg` writes: the 32-bit view), "32" or "64"."""

    key: str
    name: Optional[str]
    value: Union[str, int, bytes, Sequence[str]]
    kind: Optional[str] = None
    view: Optional[str] = None


@dataclasses.dataclass
class Device:
    """A present pointing device, as setupapi lists it from the Enum key."""

    instance: str  # e.g. ACPI\\XYZ0017\\4&1234&0; the list is sorted by this path
    hardware_ids: Sequence[str]
    class_guid: str = rig.MOUSE_CLASS


@dataclasses.dataclass
class Scenario:
    name: str
    package: Package
    windows: str = "win10"
    args: str = ""  # what follows "C:\\pkg\\Setup.exe" on the command line
    cmdline: Optional[bytes] = None  # or the whole command line, byte for byte
    lang: Optional[str] = None  # LANG, e.g. de_DE.UTF-8 (default en_US.UTF-8)
    lc_messages: Optional[str] = None  # user interface language
    lc_ctype: Optional[str] = None  # system language and ANSI code page
    env: Dict[str, str] = dataclasses.field(default_factory=dict)
    dll_overrides: str = ""  # added to WINEDLLOVERRIDES
    registry: Sequence[Reg] = ()
    devices: Sequence[Device] = ()
    dpinst: DPInst = dataclasses.field(default_factory=DPInst)
    answers: Sequence[str] = ()  # ok/yes/no/cancel/default, box by box
    hold_boxes_until: Optional[str] = None  # answer no box before this C:\\ file exists
    relay: Sequence[str] = ()  # more functions to trace, e.g. "dbghelp.ImageNtHeader"
    cleanup: Sequence[str] = ()  # more C:\\ paths to remove before the scenario
    # C:\\ path -> content (a Path is copied), placed before the run and removed before the next scenario
    seed_files: Dict[str, Union[str, bytes, Path]] = dataclasses.field(default_factory=dict)
    # C:\\ path -> the C:\\ path it leads to, made after seed_files: a symbolic link
    # (what Wine follows as a junction), or with hard=True a second name of a file
    links: Dict[str, str] = dataclasses.field(default_factory=dict)
    hard_links: Dict[str, str] = dataclasses.field(default_factory=dict)
    # C:\\ folders made (when missing) after the links, then given o+w: Wine reads them as Everyone modify
    writable_by_others: Sequence[str] = ()
    flow: Optional[Callable[["Context"], None]] = None  # instead of one run of `args`
    time_limit: float = TIME_LIMIT
    hidden: bool = False  # run on a desktop nobody sees, as SYSTEM in session 0

    # what must come out
    exit: Optional[int] = None  # of the single run; a flow checks its runs itself
    boxes: Optional[Sequence[Box]] = None
    dpinst_calls: Optional[Sequence[str]] = None
    files: Dict[str, object] = dataclasses.field(default_factory=dict)  # path -> str/bytes/ABSENT/PRESENT
    exit_windows: Optional[Sequence[Tuple[int, int]]] = None  # ExitWindowsEx(flags, reason) calls
    check: Optional[Callable[["Outcome"], List[str]]] = None
    trace: Sequence[str] = ()  # texts the single run's step trace holds
    pending: Optional[str] = None  # why it cannot pass yet; its failure is not counted

    @property
    def traced(self) -> bool:
        return bool(self.relay) or self.exit_windows is not None or any(b.style is not None for b in self.boxes or ())


def unattended(visible: Scenario, label: str, **changes) -> Scenario:
    """The same run on a desktop nobody sees: each box the visible run shows is
    answered with its default button instead, so the run ends on its own with
    what Enter gives, shows nothing and names each box in its step trace."""
    boxes = list(visible.boxes or ())
    entered = all(answer in ("default", box.default) for answer, box in zip(visible.answers, boxes))
    assert entered and not visible.flow, "the visible run must be answered as Enter answers it"
    trace = list(visible.trace)
    for box in boxes:
        trace.append(
            f'Box not shown (no visible desktop): caption "{box.caption}"'
            + (f", style 0x{box.style:X}" if box.style is not None else "")
        )
        if box.text is not None:
            answer = {"ok": "OK", "yes": "Yes", "no": "No", "cancel": "Cancel"}.get(box.default or "", "")
            trace.append(f'text "{escape_controls(box.text)}"; answered {answer}'.rstrip())
    fields = dict(name=f"{label}, on a hidden desktop", hidden=True, boxes=[], answers=(), trace=trace, time_limit=20.0)
    fields.update(changes)
    return dataclasses.replace(visible, **fields)


def escape_controls(text: str) -> str:
    """A text as the step trace writes it: control characters escaped, one line."""
    named = {"\n": "\\n", "\r": "\\r", "\t": "\\t"}
    return "".join(named.get(c, f"\\x{ord(c):02X}") if ord(c) < 0x20 else c for c in text)


# ---------------------------------------------------------------------------
# Packages

PLATFORM_SECTIONS = ("W864", "W832", "W764", "W732", "Vi64", "Vi32", "XP64", "XP32")

# A package INF for the test devices: version 10.3.201.104, hardware IDs
# ACPI\\XYZ0017 and *XYZ0017 for both processor widths.
SAMPLE_INF = """[Version]
Signature   = "$Windows NT$"
Class       = Mouse
ClassGuid   = {4D36E96F-E325-11CE-BFC1-08002BE10318}
Provider    = %Maker%
DriverVer   = 06/21/2026,%DriverVersion%

[Manufacturer]
%Maker% = Maker, NTamd64, NTx86

[Maker.NTamd64]
%TouchPad% = TouchPad_Inst, ACPI\\XYZ0017, *XYZ0017

[Maker.NTx86]
%TouchPad% = TouchPad_Inst, ACPI\\XYZ0017, *XYZ0017

[TouchPad_Inst]
AddReg = TouchPad_Version

[TouchPad_Version]
HKLM, Software\\Vorn\\Glidex, ProductVer, 0, "7.0 %DriverVersion%"

[Strings]
Maker         = "Test maker"
TouchPad      = "Test touch pad"
DriverVersion = "10.3.201.104"
"""


def driver_package(
    sections: Dict[str, Dict[str, object]],
    dpinst: Optional[Dict[str, str]] = None,
    inf: Optional[str] = SAMPLE_INF,
    files: Optional[Dict[str, object]] = None,
    **more,
) -> Package:
    """A package with a settings file built from {section: {key: value}}, the
    DPInst stand-ins, and the INF (unless inf=None) in the folder of every
    platform section's DPInst, where Setup.exe looks for it."""
    content = dict(files or {})
    if inf is not None:
        for section, values in sections.items():
            if section not in PLATFORM_SECTIONS:
                continue
            path = str(values.get("Path", ".\\DPInst.exe")).strip('"')
            folder = "\\".join(p for p in path.split("\\")[:-1] if p not in ("", "."))
            content.setdefault((folder + "\\" if folder else "") + "TouchPad.inf", inf)
    return Package(ini=ini_text(sections), dpinst=dict(dpinst or {}), files=content, **more)


# ---------------------------------------------------------------------------
# The program's own string table, for expected texts

_RC_ESCAPES = {"n": "\n", "t": "\t", "r": "\r", "\\": "\\", '"': '"', "a": "\a"}


def _rc_unquote(body: str) -> str:
    out, i = [], 0
    while i < len(body):
        c = body[i]
        if c == "\\" and i + 1 < len(body):
            out.append(_RC_ESCAPES.get(body[i + 1], body[i + 1]))
            i += 2
        elif c == '"' and body.startswith('""', i):
            out.append('"')
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


def rc_strings(path: Path = rig.REPO / "res" / "strings.rc") -> Dict[int, Dict[int, str]]:
    """{LANGID: {id: text}} from the resource script."""
    tables: Dict[int, Dict[int, str]] = {}
    langid = None
    for line in path.read_text(encoding="utf-8").splitlines():
        m = re.match(r"\s*LANGUAGE\s+(0x[0-9A-Fa-f]+|\d+)\s*,\s*(0x[0-9A-Fa-f]+|\d+)", line)
        if m:
            langid = (int(m.group(2), 0) << 10) | int(m.group(1), 0)
            tables.setdefault(langid, {})
            continue
        m = re.match(r'\s*(\d+)\s*,\s*"(.*)"\s*$', line)
        if m and langid is not None:
            tables[langid][int(m.group(1))] = _rc_unquote(m.group(2))
    return tables


def rc_string(langid: int, string_id: int) -> str:
    return rc_strings()[langid][string_id]


# ---------------------------------------------------------------------------
# What a scenario produced


@dataclasses.dataclass
class Outcome:
    scenario: Scenario
    prefix: rig.Prefix
    runs: List[rig.RunResult]
    boxes: List[dict]
    calls: List[rig.Call]
    dpinst_calls: List[bytes]
    dpinst_runs: List[str]

    @property
    def exit_code(self) -> Optional[int]:
        return self.runs[-1].exit_code if self.runs else None

    def file(self, path: str) -> Optional[bytes]:
        target = self.prefix.unix(path)
        return target.read_bytes() if target.is_file() else None

    def traced(self, function: str) -> List[rig.Call]:
        return [c for c in self.calls if c.function == function]

    def step_trace(self, run: rig.RunResult) -> Optional[str]:
        traces = self.prefix.step_traces(run.pid) if run.pid is not None else []
        return traces[0].read_bytes().decode("utf-8", errors="replace") if len(traces) == 1 else None


class Context:
    """What a scenario's own flow can do: start and wait for Setup.exe runs, make
    files, wait for things, and note what went wrong."""

    def __init__(self, scenario: Scenario, session: rig.Session, exe_path: str) -> None:
        self.scenario = scenario
        self.session = session
        self.exe_path = exe_path
        self.runs: List[rig.Run] = []
        self.problems: List[str] = []

    def start(self, args: str = "") -> rig.Run:
        run = self.session.start(self.exe_path, args, hidden=self.scenario.hidden)
        self.runs.append(run)
        return run

    def run(self, args: str = "", limit: Optional[float] = None) -> rig.RunResult:
        return self.start(args).wait(limit)

    def touch(self, path: str) -> None:
        self.session.prefix.unix(path).write_bytes(b"")

    def dpinst_calls(self) -> List[bytes]:
        return read_lines(self.session.prefix, rig.RECORDS_WIN + "\\dpinst_calls.txt")

    def boxes(self) -> List[dict]:
        return self.session.boxes()

    def wait_until(self, condition: Callable[[], bool], what: str, limit: Optional[float] = None) -> None:
        self.session.wait_until(condition, what, limit)

    def expect(self, condition: bool, problem: str) -> None:
        if not condition:
            self.problems.append(problem)


def read_lines(prefix: rig.Prefix, path: str) -> List[bytes]:
    target = prefix.unix(path)
    if not target.exists():
        return []
    data = target.read_bytes()
    return data.split(b"\r\n")[:-1] if data.endswith(b"\r\n") else data.split(b"\r\n")


# ---------------------------------------------------------------------------
# Checks


def show(value: object) -> str:
    text = repr(value)
    return text if len(text) <= 120 else text[:117] + "..."


def text_difference(what: str, got: str, expected: str) -> str:
    """Names the first differing character, with a little context."""
    at = next((i for i, (a, b) in enumerate(zip(got, expected)) if a != b), min(len(got), len(expected)))
    start = max(0, at - 20)
    return (
        f"{what} differs at character {at} (got {len(got)} characters, expected {len(expected)}): "
        f"got {got[start:at + 30]!r}, expected {expected[start:at + 30]!r}"
    )


code_page = rig.code_page


def not_writable_by_others(*folders: str) -> Callable[[Outcome], List[str]]:
    """A check: each folder is there and others may not write in it (Wine
    reads the mode bit as Everyone modify or read and execute)."""

    def check(outcome: Outcome) -> List[str]:
        problems = []
        for folder in folders:
            target = outcome.prefix.unix(folder)
            if not target.is_dir():
                problems.append(f"{folder} is not a folder")
            elif target.stat().st_mode & stat.S_IWOTH:
                problems.append(f"{folder} is still writable by others")
        return problems

    return check


def all_of(*checks: Callable[[Outcome], List[str]]) -> Callable[[Outcome], List[str]]:
    """A check made of checks."""
    return lambda outcome: [problem for check in checks for problem in check(outcome)]


def folder_holds(folder: str, files: Dict[str, bytes]) -> Callable[[Outcome], List[str]]:
    """A check: the folder holds exactly these files ({name below it: bytes}),
    so that nothing was written, replaced or deleted there."""

    def check(outcome: Outcome) -> List[str]:
        root = outcome.prefix.unix(folder)
        found = {
            os.path.relpath(os.path.join(top, name), root): Path(top, name).read_bytes()
            for top, _, names in os.walk(root)
            for name in names
        }
        return [] if found == files else [f"{folder} holds {show(found)}, expected {show(files)}"]

    return check


def scenario_ctype(scenario: Scenario) -> str:
    return scenario.lc_ctype or scenario.lang or "en_US.UTF-8"


def through_ansi(text: str, ctype: str) -> str:
    """What a text looks like after a trip through the ANSI code page of a
    process with this LC_CTYPE, as LoadStringA and MessageBoxA take it: what the
    code page lacks becomes "?"."""
    encoding = code_page(ctype)
    return text.encode(encoding, errors="replace").decode(encoding)


def attach_styles(outcome: Outcome) -> List[str]:
    """Pairs each box the robot saw with the traced MessageBoxA call that made it:
    the same process, in order, and a traced text that starts the box's text."""
    problems = []
    encoding = code_page(scenario_ctype(outcome.scenario))
    pending = [c for c in outcome.traced("user32.MessageBoxA") if len(c.args) == 4]
    for number, box in enumerate(outcome.boxes, 1):
        match = next((c for c in pending if c.pid in (None, box.get("pid"))), None)
        if match is None:
            problems.append(f"box {number}: no traced MessageBoxA call")
            continue
        pending.remove(match)
        box["style"] = match.args[3].value
        for what, arg in (("text", match.args[1]), ("caption", match.args[2])):
            try:
                traced = (arg.text or b"").decode(encoding)
            except UnicodeDecodeError:
                continue
            shown = box[what]
            if not (shown.startswith(traced) if arg.cut else shown == traced):
                problems.append(f"box {number}: the traced {what} {show(traced)} is not what the box shows")
    for call in pending:
        problems.append(f"a MessageBoxA call no box was seen for: {show(call.args[1].text)}")
    return problems


def check_step_traces(outcome: Outcome) -> List[str]:
    """Every run leaves one step trace: UTF-8 with a byte-order mark, CR LF lines,
    the last naming the run's exit code."""
    problems = []
    for number, run in enumerate(outcome.runs, 1):
        if run.exit_code is None:
            continue
        trace = outcome.step_trace(run)
        if trace is None:
            problems.append(f"run {number}: no single step trace for process {run.pid}")
            continue
        lines = trace.split("\r\n")
        if not trace.startswith("\ufeff") or lines[-1] != "" or any("\n" in line for line in lines):
            problems.append(f"run {number}: the step trace is not BOM-marked CR LF lines")
        elif not lines[-2].endswith(f"exit code {run.exit_code}"):
            problems.append(f"run {number}: the step trace ends {show(lines[-2])}, not with exit code {run.exit_code}")
        if number == len(outcome.runs):
            problems += [f"the step trace lacks {show(text)}" for text in outcome.scenario.trace if text not in trace]
    return problems


def check_outcome(outcome: Outcome) -> List[str]:
    s = outcome.scenario
    problems = []
    for number, run in enumerate(outcome.runs, 1):
        if run.error:
            problems.append(f"run {number}: {run.error}")
    if s.exit is not None and s.flow is None and outcome.exit_code != s.exit:
        problems.append(f"exit code {outcome.exit_code}, expected {s.exit}")
    problems += check_step_traces(outcome)

    if s.traced:
        problems += attach_styles(outcome)
    if s.boxes is not None:
        got = outcome.boxes
        if len(got) != len(s.boxes):
            seen = "; ".join(f"{b['caption']!r}: {show(b['text'])}" for b in got) or "none"
            problems.append(f"{len(got)} boxes, expected {len(s.boxes)} (seen: {seen})")
        for number, (box, want) in enumerate(zip(got, s.boxes), 1):
            if want.caption is not None and box["caption"] != want.caption:
                problems.append(f"box {number} caption {box['caption']!r}, expected {want.caption!r}")
            if want.text is not None and box["text"] != want.text:
                problems.append(text_difference(f"box {number} text", box["text"], want.text))
            if want.buttons is not None and list(box["buttons"]) != list(want.buttons):
                problems.append(f"box {number} buttons {box['buttons']}, expected {list(want.buttons)}")
            if want.default is not None and box["default"] != want.default:
                problems.append(f"box {number} default button {box['default']!r}, expected {want.default!r}")
            if want.style is not None and box.get("style") is not None and box["style"] != want.style:
                problems.append(f"box {number} style 0x{box['style']:X}, expected 0x{want.style:X}")
    for box in outcome.boxes:
        if "note" in box:
            problems.append(f"box {box['seq']}: {box['note']} to press")

    if s.dpinst_calls is not None:
        # The stand-in records the bytes it got, in the ANSI code page.
        encoding = code_page(scenario_ctype(s))
        want = [c.encode(encoding) if isinstance(c, str) else c for c in s.dpinst_calls]
        if outcome.dpinst_calls != want:
            problems.append(
                f"DPInst command lines {[c.decode(encoding, 'replace') for c in outcome.dpinst_calls]}, "
                f"expected {[c.decode(encoding, 'replace') for c in want]}"
            )

    for path, want in s.files.items():
        data = outcome.file(path)
        if want is ABSENT:
            if data is not None or outcome.prefix.unix(path).exists():
                problems.append(f"{path} exists" + (f": {show(data)}" if data else ""))
        elif want is PRESENT:
            if data is None:
                problems.append(f"{path} is missing")
        else:
            expected = rig.text_bytes(want) if isinstance(want, str) else want
            if data is None:
                problems.append(f"{path} is missing")
            elif data != expected:
                problems.append(f"{path} holds {show(data)}, expected {show(expected)}")

    if s.exit_windows is not None:
        got = [tuple(a.value for a in c.args[:2]) for c in outcome.traced("user32.ExitWindowsEx")]
        if got != [tuple(w) for w in s.exit_windows]:
            problems.append(f"ExitWindowsEx calls {got}, expected {list(s.exit_windows)}")

    if s.check:
        problems += s.check(outcome)
    return problems


# ---------------------------------------------------------------------------
# Running


def scenario_env(s: Scenario) -> Dict[str, str]:
    env = {"LANG": s.lang or "en_US.UTF-8"}
    if s.lc_messages:
        env["LC_MESSAGES"] = s.lc_messages
    if s.lc_ctype:
        env["LC_CTYPE"] = s.lc_ctype
    if s.dll_overrides:
        env["WINEDLLOVERRIDES"] = "mscoree=;mshtml=;" + s.dll_overrides
    env.update(s.env)
    return env


def slug(name: str) -> str:
    return re.sub(r"[^A-Za-z0-9]+", "-", name).strip("-")[:80]


def prepare(prefix: rig.Prefix, s: Scenario, setup_exe: Path) -> None:
    prefix.clean(s.cleanup)
    for path in s.cleanup:  # and gone again before the next scenario
        prefix.note_path(path)
    rig.write_package(prefix, s.package, setup_exe)
    prefix.unix(rig.RECORDS_WIN + "\\dpinst_control.ini").write_bytes(s.dpinst.control())
    for path, content in s.seed_files.items():
        prefix.note_path(path)
        target = prefix.unix(path)
        target.parent.mkdir(parents=True, exist_ok=True)
        if isinstance(content, Path):
            shutil.copyfile(content, target)
        else:
            target.write_bytes(rig.text_bytes(content))
    for links, make in ((s.links, os.symlink), (s.hard_links, os.link)):
        for path, target in links.items():
            prefix.note_path(path)
            link = prefix.unix(path)
            link.parent.mkdir(parents=True, exist_ok=True)
            make(prefix.unix(target), link)
    for path in s.writable_by_others:
        prefix.note_path(path)
        folder = prefix.unix(path)
        folder.mkdir(parents=True, exist_ok=True)
        folder.chmod(folder.stat().st_mode | stat.S_IWOTH)
    for value in s.registry:
        prefix.reg_add(value.key, value.name, value.value, value.kind, value.view)
    for device in s.devices:
        parts = device.instance.split("\\")
        if len(parts) != 3:
            raise rig.RigError(f"device instance {device.instance!r} is not ENUMERATOR\\DEVICE\\INSTANCE")
        key = "HKLM\\System\\CurrentControlSet\\Enum\\" + device.instance
        forget = "HKLM\\System\\CurrentControlSet\\Enum\\" + "\\".join(parts[:2])
        prefix.reg_add(key, "ClassGUID", device.class_guid, "REG_SZ", forget_key=forget)
        prefix.reg_add(key, "HardwareID", list(device.hardware_ids), "REG_MULTI_SZ", forget_key=forget)
    if s.traced:
        prefix.set_relay_include(";".join(RELAY_FUNCTIONS + tuple(s.relay)))


def run_scenario(prefix: rig.Prefix, s: Scenario, setup_exe: Path, logs: Path) -> Tuple[List[str], float]:
    started = time.monotonic()
    shutil.rmtree(logs, ignore_errors=True)
    logs.mkdir(parents=True)
    prepare(prefix, s, setup_exe)
    session = rig.Session(
        prefix,
        prefix.env(scenario_env(s)),
        started + s.time_limit,
        relay=s.traced,
        answers=s.answers,
        hold=s.hold_boxes_until,
        logs=logs,
    )
    context = Context(s, session, s.package.exe_path)
    failed = True
    problems: List[str] = []
    try:
        session.start_robot()
        if s.flow:
            s.flow(context)
        else:
            context.runs.append(session.start(s.package.exe_path, s.args, s.cmdline, s.hidden))
        results = [run.wait() for run in context.runs]
        session.stop_robot()
        failed = False
    except rig.Timeout as error:
        seen = "; ".join(f"{b['caption']!r}: {show(b['text'])}" for b in session.boxes()) or "none"
        calls = [c.decode("utf-8", "replace") for c in context.dpinst_calls()]
        problems.append(f"timed out: {error} (boxes so far: {seen}; DPInst command lines so far: {calls})")
        results = []
    finally:
        session.close(failed)
    if not failed:
        stderr = b"".join(r.stderr for r in results)
        outcome = Outcome(
            s,
            prefix,
            results,
            session.boxes(),
            rig.parse_relay(stderr) if s.traced else [],
            read_lines(prefix, rig.RECORDS_WIN + "\\dpinst_calls.txt"),
            [x.decode(errors="replace") for x in read_lines(prefix, rig.RECORDS_WIN + "\\dpinst_runs.txt")],
        )
        problems += context.problems + check_outcome(outcome)
    # Keep the records next to the wrapper's output for a look after a failure.
    records = prefix.unix(rig.RECORDS_WIN)
    for item in records.iterdir() if records.exists() else ():
        if item.is_file() and item.stat().st_size < 4 << 20:
            shutil.copyfile(item, logs / item.name)
    return problems, time.monotonic() - started


def load_scenarios() -> List[Scenario]:
    scenarios: List[Scenario] = []
    for path in sorted(p for p in SCENARIO_DIR.glob("*.py") if not p.name.startswith("_")):
        scenarios += runpy.run_path(str(path)).get("SCENARIOS", [])
    names = [s.name for s in scenarios]
    duplicates = {n for n in names if names.count(n) > 1}
    if duplicates:
        raise rig.RigError(f"scenario names used twice: {sorted(duplicates)}")
    return scenarios


def main(argv: Optional[Sequence[str]] = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--setup", required=True, type=Path, help="the Setup.exe to test")
    parser.add_argument(
        "-k",
        dest="select",
        action="append",
        default=[],
        help="run only scenarios whose name contains this text (repeatable)",
    )
    parser.add_argument("--list", action="store_true", help="list the scenarios and stop")
    options = parser.parse_args(argv)

    scenarios = load_scenarios()
    if options.select:
        scenarios = [s for s in scenarios if any(k.lower() in s.name.lower() for k in options.select)]
    if options.list:
        for s in scenarios:
            print(f"{s.windows:8} {s.name}" + (f"  (pending: {s.pending})" if s.pending else ""))
        return 0
    if not options.setup.is_file():
        print(f"no such file: {options.setup}", file=sys.stderr)
        return 2
    setup_exe = options.setup.resolve()

    suite_start = time.monotonic()
    rig.build_tools()
    rig.ensure_locales(["en_US.UTF-8"] + [x for s in scenarios for x in (s.lang, s.lc_messages, s.lc_ctype) if x])
    display = rig.Display()
    prefixes: Dict[str, rig.Prefix] = {}
    passed = failed = 0
    pending: List[str] = []
    try:
        display.start()
        # Scenarios of one Windows version run together, so each prefix is warmed once.
        order = sorted(scenarios, key=lambda s: [x.windows for x in scenarios].index(s.windows))
        for s in order:
            if s.windows not in prefixes:
                for other in prefixes.values():
                    other.stop_server()
                prefixes[s.windows] = rig.Prefix(s.windows, display.name).open()
            prefix = prefixes[s.windows]
            prefix.start_server()
            logs = rig.LOGS / slug(s.name)
            try:
                problems, seconds = run_scenario(prefix, s, setup_exe, logs)
            except rig.RigError as error:
                problems, seconds = [f"rig error: {error}"], 0.0
            if not problems:
                passed += 1
                note = "  (marked pending, passes now: remove the mark)" if s.pending else ""
                print(f"PASS {s.name} ({seconds:.1f} s){note}", flush=True)
            elif s.pending:
                pending.append(s.name)
                print(f"PEND {s.name}: {'; '.join(problems)}  [pending: {s.pending}]", flush=True)
            else:
                failed += 1
                print(f"FAIL {s.name}: {'; '.join(problems)}  [records: {logs}]", flush=True)
    finally:
        for prefix in prefixes.values():
            prefix.close()
        display.stop()
    print(
        f"suite time {time.monotonic() - suite_start:.0f} s"
        + (f"; {len(pending)} pending scenarios (PEND above) not counted" if pending else "")
    )
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    # A rig error still ends with the summary line that CI reads.
    rig.run_main(main, ("e2e rig error: {error}", "0 passed, 1 failed"), failure_code=1)
