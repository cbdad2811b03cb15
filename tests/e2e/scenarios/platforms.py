"""Which settings section a Windows version and width picks, and the refusal of
Windows versions older than XP."""
from e2e import Box, DPInst, Scenario, driver_package, rc_string, through_ansi, unattended

# Every section names a DPInst in its own folder, so the command line shows
# which one was picked.
ALL_SECTIONS = {
    section: {"Path": f"\\{section}\\DPInst.exe", "Support": 8}
    for section in ("W864", "W832", "W764", "W732", "Vi64", "Vi32", "XP64", "XP32")
}
STAND_INS = {
    section: ("x64" if section.endswith("64") else "x86")
    for section in ("W864", "W832", "W764", "W732", "Vi64", "Vi32", "XP64", "XP32")
}


def picks(windows, section, label):
    return Scenario(
        f"{label}: the {section} section is used",
        driver_package(ALL_SECTIONS, STAND_INS),
        windows=windows,
        args="/s",
        dpinst=DPInst(exit_code=1),
        exit=0,
        boxes=[],
        dpinst_calls=[f'"C:\\pkg\\{section}\\DPInst.exe" /f /sw /se'],
    )


SCENARIOS = [
    picks("win10", "W864", "Windows 10 64-bit"),
    picks("win81", "W864", "Windows 8.1 64-bit"),
    picks("win8", "W864", "Windows 8 64-bit"),
    picks("win7", "W764", "Windows 7 64-bit"),
    picks("vista", "Vi64", "Windows Vista 64-bit"),
    # A 32-bit prefix has no WOW64 folder: the 32-bit sections apply.
    picks("winxp", "XP32", "Windows XP 32-bit"),
    # Refused before the settings are read, so even Support 8 gives exit code 0.
]


def unsupported(label, langid=0x0409, style=0x40, args="/s", exit=0, **locale):
    ctype = locale.get("lc_ctype") or locale.get("lang") or "en_US.UTF-8"
    return Scenario(
        f"Windows 2000{label}: unsupported-system box, nothing started, exit {exit}",
        driver_package(ALL_SECTIONS, STAND_INS),
        windows="win2k",
        args=args,
        exit=exit,
        dpinst_calls=[],
        boxes=[
            Box(
                caption=rc_string(langid, 1),
                text=through_ansi(rc_string(langid, 2), ctype),
                buttons=["ok"],
                default="ok",
                style=style,
            )
        ],
        **locale,
    )


SCENARIOS += [
    unsupported(""),
    unattended(unsupported(""), "Windows 2000, /s: no box, exit 0"),
    unsupported(" in German", 0x0407, lang="de_DE.UTF-8"),
    unsupported(", msi exit codes", args="/s /vEXITCODES=msi", exit=1633),
    # MB_RIGHT | MB_RTLREADING on an Arabic system.
    unsupported(" on an Arabic system", 0x0401, 0x180040, lang="ar_SA.UTF-8"),
]
