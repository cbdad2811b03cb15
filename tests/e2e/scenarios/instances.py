"""Only one copy runs at a time: a second copy, started while the first waits
for DPInst, shows nothing, starts nothing and exits 0 (it never reads the
package settings, so even Support 8 does not give it an error exit code)."""
from e2e import Box, DPInst, Scenario, driver_package

RELEASE = "C:\\e2e\\release"
SILENT = '"C:\\pkg\\Vi64\\DPInst.exe" /f /sw /se'


def second_copy(args, second_exit=0):
    def flow(ctx):
        first = ctx.start("/s")
        ctx.wait_until(lambda: len(ctx.dpinst_calls()) == 1, "the first copy to start DPInst", 20)
        # A second copy that got past the guard would show the help screen or
        # start a DPInst that waits like the first: either way the test sees it.
        second = ctx.run(args, limit=20)
        ctx.expect(
            second.exit_code == second_exit, f"second copy: exit code {second.exit_code}, expected {second_exit}"
        )
        ctx.touch(RELEASE)
        done = first.wait()
        ctx.expect(done.exit_code == 0, f"first copy: exit code {done.exit_code}, expected 0")

    return Scenario(
        f"second copy with {args!r} while the first runs: no box, no DPInst, exit {second_exit}",
        driver_package({"W864": {"Path": "\\Vi64\\DPInst.exe", "Support": 8}}, {"Vi64": "x64"}),
        dpinst=DPInst(exit_code=1, wait_for=RELEASE),
        flow=flow,
        boxes=[],
        dpinst_calls=[SILENT],
    )


# Deployment tools read 1618 as "another install is running, retry later".
SCENARIOS = [second_copy("/?"), second_copy("/s"), second_copy("/s /vEXITCODES=msi", 1618)]


# The guard holds while the first copy waits on a message box, too.
HOLD = "C:\\e2e\\answer_now"


def second_copy_during_box(ctx):
    first = ctx.start("/?")
    ctx.wait_until(lambda: len(ctx.boxes()) == 1, "the first copy's help screen", 20)
    second = ctx.run("/?", limit=20)
    ctx.expect(second.exit_code == 0, f"second copy: exit code {second.exit_code}, expected 0")
    ctx.touch(HOLD)
    done = first.wait()
    ctx.expect(done.exit_code == 0, f"first copy: exit code {done.exit_code}, expected 0")


SCENARIOS.append(
    Scenario(
        "second copy while the first shows its help screen: no second box, exit 0",
        driver_package({"W864": {"Path": "\\Vi64\\DPInst.exe", "Support": 8}}, {"Vi64": "x64"}),
        flow=second_copy_during_box,
        hold_boxes_until=HOLD,
        boxes=[Box(caption="Help")],
        dpinst_calls=[],
    )
)
