"""The logs a run leaves, byte for byte: the runtime log and its LOGFILE copy,
the "/f2" report, and DPInst's own log joined to them and kept whole across
runs. (runtime_log.py holds the log's lines for single runs.)"""
import datetime
import os
import re

import rig
from e2e import ABSENT, PRESENT, DPInst, Scenario, all_of, driver_package, folder_holds

LOG = "C:\\TouchPad\\log\\Setup.log"
DPINST_LOG = "C:\\windows\\DpInst.log"
BACKUP = "C:\\windows\\DpInst_org.log"
REPORT = "C:\\rep\\r.txt"
EXE = "C:\\pkg\\Setup.exe"
VERSION = "10.3.201.104"
# Runs that reach DPInst take the package version from the version check,
# which may leave it empty; the others read it from the INF.
VERSION_IF_READ = "(?:" + re.escape(VERSION) + ")?"

BOM = b"\xff\xfe"
BANNER = "\r\n================> Report Information for Debugging <================\r\n"
# A date without leading zeros, as the log writes it.
TIME = r"([1-9]\d{3})-([1-9]\d?)-([1-9]\d?) (0|[1-9]\d?):(0|[1-9]\d?):(0|[1-9]\d?)\r\n"

# What DPInst's log holds before a run. A 0x1A byte (end of text in ASCII
# copies) stands inside, and the file does not end with a line end.
EARLIER = b"[older DPInst run]\r\nInstalled \x1a one package\r\nlast line without an end"
SINCE = b"[run after the interrupted one]\r\n"
LINE = "[this run] DPInst \x1a done"  # what the stand-in appends, with CR LF
THIS_RUN = LINE.encode() + b"\r\n"


def package(support, stand_ins=None):
    return driver_package({"W864": {"Path": "\\Vi64\\DPInst.exe", "Support": support}}, stand_ins or {"Vi64": "x64"})


def log_problems(data, command, exit_line, package_version=VERSION_IF_READ, reboot=False, joined=None, what=LOG):
    """The runtime log's bytes: the byte-order mark, the text as UTF-16LE with
    every line exact (times by pattern, recent, the end not before the start),
    and, when joined is given, the debugging banner followed by exactly those
    bytes of DPInst's log."""
    if data is None:
        return [f"{what} is missing"]
    if not data.startswith(BOM):
        return [f"{what} does not start with FF FE: {data[:8]!r}"]
    body, problems = data[2:], []
    banner = BANNER.encode("utf-16-le")
    if joined is not None:
        at = body.find(banner)
        if at < 0 or at % 2:
            return [f"{what} has no debugging banner: {body[-200:]!r}"]
        body, tail = body[: at + len(banner)], body[at + len(banner) :]
        if tail != joined:
            problems.append(f"{what}: DPInst's log joined as {tail!r}, expected {joined!r}")
    if len(body) % 2:
        return problems + [f"{what}: the UTF-16 text has an odd number of bytes ({len(body)})"]
    try:
        text = body.decode("utf-16-le")
    except UnicodeDecodeError as error:
        return problems + [f"{what} is not UTF-16LE: {error}"]
    pattern = (
        "===============> Update Package application started <===============\r\n"
        + "Command:"
        + re.escape(EXE + " " + command)
        + r"\r\n"
        + "Date:"
        + TIME
        + "=" * 60
        + r"\r\n"
        + r"  Installed version:\r\n"
        + "  Package version:"
        + package_version
        + r"\r\n"
        + (r"Update ready to be applied at reboot\r\n" if reboot else "")
        + re.escape(exit_line + "\r\n")
        + TIME
        + (re.escape(BANNER) if joined is not None else "")
    )
    match = re.fullmatch(pattern, text)
    if not match:
        return problems + [f"{what} reads {text!r}"]
    start, end = (datetime.datetime(*(int(match.group(first + i)) for i in range(6))) for first in (1, 7))
    now = datetime.datetime.now()
    if not now - datetime.timedelta(minutes=5) <= start <= end <= now + datetime.timedelta(seconds=5):
        problems.append(f"{what}: start {start} and end {end} are not in order or not of this run (now {now})")
    return problems


def runtime_log(command, exit_line, **more):
    return lambda outcome: log_problems(outcome.file(LOG), command, exit_line, **more)


def report(code, result_code, version=VERSION_IF_READ, joined=b"", path=REPORT):
    """The report's single-byte text with nothing after it but `joined`."""
    pattern = (
        rb"\[ResponseResult\]\r\nResultCode=%d\r\n\[DPInst\]\r\nDpinstReturnCode=0x%08x\r\n"
        rb"SetupDriverVersion=" % (result_code, code) + version.encode() + rb"\r\n" + re.escape(joined)
    )

    def check(outcome):
        data = outcome.file(path)
        if data is None:
            return [f"{path} is missing"]
        return [] if re.fullmatch(pattern, data) else [f"{path} holds {data!r}, expected {pattern!r}"]

    return check


def same_as_log(path):
    def check(outcome):
        copy, log = outcome.file(path), outcome.file(LOG)
        if copy is None:
            return [f"{path} is missing"]
        return [] if copy == log else [f"{path} holds {copy!r}, but {LOG} holds {log!r}"]

    return check


def nothing_named(word):
    """Nothing anywhere on drive C: has this name."""

    def check(outcome):
        found = [
            os.path.join(folder, name)
            for folder, folders, files in os.walk(outcome.prefix.drive_c)
            for name in folders + files
            if name.lower() == word
        ]
        return [f"a command hidden in a path ran: {found}"] if found else []

    return check


# The typical deployment: two silent runs, each leaving only its own log.
def two_silent_runs(ctx):
    control = ctx.session.prefix.unix(rig.RECORDS_WIN + "\\dpinst_control.ini")
    for args, dpinst, exit_line, reboot in (
        ("/s", 0x40000001, "Exit code = 1641", True),
        ("/q /vFORCE=true", 3, "Exit code = 3", False),
    ):
        control.write_bytes(DPInst(exit_code=dpinst).control())
        result = ctx.run(args)
        ctx.expect(result.exit_code == (1641 if reboot else 3), f"{args}: exit code {result.exit_code}")
        path = ctx.session.prefix.unix(LOG)
        data = path.read_bytes() if path.is_file() else None
        for problem in log_problems(data, args, exit_line, reboot=reboot):
            ctx.problems.append(f"after {args}: {problem}")


# DPInst return codes, with the report's ResultCode and the run's exit code for each.
REPORT_CODES = [
    (0x40000001, 0, 1641),  # restart flag and one package installed: success
    (0x00000100, 1, 4),  # a package staged but not installed
    (0x800A0000, 1, 1603),  # failure flag with ten failed packages (lower-case hex)
]


def older_trace(day):
    return f"Setup_202001{day:02d}_120000_77_0000abcd.log"


def bounded_traces(ctx):
    """25 traces of earlier runs and a link named like an even older one: the
    run keeps its own and the 19 newest; the link and what it leads to stay."""
    prefix = ctx.session.prefix
    temp = next(p for p in sorted(prefix.drive_c.glob("users/*/Temp")) if p.parent.name != "Public")
    for day in range(1, 26):
        (temp / older_trace(day)).write_bytes(b"older run")
    target = prefix.unix("C:\\e2e\\target.log")
    target.write_bytes(b"kept")
    link = temp / "Setup_20191231_120000_77_0000abcd.log"
    link.symlink_to(target)
    result = ctx.run("/s")
    ctx.expect(result.exit_code == 0, f"exit code {result.exit_code}")
    left = sorted(p.name for p in prefix.step_traces() if not p.is_symlink())
    wanted = sorted([older_trace(day) for day in range(7, 26)] + [p.name for p in prefix.step_traces(result.pid)])
    ctx.expect(left == wanted and len(left) == 20, f"traces left: {left}")
    ctx.expect(link.is_symlink() and target.read_bytes() == b"kept", "the link or its target was touched")
    own = prefix.step_traces(result.pid)
    text = own[0].read_bytes().decode("utf-8", errors="replace") if len(own) == 1 else ""
    ctx.expect("Step traces: 6 older ones removed, the newest 20 kept\r\n" in text, f"the trace: {text!r}")


SCENARIOS = (
    [
        Scenario(
            "step traces: 25 older ones and a link beside the run's own, the 19 newest stay, the link untouched",
            package(0x08),
            dpinst=DPInst(exit_code=1),
            flow=bounded_traces,
        ),
        Scenario(
            "silent runs each replace the runtime log with their own exact UTF-16 text",
            package(0x0D),
            flow=two_silent_runs,
            boxes=[],
        ),
        Scenario(
            "LOGFILE copy lands in new folders with the runtime log's bytes",
            package(0x0D),
            args="/s /vLOGFILE=C:\\Logs\\sub\\x.log",
            cleanup=["C:\\Logs"],
            dpinst=DPInst(exit_code=1),
            exit=0,
            check=all_of(
                runtime_log("/s /vLOGFILE=C:\\Logs\\sub\\x.log", "Exit code = 0"), same_as_log("C:\\Logs\\sub\\x.log")
            ),
        ),
        # The LOGFILE path never goes through the command interpreter; the join
        # that DEBUG adds works on the default log.
        Scenario(
            "LOGFILE path with a blank and an ampersand: the copy lands there, nothing else runs",
            package(0x0D),
            args='/s /vDEBUG=true LOGFILE="C:\\My Logs\\r&md pwned&.log"',
            cleanup=["C:\\My Logs"],
            dpinst=DPInst(exit_code=1, log_line=LINE),
            exit=0,
            boxes=[],
            check=all_of(
                runtime_log('/s /vDEBUG=true LOGFILE="C:\\My Logs\\r&md pwned&.log"', "Exit code = 0", joined=THIS_RUN),
                same_as_log("C:\\My Logs\\r&md pwned&.log"),
                nothing_named("pwned"),
            ),
        ),
        # Here the report's own path goes into the join command: unquoted, the
        # blank would break the join and the ampersands would run "md pwned".
        Scenario(
            "debug report at a path with a blank and ampersands: DPInst's log joined once, nothing else runs",
            package(0x0D),
            args="/s /f2DEBUG C:\\Logs\\r&md pwned&.txt",
            cleanup=["C:\\Logs"],
            seed_files={DPINST_LOG: EARLIER},
            dpinst=DPInst(exit_code=1, log_line=LINE),
            exit=0,
            boxes=[],
            files={"C:\\TouchPad": ABSENT, DPINST_LOG: EARLIER + THIS_RUN, BACKUP: ABSENT},
            check=all_of(report(1, 0, joined=THIS_RUN, path="C:\\Logs\\r&md pwned&.txt"), nothing_named("pwned")),
        ),
    ]
    + [
        Scenario(
            f"report of a silent run for DPInst return code 0x{code:08X}",
            package(support),
            args="/s /f2 C:\\rep\\r.txt",
            cleanup=["C:\\rep"],
            dpinst=DPInst(exit_code=code),
            exit=exit_code,
            boxes=[],
            files={"C:\\TouchPad": ABSENT},
            check=report(code, result_code),
        )
        # With bit 0x04 the runtime log's writer writes the report again, in place of the log.
        for (code, result_code, exit_code), support in zip(REPORT_CODES, (0x09, 0x0D, 0x09))
    ]
    + [
        Scenario(
            "report of an interactive run comes from the runtime log's writer",
            package(0x05),
            args="/f2 C:\\rep\\r.txt",
            cleanup=["C:\\rep"],
            dpinst=DPInst(exit_code=0x100),
            exit=0,
            boxes=[],
            files={"C:\\TouchPad": ABSENT},
            check=report(0x100, 1),
        ),
        Scenario(
            "no report of an interactive run without the runtime log",
            package(0x09),
            args="/f2 C:\\rep\\r.txt",
            cleanup=["C:\\rep"],
            dpinst=DPInst(exit_code=0x100),
            exit=4,
            boxes=[],
            files={"C:\\rep": ABSENT, "C:\\TouchPad": ABSENT},
        ),
        # "/f2" is not acted on, so there is no path, yet it still turns off the log text.
        Scenario(
            "/f2 without public properties writes no report and no runtime log",
            package(0x0C),
            args="/s /f2 C:\\rep\\r.txt",
            cleanup=["C:\\rep"],
            dpinst=DPInst(exit_code=1),
            exit=0,
            boxes=[],
            files={"C:\\rep": ABSENT, "C:\\TouchPad": ABSENT},
        ),
        # Extraction runs skip the version check; the closing steps read the package
        # version between the two writers, so only the second report carries it.
        Scenario(
            "report of an extraction run written twice: the second carries the package version",
            package(0x05, {"Vi64": "x64", "Vi32": "x86"}),
            args="/f2 C:\\rep\\r.txt /vEXTRACTDRIVERS=C:\\out",
            cleanup=["C:\\rep", "C:\\out"],
            dpinst_calls=[],
            boxes=[],
            files={"C:\\TouchPad": ABSENT},
            check=report(0, 0, version=re.escape(VERSION)),
        ),
        Scenario(
            "report of an extraction run without the runtime log lacks the package version",
            package(0x09, {"Vi64": "x64", "Vi32": "x86"}),
            args="/f2 C:\\rep\\r.txt /vEXTRACTDRIVERS=C:\\out",
            cleanup=["C:\\rep", "C:\\out"],
            dpinst_calls=[],
            boxes=[],
            exit=0,
            check=report(0, 0, version=""),
        ),
        # DPInst's log in silent debug runs: set aside before DPInst starts, so the
        # runtime log gets only this run's entries; put back whole afterwards.
        Scenario(
            "silent debug run joins only this run's DPInst entries and keeps the earlier log",
            package(0x0D),
            args="/s /vDEBUG=true",
            seed_files={DPINST_LOG: EARLIER},
            dpinst=DPInst(exit_code=1, log_line=LINE),
            exit=0,
            boxes=[],
            files={DPINST_LOG: EARLIER + THIS_RUN, BACKUP: ABSENT},
            check=runtime_log("/s /vDEBUG=true", "Exit code = 0", joined=THIS_RUN),
        ),
        Scenario(
            "silent debug run without an earlier DPInst log; its LOGFILE copy is taken after the join",
            package(0x0D),
            args="/s /vDEBUG=true LOGFILE=C:\\Logs\\d.log",
            cleanup=["C:\\Logs"],
            dpinst=DPInst(exit_code=1, log_line=LINE),
            exit=0,
            boxes=[],
            files={DPINST_LOG: THIS_RUN, BACKUP: ABSENT},
            check=all_of(
                runtime_log("/s /vDEBUG=true LOGFILE=C:\\Logs\\d.log", "Exit code = 0", joined=THIS_RUN),
                same_as_log("C:\\Logs\\d.log"),
            ),
        ),
        Scenario(
            "interactive debug run joins DPInst's whole log byte for byte, 0x1A included",
            package(0x05),
            args="/vDEBUG=true",
            seed_files={DPINST_LOG: EARLIER},
            dpinst=DPInst(exit_code=1, log_line=LINE),
            exit=0,
            boxes=[],
            files={DPINST_LOG: EARLIER + THIS_RUN, BACKUP: ABSENT},
            check=runtime_log("/vDEBUG=true", "Exit code = 0", joined=EARLIER + THIS_RUN),
        ),
        # A run that ended between setting the log aside and putting it back left
        # the older history in the backup and DPInst's later entries in its log.
        Scenario(
            "silent debug run after an interrupted one keeps all of DPInst's history",
            package(0x0D),
            args="/s /vDEBUG=true",
            seed_files={BACKUP: EARLIER, DPINST_LOG: SINCE},
            dpinst=DPInst(exit_code=1, log_line=LINE),
            exit=0,
            boxes=[],
            files={DPINST_LOG: EARLIER + SINCE + THIS_RUN, BACKUP: ABSENT},
            check=runtime_log("/s /vDEBUG=true", "Exit code = 0", joined=THIS_RUN),
        ),
        # A "/f2" target that is a folder gets no report, and nothing is joined into it.
        Scenario(
            "debug report named after an existing folder: nothing written or joined there",
            package(0x0D),
            args="/s /f2DEBUG C:\\rep",
            seed_files={DPINST_LOG: EARLIER, "C:\\rep\\keep.txt": b"kept"},
            dpinst=DPInst(exit_code=1, log_line=LINE),
            exit=0,
            boxes=[],
            files={DPINST_LOG: EARLIER + THIS_RUN, BACKUP: ABSENT, "C:\\TouchPad": ABSENT},
            check=folder_holds("C:\\rep", {"keep.txt": b"kept"}),
        ),
        # A folder of the LOGFILE or "/f2" path that is a link is not used: the
        # folder it leads to keeps exactly its files, the exit code is unchanged.
        Scenario(
            "LOGFILE below a linked folder: nothing written where the link leads, the runtime log kept",
            package(0x0D),
            args="/s /vLOGFILE=C:\\Logs\\x.log",
            cleanup=["C:\\Logs", "C:\\Other"],
            seed_files={"C:\\Other\\keep.txt": b"kept"},
            links={"C:\\Logs": "C:\\Other"},
            dpinst=DPInst(exit_code=1),
            exit=0,
            boxes=[],
            files={LOG: PRESENT},
            trace=["Folder C:\\Logs not used"],
            check=folder_holds("C:\\Other", {"keep.txt": b"kept"}),
        ),
        Scenario(
            "report below a linked folder: nothing written where the link leads",
            package(0x0D),
            args="/s /f2 C:\\rep\\r.txt",
            cleanup=["C:\\rep", "C:\\Other"],
            seed_files={"C:\\Other\\keep.txt": b"kept"},
            links={"C:\\rep": "C:\\Other"},
            dpinst=DPInst(exit_code=1),
            exit=0,
            boxes=[],
            files={"C:\\TouchPad": ABSENT},
            trace=["Folder C:\\rep not used"],
            check=folder_holds("C:\\Other", {"keep.txt": b"kept"}),
        ),
        # A folder others may write in is the administrator's choice: it gets the copy.
        Scenario(
            "LOGFILE in a folder others may write in: the copy lands there",
            package(0x0D),
            args="/s /vLOGFILE=C:\\Logs\\x.log",
            cleanup=["C:\\Logs"],
            writable_by_others=["C:\\Logs"],
            dpinst=DPInst(exit_code=1),
            exit=0,
            boxes=[],
            check=same_as_log("C:\\Logs\\x.log"),
        ),
        # A link at the LOGFILE name is replaced by the copy, never written through.
        Scenario(
            "LOGFILE a link to a file elsewhere: the copy replaces the link, its target kept",
            package(0x0D),
            args="/s /vLOGFILE=C:\\Logs\\x.log",
            cleanup=["C:\\Logs", "C:\\Other"],
            seed_files={"C:\\Other\\x.log": b"kept"},
            links={"C:\\Logs\\x.log": "C:\\Other\\x.log"},
            dpinst=DPInst(exit_code=1),
            exit=0,
            boxes=[],
            check=all_of(same_as_log("C:\\Logs\\x.log"), folder_holds("C:\\Other", {"x.log": b"kept"})),
        ),
    ]
)
