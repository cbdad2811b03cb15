"""The package checks before anything is installed: the INF must lie beside
DPInst, and DPInst's image must be built for the running Windows' width. Each
failure ends the run with 1633 (exit code with Support 0x08) and DPInst never
runs; an unreadable or malformed image fails without a box."""
import struct

from e2e import SAMPLE_INF, Box, Scenario, driver_package, rc_string, unattended

SECTIONS = {"W864": {"Path": "\\Vi64\\DPInst.exe", "Support": 8}}


def info(text_id, suffix=""):
    return Box(
        caption=rc_string(0x0409, 1), text=rc_string(0x0409, text_id) + suffix, buttons=["ok"], default="ok", style=0x40
    )


def image(machine=0x8664, lfanew=0x40, cut=None):
    """A DOS header pointing at NT headers with the given machine, optionally cut short."""
    data = bytearray(512)
    data[0:2] = b"MZ"
    data[0x3C:0x40] = struct.pack("<I", lfanew)
    data[0x40:0x44] = b"PE\0\0"
    data[0x44:0x46] = struct.pack("<H", machine)
    return bytes(data[:cut] if cut is not None else data)


def refused(name, package, boxes, **more):
    return Scenario(name, package, exit=1633, boxes=boxes, dpinst_calls=[], **more)


def with_dpinst_bytes(content):
    return driver_package(SECTIONS, files={"Vi64\\DPInst.exe": content})


FOLDER_MISSING = refused(
    "DPInst's folder missing: missing-files box [3], 1633",
    driver_package(SECTIONS, inf=None),
    [info(3, " [3]")],
    args="/s",
)
WRONG_WIDTH = refused(
    "32-bit DPInst on 64-bit Windows: unsupported-system box, 1633",
    driver_package(SECTIONS, {"Vi64": "x86"}),
    [info(2)],
)

SCENARIOS = [
    refused(
        "INF missing beside DPInst: missing-files box [2], 1633",
        driver_package(SECTIONS, {"Vi64": "x64"}, inf=None),
        [info(3, " [2]")],
    ),
    # "*.inf" also matches the short name of "TouchPad.inf_old"; it is no INF.
    refused(
        "only TouchPad.inf_old beside DPInst: missing-files box [2], 1633",
        driver_package(SECTIONS, {"Vi64": "x64"}, inf=None, files={"Vi64\\TouchPad.inf_old": SAMPLE_INF}),
        [info(3, " [2]")],
    ),
    FOLDER_MISSING,
    unattended(FOLDER_MISSING, "DPInst's folder missing, /s: no box, 1633"),
    WRONG_WIDTH,
    unattended(WRONG_WIDTH, "32-bit DPInst on 64-bit Windows, /s: no box, 1633", args="/s"),
    refused(
        "64-bit DPInst on 32-bit Windows: unsupported-system box, 1633",
        driver_package({"XP32": {"Path": "\\XP32\\DPInst.exe", "Support": 8}}, {"XP32": "x64"}),
        [info(2)],
        windows="winxp",
    ),
    refused("zero-length DPInst: 1633 without a box", with_dpinst_bytes(b""), []),
    refused(
        "DPInst of random bytes: 1633 without a box",
        with_dpinst_bytes(bytes((i * 7919 + 13) % 251 for i in range(3000))),
        [],
    ),
    refused(
        "DPInst whose DOS header points past the file: 1633 without a box",
        with_dpinst_bytes(image(lfanew=0x7FFFFFF0)),
        [],
    ),
    # Wine reads zeros past the cut and would report machine 0, the wrong processor.
    refused("DPInst cut right after its PE signature: 1633 without a box", with_dpinst_bytes(image(cut=0x44)), []),
    refused("DPInst cut inside its file header: 1633 without a box", with_dpinst_bytes(image(cut=0x50)), []),
]
