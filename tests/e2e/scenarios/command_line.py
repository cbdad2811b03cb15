"""The command line as a user or a deployment tool types it: mode switches,
public properties after "/v", and which Support bits switch them on (0x01 for
"/v" and "/f2", 0x02 for "/extract_all:"; 0x08 makes the result the exit code).
Extraction itself is in extraction.py."""
from e2e import ABSENT, Box, DPInst, Reg, Scenario, driver_package, rc_string

SILENT = '"C:\\pkg\\Vi64\\DPInst.exe" /f /sw /se'
INTERACTIVE = '"C:\\pkg\\Vi64\\DPInst.exe" /f'
OUT = "C:\\Out"


def package(support):
    return driver_package({"W864": {"Path": "\\Vi64\\DPInst.exe", "Support": support}}, {"Vi64": "x64"})


def installs(label, args, support, dpinst_call):
    """The run goes on to install: DPInst is started once, as dpinst_call, and
    nothing is extracted."""
    return Scenario(
        f"{args}: {label}",
        package(support),
        args=args,
        dpinst=DPInst(exit_code=1),
        exit=0,
        boxes=[],
        dpinst_calls=[dpinst_call],
        files={OUT: ABSENT},
        cleanup=[OUT],
    )


SCENARIOS = [
    # The last mode switch wins.
    Scenario(
        "/s /q /?: the usage screen, nothing installed",
        package(0x08),
        args="/s /q /?",
        exit=0,
        dpinst_calls=[],
        boxes=[Box(caption="Help", buttons=["ok"], default="ok")],
    ),
    # Only seven switches are looked at: the eighth, "/s", is not, so the run is
    # interactive and DPInst gets the Default options.
    installs("the eighth switch is not looked at, interactive run", "/a /b /c /d /e /f /g /s", 0x09, INTERACTIVE),
    Scenario(
        "/vFORCE=yes: unknown value, exit 1608, DPInst not started",
        package(0x09),
        args="/vFORCE=yes",
        dpinst=DPInst(exit_code=1),
        exit=1608,
        boxes=[],
        dpinst_calls=[],
    ),
    Scenario(
        "/vFORCE=yes EXITCODES=msi: unknown value, exit 1639, DPInst not started",
        package(0x09),
        args="/vFORCE=yes EXITCODES=msi",
        dpinst=DPInst(exit_code=1),
        exit=1639,
        boxes=[],
        dpinst_calls=[],
    ),
    # A profile that is neither classic nor msi: nothing done, not even a log.
    Scenario(
        "/s /vEXITCODES=tools: exit 1639 before anything, no box, no log",
        package(0x0F),
        args="/s /vEXITCODES=tools",
        dpinst=DPInst(exit_code=1),
        exit=1639,
        boxes=[],
        dpinst_calls=[],
        files={"C:\\TouchPad": ABSENT},
    ),
    # Each option needs its own Support bit; the other one will not do.
    installs("ignored without Support 0x01", "/vFORCE=yes", 0x0A, INTERACTIVE),
    installs("ignored without Support 0x02", f"/extract_all:{OUT}", 0x09, INTERACTIVE),
    # A mode switch replaces the command line, so "/extract_all:" is not found.
    installs("silent installation, nothing extracted", f"/s /extract_all:{OUT}", 0x0B, SILENT),
    # Bits 6 and above change nothing: bit 0x08 still gives the exit code, while
    # "/v" (0x01) and the runtime log (0x04) stay off.
    Scenario(
        "Support 0xFFC8 (bits above 0x20 set): /v ignored, no runtime log, exit code passed on",
        package(0xFFC8),
        args="/s /vFORCE=yes",
        dpinst=DPInst(exit_code=0x40000001),
        exit=1641,
        boxes=[],
        dpinst_calls=[SILENT],
        files={"C:\\TouchPad": ABSENT},
    ),
]


# FORCE and FRESHINSTALL act on the installed version, which the checks read
# from the registry (the 64-bit view) and the package INF (10.3.201.104).
SAME_VERSION = [Reg("HKLM\\Software\\Vorn\\Glidex", "ProductVer", "10.3.201.104", view="64")]


def question_then_fresh_install(ctx):
    # The first run shows that this machine gets the same-version question, so
    # that the second run's silence is FRESHINSTALL's doing.
    first = ctx.run("")
    ctx.expect(first.exit_code == 0, f"run without FRESHINSTALL: exit code {first.exit_code}, expected 0")
    ctx.expect(ctx.dpinst_calls() == [], "run without FRESHINSTALL, answered No: DPInst was started")
    second = ctx.run("/vFRESHINSTALL=true")
    ctx.expect(second.exit_code == 0, f"run with FRESHINSTALL=true: exit code {second.exit_code}, expected 0")


SCENARIOS += [
    Scenario(
        "/s /vFORCE=false with the same version installed: exit 3, DPInst not started",
        package(0x09),
        args="/s /vFORCE=false",
        registry=SAME_VERSION,
        dpinst=DPInst(exit_code=1),
        exit=3,
        boxes=[],
        dpinst_calls=[],
    ),
    Scenario(
        "/vFRESHINSTALL=true with the same version installed: no question, DPInst runs",
        package(0x09),
        registry=SAME_VERSION,
        flow=question_then_fresh_install,
        answers=["no"],
        dpinst=DPInst(exit_code=1),
        boxes=[Box(caption=rc_string(0x0409, 1), text=rc_string(0x0409, 4), buttons=["yes", "no"], default="no")],
        dpinst_calls=[INTERACTIVE],
    ),
    # Every switch counts, however long the line: a 300-character line that
    # ends in "/s" is silent, so the same version installed asks nothing.
    Scenario(
        "a 300-character command line ending in /s: silent, no question, silent DPInst",
        package(0x09),
        args="/vLOGFILE=C:\\Logs\\" + "l" * 278 + ".log /s",
        registry=SAME_VERSION,
        dpinst=DPInst(exit_code=1),
        exit=0,
        boxes=[],
        dpinst_calls=[SILENT],
        time_limit=20,
    ),
]
