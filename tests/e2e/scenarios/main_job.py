"""The main job: the settings file picks DPInst and its options, DPInst runs
with the exact command line, and its return code becomes the exit code.
Platform rows are in platforms.py, the return-code table in dpinst.py."""
import dataclasses
import random
import re

import rig
from e2e import Box, Device, DPInst, Package, Reg, Scenario, driver_package, rc_string
from e2e import SAMPLE_INF

EXAMPLE = rig.REPO / "examples" / "package"
LOG = "C:\\TouchPad\\log\\Setup.log"
SILENT_VI64 = '"C:\\pkg\\Vi64\\DPInst.exe" /f /sw /se'


def example_package():
    """The sample package of examples/, with a stand-in of the right width in each DPInst folder."""
    files = {str(p.relative_to(EXAMPLE)).replace("/", "\\"): p for p in sorted(EXAMPLE.rglob("*")) if p.is_file()}
    return Package(files=files, dpinst={"Vi64": "x64", "Vi32": "x86"})


def log_lines(*wanted):
    """The runtime log exists and holds each of these lines whole."""

    def check(outcome):
        data = outcome.file(LOG)
        if data is None:
            return [f"{LOG} is missing"]
        lines = data[2:].decode("utf-16-le", errors="replace").split("\r\n")
        return [f"{LOG} lacks the line {line!r}: {lines}" for line in wanted if line not in lines]

    return check


SCENARIOS = [
    # Support 63 turns every feature on: the prerequisites are skipped on
    # Windows 8 and later, and with no tray application installed nothing starts.
    Scenario(
        "typical silent deployment: Windows 10 64-bit, the sample package, DPInst returns 1, exit 0",
        example_package(),
        args="/s",
        dpinst=DPInst(exit_code=1),
        exit=0,
        boxes=[],
        dpinst_calls=[SILENT_VI64],
        check=log_lines("Command:C:\\pkg\\Setup.exe /s", "Exit code = 0"),
    ),
    Scenario(
        "typical silent deployment with the touch pad present and an older driver installed",
        example_package(),
        args="/s",
        dpinst=DPInst(exit_code=1),
        exit=0,
        boxes=[],
        dpinst_calls=[SILENT_VI64],
        devices=[Device("ACPI\\VRN0001\\4&1&0", ["ACPI\\VRN0001", "*VRN0001"])],
        registry=[Reg("HKLM\\Software\\Vorn\\Glidex", "ProductVer", "10.3.201.99", view="64")],
        check=log_lines("  Installed version:10.3.201.99", "  Package version:10.3.201.104", "Exit code = 0"),
    ),
]


# Windows 8 and later fall back to the Vista section, whole, when their own
# section names no DPInst of its own: the test is whether the Path holds
# ".\\DPInst.exe". Each Vista section here has its own DPInst folder, options
# and Support, so the command line and the exit code show where they came from.
VISTA = {"Path": "\\Vista\\DPInst.exe", "Silent": '" /sw"', "Support": 8}


def from_vista(label, sections, windows="win10"):
    # The INF goes only where the Vista section's DPInst lies, the folder the run ends up using.
    package = dataclasses.replace(driver_package({"Vi64": VISTA}, {"Vista": "x64"}), ini=rig.ini_text(sections))
    return Scenario(
        f"{label}: DPInst, options and Support all from Vi64",
        package,
        windows=windows,
        args="/s",
        dpinst=DPInst(exit_code=0x40000001),
        exit=1641,
        boxes=[],
        dpinst_calls=['"C:\\pkg\\Vista\\DPInst.exe" /sw'],
    )


# With the default Path, the program's folder and ".\\DPInst.exe" are joined as
# plain text: Windows drops the dot that ends "pkg.", so the DPInst beside
# Setup.exe runs. The default Support 0 makes the exit code 0 whatever DPInst says.
DEFAULT_CALL = '"C:\\pkg.\\DPInst.exe" /f /sw /se'


def ran_beside_setup(outcome):
    # Its folder "C:\pkg." is C:\pkg to Windows too.
    runs = outcome.dpinst_runs
    return [] if runs and all(r.endswith(" cwd=C:\\pkg") for r in runs) else [f"DPInst ran as {runs}"]


def defaults(label, ini, windows="win10", sections_dpinst=None):
    files = {"TouchPad.inf": SAMPLE_INF}
    return Scenario(
        f"{label}: the defaults, DPInst beside Setup.exe, exit 0",
        windows=windows,
        package=Package(ini=ini, dpinst={"": "x64", **(sections_dpinst or {})}, files=files),
        args="/s",
        dpinst=DPInst(exit_code=0x40000001),
        exit=0,
        boxes=[],
        dpinst_calls=[DEFAULT_CALL],
        check=ran_beside_setup,
    )


def garbage(seed=7, size=4096):
    # Random bytes, never a byte-order mark, so the whole file is read as ANSI text.
    data = bytes(random.Random(seed).randrange(256) for _ in range(size))
    return b"\x00" + data


SCENARIOS += [
    from_vista("Windows 8.1 64-bit without a W864 section", {"Vi64": VISTA}, windows="win81"),
    from_vista("W864 with a Path of ..\\DPInst.exe", {"W864": {"Path": "..\\DPInst.exe", "Support": 0}, "Vi64": VISTA}),
    # Rows other than Windows 8 and later have no fallback.
    defaults(
        "Windows 7 64-bit without a W764 section",
        windows="win7",
        ini=rig.ini_text({"W864": {"Path": "\\Vi64\\DPInst.exe", "Support": 8}, "Vi64": VISTA}),
        sections_dpinst={"Vi64": "x64", "Vista": "x64"},
    ),
    defaults("no settings file", ini=None),
    defaults("a settings file of binary garbage", ini=garbage()),
]


def settings(inf=SAMPLE_INF, **section):
    return driver_package({"W864": {"Path": "\\Vi64\\DPInst.exe", "Support": 8, **section}}, {"Vi64": "x64"}, inf=inf)


# A Path of 300 characters is cut to 259, and the command line, built in 260,
# loses its closing quote, so DPInst cannot start: message id 6 and 1603. Once
# the package check looks for the INF in DPInst's folder first, that check may
# be the one to refuse the path (message id 3 and 1633). Either way the run
# must end with a clear message and an error, never start anything or crash.
LONG_PATH = "\\Vi64\\" + "x" * (300 - len("\\Vi64\\") - len("\\DPInst.exe")) + "\\DPInst.exe"
assert len(LONG_PATH) == 300
REFUSALS = {rc_string(0x0409, 6): 1603, rc_string(0x0409, 3): 1633}


def refused_with_code(outcome):
    if len(outcome.boxes) != 1:
        return []  # reported by boxes=
    text = outcome.boxes[0]["text"]
    for message, exit_code in REFUSALS.items():
        if re.fullmatch(re.escape(message) + r" \[[0-9A-F]+\]", text):
            return [] if outcome.exit_code == exit_code else [f"exit code {outcome.exit_code} after {text!r}"]
    return [f"the box says {text!r}, not that DPInst could not start or files are missing, with a code"]


SCENARIOS += [
    Scenario(
        "settings with Silent= empty: DPInst gets no options",
        settings(Silent=""),
        args="/s",
        dpinst=DPInst(exit_code=1),
        exit=0,
        boxes=[],
        dpinst_calls=['"C:\\pkg\\Vi64\\DPInst.exe"'],
    ),
    Scenario(
        "settings with Default= empty: DPInst gets no options",
        settings(Default=""),
        dpinst=DPInst(exit_code=1),
        exit=0,
        boxes=[],
        dpinst_calls=['"C:\\pkg\\Vi64\\DPInst.exe"'],
    ),
    Scenario(
        "Path of 300 characters: cut, a message with the error code, nothing started",
        settings(inf=None, Path=LONG_PATH),
        args="/s",
        dpinst_calls=[],
        boxes=[Box(caption=rc_string(0x0409, 1), buttons=["ok"], default="ok")],
        check=refused_with_code,
    ),
]
