"""Broken packages and hostile machines. Every case names the outcome it must
have; each ends on its own within the time limit, with that result, and loses
nothing: DPInst's history, the files Setup.exe found and the result of the run
stay whatever the logs, the request file or the package's extras do."""
import struct
import subprocess

import rig
from e2e import ABSENT, SAMPLE_INF, Box, Device, DPInst, Reg, Scenario, driver_package, rc_string

SECTIONS = {"W864": {"Path": "\\Vi64\\DPInst.exe", "Support": 0x0D}}
SILENT = '"C:\\pkg\\Vi64\\DPInst.exe" /f /sw /se'
PAD = Device("ACPI\\XYZ0017\\4&1&0", ["ACPI\\XYZ0017", "*XYZ0017"])
PAD_KEY = "HKLM\\System\\CurrentControlSet\\Enum\\ACPI\\XYZ0017\\4&1&0"
LOG = "C:\\TouchPad\\log\\Setup.log"
DPINST_LOG = "C:\\windows\\DpInst.log"
BACKUP = "C:\\windows\\DpInst_org.log"
EARLIER = b"[earlier DPInst run]\r\nInstalled \x1a one package\r\n"
REQUEST = "C:\\VornCustomSetting\\VornCoustomSet.ini"


def box(text_id, suffix=""):
    return Box(caption=rc_string(0x0409, 1), text=rc_string(0x0409, text_id) + suffix, buttons=["ok"])


def package(files=None, dpinst="x64", inf=SAMPLE_INF, sections=SECTIONS, **more):
    return driver_package(sections, {"Vi64": dpinst} if dpinst else {}, inf=inf, files=files, **more)


def installs(name, pkg, args="/s", **more):
    """Outcome: DPInst runs once with the silent switches and the run exits 0."""
    more.setdefault("boxes", [])
    return Scenario(
        name + ": DPInst runs, exit 0",
        pkg,
        args=args,
        dpinst=DPInst(exit_code=1),
        exit=0,
        dpinst_calls=[SILENT],
        **more,
    )


def refused(name, pkg, exit_code, boxes, args="/s", **more):
    """Outcome: DPInst never runs; the run exits with exit_code after exactly these boxes."""
    return Scenario(
        f"{name}: exit {exit_code}" + (" without a box" if not boxes else ""),
        pkg,
        args=args,
        exit=exit_code,
        boxes=boxes,
        dpinst_calls=[],
        **more,
    )


def frozen(paths, args, exit_code):
    """A flow: one run while these paths cannot be written, deleted or renamed,
    even by root (Wine as root ignores the read-only attribute; the
    immutable flag of the Linux side is what a read-only file is to Windows)."""

    def flow(ctx):
        targets = [str(ctx.session.prefix.unix(path)) for path in paths]
        subprocess.run(["chattr", "+i", *targets], check=True)
        try:
            result = ctx.run(args)
        finally:
            subprocess.run(["chattr", "-i", *targets], check=True)
        ctx.expect(result.exit_code == exit_code, f"exit code {result.exit_code}, expected {exit_code}")

    return flow


def locked(path, share_read, args, exit_code):
    """A flow: one run while another program holds the file open."""

    def flow(ctx):
        release = ctx.session.hold_file(path, share_read)
        try:
            result = ctx.run(args)
        finally:
            release()
        ctx.expect(result.exit_code == exit_code, f"exit code {result.exit_code}, expected {exit_code}")

    return flow


def history_kept(outcome, history):
    """DPInst's backup (left when the log could not be put back) followed by its log is the history, once."""
    kept = (outcome.file(BACKUP) or b"") + (outcome.file(DPINST_LOG) or b"")
    return [] if kept == history else [f"DPInst's backup and log hold {kept!r}, expected {history!r}"]


def utf16(text, mark=True):
    data = rig.text_bytes(text).decode("utf-8").encode("utf-16-le")
    return (b"\xff\xfe" if mark else b"") + data


def pe_image(sections=1, optional_size=0xF0, length=0x400):
    """An x64 image's headers with these counts, padded with zeros to length;
    nothing in it can run."""
    image = bytearray(length)
    image[0:2] = b"MZ"
    struct.pack_into("<I", image, 0x3C, 0x40)
    image[0x40:0x44] = b"PE\0\0"
    struct.pack_into("<HHIIIHH", image, 0x44, 0x8664, sections, 0, 0, 0, optional_size, 0x22)
    struct.pack_into("<H", image, 0x58, 0x20B)  # PE32+
    return bytes(image)


INI = rig.ini_text(SECTIONS)
VERSION_AT = "DriverVer   = 06/21/2026,%DriverVersion%"
MODELS_AT = "%TouchPad% = TouchPad_Inst, ACPI\\XYZ0017, *XYZ0017"
# 64 KB of other devices' IDs on the models line before the touch pad's own.
LONG_MODELS = "%TouchPad% = TouchPad_Inst, " + ", ".join(f"ACPI\\FIL{n:04d}" for n in range(5000)) + ", ACPI\\XYZ0017"
# 20 MB of install lines after the models sections.
HUGE_TAIL = "[Filler]\r\n" + "".join(f"HKR,,Value{n:07d},0x00010001,{n}\r\n" for n in range(640000))


SCENARIOS = [
    # ---- the settings file ----------------------------------------------------
    installs("settings file in UTF-16 with its mark", package(), seed_files={"C:\\pkg\\Setup.ini": utf16(INI)}),
    refused(
        "settings file of binary bytes: no section, the default DPInst path has no INF beside it",
        package(),
        0,
        [box(3, " [2]")],
        seed_files={"C:\\pkg\\Setup.ini": bytes(range(256)) * 64},
    ),
    installs(
        "settings file of 1 MB, its section at the end",
        package(),
        seed_files={"C:\\pkg\\Setup.ini": "; filler\r\n" * 100000 + INI},
    ),
    # ---- the INF ----------------------------------------------------------------
    installs("empty INF, no device present", package(inf="")),
    installs(
        "INF in UTF-16 without a mark, the touch pad present",
        package(inf=None, files={"Vi64\\TouchPad.inf": utf16(SAMPLE_INF, mark=False)}),
        devices=[PAD],
    ),
    installs("INF of 20 MB, the touch pad present", package(inf=SAMPLE_INF + HUGE_TAIL), devices=[PAD], time_limit=120),
    installs(
        "INF whose models line is 64 KB long, the touch pad named last",
        package(inf=SAMPLE_INF.replace(MODELS_AT, LONG_MODELS)),
        devices=[PAD],
    ),
    refused(
        "INF without [Version], the touch pad present: the INF cannot be opened",
        package(inf=SAMPLE_INF.replace("[Version]", "[NoVersion]")),
        1633,
        [],
        devices=[PAD],
    ),
    installs(
        "INF with a garbage DriverVer and the same version installed, silent",
        package(inf=SAMPLE_INF.replace(VERSION_AT, "DriverVer = garbage,zz.yy.\x01")),
        registry=[Reg("HKLM\\Software\\Vorn\\Glidex", "ProductVer", "10.3.201.104", view="64")],
    ),
    Scenario(
        "INF with a garbage DriverVer and the same version installed, interactive: exit 0, nothing asked",
        package(inf=SAMPLE_INF.replace(VERSION_AT, "DriverVer = garbage,zz.yy")),
        registry=[Reg("HKLM\\Software\\Vorn\\Glidex", "ProductVer", "10.3.201.104", view="64")],
        exit=0,
        boxes=[],
        dpinst_calls=[],
    ),
    # ---- DPInst.exe ---------------------------------------------------------------
    refused(
        "a folder named DPInst.exe: missing-files box [5]",
        package(dpinst=None, files={"Vi64\\DPInst.exe\\readme.txt": "not a program"}),
        1633,
        [box(3, " [5]")],
    ),
    refused(
        "DPInst with 65535 sections: the header check passes, the start fails: launch-failed box [C1]",
        package(dpinst=None, files={"Vi64\\DPInst.exe": pe_image(sections=0xFFFF)}),
        1603,
        [box(6, " [C1]")],
    ),
    # Still inside the file, so the check passes; Windows refuses to start it (193).
    refused(
        "DPInst whose optional header claims 65535 bytes: launch-failed box [C1]",
        package(dpinst=None, files={"Vi64\\DPInst.exe": pe_image(optional_size=0xFFFF, length=0x11000)}),
        1603,
        [box(6, " [C1]")],
    ),
    refused(
        "DPInst whose NT headers lie at a negative offset",
        package(dpinst=None, files={"Vi64\\DPInst.exe": b"MZ" + b"\0" * 58 + struct.pack("<i", -64)}),
        1633,
        [],
    ),
    # ---- the version DLL ----------------------------------------------------------
    installs("VrnVer.dll of garbage bytes", package(files={"Vi64\\VrnVer.dll": bytes(range(256)) * 8})),
    installs("empty VrnVer.dll", package(files={"Vi64\\VrnVer.dll": b""})),
    # ---- prerequisites and the driver folders ---------------------------------------
    # The installer's name is a folder: it cannot be started, and the run must
    # not wait on whatever the shell opens for a folder.
    refused(
        "Windows 7, .NET missing, its installer a folder",
        driver_package(
            {"W764": {"Path": "\\Vi64\\DPInst.exe", "Support": 0x1D}},
            {"Vi64": "x64"},
            files={"DotNetFx\\dotNetFx40_Client_x86_x64.exe\\readme.txt": "a folder"},
        ),
        3,
        [],
        windows="win7",
        devices=[PAD],
    ),
    # The search below a file fails with what Wine reports: 123 (Windows: 267 or 3).
    refused(
        "Vi64 is a file: missing-files box with the search's error",
        package(dpinst=None, inf=None, files={"Vi64": "not a folder"}),
        1633,
        [box(3, " [7B]")],
    ),
    Scenario(
        "extraction with Vi64 a file: exit 0, the 32-bit folders copied, no 64-bit ones",
        driver_package(
            {"W864": {"Path": "\\Vi32\\DPInst.exe", "Support": 0x0F}}, {"Vi32": "x64"}, files={"Vi64": "not a folder"}
        ),
        args="/vEXTRACTDRIVERS=C:\\out",
        cleanup=["C:\\out"],
        exit=0,
        boxes=[],
        dpinst_calls=[],
        files={
            "C:\\out\\production\\Windows7-x86\\TouchPad.inf": SAMPLE_INF,
            "C:\\out\\production\\Windows7-x64": ABSENT,
        },
    ),
    # ---- the logs ---------------------------------------------------------------------
    installs(
        "C:\\TouchPad is a file: no runtime log, the file kept",
        package(),
        seed_files={"C:\\TouchPad": "someone else's file"},
        files={"C:\\TouchPad": "someone else's file"},
    ),
    Scenario(
        "Setup.log read-only: DPInst runs, exit 0, the old log kept",
        package(),
        cleanup=["C:\\TouchPad"],
        seed_files={LOG: "old log"},
        flow=frozen([LOG], "/s", 0),
        boxes=[],
        dpinst=DPInst(exit_code=1),
        dpinst_calls=[SILENT],
        files={LOG: "old log"},
    ),
    installs(
        "Setup.log is a folder: no runtime log, the folder kept",
        package(),
        seed_files={LOG + "\\inside.txt": "kept"},
        files={LOG + "\\inside.txt": "kept"},
    ),
    installs(
        "LOGFILE names a folder: the copy fails, nothing else changes",
        package(),
        args="/s /vLOGFILE=C:\\LogDir",
        cleanup=["C:\\LogDir"],
        seed_files={"C:\\LogDir\\inside.txt": "kept"},
        files={"C:\\LogDir\\inside.txt": "kept"},
    ),
    # Wine as root reports the delete of a read-only file done while the file
    # stays, as Windows does for a file another program holds with delete
    # sharing: the backup is kept as the copy sure to last.
    Scenario(
        "DpInst.log read-only in a silent debug run: exit 0, its history kept, a backup may hold it too",
        package(),
        seed_files={DPINST_LOG: EARLIER},
        flow=frozen([DPINST_LOG], "/s /vDEBUG=true", 0),
        boxes=[],
        dpinst=DPInst(exit_code=1),
        dpinst_calls=[SILENT],
        check=lambda outcome: []
        if outcome.file(DPINST_LOG) == EARLIER and outcome.file(BACKUP) in (None, EARLIER)
        else [f"log {outcome.file(DPINST_LOG)!r}, backup {outcome.file(BACKUP)!r}"],
    ),
    Scenario(
        "DpInst.log locked by another program in a silent debug run: exit 0, its history kept",
        package(),
        seed_files={DPINST_LOG: EARLIER},
        flow=locked(DPINST_LOG, False, "/s /vDEBUG=true", 0),
        boxes=[],
        dpinst=DPInst(exit_code=1, log_line="[this run]"),  # its line cannot land: the log is held
        dpinst_calls=[SILENT],
        check=lambda outcome: history_kept(outcome, EARLIER),
    ),
    Scenario(
        "DpInst.log locked for all but reading in a silent debug run: exit 0, its history kept",
        package(),
        seed_files={DPINST_LOG: EARLIER},
        flow=locked(DPINST_LOG, True, "/s /vDEBUG=true", 0),
        boxes=[],
        dpinst=DPInst(exit_code=1, log_line="[this run]"),  # its line cannot land: the log is held
        dpinst_calls=[SILENT],
        check=lambda outcome: history_kept(outcome, EARLIER),
    ),
    Scenario(
        "DpInst.log is a folder in a silent debug run: exit 0, the folder kept",
        package(),
        seed_files={DPINST_LOG + "\\inside.txt": "kept"},
        args="/s /vDEBUG=true",
        exit=0,
        boxes=[],
        dpinst=DPInst(exit_code=1),
        dpinst_calls=[SILENT],
        files={DPINST_LOG + "\\inside.txt": "kept"},
    ),
    Scenario(
        "DPInst's backup is a folder in a silent debug run: exit 0, the log's history kept",
        package(),
        seed_files={DPINST_LOG: EARLIER, BACKUP + "\\inside.txt": "kept"},
        args="/s /vDEBUG=true",
        exit=0,
        boxes=[],
        dpinst=DPInst(exit_code=1),
        dpinst_calls=[SILENT],
        files={DPINST_LOG: EARLIER, BACKUP + "\\inside.txt": "kept"},
    ),
    installs(
        "the report file named by /f2 is a folder, debug run: the folder kept",
        package(),
        args="/s /f2DEBUG C:\\RepDir",
        cleanup=["C:\\RepDir"],
        seed_files={DPINST_LOG: EARLIER, "C:\\RepDir\\inside.txt": "kept"},
        files={"C:\\RepDir\\inside.txt": "kept", DPINST_LOG: EARLIER},
    ),
    # ---- the request folder -------------------------------------------------------------
    Scenario(
        "request folder read-only: DPInst runs, exit 0, the earlier request kept",
        package(),
        seed_files={REQUEST: "earlier request"},
        flow=frozen([REQUEST, "C:\\VornCustomSetting"], "/s /OEM1", 0),
        boxes=[],
        dpinst=DPInst(exit_code=1),
        dpinst_calls=[SILENT],
        files={REQUEST: "earlier request"},
    ),
    # ---- devices ------------------------------------------------------------------------
    refused(
        "a pointing device with an empty hardware-ID list: no-match box",
        package(),
        1633,
        [Box(caption="Error", text="Can't match a correct device!")],
        devices=[Device("ACPI\\XYZ0017\\4&1&0", [])],
    ),
    installs(
        "the touch pad's hardware IDs a single string (REG_SZ)",
        package(),
        registry=[
            Reg(PAD_KEY, "ClassGUID", rig.MOUSE_CLASS, kind="REG_SZ"),
            Reg(PAD_KEY, "HardwareID", "ACPI\\XYZ0017", kind="REG_SZ"),
        ],
    ),
]
