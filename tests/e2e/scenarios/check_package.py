"""CheckPackage.exe, dropped beside Setup.exe in C:\\pkg, judges the package as
Setup.exe would on every Windows row: its exit code (0 clean, 1 warnings, 2
errors) and the finding that names each mistake. Where a scenario compares,
Setup.exe then runs "/s" on the same package and machine, and must do what the
checker predicted for that machine's row: the same box and exit code, or
DPInst started with the command line the checker gave."""
import json
import os
from pathlib import Path

import rig
from e2e import SAMPLE_INF, Device, Package, Scenario, driver_package, ini_text

CHECKER = Path(os.environ.get("E2E_CHECK_PACKAGE", rig.REPO / "build" / "CheckPackage.exe"))
ROW_OF_WINDOWS = {
    "win10": "W864",
    "win81": "W864",
    "win8": "W864",
    "win7": "W764",
    "vista": "Vi64",
    "winxp64": "XP64",
    "winxp": "XP32",
}
# What can stop a plain "/s" run before DPInst (prerequisites need a machine
# without .NET, extraction a switch).
BEFORE_DPINST = ("section", "inf", "models", "device", "dpinst", "version-dll", "path")
TOUCH_PAD = ["ACPI\\XYZ0017", "*XYZ0017"]
CONSOLE_VERDICTS = {0: "clean", 1: "WARNINGS only", 2: "ERRORS found"}
W864 = {"W864": {"Path": "\\Vi64\\DPInst.exe", "Support": 8}}


def with_checker(package):
    package.files["CheckPackage.exe"] = CHECKER
    return package


def row_findings(report, row):
    if row is None:
        return report["findings"]
    return next(r for r in report["rows"] if r["section"] == row)["findings"]


def compare_with_setup(ctx, report, row, setup_exit, codes):
    refusal = next((f for f in row_findings(report, row) if "setup" in f and f["check"] in BEFORE_DPINST), None)
    result = ctx.run("/s")
    boxes = [(b["caption"], b["text"]) for b in ctx.boxes()]
    calls = ctx.dpinst_calls()
    if setup_exit is not None:
        ctx.expect(result.exit_code == setup_exit, f"Setup.exe exited with {result.exit_code}, expected {setup_exit}")
    elif refusal:
        setup = refusal["setup"]
        want = [(setup["box"]["caption"], setup["box"]["text"])] if setup["box"] else []
        ctx.expect(
            result.exit_code == setup["exit_code"] and boxes == want and not calls,
            f"Setup.exe gave exit code {result.exit_code}, boxes {boxes}, DPInst {calls}; the checker "
            f"predicted {setup['exit_code']} with {want} ({refusal['text']})",
        )
        msi = ctx.run("/s /vEXITCODES=msi")
        ctx.expect(
            msi.exit_code == setup["msi_exit_code"],
            f"Setup.exe /vEXITCODES=msi exited with {msi.exit_code}; the checker predicted "
            f"{setup['msi_exit_code']} ({setup['outcome']})",
        )
        # The prediction reads the table Setup.exe reads: a wrong entry agrees with itself.
        ctx.expect(
            (result.exit_code, msi.exit_code) == codes,
            f"Setup.exe exited with {result.exit_code}, with /vEXITCODES=msi {msi.exit_code}; expected {codes}",
        )
    else:
        text = next(f["text"] for f in row_findings(report, row) if f["check"] == "dpinst-command")
        silent = text.split("; silent (/s or /q): ", 1)[1].encode("cp1252")
        ctx.expect(
            calls == [silent] and not boxes,
            f"Setup.exe started DPInst as {calls} with boxes {boxes}; the checker predicted [{silent!r}]",
        )


def checked(
    name, package, exit, expect=(), windows="win10", device=None, setup_exit=None, codes=None, targeting=None, **more
):
    """expect: (row section or None for the package, verdict, check, a piece of the text);
    codes: Setup.exe's exit codes (classic, msi) where it refuses before DPInst;
    targeting: {row section: (hardware IDs, device keys)} of the JSON report."""

    def flow(ctx):
        args = [a for i in device or () for a in ("--device", i)]
        done = ctx.session.prefix.wine(
            "C:\\pkg\\CheckPackage.exe",
            *args,
            "--json",
            check=False,
            env=ctx.session.env,
            timeout=max(ctx.session.left(), 1),
        )
        try:
            report = json.loads(done.stdout.decode("ascii"))
        except ValueError:
            ctx.expect(False, f"CheckPackage.exe ({done.returncode}) wrote no JSON: {done.stdout[:300]!r}")
            return
        notes = [
            f"{r['section']}: {f['verdict']} {f['text']}"
            for r in [{"section": "package", "findings": report["findings"]}] + report["rows"]
            for f in r["findings"]
            if f["verdict"] != "OK"
        ]
        ctx.expect(
            done.returncode == exit == report["exit_code"],
            f"CheckPackage.exe exited with {done.returncode} (report: {report['exit_code']}), expected {exit}: "
            f"{notes}",
        )
        for row, (ids, keys) in (targeting or {}).items():
            got = next(r for r in report["rows"] if r["section"] == row)
            ctx.expect(
                got["hardware_ids"] == ids and got["device_keys"] == keys,
                f"[{row}] hardware_ids {got['hardware_ids']}, device_keys {got['device_keys']}",
            )
        for row, verdict, check, piece in expect:
            found = [f for f in row_findings(report, row) if f["check"] == check]
            ctx.expect(
                any(f["verdict"] == verdict and piece in f["text"] for f in found),
                f"no {verdict} {check} finding with {piece!r} on {row or 'the package'}: "
                f"{[(f['verdict'], f['text']) for f in found]}",
            )
        # The console report: the same verdict, one line per finding under a heading per row.
        console = ctx.session.prefix.wine(
            "C:\\pkg\\CheckPackage.exe", *args, check=False, env=ctx.session.env, timeout=max(ctx.session.left(), 1)
        )
        lines = [x for x in console.stdout.decode("cp1252").split("\r\n") if x]
        odd = [x for x in lines if not x.startswith(("OK ", "WARNING ", "ERROR ", "[", "Package "))]
        ctx.expect(
            console.returncode == exit and odd == [CONSOLE_VERDICTS[exit]],
            f"the console report ended with {console.returncode} and has lines {odd}",
        )
        ctx.expect(not ctx.boxes(), f"CheckPackage.exe showed boxes: {ctx.boxes()}")
        compare_with_setup(ctx, report, ROW_OF_WINDOWS[windows], setup_exit, codes)

    devices = [Device("ACPI\\XYZ0017\\4&1&0", device)] if device else []
    return Scenario(f"checker: {name}", with_checker(package), windows=windows, devices=devices, flow=flow, **more)


# What a requirement rule for the sample package tests: every ID of its models
# sections, and the device keys of those on the ACPI bus.
SAMPLE_IDS = ["ACPI\\VRN0001", "*VRN0001", "ACPI\\VRN0002", "*VRN0002", "ACPI\\VRN0100"]
SAMPLE_KEYS = [f"HKLM\\SYSTEM\\CurrentControlSet\\Enum\\ACPI\\VRN{n}" for n in ("0001", "0002", "0100")]


def sample_package():
    folder = rig.REPO / "examples" / "package"
    files = {str(p.relative_to(folder)).replace("/", "\\"): p for p in sorted(folder.rglob("*")) if p.is_file()}
    files["DotNetFx\\dotNetFx40_Client_x86_x64.exe"] = rig.BIN / "dpinst_x86.exe"
    files["DotNetFx\\wic_x64_enu.exe"] = rig.BIN / "dpinst_x64.exe"
    return Package(files=files, dpinst={"Vi64": "x64", "Vi32": "x86"})


def inf_with(old, new):
    assert old in SAMPLE_INF
    return SAMPLE_INF.replace(old, new)


def image(lfanew):
    data = bytearray(512)
    data[0:2] = b"MZ"
    data[0x3C:0x40] = lfanew.to_bytes(4, "little")
    return bytes(data)


def with_ini(package, ini):
    package.ini = ini
    return package


def encoded(text, encoding, bom=b""):
    return bom + text.replace("\n", "\r\n").encode(encoding)


GARBAGE = bytes((i * 7919 + 13) % 251 for i in range(5000))
BIG_MODELS = "".join(f"%TouchPad% = TouchPad_Inst, ACPI\\BIG{i:05d}, *BIG{i:05d}\n" for i in range(60000))

SCENARIOS = [
    checked(
        "the sample package is clean on every row",
        sample_package(),
        0,
        [(row, "OK", "dpinst", "is built for") for row in ("W864", "W832", "W764", "W732", "Vi64", "Vi32")]
        + [("W864", "OK", "version-record", '"7.0 10.3.201.104"'), ("XP64", "OK", "section", "not targeted")]
        + [("Vi32", "OK", "targeting", ", ".join(SAMPLE_KEYS))],
        device=["ACPI\\VRN0001", "*VRN0001"],
        targeting={
            **{row: (SAMPLE_IDS, SAMPLE_KEYS) for row in ("W864", "W832", "W764", "W732", "Vi64", "Vi32")},
            **{row: ([], []) for row in ("XP64", "XP32")},
        },
    ),
    checked(
        "the sample package on Vista: Setup.exe runs the command the checker gave",
        sample_package(),
        0,
        [("Vi64", "OK", "prerequisites", "DotNetFx\\dotNetFx40_Client_x86_x64.exe")],
        windows="vista",
        device=["ACPI\\VRN0001", "*VRN0001"],
    ),
    checked(
        "the sample package on XP x64: not targeted, Setup.exe refuses as predicted",
        sample_package(),
        0,
        [("XP64", "OK", "section", "not targeted")],
        windows="winxp64",
        device=["ACPI\\VRN0001"],
        codes=(0, 1603),
    ),
    checked(
        "a package for Windows 8 and later only is clean",
        driver_package(W864, {"Vi64": "x64"}),
        0,
        [("W864", "OK", "models", "ACPI\\XYZ0017, *XYZ0017"), ("W764", "OK", "section", "not targeted")],
    ),
    checked(
        "an INF that records no installed version: a warning, Setup.exe installs",
        driver_package(W864, {"Vi64": "x64"}, inf=inf_with("AddReg = TouchPad_Version", "")),
        1,
        [("W864", "WARNING", "version-record", "writes no ProductVer under HKLM\\Software\\Vorn\\Glidex")],
    ),
    checked(
        "section typo [W746] names [W764] on the Windows 7 row",
        driver_package({**W864, "W746": {"Path": "\\Vi64\\DPInst.exe", "Support": 8}}, {"Vi64": "x64"}),
        2,
        [
            ("W764", "ERROR", "section", "only [W746], which looks like a misspelling"),
            ("W764", "WARNING", "unknown-section", "did you mean [W764]?"),
        ],
        windows="win7",
        codes=(0, 1603),
    ),
    checked(
        "Path without its leading backslash: Setup.exe cannot start DPInst",
        driver_package({"W864": {"Path": "Vi64\\DPInst.exe", "Support": 8}}, {"Vi64": "x64"}),
        2,
        [("W864", "ERROR", "path", '"C:\\pkgVi64\\DPInst.exe" /f')],
        answers=["ok"],
        codes=(1603, 1603),
    ),
    checked(
        "unquoted Silent loses its blank and with it /q: an error",
        driver_package({"W864": {"Path": "\\Vi64\\DPInst.exe", "Silent": " /q", "Support": 8}}, {"Vi64": "x64"}),
        2,
        [("W864", "ERROR", "options", '"C:\\pkg\\Vi64\\DPInst.exe"/q')],
    ),
    checked(
        "unquoted Silent loses its blank but keeps /sw: a warning",
        driver_package({"W864": {"Path": "\\Vi64\\DPInst.exe", "Silent": " /f /sw", "Support": 8}}, {"Vi64": "x64"}),
        1,
        [("W864", "WARNING", "options", '"C:\\pkg\\Vi64\\DPInst.exe"/f /sw')],
    ),
    checked(
        "DPInst cut to its first 1,024 bytes: Windows cannot start it",
        driver_package(W864, {"Vi64": "cut-x64"}),
        2,
        [("W864", "ERROR", "dpinst", "is cut short")],
        answers=["ok"],
        codes=(1603, 1603),
    ),
    checked(
        "32-bit DPInst in the 64-bit folder",
        driver_package(W864, {"Vi64": "x86"}),
        2,
        [("W864", "ERROR", "dpinst", "is not built for 64-bit Windows")],
        codes=(1633, 1603),
    ),
    checked(
        "wrong widths in both folders",
        driver_package(
            {
                "W864": {"Path": "\\Vi64\\DPInst.exe", "Support": 8},
                "W832": {"Path": "\\Vi32\\DPInst.exe", "Support": 8},
            },
            {"Vi64": "x86", "Vi32": "x64"},
        ),
        2,
        [
            ("W864", "ERROR", "dpinst", "is not built for 64-bit"),
            ("W832", "ERROR", "dpinst", "is not built for 32-bit"),
        ],
        codes=(1633, 1603),
    ),
    checked(
        "Support without 0x08: every failure exits with 0",
        driver_package({"W864": {"Path": "\\Vi64\\DPInst.exe", "Support": 4}}, {"Vi64": "x64"}),
        1,
        [("W864", "WARNING", "support", "lacks 0x08")],
    ),
    checked(
        "Support bits above 0x3F",
        driver_package({"W864": {"Path": "\\Vi64\\DPInst.exe", "Support": 0x48}}, {"Vi64": "x64"}),
        1,
        [("W864", "WARNING", "support", "above 0x3F (0x40)")],
    ),
    checked(
        "Support in words",
        driver_package({"W864": {"Path": "\\Vi64\\DPInst.exe", "Support": "all"}}, {"Vi64": "x64"}),
        1,
        [("W864", "WARNING", "support", 'Support "all" is not a number: Setup.exe reads 0')],
    ),
    checked(
        "key typo Suport",
        driver_package({"W864": {"Path": "\\Vi64\\DPInst.exe", "Suport": 8}}, {"Vi64": "x64"}),
        1,
        [("W864", "WARNING", "unknown-key", "did you mean Support?")],
    ),
    checked(
        "[W864] without Path is ignored for [Vi64]",
        with_ini(
            driver_package({"Vi64": {"Path": "\\Vi64\\DPInst.exe", "Support": 8}}, {"Vi64": "x64"}),
            ini_text({"W864": {"Support": 8}, "Vi64": {"Path": "\\Vi64\\DPInst.exe", "Support": 8}}),
        ),
        1,
        [("W864", "WARNING", "section", "[W864] is ignored whole and [Vi64] read instead")],
    ),
    checked(
        "a section given twice",
        with_ini(driver_package(W864, {"Vi64": "x64"}), ini_text(W864) + "[w864]\nSupport=12\n"),
        1,
        [("W864", "WARNING", "duplicate-section", "appears twice")],
    ),
    checked(
        "models section without hardware IDs beside one with them",
        driver_package(
            W864,
            {"Vi64": "x64"},
            inf=inf_with(
                "[Maker.NTx86]\n%TouchPad% = TouchPad_Inst, ACPI\\XYZ0017, *XYZ0017",
                "[Maker.NTx86]\n%TouchPad% = TouchPad_Inst",
            ),
        ),
        1,
        [("W864", "WARNING", "models", "[Maker.NTx86] lists no hardware IDs")],
        device=TOUCH_PAD,
    ),
    checked(
        "no models section names a hardware ID: every touch pad refused",
        driver_package(W864, {"Vi64": "x64"}, inf=inf_with("%Maker% = Maker, NTamd64, NTx86", "%Maker% = Nobody")),
        2,
        [("W864", "ERROR", "models", "name no hardware ID")],
        device=TOUCH_PAD,
        codes=(1633, 1633),
    ),
    checked(
        "DriverVer through a [Strings] token that does not resolve",
        driver_package(W864, {"Vi64": "x64"}, inf=inf_with("%DriverVersion%", "%DriverVersoin%")),
        1,
        [("W864", "WARNING", "driver-version", '"%DriverVersoin%" is a [Strings] token')],
    ),
    checked(
        "settings file in UTF-8 with a byte-order mark",
        with_ini(driver_package(W864, {"Vi64": "x64"}), encoded(ini_text(W864), "utf-8", b"\xef\xbb\xbf")),
        1,
        [(None, "WARNING", "encoding", "UTF-8 with a byte-order mark")],
    ),
    checked(
        "settings file in UTF-16 without a byte-order mark",
        with_ini(driver_package(W864, {"Vi64": "x64"}), encoded(ini_text(W864), "utf-16-le")),
        2,
        [(None, "WARNING", "encoding", "zero bytes"), (None, "ERROR", "package", "not a driver package")],
        codes=(0, 1603),
    ),
    checked(
        "INF missing beside DPInst",
        driver_package(W864, {"Vi64": "x64"}, inf=None),
        2,
        [("W864", "ERROR", "inf", "no *.inf in Vi64")],
        codes=(1633, 1603),
    ),
    checked(
        "INF of binary bytes",
        driver_package(W864, {"Vi64": "x64"}, inf=None, files={"Vi64\\TouchPad.inf": GARBAGE}),
        2,
        [("W864", "ERROR", "inf", "is not an INF")],
        device=TOUCH_PAD,
        codes=(1633, 1603),
    ),
    checked(
        "INF of 60,000 models lines",
        driver_package(W864, {"Vi64": "x64"}, inf=SAMPLE_INF + "\n[Maker.NTamd64]\n" + BIG_MODELS),
        0,
        [("W864", "OK", "models", "ACPI\\XYZ0017")],
        device=TOUCH_PAD,
    ),
    checked(
        "DPInst whose header points past the file",
        driver_package(W864, files={"Vi64\\DPInst.exe": image(0x7FFFFFF0)}),
        2,
        [("W864", "ERROR", "dpinst", "not an executable image")],
        codes=(1633, 1603),
    ),
    checked(
        "DPInst missing",
        driver_package(W864),
        2,
        [("W864", "ERROR", "dpinst", "Vi64\\DPInst.exe is missing")],
        codes=(1633, 1603),
    ),
    checked(
        "version DLL states another version",
        driver_package(W864, {"Vi64": "x64"}, files={"Vi64\\VrnVer.dll": rig.version_dll("10, 3, 201, 103")}),
        2,
        [("W864", "ERROR", "version-dll", '"10.3.201.104"')],
        codes=(0, 1603),
    ),
    checked(
        "version DLL agrees with the INF",
        driver_package(W864, {"Vi64": "x64"}, files={"Vi64\\VrnVer.dll": rig.version_dll("10, 3, 201, 104")}),
        0,
        [("W864", "OK", "version-dll", "agrees with the INF")],
    ),
    checked(
        "prerequisites enabled on Windows 7 without a DotNetFx folder",
        driver_package({"W764": {"Path": "\\Vi64\\DPInst.exe", "Support": 0x18}}, {"Vi64": "x64"}),
        2,
        [("W764", "ERROR", "prerequisites", "DotNetFx\\dotNetFx40_Client_x86_x64.exe is missing")],
        windows="win7",
        device=TOUCH_PAD,
        setup_exit=3,
    ),
    checked(
        "extraction enabled without a Vi32 folder",
        driver_package({"W864": {"Path": "\\Vi64\\DPInst.exe", "Support": 0x0A}}, {"Vi64": "x64"}),
        2,
        [("W864", "ERROR", "extraction", "no Vi32 folder")],
    ),
    checked(
        "a touch pad the INF does not name",
        driver_package(W864, {"Vi64": "x64"}),
        2,
        [("W864", "ERROR", "device", "ACPI\\ABC0001, *ABC0001 is refused")],
        device=["ACPI\\ABC0001", "*ABC0001"],
        codes=(1633, 1633),
    ),
    checked(
        "a touch pad the INF names",
        driver_package(W864, {"Vi64": "x64"}),
        0,
        [("W864", "OK", "device", "is accepted")],
        device=TOUCH_PAD,
    ),
    checked(
        "an empty folder",
        Package(),
        2,
        [(None, "WARNING", "settings-file", "no settings file"), (None, "ERROR", "package", "not a driver package")],
        codes=(0, 1603),
    ),
    checked(
        "a settings file of binary bytes",
        with_ini(Package(), GARBAGE),
        2,
        [(None, "ERROR", "package", "not a driver package")],
        codes=(0, 1603),
    ),
]
