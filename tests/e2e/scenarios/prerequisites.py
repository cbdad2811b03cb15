"""Prerequisites on Windows 7: with the touch pad present and not excluded, a
missing .NET Framework 4 key starts the package's installer from its "DotNetFx"
folder before DPInst. The DPInst stand-in plays the installer, so one record
shows both programs in the order they ran. The imaging component needs a
64-bit Windows reporting 5.1, which no Wine prefix is: the host tests cover it."""
import rig
from e2e import Device, DPInst, Reg, Scenario, driver_package

DOTNET_KEY = "HKLM\\SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4"
INSTALLER = "DotNetFx\\dotNetFx40_Client_x86_x64.exe"
TOUCH_PAD = [Device("ACPI\\XYZ0017\\4&1&0", ["ACPI\\XYZ0017", "*XYZ0017"])]
# The shell puts its own blank before the parameters, which bring one of their own.
SILENT_INSTALLER = '"C:\\pkg\\DotNetFx\\dotNetFx40_Client_x86_x64.exe"  /q'
INTERACTIVE_INSTALLER = '"C:\\pkg\\DotNetFx\\dotNetFx40_Client_x86_x64.exe"  /norestart'
SILENT_DPINST = '"C:\\pkg\\Vi64\\DPInst.exe" /f /sw /se'


def package(section="W764", unnecessary="ABC0001,ABC0002", installer=True):
    # Support 0x18: prerequisites and the exit code.
    return driver_package(
        {section: {"Path": "\\Vi64\\DPInst.exe", "Support": 0x18}, "DotNET_Option": {"Unnecessary_ID": unnecessary}},
        {"Vi64": "x64"},
        files={INSTALLER: rig.BIN / "dpinst_x86.exe"} if installer else {},
    )


def installer_ran_in_its_folder(outcome):
    runs = outcome.dpinst_runs
    if not runs or not runs[0].endswith("cwd=C:\\pkg\\DotNetFx"):
        return [f"the installer did not run in its own folder: {runs}"]
    return []


def skipped(name, **more):
    more.setdefault("package", package())
    more.setdefault("devices", TOUCH_PAD)
    return Scenario(
        f"prerequisites skipped: {name}",
        windows=more.pop("windows", "win7"),
        args="/s",
        dpinst=DPInst(exit_code=1),
        exit=0,
        boxes=[],
        dpinst_calls=[SILENT_DPINST],
        **more,
    )


SCENARIOS = [
    Scenario(
        "prerequisites, Windows 7 without .NET 4, silent: installer with /q, then DPInst",
        package(),
        windows="win7",
        args="/s",
        devices=TOUCH_PAD,
        dpinst=DPInst(exit_code=1),
        exit=0,
        boxes=[],
        dpinst_calls=[SILENT_INSTALLER, SILENT_DPINST],
        check=installer_ran_in_its_folder,
    ),
    Scenario(
        "prerequisites, Windows 7 without .NET 4, interactive: installer with /norestart",
        package(),
        windows="win7",
        devices=TOUCH_PAD,
        dpinst=DPInst(exit_code=1),
        exit=0,
        boxes=[],
        dpinst_calls=[INTERACTIVE_INSTALLER, '"C:\\pkg\\Vi64\\DPInst.exe" /f'],
    ),
    # The key is probed in the 32-bit program's own view of the registry.
    Scenario(
        "prerequisites, .NET 4 key only in the 64-bit view: the installer still runs",
        package(),
        windows="win7",
        args="/s",
        devices=TOUCH_PAD,
        registry=[Reg(DOTNET_KEY, "Install", 1, view="64")],
        dpinst=DPInst(exit_code=1),
        exit=0,
        dpinst_calls=[SILENT_INSTALLER, SILENT_DPINST],
    ),
    skipped(".NET 4 key present", registry=[Reg(DOTNET_KEY, "Install", 1)]),
    skipped("device listed in Unnecessary_ID", package=package(unnecessary="ABC0001,XYZ0017")),
    skipped("no pointing device", devices=[]),
    skipped("Windows 10", windows="win10", package=package("W864")),
    Scenario(
        'prerequisites, "DotNetFx" missing: exit 3 at once, no box, no DPInst',
        package(installer=False),
        windows="win7",
        args="/s",
        devices=TOUCH_PAD,
        dpinst=DPInst(exit_code=1),
        exit=3,
        boxes=[],
        dpinst_calls=[],
        time_limit=20,
    ),
    # Only the installer in "DotNetFx" is started, by its full path: one of the
    # same name in the current folder or the Windows folder never runs.
    Scenario(
        'prerequisites, installer missing from "DotNetFx" but planted elsewhere: exit 3, nothing run',
        package(installer=False),
        windows="win7",
        args="/s",
        devices=TOUCH_PAD,
        dpinst=DPInst(exit_code=1),
        seed_files={
            "C:\\pkg\\DotNetFx\\readme.txt": "the installer is missing",
            **{
                folder + "\\dotNetFx40_Client_x86_x64.exe": rig.BIN / "dpinst_x86.exe"
                for folder in ("C:\\e2e\\cwd", "C:\\windows")
            },
        },
        exit=3,
        boxes=[],
        dpinst_calls=[],
        time_limit=20,
    ),
]
