"""Wine's relay trace, read back as calls with their arguments."""

import dataclasses
import re
from typing import List, Optional

_CALL = re.compile(r"^(?:([0-9a-f]+):)?([0-9a-f]+):Call ([\w.]+)\((.*)\) ret=[0-9a-f]+$")
_ESCAPES = {"n": b"\n", "r": b"\r", "t": b"\t", '"': b'"', "\\": b"\\"}


@dataclasses.dataclass
class Arg:
    value: int
    text: Optional[bytes] = None  # the string the argument points to, as traced
    cut: bool = False  # the trace showed only the start of the string


@dataclasses.dataclass
class Call:
    pid: Optional[int]
    function: str
    args: List[Arg]


def _parse_args(text: str) -> List[Arg]:
    args: List[Arg] = []
    i = 0
    while i < len(text):
        m = re.compile(r"[0-9a-fA-F]+").match(text, i)
        if not m:
            break
        arg = Arg(int(m.group(0), 16))
        i = m.end()
        if text.startswith(' "', i) or text.startswith(' L"', i):
            i = text.index('"', i) + 1
            raw = bytearray()
            while i < len(text) and text[i] != '"':
                if text[i] == "\\" and i + 1 < len(text):
                    if text[i + 1] == "x":
                        raw.append(int(text[i + 2 : i + 4], 16))
                        i += 4
                        continue
                    raw += _ESCAPES.get(text[i + 1], text[i + 1].encode())
                    i += 2
                    continue
                raw += text[i].encode("latin-1", errors="replace")
                i += 1
            i += 1
            if text.startswith("...", i):
                arg.cut = True
                i += 3
            arg.text = bytes(raw)
        args.append(arg)
        if text.startswith(",", i):
            i += 1
    return args


def parse_relay(stderr: bytes) -> List[Call]:
    calls = []
    for line in stderr.decode("latin-1").splitlines():
        m = _CALL.match(line)
        if m:
            calls.append(Call(int(m.group(1), 16) if m.group(1) else None, m.group(3), _parse_args(m.group(4))))
    return calls
