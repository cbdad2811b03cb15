"""A private X display."""

import os
import subprocess
import time
from typing import Optional

from .base import RigError, kill_group


class Display:
    """A private Xvfb server; message boxes need a display to be real windows."""

    def __init__(self) -> None:
        self.process: Optional[subprocess.Popen] = None
        self.name = ""

    def start(self) -> str:
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            pass_fds=(write_end,),
            stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL,
            start_new_session=True,
        )
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + 30
        with os.fdopen(read_end, "rb") as pipe:
            while not number.endswith(b"\n") and time.monotonic() < deadline:
                chunk = pipe.read(1)
                if not chunk:
                    break
                number += chunk
        if not number.strip().isdigit():
            self.stop()
            raise RigError("Xvfb did not start")
        self.name = ":" + number.strip().decode()
        return self.name

    def stop(self) -> None:
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                kill_group(self.process)
        self.process = None
