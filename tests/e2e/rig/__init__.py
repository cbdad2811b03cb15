"""The Wine rig: helper programs, prefixes, a private X display, and one routine
that runs a Setup.exe command in a prefix and reports what happened.

The scenario runner (e2e.py), run_once.py and examples/demo.py build on this
package. Everything it makes lives under build/e2e, so a fresh clone recreates it.

    base      paths, errors, progress lines, entry points
    tools     helper programs and version DLLs
    display   the private Xvfb server
    locales   host locales and ANSI code pages
    prefix    Wine prefixes: making, cleaning, registry seeding
    relay     relay-trace parser
    package   driver packages and the DPInst stand-in's instructions
    session   Session/Run (one robot, any number of Setup.exe runs), run_setup()
"""

from .base import BIN, LOGS, PREFIXES, RECORDS_WIN, REPO, TOOLS_WIN, WORK, RigError, Timeout, log, run_main
from .display import Display
from .locales import CODE_PAGES, code_page, ensure_locales, env_code_page
from .package import DPInst, Package, ini_text, text_bytes, write_package
from .prefix import MOUSE_CLASS, PREFIX_RECIPE, VERSIONS_32, VERSIONS_64, Prefix, windows_to_unix
from .relay import Arg, Call, parse_relay
from .session import Run, RunResult, Session, cmdline_bytes, run_setup
from .tools import STAND_INS, TOOLS, Tool, build_tools, version_dll

__all__ = [
    "BIN",
    "LOGS",
    "PREFIXES",
    "RECORDS_WIN",
    "REPO",
    "TOOLS_WIN",
    "WORK",
    "RigError",
    "Timeout",
    "log",
    "run_main",
    "Display",
    "CODE_PAGES",
    "code_page",
    "ensure_locales",
    "env_code_page",
    "DPInst",
    "Package",
    "ini_text",
    "text_bytes",
    "write_package",
    "MOUSE_CLASS",
    "PREFIX_RECIPE",
    "VERSIONS_32",
    "VERSIONS_64",
    "Prefix",
    "windows_to_unix",
    "Arg",
    "Call",
    "parse_relay",
    "Run",
    "RunResult",
    "Session",
    "cmdline_bytes",
    "run_setup",
    "STAND_INS",
    "TOOLS",
    "Tool",
    "build_tools",
    "version_dll",
]
