"""The "/?" usage screen: English only, information icon, never right-to-left,
and two optional paragraphs chosen by the Support bits of the package."""
from e2e import Box, Scenario, driver_package, unattended

BASE = (
    "Setup.exe: Installs driver packages by calling the DPInst.exe.\n\n"
    "/?\nShow this help.\n\tUsage: Setup.exe /?\n"
    "/s\nExecute the update package silently without user intervention.\n\tUsage: Setup.exe /s\n"
)

# Bit 0 (0x01) brings this paragraph...
EXTRACT_ALL = (
    "/extract_all\n"
    "Extract all of the contents of the driver package to a specified folder path.\n"
    "\tUsage: Setup.exe /extract_all:<path>\n"
)

# ...and bit 1 (0x02) this one: the screen pairs them the other way round from
# the options themselves, and packages in the field rely on the text as it is.
PROPERTIES = (
    "/v\nPublic properties option.\n\n"
    "'EXTRACTDRIVERS'\n"
    "Extract all of the contents of the driver package to a specified folder path. "
    "It is possible to use the 'LOGFILE' message.\n"
    "\tUsage: Setup.exe /vEXTRACTDRIVERS=<path>\n"
    "'LOGFILE'\n"
    "Append installation log to a specified log file. "
    "Identical log shall still be written to the default log file.\n"
    "\tUsage: Setup.exe /vLOGFILE=<file>\n"
    "'DEBUG'\n"
    "Report all information necessary to enable service and support to root cause an error. "
    "It shall be written to the runtime log file and user specified log file if using 'LOGFILE' message.\n"
    "\tUsage: Setup.exe /vDEBUG=true\n"
    "'FORCE'\n"
    "Force a downgrade to an older version only if the driver package supports the downgrade.\n"
    "\tUsage: Setup.exe /vFORCE=true\n"
    "'FRESHINSTALL'\n"
    "Perform a fresh installation of the product.\n"
    "\tUsage: Setup.exe /vFRESHINSTALL=true\n"
    "'FORCERESTART'\n"
    "Reboot the system if necessary after the update. "
    "If the device requires reboot for the update, this property becomes mandatory.\n"
    "\tUsage: Setup.exe /vFORCERESTART=true\n"
)

assert len(BASE) == 191 and len(BASE + EXTRACT_ALL + PROPERTIES) == 1321


def package(support=None, extra=None):
    section = {"Path": "\\Vi64\\DPInst.exe"}
    if support is not None:
        section["Support"] = support
    section.update(extra or {})
    return driver_package({"W864": section}, {"Vi64": "x64"})


def usage(name, text, support=None, **more):
    return Scenario(
        name,
        package(support),
        args="/?",
        exit=0,
        dpinst_calls=[],
        boxes=[Box(caption="Help", text=text, buttons=["ok"], default="ok", style=0x40)],
        **more,
    )


SCENARIOS = [
    usage("usage screen, no Support value: title and the /? and /s paragraphs", BASE),
    usage("usage screen, Support=1: adds the /extract_all paragraph", BASE + EXTRACT_ALL, 1),
    usage("usage screen, Support=2: adds the /v paragraphs", BASE + PROPERTIES, 2),
    usage("usage screen, Support=3: every paragraph, 1321 characters", BASE + EXTRACT_ALL + PROPERTIES, 3),
    unattended(usage("usage screen", BASE + EXTRACT_ALL + PROPERTIES, 3), "usage screen: no box, exit 0"),
    # Exit-code support does not turn the help screen into a failure.
    usage("usage screen, Support=8: still exit code 0", BASE, 8),
    # The screen is English and left to right even on an Arabic system.
    usage("usage screen on an Arabic system: no right-to-left style", BASE, 0, lc_ctype="ar_SA.UTF-8"),
]
