"""Device matching: the present pointing device on the ACPI bus must have a
hardware ID that the package INF's models lines name (the INF lists
ACPI\\XYZ0017 and *XYZ0017). No pointing device at all skips the test, as every
other scenario shows."""
from e2e import Box, Device, DPInst, Scenario, driver_package, unattended

PACKAGE = driver_package({"W864": {"Path": "\\Vi64\\DPInst.exe", "Support": 8}}, {"Vi64": "x64"})
NO_MATCH = Box(caption="Error", text="Can't match a correct device!", buttons=["ok"], default="ok", style=0x30)
SILENT = '"C:\\pkg\\Vi64\\DPInst.exe" /f /sw /se'


def matching(label, devices, ok):
    if ok:
        return Scenario(
            f"device {label}: DPInst runs",
            PACKAGE,
            args="/s",
            devices=devices,
            dpinst=DPInst(exit_code=1),
            exit=0,
            boxes=[],
            dpinst_calls=[SILENT],
        )
    return Scenario(
        f"device {label}: 'Can't match' box, exit 1633",
        PACKAGE,
        args="/s",
        devices=devices,
        exit=1633,
        boxes=[NO_MATCH],
        dpinst_calls=[],
    )


SCENARIOS = [
    matching("ACPI\\XYZ0017 named by the INF", [Device("ACPI\\XYZ0017\\4&1&0", ["ACPI\\XYZ0017", "*XYZ0017"])], True),
    matching(
        "whose second ID only is named by the INF",
        [Device("ACPI\\XYZ0099\\4&1&0", ["ACPI\\XYZ0099", "*XYZ0017"])],
        True,
    ),
    matching("ACPI\\xyz0017 in lower case", [Device("ACPI\\XYZ0017\\4&1&0", ["ACPI\\xyz0017"])], False),
    matching("of another maker", [Device("ACPI\\ABC0001\\4&1&0", ["ACPI\\ABC0001", "*ABC0001"])], False),
    unattended(
        matching("of another maker", [Device("ACPI\\ABC0001\\4&1&0", ["ACPI\\ABC0001", "*ABC0001"])], False),
        "device of another maker, /s: no box, exit 1633",
        trace=["Device match: the INF names none"],
    ),
    # Only the first device on the ACPI bus counts; the list is in the sorted
    # order of the instance paths.
    matching(
        "list where the first ACPI device is not named",
        [Device("ACPI\\ABC0001\\4&1&0", ["ACPI\\ABC0001"]), Device("ACPI\\XYZ0017\\4&1&0", ["ACPI\\XYZ0017"])],
        False,
    ),
    matching(
        "list with a USB mouse and the touch pad",
        [
            Device("HID\\VID_046D&PID_C52B\\7&1&0", ["HID\\VID_046D&PID_C52B"]),
            Device("ACPI\\XYZ0017\\4&1&0", ["ACPI\\XYZ0017"]),
        ],
        True,
    ),
    matching(
        "list with only a USB mouse", [Device("HID\\VID_046D&PID_C52B\\7&1&0", ["HID\\VID_046D&PID_C52B"])], False
    ),
]
