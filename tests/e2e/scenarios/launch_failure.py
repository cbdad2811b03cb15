"""DPInst cannot be started: a localized box with the Windows error code in
upper-case hexadecimal, and exit code 1603. The box's language follows the
user-interface language; the right-to-left style follows the system language.

To make the start fail, a DLL stands where DPInst.exe should be: its header
names the right processor, so a check of the image lets it through, and
CreateProcess refuses it with ERROR_BAD_EXE_FORMAT (193, shown as [C1])."""
import rig
from e2e import SAMPLE_INF, Box, Scenario, driver_package, rc_string, through_ansi, unattended

SECTIONS = {"W864": {"Path": "\\Vi64\\DPInst.exe", "Support": 8}}
NOT_STARTABLE = driver_package(SECTIONS, {"Vi64": "dll-x64"})
NO_DPINST = driver_package(SECTIONS)

LTR = 0x40  # MB_ICONINFORMATION
RTL = 0x180040  # ... | MB_RIGHT | MB_RTLREADING


def info_box(langid, text_id, suffix, style, ctype):
    # The text is loaded as ANSI: what the system's code page lacks shows as "?".
    return Box(
        caption=rc_string(langid, 1),
        text=through_ansi(rc_string(langid, text_id), ctype) + suffix,
        buttons=["ok"],
        default="ok",
        style=style,
    )


def launch_failure(label, langid, style=LTR, **locale):
    ctype = locale.get("lc_ctype") or locale.get("lang") or "en_US.UTF-8"
    return Scenario(
        f"DPInst cannot start, {label}",
        NOT_STARTABLE,
        exit=1603,
        dpinst_calls=[],
        boxes=[info_box(langid, 6, " [C1]", style, ctype)],
        **locale,
    )


def planted(path, folder):
    return Scenario(
        f"Path {path}, a DPInst planted in {folder}: nothing started, launch-failure box [2], exit 1603",
        driver_package({"W864": {"Path": path, "Support": 8}}, {"Vi64": "x64"}),
        args="/s",
        seed_files={folder + "\\DPInst.exe": rig.BIN / "dpinst_x64.exe", folder + "\\TouchPad.inf": SAMPLE_INF},
        cleanup=[folder],
        exit=1603,
        dpinst_calls=[],
        boxes=[info_box(0x0409, 6, " [2]", LTR, "en_US.UTF-8")],
    )


SCENARIOS = [
    launch_failure("English", 0x0409),
    launch_failure("silent run still shows the box", 0x0409, args="/s"),
    unattended(launch_failure("silent run", 0x0409, args="/s"), "DPInst cannot start, /s: no box, exit 1603"),
    launch_failure("German user interface", 0x0407, lang="de_DE.UTF-8"),
    launch_failure("Russian user interface", 0x0419, lang="ru_RU.UTF-8"),
    launch_failure("Japanese user interface", 0x0411, lang="ja_JP.UTF-8"),
    launch_failure("Chinese (PRC) user interface", 0x0804, lang="zh_CN.UTF-8"),
    launch_failure("Arabic system, English user interface: right-to-left", 0x0409, RTL, lc_ctype="ar_SA.UTF-8"),
    launch_failure("Hebrew system, English user interface: right-to-left", 0x0409, RTL, lc_ctype="he_IL.UTF-8"),
    launch_failure("Arabic system and user interface", 0x0401, RTL, lang="ar_SA.UTF-8"),
    # An Arabic user interface on a Western system reads left to right, and its
    # letters do not survive the Western code page.
    launch_failure(
        "Arabic user interface on an English system: left-to-right",
        0x0401,
        LTR,
        lang="en_US.UTF-8",
        lc_messages="ar_SA.UTF-8",
    ),
    # No DPInst.exe at all: the image check reports the missing file before any start.
    Scenario(
        "DPInst missing: the image check reports missing files [2], exit 1633",
        NO_DPINST,
        exit=1633,
        dpinst_calls=[],
        boxes=[info_box(0x0409, 3, " [2]", LTR, "en_US.UTF-8")],
    ),
    # What starts is the file the checks checked, inside the package: a Path
    # that leads elsewhere starts nothing, not even a DPInst a user put there.
    planted("Vi64\\DPInst.exe", "C:\\pkgVi64"),
    planted("\\..\\Vi64\\DPInst.exe", "C:\\Vi64"),
]
