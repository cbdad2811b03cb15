"""The custom request file: a switch the program does not know names a section
of the settings file, whose "CustomRequest" text is written, without a line
end, to C:\\VornCustomSetting\\VornCoustomSet.ini on the installation path;
"CustomRequestCnt" x 260 sizes the text. Every installation first deletes the
file; runs that end earlier leave it as it was."""
from e2e import ABSENT, DPInst, Reg, SAMPLE_INF, Scenario, driver_package, folder_holds, not_writable_by_others

REQUEST_FILE = "C:\\VornCustomSetting\\VornCoustomSet.ini"
LONG_TEXT = "".join(chr(ord("a") + i % 26) for i in range(300))
EARLIER = b"left by an earlier run"
MOVED_ASIDE = (
    "Request folder C:\\VornCustomSetting: other users may change it, so it was moved aside to C:\\VornCustomSetting."
)


def taken_over(outcome):
    """The new folder is protected, and the old one, emptied, is gone."""
    problems = not_writable_by_others("C:\\VornCustomSetting")(outcome)
    left = sorted(p.name for p in outcome.prefix.unix("C:\\").iterdir() if p.name.startswith("VornCustomSetting."))
    return problems + ([f"left behind: {left}"] if left else [])


def package(count, text="Mode=2; Tap=off", support=8):
    sections = {"W864": {"Path": "\\Vi64\\DPInst.exe", "Support": support}, "OEM1": {"CustomRequest": text}}
    if count is not None:
        sections["OEM1"]["CustomRequestCnt"] = count
    # Vi32 too, for the extraction.
    return driver_package(sections, {"Vi64": "x64"}, files={"Vi32\\TouchPad.inf": SAMPLE_INF})


def request(name, pkg, content, args="/s /OEM1", **more):
    more.setdefault("boxes", [])
    return Scenario(
        f"custom request: {name}",
        pkg,
        args=args,
        dpinst=DPInst(exit_code=1),
        exit=0,
        files={} if content is None else {REQUEST_FILE: content},
        **more,
    )


# Where an attacker's link leads, and what it holds before the run.
OTHER = "C:\\Other"
UNRELATED = {"VornCoustomSet.ini": b"an unrelated file", "keep.txt": b"kept"}
SEEDED = {OTHER + "\\" + name: data for name, data in UNRELATED.items()}

SCENARIOS = [
    request("written exactly, without a line end", package(1), b"Mode=2; Tap=off"),
    request("the section name in another case", package(1), b"Mode=2; Tap=off", args="/s /oem1"),
    request("count 1 cuts a 300-character text to 259", package(1, LONG_TEXT), LONG_TEXT[:259].encode()),
    request("count 2 keeps all 300 characters", package(2, LONG_TEXT), LONG_TEXT.encode()),
    request("count 0 writes nothing", package(0), ABSENT),
    request("no count writes nothing", package(None), ABSENT),
    request(
        "a plain installation deletes an earlier file",
        package(1),
        ABSENT,
        args="/s",
        seed_files={REQUEST_FILE: EARLIER},
    ),
    # The same version installed: No to the question ends the run before the file is touched.
    request(
        "a run ended at the version question keeps the file",
        package(1),
        EARLIER,
        args="/OEM1",
        answers=["no"],
        boxes=None,
        dpinst_calls=[],
        seed_files={REQUEST_FILE: EARLIER},
        registry=[Reg("HKLM\\Software\\Vorn\\Glidex", "ProductVer", "10.3.201.104", view="64")],
    ),
    request(
        "a run that only extracts keeps the file",
        package(1, support=0x0A),
        EARLIER,
        args="/OEM1 /extract_all:C:\\out",
        dpinst_calls=[],
        seed_files={REQUEST_FILE: EARLIER},
        cleanup=["C:\\out"],
        check=lambda outcome: []
        if outcome.prefix.unix("C:\\out\\production\\Windows7-x64").is_dir()
        else ["nothing was extracted"],
    ),
    # A request folder others may change is moved aside and made anew before
    # the delete and the write: no handle opened before reaches the new one,
    # and a file planted there goes with the old folder.
    request(
        "a folder others may write in, deleting: moved aside, made anew, the planted file gone",
        package(1),
        ABSENT,
        args="/s",
        seed_files={REQUEST_FILE: b"planted by a user"},
        writable_by_others=["C:\\VornCustomSetting"],
        trace=[MOVED_ASIDE],
        check=taken_over,
    ),
    request(
        "a folder others may write in, writing: moved aside, made anew, the request written",
        package(1),
        b"Mode=2; Tap=off",
        seed_files={REQUEST_FILE: b"planted by a user"},
        writable_by_others=["C:\\VornCustomSetting"],
        trace=[MOVED_ASIDE],
        check=taken_over,
    ),
    # The request folder is not used when it is a link: nothing deleted or written where it leads.
    request(
        "the folder a link: nothing deleted or written where it leads",
        package(1),
        None,
        seed_files=SEEDED,
        cleanup=[OTHER],
        links={"C:\\VornCustomSetting": OTHER},
        check=folder_holds(OTHER, UNRELATED),
    ),
    # A link at the file's name is replaced, never deleted through or written through.
    request(
        "the file a link: replaced by the request, its target kept",
        package(1),
        b"Mode=2; Tap=off",
        seed_files=SEEDED,
        cleanup=[OTHER],
        links={REQUEST_FILE: OTHER + "\\VornCoustomSet.ini"},
        check=folder_holds(OTHER, UNRELATED),
    ),
]
