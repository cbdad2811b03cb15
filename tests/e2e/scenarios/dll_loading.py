"""Safe DLL loading: a DLL planted beside Setup.exe (often a downloads folder)
must never be loaded in place of the system's.

dbghelp.dll is loaded only to read DPInst's image header. WINEDLLOVERRIDES
"dbghelp=n,b" makes Wine prefer a DLL beside the program, as Windows' search
order would; the planted one leaves a mark file when loaded.

version.dll cannot be shown the same way: Wine's own user32 loads it before
WinMain runs, so a planted copy would be loaded (or not) whatever Setup.exe
does. What can be shown is how Setup.exe asks for it: by full path in the
system folder, never by bare name.
"""
import rig
from e2e import ABSENT, DPInst, Scenario, driver_package


def image_header_read(outcome):
    # Without this the scenario would pass just because nothing loaded dbghelp.
    if not outcome.traced("dbghelp.ImageNtHeader"):
        return ["dbghelp's ImageNtHeader was never called, so DLL loading was not exercised"]
    return []


def loaded_by_full_path(outcome):
    problems = []
    asked = {}
    for call in outcome.traced("KERNEL32.LoadLibraryA"):
        name = (call.args[0].text or b"").decode("latin-1") if call.args else ""
        for dll in ("version.dll", "dbghelp.dll"):
            if name.lower().endswith(dll):
                asked[dll] = name
                if name.lower() != "c:\\windows\\system32\\" + dll:
                    problems.append(f"LoadLibraryA({name!r}) does not name the system folder's {dll}")
    for dll in ("version.dll", "dbghelp.dll"):
        if dll not in asked:
            problems.append(f"Setup.exe never loaded {dll}, so its loading was not exercised")
    return problems


SCENARIOS = [
    Scenario(
        "version.dll and dbghelp.dll are loaded by full path from the system folder",
        driver_package(
            {"W864": {"Path": "\\Vi64\\DPInst.exe", "Support": 8}},
            {"Vi64": "x64"},
            files={"Vi64\\VrnVer.dll": rig.version_dll("10, 3, 201, 104")},
        ),
        args="/s",
        relay=["kernel32.LoadLibraryA"],
        dpinst=DPInst(exit_code=1),
        exit=0,
        check=loaded_by_full_path,
    ),
    Scenario(
        "dbghelp.dll planted beside Setup.exe is not loaded",
        driver_package(
            {"W864": {"Path": "\\Vi64\\DPInst.exe", "Support": 8}},
            {"Vi64": "x64"},
            files={"dbghelp.dll": rig.BIN / "dbghelp.dll"},
        ),
        args="/s",
        dll_overrides="dbghelp=n,b",
        relay=["dbghelp.ImageNtHeader"],
        dpinst=DPInst(exit_code=1),
        exit=0,
        dpinst_calls=['"C:\\pkg\\Vi64\\DPInst.exe" /f /sw /se'],
        files={"C:\\e2e\\planted_dll_loaded.txt": ABSENT},
        check=image_header_read,
    ),
]
