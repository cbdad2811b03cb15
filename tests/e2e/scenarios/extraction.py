"""Driver extraction: "/extract_all:<path>" (Support 0x02) and the public
property EXTRACTDRIVERS (Support 0x01) copy the package's Vi32 and Vi64 folders
into six folders under <path>\\production, install nothing, and end with 0; a
failed first copy ends with 3. Support 0x08 makes that the exit code."""
import os

import rig
from e2e import ABSENT, PRESENT, DPInst, Scenario, driver_package

COPIES = [
    ("Vi32", "Windows7-x86"),
    ("Vi32", "Windows8-x86"),
    ("Vi32", "Windows8.1-x86"),
    ("Vi64", "Windows7-x64"),
    ("Vi64", "Windows8-x64"),
    ("Vi64", "Windows8.1-x64"),
]
OUT = "C:\\Out"
LOG = "C:\\TouchPad\\log\\Setup.log"
USER_LOG = "C:\\x.log"
PLANTED = "C:\\planted.txt"

# Files in sub-folders and binary bytes, so that a copy without /S or in text
# mode shows.
DRIVER_FILES = {
    "Vi32\\x86\\GlidexTP.sys": bytes(range(256)) * 3,
    "Vi32\\GlidexTP.cat": b"catalog x86\x1a\x00tail",
    "Vi64\\x64\\GlidexTP.sys": bytes(reversed(range(256))) * 5,
    "Vi64\\x64\\Co Installer\\GxCoins.dll": b"MZ\x90\x00 x64 co-installer",
    "Vi64\\GlidexTP.cat": b"catalog x64",
}


def package(support, folders=("Vi32", "Vi64")):
    sections = {
        "W864": {"Path": "\\Vi64\\DPInst.exe", "Support": support},
        "W832": {"Path": "\\Vi32\\DPInst.exe", "Support": support},
    }
    stand_ins = {"Vi64": "x64", "Vi32": "x86"}
    if "Vi64" not in folders:
        # The 64-bit DPInst must still be somewhere for a 64-bit system.
        sections["W864"]["Path"] = "\\Bin64\\DPInst.exe"
        stand_ins["Bin64"] = stand_ins.pop("Vi64")
    if "Vi32" not in folders:
        del sections["W832"], stand_ins["Vi32"]
    files = {path: data for path, data in DRIVER_FILES.items() if path.split("\\")[0] in folders}
    return driver_package(sections, stand_ins, files=files)


def files_under(root):
    found = {}
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            with open(path, "rb") as f:
                found[os.path.relpath(path, root)] = f.read()
    return found


def extracted(target, sources=("Vi32", "Vi64")):
    """The target holds only production, which holds exactly the copies of these
    package folders, each the same files with the same bytes as its source."""

    def check(outcome):
        root = outcome.prefix.unix(target)
        if not root.is_dir():
            return [f"{target} was not created"]
        problems = []
        if sorted(os.listdir(root)) != ["production"]:
            problems.append(f"{target} holds {sorted(os.listdir(root))}, expected only production")
        production = root / "production"
        wanted = sorted(dest for source, dest in COPIES if source in sources)
        got = sorted(os.listdir(production)) if production.is_dir() else []
        if got != wanted:
            problems.append(f"{target}\\production holds {got}, expected {wanted}")
        for source, dest in COPIES:
            if dest not in got or source not in sources:
                continue
            want = files_under(outcome.prefix.unix("C:\\pkg\\" + source))
            have = files_under(production / dest)
            if have != want:
                missing = sorted(set(want) - set(have))
                extra = sorted(set(have) - set(want))
                differ = sorted(k for k in set(want) & set(have) if want[k] != have[k])
                problems.append(
                    f"{dest} is not a copy of {source}: missing {missing}, extra {extra}, " f"different {differ}"
                )
        return problems

    return check


def same_as_runtime_log(outcome):
    log, copy = outcome.file(LOG), outcome.file(USER_LOG)
    if log is None or copy is None:
        return []  # reported by files=
    return [] if log == copy else [f"{USER_LOG} is not a copy of {LOG}"]


def both(*checks):
    return lambda outcome: [p for check in checks for p in check(outcome)]


QUOTED = "C:\\Extracted drivers"
PWNED = "C:\\pwned.txt"


def refused(label, args):
    # A target a command interpreter would not take literally is refused
    # before anything is made, as it always was.
    return Scenario(
        f"extraction target {label}: exit 3, no command run",
        package(0x0B),
        args=args,
        dpinst=DPInst(exit_code=1),
        exit=3,
        boxes=[],
        dpinst_calls=[],
        files={PWNED: ABSENT, OUT: ABSENT},
        cleanup=[OUT, PWNED],
    )


SCENARIOS = [
    Scenario(
        "/extract_all: to a quoted folder with a blank: six folders, exit 0",
        package(0x0A),
        args=f'/extract_all:"{QUOTED}"',
        dpinst=DPInst(exit_code=1),
        exit=0,
        boxes=[],
        dpinst_calls=[],
        cleanup=[QUOTED],
        check=extracted(QUOTED),
    ),
    # Extraction counts as a silent run for the log; the runtime log (0x04) is
    # on, so a LOGFILE that was taken would get a copy of it.
    Scenario(
        "/vEXTRACTDRIVERS=C:\\Out LOGFILE=C:\\x.log: extracts; LOGFILE is part of the path, not taken",
        package(0x0D),
        args=f"/vEXTRACTDRIVERS={OUT} LOGFILE={USER_LOG}",
        dpinst=DPInst(exit_code=1),
        exit=0,
        boxes=[],
        dpinst_calls=[],
        files={LOG: PRESENT, USER_LOG: ABSENT},
        cleanup=[OUT, USER_LOG],
        check=extracted(OUT),
    ),
    Scenario(
        "/vEXTRACTDRIVERS=C:\\Out /vLOGFILE=C:\\x.log: extracts, and the log is copied to C:\\x.log",
        package(0x0D),
        args=f"/vEXTRACTDRIVERS={OUT} /vLOGFILE={USER_LOG}",
        dpinst=DPInst(exit_code=1),
        exit=0,
        boxes=[],
        dpinst_calls=[],
        files={LOG: PRESENT, USER_LOG: PRESENT},
        cleanup=[OUT, USER_LOG],
        check=both(extracted(OUT), same_as_runtime_log),
    ),
    # Only the first copy (Vi32) decides the result.
    Scenario(
        "extraction of a package with Vi32 but no Vi64: three folders, exit 0",
        package(0x0A, ("Vi32",)),
        args=f"/extract_all:{OUT}",
        dpinst=DPInst(exit_code=1),
        exit=0,
        boxes=[],
        dpinst_calls=[],
        cleanup=[OUT],
        check=extracted(OUT, ("Vi32",)),
    ),
    Scenario(
        "extraction of a package without Vi32: exit 3, nothing copied",
        package(0x0A, ("Vi64",)),
        args=f"/extract_all:{OUT}",
        dpinst=DPInst(exit_code=1),
        exit=3,
        boxes=[],
        dpinst_calls=[],
        files={OUT: ABSENT},
        cleanup=[OUT],
    ),
    refused(
        "after /extract_all: with a double quote and a second command", f'/extract_all:{OUT}\\" & echo x > {PWNED} & "'
    ),
    refused(
        "in EXTRACTDRIVERS with a double quote and a second command",
        f'/vEXTRACTDRIVERS={OUT}\\" & echo x > {PWNED} & "',
    ),
    # The copies are made in the process: files named xcopy in the current
    # folder or the Windows folder (on the search path) never run.
    Scenario(
        "extraction with xcopy.bat and xcopy.exe planted in the current and the Windows folder: never run",
        package(0x0A),
        args=f"/extract_all:{OUT}",
        dpinst=DPInst(exit_code=1),
        exit=0,
        boxes=[],
        dpinst_calls=[],
        seed_files={
            **{folder + "\\xcopy.bat": f"@echo planted> {PLANTED}\r\n" for folder in ("C:\\e2e\\cwd", "C:\\windows")},
            **{folder + "\\xcopy.exe": rig.BIN / "dpinst_x86.exe" for folder in ("C:\\e2e\\cwd", "C:\\windows")},
        },
        files={PLANTED: ABSENT},
        cleanup=[OUT, PLANTED],
        check=extracted(OUT),
    ),
]


# The copies run in the process: no command interpreter, no xcopy, no other program.
def nothing_started(outcome):
    starts = [c.args[1].text or b"" for c in outcome.traced("KERNEL32.CreateProcessA")]
    # The rig's own start of Setup.exe aside.
    return [f"started {text!r}" for text in starts if b"Setup.exe" not in text]


RELATIVE = "C:\\e2e\\cwd\\Relative out"
SCENARIOS += [
    Scenario(
        "extraction: copied in the process, nothing started",
        package(0x0A),
        args=f"/extract_all:{OUT}",
        dpinst=DPInst(exit_code=1),
        exit=0,
        boxes=[],
        dpinst_calls=[],
        relay=("kernel32.CreateProcessA",),
        cleanup=[OUT],
        check=lambda outcome: extracted(OUT)(outcome) + nothing_started(outcome),
    ),
    Scenario(
        "/extract_all: to a relative folder: copied under Setup.exe's current folder",
        package(0x0A),
        args='/extract_all:"Relative out"',
        dpinst=DPInst(exit_code=1),
        exit=0,
        boxes=[],
        dpinst_calls=[],
        check=extracted(RELATIVE),
    ),
]


# The command interpreter expands %NAME% (and %NAME:~i,n%, any slice of it)
# in the copy command before it looks at quotes. On Windows its own
# %CMDCMDLINE% holds a double quote, so a target can make one without typing
# it, get past the quote check and run a second command (Wine's interpreter
# has no such variable, and splits commands before expanding). Here a variable
# of the environment shows the expansion: the target must be refused (exit 3)
# or used as typed, never turned into another folder.
EXPANDED = "C:\\OutInjected"


def not_expanded(outcome):
    if outcome.exit_code == 3 and not outcome.prefix.unix(OUT + "%Q%").exists():
        return []
    if outcome.exit_code == 0:
        return extracted(OUT + "%Q%")(outcome)
    return [f"exit code {outcome.exit_code}, expected 3 (refused) or 0 (extracted to {OUT}%Q% as typed)"]


SCENARIOS.append(
    Scenario(
        "extraction target with %Q% in it: not expanded by the command interpreter",
        package(0x0B),
        args=f"/extract_all:{OUT}%Q%",
        env={"Q": "Injected"},
        dpinst=DPInst(exit_code=1),
        boxes=[],
        dpinst_calls=[],
        files={EXPANDED: ABSENT},
        cleanup=[EXPANDED, OUT + "%Q%"],
        check=not_expanded,
    )
)

# A link inside the package leads nowhere the run goes: the drivers come from a
# copy of the package without it, and the folder it names is not read.
SCENARIOS.append(
    Scenario(
        "a link inside Vi32 to another folder: neither followed nor copied",
        package(0x0B),
        args=f"/extract_all:{OUT}",
        seed_files={"C:\\Other\\secret.txt": "not the package's"},
        links={"C:\\pkg\\Vi32\\Linked": "C:\\Other"},
        cleanup=[OUT, "C:\\Other"],
        dpinst=DPInst(exit_code=1),
        exit=0,
        dpinst_calls=[],
        files={
            f"{OUT}\\production\\Windows7-x86\\Linked": ABSENT,
            f"{OUT}\\production\\Windows7-x86\\GlidexTP.cat": PRESENT,
        },
    )
)

# A user who may make folders at C:\\ made the target and a link at its
# production folder: nothing is written where the link leads, and the run ends
# as when the first copy fails.
LINKED = "C:\\Linked target"
for label, args in (("/extract_all:", f'/extract_all:"{LINKED}"'), ("EXTRACTDRIVERS", f"/vEXTRACTDRIVERS={LINKED}")):
    SCENARIOS.append(
        Scenario(
            f"{label} into a target whose production is a link: exit 3, the link's target untouched",
            package(0x0B),
            args=args,
            seed_files={"C:\\Elsewhere\\keep.txt": "kept"},
            links={LINKED + "\\production": "C:\\Elsewhere"},
            cleanup=[LINKED, "C:\\Elsewhere"],
            dpinst=DPInst(exit_code=1),
            exit=3,
            boxes=[],
            dpinst_calls=[],
            files={
                "C:\\Elsewhere\\keep.txt": PRESENT,
                "C:\\Elsewhere\\Windows7-x86": ABSENT,
                "C:\\Elsewhere\\Windows8.1-x64": ABSENT,
            },
        )
    )
