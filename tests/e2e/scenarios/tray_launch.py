"""The tray application for the desktop user: with Support bit 0x20 every run
that reaches the closing steps starts "Glidex.exe" with the token of the
taskbar's owner (on a hidden desktop: of the user signed in at the console), on
that user's visible desktop, from the folder in "HomeDirectory" (64-bit view)
when the program is there, else from "C:\\Program Files\\Glidex2K". The DPInst stand-in
plays the tray program, so its record shows the command line and working folder.
Setup.exe does not wait for it, so each scenario waits for the record."""
import rig
from e2e import DPInst, Reg, Scenario, driver_package

HOME_KEY = "HKLM\\SOFTWARE\\Vorn\\Glidex"
HOME = "C:\\pkg\\Glidex"  # inside the package folder, so the rig removes it between scenarios
FALLBACK = "C:\\Program Files\\Glidex2K"
SILENT_DPINST = '"C:\\pkg\\Vi64\\DPInst.exe" /f /sw /se'
# The relay trace shows no kernel32 calls (OpenProcess, LoadLibraryA): the host tests cover those.
CHAIN = (
    "user32.FindWindowA",
    "user32.GetWindowThreadProcessId",
    "advapi32.OpenProcessToken",
    "advapi32.DuplicateTokenEx",
    "advapi32.CreateProcessWithTokenW",
)


def package(support=0x28, with_program=True):
    files = {"Glidex\\Glidex.exe": rig.BIN / "dpinst_x86.exe"} if with_program else {}
    return driver_package({"W864": {"Path": "\\Vi64\\DPInst.exe", "Support": support}}, {"Vi64": "x64"}, files=files)


def launch_after(args, exit_code):
    def flow(ctx):
        result = ctx.run(args)
        ctx.expect(result.exit_code == exit_code, f"exit code {result.exit_code}, expected {exit_code}")
        ctx.wait_until(lambda: any(b"Glidex.exe" in c for c in ctx.dpinst_calls()), "the tray program", limit=10)

    return flow


def started(program, folder, first_runs=()):
    """The tray program's record: its command line and working folder, after the other runs."""

    def check(outcome):
        want_call = f'"{program}"'.encode()
        calls, runs = outcome.dpinst_calls, outcome.dpinst_runs
        problems = []
        if calls[-1:] != [want_call] or calls[:-1] != [c.encode() for c in first_runs]:
            problems.append(f"started {calls}, expected {list(first_runs) + [want_call.decode()]}")
        if not runs or not runs[-1].endswith(" station=visible cwd=" + folder):
            problems.append(
                f"tray program's window station and working folder: {runs[-1:]}, expected visible, {folder}"
            )
        return problems

    return check


def token_chain(outcome):
    """The taskbar owner's token, duplicated as a primary token, then the start call."""
    order = [c.function for c in outcome.calls if c.function in CHAIN]
    # Earlier token reads (whose folders may others change?) only query the process's user.
    order = order[order.index(CHAIN[0]) :] if CHAIN[0] in order else order
    problems = [] if order == list(CHAIN) else [f"token steps {order}"]
    duplicate = outcome.traced("advapi32.DuplicateTokenEx")
    if duplicate and [a.value for a in duplicate[0].args[1:5]] != [0xF01FF, 0, 2, 1]:
        problems.append(f"DuplicateTokenEx arguments {[hex(a.value) for a in duplicate[0].args[1:5]]}")
    return problems


def launch(
    name,
    pkg=None,
    args="/s",
    exit_code=0,
    dpinst_code=1,
    program=HOME + "\\Glidex.exe",
    folder=HOME,
    first_runs=(SILENT_DPINST,),
    registry=(Reg(HOME_KEY, "HomeDirectory", HOME, view="64"),),
    **more,
):
    checks = [started(program, folder, first_runs)] + ([token_chain] if more.get("relay") else [])
    return Scenario(
        f"tray launch: {name}",
        pkg or package(),
        args=args,
        registry=registry,
        dpinst=DPInst(exit_code=dpinst_code),
        flow=launch_after(args, exit_code),
        check=lambda outcome: [p for c in checks for p in c(outcome)],
        **more,
    )


FALLBACK_PROGRAM = {FALLBACK + "\\Glidex.exe": rig.BIN / "dpinst_x86.exe"}

SCENARIOS = [
    launch("from HomeDirectory, with that folder as working folder", boxes=[], relay=CHAIN),
    launch(
        "HomeDirectory with a trailing backslash",
        program=HOME + "\\\\Glidex.exe",
        registry=[Reg(HOME_KEY, "HomeDirectory", HOME + "\\", view="64")],
    ),
    launch(
        "HomeDirectory without the program: the fallback",
        pkg=package(with_program=False),
        program=FALLBACK + "\\Glidex.exe",
        folder=FALLBACK,
        seed_files=FALLBACK_PROGRAM,
    ),
    launch(
        "no HomeDirectory: the fallback",
        registry=[],
        program=FALLBACK + "\\Glidex.exe",
        folder=FALLBACK,
        seed_files=FALLBACK_PROGRAM,
    ),
    launch(
        "HomeDirectory only in the 32-bit view: the fallback",
        program=FALLBACK + "\\Glidex.exe",
        folder=FALLBACK,
        registry=[Reg(HOME_KEY, "HomeDirectory", HOME)],
        seed_files=FALLBACK_PROGRAM,
    ),
    launch("after an error, whose exit code it keeps", exit_code=1603, dpinst_code=0x80010000),
    launch("after the usage screen", args="/?", first_runs=(), answers=["ok"]),
    launch(
        "on a hidden desktop, as the user signed in at the console",
        hidden=True,
        boxes=[],
        trace=["Tray application: started as the user signed in at the console, session 1 (not waited for)"],
    ),
]
