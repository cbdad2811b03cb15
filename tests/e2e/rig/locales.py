"""Host locales for Wine, and the ANSI code page a locale gives a process."""

import subprocess
from pathlib import Path
from typing import Dict, Sequence

from .base import RigError, log


def _normal_locale(name: str) -> str:
    name = name.strip()
    if "." not in name:
        return name
    base, charset = name.split(".", 1)
    return base + "." + charset.lower().replace("-", "")


def ensure_locales(names: Sequence[str]) -> None:
    """Generates the host locales Wine needs; without them it falls back to English."""
    wanted = {n for n in names if n and n not in ("C", "POSIX", "C.UTF-8")}
    have = {_normal_locale(x) for x in subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout.split()}
    missing = sorted(n for n in wanted if _normal_locale(n) not in have)
    if not missing:
        return
    log(f"  generating locales {' '.join(missing)}")
    gen = Path("/etc/locale.gen")
    lines = gen.read_text().splitlines() if gen.exists() else []
    for name in missing:
        entry = f"{name} {name.split('.', 1)[1] if '.' in name else 'ISO-8859-1'}"
        lines = [line for line in lines if line.strip().lstrip("# ").strip() != entry]
        lines.append(entry)
    try:
        gen.write_text("\n".join(lines) + "\n")
        subprocess.run(["locale-gen"], check=True, capture_output=True, timeout=600)
    except (OSError, subprocess.SubprocessError) as error:
        raise RigError(f"cannot generate locales {missing} (run as root?): {error}")


# The ANSI code page Wine gives a process for its LC_CTYPE language.
CODE_PAGES = {
    "ar": "cp1256",
    "he": "cp1255",
    "ja": "cp932",
    "ru": "cp1251",
    "uk": "cp1251",
    "bg": "cp1251",
    "zh_CN": "gbk",
    "zh_TW": "cp950",
    "ko": "cp949",
    "th": "cp874",
    "el": "cp1253",
    "tr": "cp1254",
    "cs": "cp1250",
    "pl": "cp1250",
    "hu": "cp1250",
    "sk": "cp1250",
    "sl": "cp1250",
    "hr": "cp1250",
    "ro": "cp1250",
}


def code_page(locale: str) -> str:
    base = locale.split(".")[0]
    return CODE_PAGES.get(base) or CODE_PAGES.get(base.split("_")[0]) or "cp1252"


def env_code_page(env: Dict[str, str]) -> str:
    return code_page(env.get("LC_ALL") or env.get("LC_CTYPE") or env.get("LANG") or "en_US.UTF-8")
