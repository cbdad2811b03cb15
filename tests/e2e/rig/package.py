"""Driver packages written into a prefix, and what the DPInst stand-in is told to do."""

import dataclasses
import os
import re
import shutil
from pathlib import Path
from typing import Dict, Optional, Union

from .base import BIN
from .prefix import Prefix
from .tools import CUT_IMAGE_BYTES, STAND_INS


@dataclasses.dataclass
class Package:
    """A driver package folder: Setup.exe, its settings file, DPInst stand-ins, files.

    dpinst maps a folder inside the package to what is placed there as
    DPInst.exe (a key of STAND_INS: "x64", "x86", "dll-x64", "dll-x86", "cut-x64"); files
    maps package-relative paths to their contents (str is written as UTF-8, with
    line feeds turned into CR LF; a Path is copied).
    """

    ini: Optional[Union[str, bytes]] = None
    dpinst: Dict[str, str] = dataclasses.field(default_factory=dict)
    files: Dict[str, Union[str, bytes, Path]] = dataclasses.field(default_factory=dict)
    folder: str = "C:\\pkg"
    exe_name: str = "Setup.exe"

    @property
    def exe_path(self) -> str:
        return self.folder + "\\" + self.exe_name


def text_bytes(content: Union[str, bytes]) -> bytes:
    if isinstance(content, bytes):
        return content
    return re.sub(r"(?<!\r)\n", "\r\n", content).encode("utf-8")


def ini_text(sections: Dict[str, Dict[str, object]]) -> str:
    """Settings file text from {section: {key: value}}."""
    out = []
    for section, values in sections.items():
        out.append(f"[{section}]")
        out += [f"{key}={value}" for key, value in values.items()]
    return "\n".join(out) + "\n"


def write_package(prefix: Prefix, package: Package, setup_exe: Path) -> None:
    prefix.note_path(package.folder)
    root = prefix.unix(package.folder)
    root.mkdir(parents=True, exist_ok=True)
    shutil.copyfile(setup_exe, root / package.exe_name)
    if package.ini is not None:
        name = os.path.splitext(package.exe_name)[0] + ".ini"
        (root / name).write_bytes(text_bytes(package.ini))
    for folder, width in package.dpinst.items():
        target = root.joinpath(*[p for p in folder.split("\\") if p]) / "DPInst.exe"
        target.parent.mkdir(parents=True, exist_ok=True)
        image = (BIN / STAND_INS[width]).read_bytes()
        target.write_bytes(image[:CUT_IMAGE_BYTES] if width.startswith("cut-") else image)
    for relative, content in package.files.items():
        target = root.joinpath(*[p for p in relative.split("\\") if p])
        target.parent.mkdir(parents=True, exist_ok=True)
        if isinstance(content, Path):
            shutil.copyfile(content, target)
        else:
            target.write_bytes(text_bytes(content))


@dataclasses.dataclass
class DPInst:
    """What the DPInst stand-in does when Setup.exe starts it."""

    exit_code: int = 0
    log_line: Optional[str] = None
    wait_for: Optional[str] = None  # a C:\\ path; the stand-in waits until it exists
    list_package: bool = False  # the stand-in lists the package it was started from

    def control(self) -> bytes:
        lines = [f"ExitCode=0x{self.exit_code & 0xFFFFFFFF:08X}"]
        if self.log_line is not None:
            lines.append("LogLine=" + self.log_line)
        if self.wait_for:
            lines.append("WaitFor=" + self.wait_for)
        if self.list_package:
            lines.append("ListPackage=yes")
        return ("\r\n".join(lines) + "\r\n").encode("utf-8")
