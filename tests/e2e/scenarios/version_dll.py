"""The package's version DLL (VrnVer.dll beside the INF) must state the INF's
driver version as "10, 3, 201, 104"; otherwise an "ERROR" box ends the run with
exit code 0, before anything is installed or logged."""
import rig
from e2e import ABSENT, Box, DPInst, Scenario, driver_package, unattended

MISMATCH = Box(
    caption="ERROR",
    text="VrnVer.dll version does not correspond to Driver version",
    buttons=["ok"],
    default="ok",
    style=0x40,
)


def with_version_dll(product_version, table="040904b0"):
    # Support 0x0C: a refused run must leave no log and exit 0 all the same.
    return driver_package(
        {"W864": {"Path": "\\Vi64\\DPInst.exe", "Support": 0x0C}},
        {"Vi64": "x64"},
        files={"Vi64\\VrnVer.dll": rig.version_dll(product_version, table=table)},
    )


def refused(product_version, why, args="/s", exit=0):
    return Scenario(
        f"version DLL {product_version!r} against INF 10.3.201.104, {args}: refused ({why}), exit {exit}",
        with_version_dll(product_version),
        args=args,
        dpinst=DPInst(exit_code=1),
        exit=exit,
        boxes=[MISMATCH],
        dpinst_calls=[],
        files={"C:\\TouchPad": ABSENT},
    )


SCENARIOS = [
    Scenario(
        "version DLL '10, 3, 201, 104' matches INF 10.3.201.104: DPInst runs",
        with_version_dll("10, 3, 201, 104"),
        args="/s",
        dpinst=DPInst(exit_code=0x40000001),
        exit=1641,
        boxes=[],
        dpinst_calls=['"C:\\pkg\\Vi64\\DPInst.exe" /f /sw /se'],
    ),
    refused("10.3.201.104", "dots instead of comma and blank"),
    refused("10,3,201,104", "no blanks"),
    refused("10, 3, 201, 103", "another version"),
    refused("10, 3, 201, 103", "another version", args="/s /vEXITCODES=msi", exit=1603),
    unattended(refused("10, 3, 201, 103", "another version"), "version DLL of another version, /s: no box, exit 0"),
    Scenario(
        "version DLL with only a German string table: passes, DPInst runs",
        with_version_dll("10.3.201.999", table="040704b0"),
        args="/s",
        dpinst=DPInst(exit_code=1),
        exit=0,
        boxes=[],
        dpinst_calls=['"C:\\pkg\\Vi64\\DPInst.exe" /f /sw /se'],
    ),
]
