"""The installed driver's version against the package's (the sample INF says
10.3.201.104, through a [Strings] token): an interactive run asks before a
same-version or older-version install, with No as the default; No ends the run
with exit code 0 and nothing done. Silent runs do not ask; the FORCE property
set to false keeps DPInst from replacing the same or a newer version."""
from e2e import ABSENT, Box, DPInst, Reg, Scenario, driver_package, rc_string, unattended

TOUCH_PAD = "HKLM\\Software\\Vorn\\Glidex"
POINTING_STICK = "HKLM\\Software\\Vorn\\VornPoint\\Common\\Current"
LOG = "C:\\TouchPad\\log\\Setup.log"
INTERACTIVE = '"C:\\pkg\\Vi64\\DPInst.exe" /f'
SILENT = '"C:\\pkg\\Vi64\\DPInst.exe" /f /sw /se'

# Support 0x0D: public properties, runtime log and exit code.
PACKAGE = driver_package({"W864": {"Path": "\\Vi64\\DPInst.exe", "Support": 0x0D}}, {"Vi64": "x64"})


def ask(text_id):
    return Box(
        caption=rc_string(0x0409, 1), text=rc_string(0x0409, text_id), buttons=["yes", "no"], default="no", style=0x124
    )


SAME = ask(4)
OLDER = ask(5)
WARNING = Box(
    caption="WARNING",
    text="Failed to get current Veltaro Touch Pad driver version",
    buttons=["ok"],
    default="ok",
    style=0x40,
)


def installed(version, key=TOUCH_PAD, view="64"):
    return [Reg(key, "ProductVer", version, view=view)]


def log_versions(installed_text, package_text):
    """The runtime log names both versions."""

    def check(outcome):
        data = outcome.file(LOG)
        if data is None:
            return [f"{LOG} is missing"]
        text = data[2:].decode("utf-16-le", errors="replace")
        wanted = f"  Installed version:{installed_text}\r\n  Package version:{package_text}\r\n"
        return [] if wanted in text else [f"{LOG} lacks {wanted!r}: {text!r}"]

    return check


def run(name, registry, boxes, calls, exit=0, args="", answers=(), package=PACKAGE, **more):
    return Scenario(
        name,
        package,
        args=args,
        registry=registry,
        answers=answers,
        boxes=boxes,
        dpinst=DPInst(exit_code=1),
        dpinst_calls=calls,
        exit=exit,
        **more,
    )


def pointing_stick_package(inf_name):
    return driver_package(
        {"W864": {"Path": "\\Vi64\\DPInst.exe", "Support": 0x0C}},
        {"Vi64": "x64"},
        inf=None,
        files={"Vi64\\" + inf_name: PACKAGE_INF},
    )


PACKAGE_INF = """[Version]
Signature = "$Windows NT$"
Class     = Mouse
DriverVer = 06/21/2026, %Ver%

[Strings]
Ver = "10.3.201.99"
"""

SAME_DEFAULT = run(
    "same version, interactive: the default answer is No",
    installed("10.3.201.104"),
    [SAME],
    [],
    answers=["default"],
    files={"C:\\TouchPad": ABSENT},
)
OLDER_NO = run(
    "older package, interactive, No: exit 0 with nothing done",
    installed("10.4.0.0"),
    [OLDER],
    [],
    answers=["no"],
    files={"C:\\TouchPad": ABSENT},
)

SCENARIOS = [
    run(
        "same version, interactive: asked with No as default; No exits 0 with nothing done",
        installed("10.3.201.104"),
        [SAME],
        [],
        answers=["no"],
        files={"C:\\TouchPad": ABSENT},
    ),
    SAME_DEFAULT,
    # Nobody to ask: the questions take their default, No, and nothing is installed.
    unattended(SAME_DEFAULT, "same version, interactive: no question, exit 0, DPInst not run"),
    unattended(OLDER_NO, "older package, interactive: no question, exit 0, DPInst not run"),
    run(
        "same version, interactive, Yes: DPInst runs",
        installed("10.3.201.104"),
        [SAME],
        [INTERACTIVE],
        answers=["yes"],
        check=log_versions("10.3.201.104", "10.3.201.104"),
    ),
    run(
        "older package, interactive, Yes: DPInst runs",
        installed("7.0 10.4.0.0"),
        [OLDER],
        [INTERACTIVE],
        answers=["yes"],
        check=log_versions("10.4.0.0", "10.3.201.104"),
    ),
    OLDER_NO,
    run(
        "newer package, interactive: not asked",
        installed("10.3.201.99"),
        [],
        [INTERACTIVE],
        check=log_versions("10.3.201.99", "10.3.201.104"),
    ),
    run("no installed driver, interactive: not asked", [], [], [INTERACTIVE], check=log_versions("", "10.3.201.104")),
    # Seeded without a view, the value lies in the 32-bit view, which is not read.
    run(
        "installed version only in the 32-bit registry view: not asked",
        installed("10.3.201.104", view=None),
        [],
        [INTERACTIVE],
    ),
    run(
        "installed version with no word: WARNING box, exit 0 with nothing done",
        installed(""),
        [WARNING],
        [],
        files={"C:\\TouchPad": ABSENT},
    ),
    run("installed version with no word, silent: not asked, DPInst runs", installed(""), [], [SILENT], args="/s"),
    run(
        "same version, silent: not asked, DPInst runs (FORCE defaults to true)",
        installed("10.3.201.104"),
        [],
        [SILENT],
        args="/s",
        check=log_versions("10.3.201.104", "10.3.201.104"),
    ),
    run(
        "same version, silent, FORCE=false: result 3, DPInst not run",
        installed("10.3.201.104"),
        [],
        [],
        exit=3,
        args="/s /vFORCE=false",
        check=log_versions("10.3.201.104", "10.3.201.104"),
    ),
    run(
        "older package, interactive Yes, FORCE=false: result 3, DPInst not run",
        installed("10.4.0.0"),
        [OLDER],
        [],
        exit=3,
        args="/vFORCE=false",
        answers=["yes"],
    ),
    run(
        "older package, silent, FORCE=false, msi exit codes: DPInst not run, 1638",
        installed("10.4.0.0"),
        [],
        [],
        exit=1638,
        args="/s /vFORCE=false EXITCODES=msi",
    ),
    run(
        "newer package, silent, FORCE=false: DPInst runs",
        installed("10.3.201.99"),
        [],
        [SILENT],
        args="/s /vFORCE=false",
    ),
    # The file name "GxPS2.inf", exactly so, selects the pointing-stick key.
    run(
        "INF named GxPS2.inf: the pointing-stick version is compared",
        installed("10.3.201.99", POINTING_STICK),
        [SAME],
        [],
        answers=["no"],
        package=pointing_stick_package("GxPS2.inf"),
    ),
    run(
        "INF named gxps2.inf: the touch-pad version is compared",
        installed("10.3.201.99", POINTING_STICK) + installed("10.0.0.0"),
        [],
        [INTERACTIVE],
        package=pointing_stick_package("gxps2.inf"),
    ),
    # A silent run that ends before the version check still logs both versions.
    run(
        "silent run refused for a 32-bit DPInst still logs both versions",
        installed("7.0 10.3.201.1"),
        [Box(caption=rc_string(0x0409, 1), text=rc_string(0x0409, 2), buttons=["ok"])],
        [],
        exit=0,
        args="/s",
        package=driver_package({"W864": {"Path": "\\Vi64\\DPInst.exe", "Support": 0x04}}, {"Vi64": "x86"}),
        check=log_versions("10.3.201.1", "10.3.201.104"),
    ),
]
