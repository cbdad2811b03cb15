"""The runtime log C:\\TouchPad\\log\\Setup.log: written when the package's
Support has bit 0x04, as UTF-16 with a byte-order mark, replaced on every run."""
import datetime
import re

from e2e import ABSENT, DPInst, Scenario, all_of, driver_package, folder_holds, not_writable_by_others

LOG = "C:\\TouchPad\\log\\Setup.log"
TIME = r"(\d+)-(\d+)-(\d+) (\d+):(\d+):(\d+)\r\n"


def log_says(command, exit_line, reboot=False):
    """Checks the log's lines; the versions may still be empty, the times must be today's."""
    pattern = re.compile(
        r"===============> Update Package application started <===============\r\n"
        + "Command:"
        + re.escape(command)
        + r"\r\n"
        + "Date:"
        + TIME
        + "=" * 60
        + r"\r\n"
        + r"  Installed version:[^\r\n]*\r\n"
        + r"  Package version:(?:10\.3\.201\.104)?\r\n"
        + (r"Update ready to be applied at reboot\r\n" if reboot else "")
        + re.escape(exit_line)
        + r"\r\n"
        + TIME
        + r"\Z"
    )

    def check(outcome):
        data = outcome.file(LOG)
        if data is None:
            return [f"{LOG} is missing"]
        if not data.startswith(b"\xff\xfe"):
            return [f"{LOG} does not start with the UTF-16 byte-order mark: {data[:8]!r}"]
        text = data[2:].decode("utf-16-le", errors="replace")
        match = pattern.match(text)
        if not match:
            return [f"{LOG} reads {text!r}"]
        problems = []
        today = datetime.date.today()
        for start in (0, 6):  # the start and the end time, without leading zeros
            year, month, day = (int(match.group(start + i)) for i in (1, 2, 3))
            if abs((datetime.date(year, month, day) - today).days) > 1:
                problems.append(f"{LOG}: date {year}-{month}-{day} is not today ({today})")
        return problems

    return check


PACKAGE = driver_package({"W864": {"Path": "\\Vi64\\DPInst.exe", "Support": 0x0C}}, {"Vi64": "x64"})

# A folder that an attacker's link leads to, and what it holds before the run.
OTHER = "C:\\Other"
UNRELATED = {"Setup.log": b"an unrelated file", "keep.txt": b"kept"}
SEEDED = {OTHER + "\\" + name: data for name, data in UNRELATED.items()}
COPY = "C:\\Logs\\copy.log"


def link_attack(what, links=None, hard_links=None, written=True):
    """A silent run with a LOGFILE copy after a link was put in place of one
    of the log's folders or of the log itself: the folder the link leads to
    keeps exactly its files, the exit code is that of a run without the link,
    and the copy is this run's log or nothing."""
    logged = log_says("C:\\pkg\\Setup.exe /s /vLOGFILE=" + COPY, "Exit code = 0")
    untouched = folder_holds(OTHER, UNRELATED)

    def check(outcome):
        problems = untouched(outcome) + (logged(outcome) if written else [])
        if written and outcome.file(COPY) != outcome.file(LOG):
            problems.append(f"{COPY} is not this run's log")
        return problems

    return Scenario(
        f"runtime log with {what}: nothing written or deleted where it leads",
        PACKAGE_WITH_COPY,
        args="/s /vLOGFILE=" + COPY,
        dpinst=DPInst(exit_code=1),
        exit=0,
        boxes=[],
        seed_files=SEEDED,
        links=links or {},
        hard_links=hard_links or {},
        cleanup=["C:\\Logs", OTHER],
        files={} if written else {COPY: ABSENT},
        check=check,
    )


PACKAGE_WITH_COPY = driver_package({"W864": {"Path": "\\Vi64\\DPInst.exe", "Support": 0x0D}}, {"Vi64": "x64"})

SCENARIOS = [
    Scenario(
        "runtime log of a silent run that needs a restart",
        PACKAGE,
        args="/s",
        dpinst=DPInst(exit_code=0x40000001),
        exit=1641,
        boxes=[],
        check=log_says("C:\\pkg\\Setup.exe /s", "Exit code = 1641", reboot=True),
    ),
    # Without bit 0x08 the process exits 0, but the log keeps the real result.
    Scenario(
        "runtime log of an interactive run shows the result, not the exit code",
        driver_package({"W864": {"Path": "\\Vi64\\DPInst.exe", "Support": 0x04}}, {"Vi64": "x64"}),
        dpinst=DPInst(exit_code=3),
        exit=0,
        boxes=[],
        check=log_says("C:\\pkg\\Setup.exe ", "Exit code = 3"),
    ),
    Scenario(
        "no runtime log without Support bit 0x04",
        driver_package({"W864": {"Path": "\\Vi64\\DPInst.exe", "Support": 0x08}}, {"Vi64": "x64"}),
        args="/s",
        dpinst=DPInst(exit_code=1),
        exit=0,
        files={"C:\\TouchPad": ABSENT},
    ),
    # Non-ASCII characters of the ANSI code page reach the log as the right
    # UTF-16 characters, and DPInst gets the path in its own code page.
    Scenario(
        "runtime log of a package in a Cyrillic folder on a Russian system",
        driver_package(
            {"W864": {"Path": "\\Vi64\\DPInst.exe", "Support": 0x0C}}, {"Vi64": "x64"}, folder="C:\\Пакет драйвера"
        ),
        lang="ru_RU.UTF-8",
        args="/s",
        dpinst=DPInst(exit_code=1),
        exit=0,
        boxes=[],
        dpinst_calls=['"C:\\Пакет драйвера\\Vi64\\DPInst.exe" /f /sw /se'],
        check=log_says("C:\\Пакет драйвера\\Setup.exe /s", "Exit code = 0"),
    ),
    # A log that cannot be written safely is not written, and LOGFILE gets no stale copy.
    # Folders of the program's own that others may change are made protected, then used.
    Scenario(
        "runtime log with C:\\TouchPad\\log writable by others: protected after the run, the log written",
        PACKAGE,
        args="/s",
        dpinst=DPInst(exit_code=1),
        exit=0,
        boxes=[],
        writable_by_others=["C:\\TouchPad\\log"],
        trace=["Folder C:\\TouchPad\\log could be changed by other users: made protected"],
        check=all_of(
            log_says("C:\\pkg\\Setup.exe /s", "Exit code = 0"),
            not_writable_by_others("C:\\TouchPad", "C:\\TouchPad\\log"),
        ),
    ),
    link_attack("a link in place of C:\\TouchPad", links={"C:\\TouchPad": OTHER}, written=False),
    link_attack("a link in place of C:\\TouchPad\\log", links={"C:\\TouchPad\\log": OTHER}, written=False),
    # A link at the file's name is replaced by the log, never written through.
    link_attack("Setup.log a link to a file elsewhere", links={LOG: OTHER + "\\Setup.log"}),
    link_attack("Setup.log a hard link of a file elsewhere", hard_links={LOG: OTHER + "\\Setup.log"}),
]
