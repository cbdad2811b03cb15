"""The helper programs each prefix gets, and DLLs with a chosen version resource."""

import dataclasses
import hashlib
import re
import shutil
import subprocess
from pathlib import Path
from typing import Sequence

from .base import BIN, RigError, log

TOOLS_SRC = Path(__file__).resolve().parents[1] / "tools"


@dataclasses.dataclass(frozen=True)
class Tool:
    output: str
    source: str
    compiler: str
    flags: Sequence[str] = ()


TOOLS = (
    Tool("runexe.exe", "runexe.cpp", "i686-w64-mingw32-g++"),
    Tool("robot.exe", "robot.cpp", "i686-w64-mingw32-g++"),
    Tool("dpinst_x86.exe", "dpinst.cpp", "i686-w64-mingw32-g++", ("-mwindows",)),
    Tool("dpinst_x64.exe", "dpinst.cpp", "x86_64-w64-mingw32-g++", ("-mwindows",)),
    Tool("dbghelp.dll", "markdll.cpp", "i686-w64-mingw32-g++", ("-shared", "-Wl,--kill-at")),
    Tool("notexe_x86.dll", "notexe.cpp", "i686-w64-mingw32-g++", ("-shared",)),
    Tool("notexe_x64.dll", "notexe.cpp", "x86_64-w64-mingw32-g++", ("-shared",)),
    Tool("holdfile.exe", "holdfile.cpp", "i686-w64-mingw32-g++"),
)

# What Package.dpinst can place as DPInst.exe.
STAND_INS = {
    "x64": "dpinst_x64.exe",
    "x86": "dpinst_x86.exe",
    "dll-x64": "notexe_x64.dll",  # passes a header check, cannot be started
    "dll-x86": "notexe_x86.dll",
    "cut-x64": "dpinst_x64.exe",  # its first CUT_IMAGE_BYTES only: the header check passes, Windows cannot load it
}
CUT_IMAGE_BYTES = 1024

COMMON_FLAGS = ("-std=c++17", "-static", "-O2", "-s", "-Wall", "-Wextra", "-Werror")

# A helper may import these and nothing else: no mingw runtime DLL travels along.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "msvcrt.dll", "advapi32.dll"}


def build_tools() -> None:
    """Compiles the helper programs into build/e2e/bin when their source changed."""
    BIN.mkdir(parents=True, exist_ok=True)
    for tool in TOOLS:
        source = TOOLS_SRC / tool.source
        output = BIN / tool.output
        command = [tool.compiler, *COMMON_FLAGS, *tool.flags, "-o", str(output), str(source)]
        digest = hashlib.sha256(source.read_bytes() + " ".join(command).encode()).hexdigest()
        stamp = output.with_name(output.name + ".sha256")
        if output.exists() and stamp.exists() and stamp.read_text() == digest:
            continue
        log(f"  building {tool.output}")
        done = subprocess.run(command, capture_output=True, text=True)
        if done.returncode != 0:
            raise RigError(f"cannot build {tool.output}:\n{done.stderr}")
        objdump = tool.compiler.replace("g++", "objdump")
        imports = subprocess.run([objdump, "-p", str(output)], capture_output=True, text=True).stdout
        foreign = {m.lower() for m in re.findall(r"DLL Name: (\S+)", imports)} - SYSTEM_DLLS
        if foreign:
            raise RigError(f"{tool.output} needs DLLs a prefix lacks: {sorted(foreign)}")
        stamp.write_text(digest)


def version_dll(product_version: str, machine: str = "i686", table: str = "040904b0") -> Path:
    """A DLL whose version resource holds this ProductVersion string in one string
    table (US English, Unicode by default); built once per text and kept in build/e2e/bin."""
    language = int(table[:4], 16)
    script = (
        "1 VERSIONINFO\nFILEVERSION 1,0,0,0\nPRODUCTVERSION 1,0,0,0\nBEGIN\n"
        f'  BLOCK "StringFileInfo"\n  BEGIN\n    BLOCK "{table}"\n    BEGIN\n'
        f'      VALUE "ProductVersion", "{product_version.replace(chr(34), chr(34) * 2)}"\n'
        f'    END\n  END\n  BLOCK "VarFileInfo"\n  BEGIN\n    VALUE "Translation", 0x{language:04x}, 1200\n'
        "  END\nEND\n"
    )
    digest = hashlib.sha256((machine + script).encode()).hexdigest()[:16]
    output = BIN / f"version-{digest}.dll"
    if output.exists():
        return output
    BIN.mkdir(parents=True, exist_ok=True)
    work = BIN / f"version-{digest}"
    work.mkdir(exist_ok=True)
    (work / "version.rc").write_text(script, encoding="utf-8")
    (work / "empty.cpp").write_text("int version_resource_only;\n")
    steps = [
        [
            f"{machine}-w64-mingw32-windres",
            "-c",
            "65001",
            "-O",
            "coff",
            "-o",
            str(work / "version.o"),
            str(work / "version.rc"),
        ],
        [
            f"{machine}-w64-mingw32-g++",
            "-shared",
            "-static",
            "-s",
            "-o",
            str(work / "out.dll"),
            str(work / "empty.cpp"),
            str(work / "version.o"),
        ],
    ]
    for step in steps:
        done = subprocess.run(step, capture_output=True, text=True)
        if done.returncode != 0:
            raise RigError(f"cannot build a version DLL: {done.stderr}")
    (work / "out.dll").rename(output)
    shutil.rmtree(work)
    return output
