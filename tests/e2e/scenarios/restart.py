"""The restart: only a silent run with FORCERESTART=true whose DPInst code maps
to 1641 asks Windows to restart, after enabling the shutdown privilege. Wine's
ExitWindowsEx ends the prefix's other programs, so such a scenario brings the
prefix's server up again for the scenarios after it. The privilege failure
cannot be provoked under Wine; the host tests cover it."""
from e2e import DPInst, Scenario, driver_package

# Support 0x09: public properties and the exit code.
PACKAGE = driver_package({"W864": {"Path": "\\Vi64\\DPInst.exe", "Support": 0x09}}, {"Vi64": "x64"})
PRIVILEGE_STEPS = (
    "advapi32.OpenProcessToken",
    "advapi32.LookupPrivilegeValueA",
    "advapi32.AdjustTokenPrivileges",
    "user32.ExitWindowsEx",
)


def privilege_before_restart(outcome):
    steps = [c for c in outcome.calls if c.function in PRIVILEGE_STEPS]
    # Earlier token reads (whose folders may others change?) only query the process's user.
    lookup = next((i for i, c in enumerate(steps) if c.function == "advapi32.LookupPrivilegeValueA"), 1)
    steps = steps[max(lookup - 1, 0) :]
    order = [c.function for c in steps]
    problems = [] if order == list(PRIVILEGE_STEPS) else [f"privilege steps {order}"]
    token = [c for c in steps if c.function == "advapi32.OpenProcessToken"]
    if token and token[0].args[1].value != 0x28:
        problems.append(f"own token opened with access 0x{token[0].args[1].value:X}, expected 0x28")
    lookup = outcome.traced("advapi32.LookupPrivilegeValueA")
    if lookup and lookup[0].args[1].text != b"SeShutdownPrivilege":
        problems.append(f"looked up {lookup[0].args[1].text!r}")
    return problems


def restarting_run(args):
    def flow(ctx):
        result = ctx.run(args)
        ctx.expect(result.exit_code == 1641, f"exit code {result.exit_code}, expected 1641")
        ctx.session.prefix.restart_server()  # the restart ended explorer and the dialog robot

    return flow


def run(name, args, code, exit_code, restarts=False, **more):
    return Scenario(
        f"restart: {name}",
        PACKAGE,
        args=args,
        dpinst=DPInst(exit_code=code),
        exit=exit_code,
        boxes=[],
        # EWX_REBOOT, planned, application: installation
        exit_windows=[(2, 0x80040002)] if restarts else [],
        **more,
    )


SCENARIOS = [
    run(
        "silent, FORCERESTART, DPInst 0x40000001: ExitWindowsEx(EWX_REBOOT, planned) after the privilege",
        "/s /vFORCERESTART=true",
        0x40000001,
        1641,
        restarts=True,
        flow=restarting_run("/s /vFORCERESTART=true"),
        relay=PRIVILEGE_STEPS[:3],
        check=privilege_before_restart,
    ),
    run("interactive, FORCERESTART, DPInst 0x40000001: none", "/vFORCERESTART=true", 0x40000001, 1641),
    run("silent without FORCERESTART, DPInst 0x40000001: none", "/s", 0x40000001, 1641),
    run("silent, FORCERESTART, DPInst 1: none", "/s /vFORCERESTART=true", 1, 0),
    run("silent, FORCERESTART, passed-through 0x40000003: none", "/s /vFORCERESTART=true", 0x40000003, 0x40000003),
    # The msi profile changes the number only: 3010 without a restart, 1641 with one.
    run(
        "silent without FORCERESTART, msi exit codes, DPInst 0x40000001: none, 3010",
        "/s /vEXITCODES=msi",
        0x40000001,
        3010,
    ),
]
