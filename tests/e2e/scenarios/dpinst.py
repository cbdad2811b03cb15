"""Running DPInst: the command line it gets, and how its return code becomes the
exit code (with Support bit 0x08; without it the exit code is always 0)."""
import dataclasses
import re

from e2e import Device, DPInst, Reg, Scenario, driver_package, read_lines

PACKAGE_W864 = driver_package({"W864": {"Path": "\\Vi64\\DPInst.exe", "Support": 8}}, {"Vi64": "x64"})
SILENT = '"C:\\pkg\\Vi64\\DPInst.exe" /f /sw /se'


def ran_in_its_folder(outcome):
    # Not in Setup.exe's current folder (C:\e2e\cwd), which would be searched for DPInst's DLLs.
    runs = outcome.dpinst_runs
    return [] if runs and all(r.endswith(" cwd=C:\\pkg\\Vi64") for r in runs) else [f"DPInst ran as {runs}"]


def ran_from_a_copy(outcome):
    calls = [c.decode("cp1252") for c in outcome.dpinst_calls]
    if len(calls) != 1 or not re.fullmatch(
        r'"(C:\\[^"]*\\SetupPackage_[0-9A-F]{16})\\Vi64\\DPInst\.exe" /f /sw /se', calls[0]
    ):
        return [f"DPInst ran as {calls}, not from a copy"]
    copy = calls[0][1:].split("\\Vi64\\")[0]
    return [f"the copy {copy} was left behind"] if outcome.prefix.unix(copy).exists() else []


PACKAGE_LIKE_A_REAL_ONE = driver_package(
    {
        "W864": {"Path": "\\Vi64\\DPInst.exe", "Support": 0x18},
        "W832": {"Path": "\\Vi32\\DPInst.exe", "Support": 0x18},
    },
    {"Vi64": "x64", "Vi32": "x86", "XP32": "x86"},
    files={
        "Vi64\\driver.sys": b"\x5a" * (3 << 20),
        "Vi32\\driver.sys": b"\x33" * 1024,
        "DotNetFx\\dotNetFx40_Client_x86_x64.exe": b"MZ" + b"\0" * 4096,
    },
)


def copied_only_vi64(outcome):
    problems = ran_from_a_copy(outcome)
    listed = sorted(read_lines(outcome.prefix, "C:\\e2e\\dpinst_package.txt"))
    dpinst = outcome.prefix.unix("C:\\pkg\\Vi64\\DPInst.exe").stat().st_size
    inf = outcome.prefix.unix("C:\\pkg\\Vi64\\TouchPad.inf").stat().st_size
    ini = outcome.prefix.unix("C:\\pkg\\Setup.ini").stat().st_size
    want = sorted(
        f"{name} {size}".encode()
        for name, size in (
            ("Setup.ini", ini),
            ("Vi64\\DPInst.exe", dpinst),
            ("Vi64\\TouchPad.inf", inf),
            ("Vi64\\driver.sys", 3 << 20),
        )
    )
    return problems + ([] if listed == want else [f"the copy held {listed}, not {want}"])


def silent(dpinst_code, exit_code, label, profile=""):
    """profile "msi": the exit codes deployment tools read, asked for with EXITCODES=msi."""
    return Scenario(
        f"silent run{', ' + profile + ' exit codes' if profile else ''}, DPInst returns 0x{dpinst_code:X}: "
        f"exit {exit_code} ({label})",
        PACKAGE_W864,
        args=f"/s /vEXITCODES={profile}" if profile else "/s",
        dpinst=DPInst(exit_code=dpinst_code),
        exit=exit_code,
        boxes=[],
        dpinst_calls=[SILENT],
        check=ran_in_its_folder,
    )


def without_exit_code(dpinst_code):
    return Scenario(
        f"silent run without Support, DPInst returns 0x{dpinst_code:X}: exit 0",
        driver_package({"W864": {"Path": "\\Vi64\\DPInst.exe"}}, {"Vi64": "x64"}),
        args="/s",
        dpinst=DPInst(exit_code=dpinst_code),
        exit=0,
        boxes=[],
        dpinst_calls=[SILENT],
    )


SCENARIOS = [
    silent(0x1, 0, "one package installed"),
    silent(0x40000001, 1641, "restart needed"),
    silent(0x40000002, 1641, "restart needed, two packages"),
    silent(0x80000100, 4, "the staged-only test comes before the failure bit"),
    silent(0x80010000, 1603, "failure bit"),
    silent(0x1100, 0x1100, "bit 8 with bit 12 is not staged-only: the code itself"),
    silent(3, 3, "any other code passes through"),
    # The whole 32-bit code must reach the caller, not just its low byte.
    silent(0x40000003, 0x40000003, "restart flag with three packages: the code itself"),
    silent(0x0, 0, "nothing to install: the code itself"),
    silent(0x2, 0, "two packages installed"),
    silent(0x100, 4, "staged only"),
    silent(0x80000000, 1603, "failure bit alone"),
    silent(0x1, 0, "installed", "msi"),
    silent(0x40000001, 3010, "restart needed, none started", "msi"),
    silent(0x100, 0, "staged only", "msi"),
    silent(0x80010000, 1603, "a package failed", "msi"),
    silent(0x40000003, 3010, "restart needed, three packages", "msi"),
    # Without Support 0x08 every result, failures included, exits 0.
    without_exit_code(0x40000001),
    without_exit_code(0x80000000),
    without_exit_code(0x100),
    Scenario(
        "interactive run: DPInst gets the Default switches",
        PACKAGE_W864,
        dpinst=DPInst(exit_code=1),
        exit=0,
        boxes=[],
        dpinst_calls=['"C:\\pkg\\Vi64\\DPInst.exe" /f'],
    ),
    # Its wizard would wait for ever where nobody sees it, and the run with it.
    Scenario(
        "interactive run on a hidden desktop: DPInst gets the Silent switches",
        PACKAGE_W864,
        hidden=True,
        dpinst=DPInst(exit_code=1),
        exit=0,
        boxes=[],
        dpinst_calls=[SILENT],
        trace=["DPInst: nobody can see this run, so DPInst gets its silent options"],
        time_limit=20.0,
    ),
    Scenario(
        "silent switch in capitals: /S counts as silent",
        PACKAGE_W864,
        args="/S",
        dpinst=DPInst(exit_code=1),
        exit=0,
        boxes=[],
        dpinst_calls=[SILENT],
    ),
    Scenario(
        "silent switch followed by blanks: still silent",
        PACKAGE_W864,
        args="/s  ",
        dpinst=DPInst(exit_code=1),
        exit=0,
        boxes=[],
        dpinst_calls=[SILENT],
    ),
    # The settings reader trims values, so a leading blank needs quotes.
    Scenario(
        "silent run with /q and the package's own switches",
        driver_package(
            {"W864": {"Path": "\\Vi64\\DPInst.exe", "Support": 8, "Default": '" /c"', "Silent": '" /q /sa"'}},
            {"Vi64": "x64"},
        ),
        args="/q",
        dpinst=DPInst(exit_code=1),
        exit=0,
        boxes=[],
        dpinst_calls=['"C:\\pkg\\Vi64\\DPInst.exe" /q /sa'],
    ),
    # A Windows 8 or later section that names no DPInst falls back to the Vista one.
    Scenario(
        "Windows 10 section without Path: the Vista section's DPInst runs",
        driver_package(
            {"W864": {"Support": 8}, "Vi64": {"Path": "\\Vista\\DPInst.exe", "Support": 8}}, {"Vista": "x64"}
        ),
        args="/s",
        dpinst=DPInst(exit_code=0x40000001),
        exit=1641,
        boxes=[],
        dpinst_calls=['"C:\\pkg\\Vista\\DPInst.exe" /f /sw /se'],
    ),
    # The stand-in's log line lands in the Windows folder; Setup.exe leaves it be
    # for now, so this only shows the rig's DpInst.log plumbing works.
    Scenario(
        "DPInst's log line is appended to DpInst.log",
        PACKAGE_W864,
        args="/s",
        dpinst=DPInst(exit_code=1, log_line="INFO: stand-in ran"),
        exit=0,
        files={"C:\\windows\\DpInst.log": "INFO: stand-in ran\n"},
    ),
]

# Removing the package: the same DPInst with /U and the package INF's full path,
# /S when silent. Every feature is on and the touch pad is one the INF does not
# name: an uninstall looks at neither.
UNINSTALL_64 = '"C:\\pkg\\Vi64\\DPInst.exe" /U "C:\\pkg\\Vi64\\TouchPad.inf"'
OTHER_PAD = [Device("ACPI\\ABC0001\\4&1&0", ["ACPI\\ABC0001", "*ABC0001"])]


def uninstall(label, args, call, dpinst_code=1, exit_code=0, windows="win10", section="W864", folder="Vi64"):
    return Scenario(
        f"uninstall, {label}: {call}",
        driver_package(
            {section: {"Path": f"\\{folder}\\DPInst.exe", "Support": 0x3F}},
            {folder: "x64" if folder.endswith("64") else "x86"},
        ),
        windows=windows,
        args=args,
        devices=OTHER_PAD,
        dpinst=DPInst(exit_code=dpinst_code),
        exit=exit_code,
        boxes=[],
        dpinst_calls=[call],
    )


SCENARIOS += [
    uninstall("silent, 64-bit Windows 10", "/s /vUNINSTALL=true", UNINSTALL_64 + " /S"),
    uninstall("interactive, 64-bit Windows 10", "/vUNINSTALL=true", UNINSTALL_64),
    dataclasses.replace(
        uninstall("interactive on a hidden desktop", "/vUNINSTALL=true", UNINSTALL_64 + " /S"), hidden=True
    ),
    uninstall(
        "silent, msi exit codes, restart needed: 3010",
        "/s /vUNINSTALL=true EXITCODES=msi",
        UNINSTALL_64 + " /S",
        0x40000001,
        3010,
    ),
    uninstall(
        "silent, 32-bit Windows XP",
        "/s /vUNINSTALL=true",
        '"C:\\pkg\\Vi32\\DPInst.exe" /U "C:\\pkg\\Vi32\\TouchPad.inf" /S',
        windows="winxp",
        section="XP32",
        folder="Vi32",
    ),
    # A package folder others may write in is used from a copy only
    # administrators may change, which is gone after the run.
    Scenario(
        "package folder others may write in: DPInst runs from a protected copy, with the same options",
        PACKAGE_W864,
        args="/s",
        writable_by_others=["C:\\pkg"],
        dpinst=DPInst(exit_code=1),
        exit=0,
        boxes=[],
        check=ran_from_a_copy,
    ),
    # Only what a 64-bit Windows 10 run uses is copied: no Vi32, XP32 or installer.
    Scenario(
        "package others may write in: the copy holds only Setup.ini and Vi64",
        PACKAGE_LIKE_A_REAL_ONE,
        args="/s",
        writable_by_others=["C:\\pkg"],
        dpinst=DPInst(exit_code=1, list_package=True),
        exit=0,
        boxes=[],
        check=copied_only_vi64,
    ),
]


# The detection record: after a run in which DPInst ran and the msi profile
# sees a success, HKLM\Software\Vorn\Glidex\Setup in the 64-bit view names
# the INF's version; nothing else writes it, and a successful uninstall removes
# it with ProductVer.
PRODUCT_KEY = "HKLM\\Software\\Vorn\\Glidex"
RECORD_KEY = PRODUCT_KEY + "\\Setup"
SAMPLE_VERSION = "10.3.201.104"


def record_problems(prefix, written):
    """What is wrong with the record: the INF's version in the 64-bit view only, or none at all."""
    version = prefix.reg_value(RECORD_KEY, "DriverVersion", "64")
    problems = []
    if version != (SAMPLE_VERSION if written else None):
        problems.append(f"DriverVersion in the 64-bit view is {version!r}")
    if prefix.reg_value(RECORD_KEY, "DriverVersion", "32") is not None:
        problems.append("DriverVersion is in the 32-bit view")
    if written:
        platform = prefix.reg_value(RECORD_KEY, "Platform", "64")
        time = prefix.reg_value(RECORD_KEY, "InstallTime", "64") or ""
        if platform != "W864" or not re.fullmatch(r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d", time):
            problems.append(f"Platform {platform!r}, InstallTime {time!r}")
    return problems


def recorded(label, args, exit_code, written, dpinst_code=1, devices=()):
    def flow(ctx):
        prefix = ctx.session.prefix
        # Installs of earlier scenarios may have left a record.
        prefix.note_key(PRODUCT_KEY, "64")
        prefix.wine("reg", "delete", PRODUCT_KEY, "/f", "/reg:64", check=False)
        result = ctx.run(args)
        ctx.expect(result.exit_code == exit_code, f"exit code {result.exit_code}, expected {exit_code}")
        for problem in record_problems(prefix, written):
            ctx.expect(False, problem)

    return Scenario(
        f"detection record {'written' if written else 'absent'} after {label}",
        PACKAGE_W864,
        devices=devices,
        dpinst=DPInst(exit_code=dpinst_code),
        flow=flow,
    )


def uninstall_then_reinstall(ctx):
    """Support 9: FORCE=false is read, and would refuse the version ProductVer names."""
    prefix = ctx.session.prefix
    first = ctx.run("/s /vUNINSTALL=true")
    ctx.expect(first.exit_code == 0, f"uninstall: exit code {first.exit_code}")
    for view in ("64", "32"):
        ctx.expect(
            prefix.reg_value(PRODUCT_KEY, "ProductVer", view) == (None if view == "64" else "7.0 9.0.0.1"),
            f"ProductVer in the {view}-bit view after the uninstall: "
            f"{prefix.reg_value(PRODUCT_KEY, 'ProductVer', view)!r}",
        )
    for problem in record_problems(prefix, False):
        ctx.expect(False, f"after the uninstall: {problem}")
    ctx.expect(prefix.reg_value(PRODUCT_KEY, "HomeDirectory", "64") == "C:\\Glidex", "HomeDirectory was removed")
    second = ctx.run("/s /vFORCE=false")
    calls = ctx.dpinst_calls()
    ctx.expect(
        second.exit_code == 0 and calls[-1:] == [SILENT.encode()],
        f"reinstall with FORCE=false: exit code {second.exit_code}, DPInst {calls}",
    )
    for problem in record_problems(prefix, True):
        ctx.expect(False, f"after the reinstall: {problem}")


SCENARIOS += [
    recorded("a silent install", "/s", 0, True),
    recorded("a silent install with msi exit codes", "/s /vEXITCODES=msi", 0, True),
    recorded("a restart needed, msi exit codes", "/s /vEXITCODES=msi", 3010, True, dpinst_code=0x40000001),
    recorded("a 1633 refusal", "/s /vEXITCODES=msi", 1633, False, devices=OTHER_PAD),
    recorded("a failing DPInst", "/s /vEXITCODES=msi", 1603, False, dpinst_code=0x80010000),
    Scenario(
        "a silent uninstall removes the detection record and ProductVer; /vFORCE=false then installs",
        driver_package({"W864": {"Path": "\\Vi64\\DPInst.exe", "Support": 9}}, {"Vi64": "x64"}),
        registry=[
            Reg(PRODUCT_KEY, "ProductVer", "7.0 10.3.201.104", view="64"),
            Reg(PRODUCT_KEY, "HomeDirectory", "C:\\Glidex", view="64"),
            Reg(RECORD_KEY, "DriverVersion", SAMPLE_VERSION, view="64"),
            Reg(PRODUCT_KEY, "ProductVer", "7.0 9.0.0.1", view="32"),
        ],
        dpinst=DPInst(exit_code=1),
        flow=uninstall_then_reinstall,
    ),
]
