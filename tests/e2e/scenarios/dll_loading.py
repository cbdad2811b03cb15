"""Safe DLL loading: a DLL planted beside Setup.exe (often a downloads folder)
must never be loaded in place of the system's.

dbghelp.dll is loaded only to read DPInst's image header. WINEDLLOVERRIDES
"dbghelp=n,b" makes Wine prefer a DLL beside the program, as Windows' search
order would; the planted one leaves a mark file when loaded.

Not covered here: version.dll. Wine's own user32 loads version.dll before
WinMain runs, so a planted copy would be loaded (or not) whatever Setup.exe
does; the host unit tests cover how Setup.exe loads it.
"""
import rig
from e2e import ABSENT, DPInst, Scenario, driver_package


def image_header_read(outcome):
    # Without this the scenario would pass just because nothing loaded dbghelp.
    if not outcome.traced("dbghelp.ImageNtHeader"):
        return ["dbghelp's ImageNtHeader was never called, so DLL loading was not exercised"]
    return []


SCENARIOS = [
    Scenario("dbghelp.dll planted beside Setup.exe is not loaded",
             driver_package({"W864": {"Path": "\\Vi64\\DPInst.exe", "Support": 8}}, {"Vi64": "x64"},
                            files={"dbghelp.dll": rig.BIN / "dbghelp.dll"}),
             args="/s", dll_overrides="dbghelp=n,b", relay=["dbghelp.ImageNtHeader"],
             dpinst=DPInst(exit_code=1), exit=0, dpinst_calls=['"C:\\pkg\\Vi64\\DPInst.exe" /f /sw /se'],
             files={"C:\\e2e\\planted_dll_loaded.txt": ABSENT}, check=image_header_read),
]
