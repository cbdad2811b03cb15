#!/usr/bin/env python3
"""Writes the committed seed corpus, tests/fuzz/corpus/<target>/, from the
project's own sample files and typical runs. Each seed is in its target's
input format (see the comment at the top of each target). Run it again after
changing a format; inputs that found a fault stay beside the seeds."""
import glob
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))


def read(path):
    with open(os.path.join(ROOT, path), "rb") as f:
        return f.read()


def utf16(text):
    return text.encode("utf-16-le")


def pe_image(machine):
    image = bytearray(512)
    image[0:2] = b"MZ"
    image[0x3C] = 0x40
    image[0x40:0x44] = b"PE\0\0"
    image[0x44:0x46] = struct.pack("<H", machine)
    return bytes(image)


INFS = sorted(glob.glob(os.path.join(ROOT, "tests/unit/inf_cases/*.inf"))) + [
    os.path.join(ROOT, "examples/package/Vi64/GlidexTP.inf")
]
MODELS_INF = (
    b'[Version]\r\nSignature="$Windows NT$"\r\nDriverVer=12/01/2026,10.3.201.104\r\n'
    b"[Manufacturer]\r\n%M%=Models,NTamd64,NTx86.6.1\r\n[Models.NTamd64]\r\n"
    b'%D%=Install,ACPI\\XYZ0017,*XYZ0017\r\n[Strings]\r\nM="Maker"\r\nD="Pad"\r\n'
)

SEEDS = {
    "fuzz_command_line": {
        "silent": b"\x00/s",
        "extract_property": b"\x03/vEXTRACTDRIVERS=C:\\Out",
        "extract_all": b'\x02/extract_all:"C:\\Out Dir"',
        "debug_logfile_report": b"\x01/s /vDEBUG=true LOGFILE=C:\\Logs\\d.log /f2 C:\\rep\\r.txt",
        "request_and_flags": b"\x05/OEM1 /vFORCE=true FRESHINSTALL=false FORCERESTART=true",
        "long_folder": b"\x6b/vEXTRACTDRIVERS=C:\\" + b"d" * 200,
    },
    "fuzz_image_check": {
        "x64_image": pe_image(0x8664),
        "x86_image": pe_image(0x014C) + b"\0",
        "far_lfanew": b"\x01\x00\x02\x3c\xf0\x3d\xff",
        "cut_after_signature": b"\x03\x48\x00",
    },
    "fuzz_inf_queries": dict(
        [("case_" + os.path.basename(p)[:-4], b"\x00" + open(p, "rb").read()) for p in INFS]
        + [("models_utf16", b"\x01" + MODELS_INF), ("models_ansi", b"\x02" + MODELS_INF)]
    ),
    "fuzz_log_text": {
        "versions": b"\x00pkg\\Setup.exe\xff10.3.201.104\xff10.3.201.105\xffC:\\Logs\\sub\\x.log",
        "japanese": b"\x11\x83\x5c\x83\x74\\Setup.exe\xffa\xffb\xffC:\\\x83\x5c\\x.log",
    },
    "fuzz_settings": {
        "sample": read("examples/package/Setup.ini"),
        "quoted": b"[W864]\r\nPath = \"\\Vi64\\DPInst.exe\"\r\nSilent=' /q'\r\nSupport=0x3F\r\n"
        b"[OEM1]\r\nCustomRequestCnt=2\r\nCustomRequest=tuned\r\n",
        "fallback": b"[W864]\nSupport=-1\n[Vi64]\nPath=\\Vi64\\DPInst.exe\nDefault= /f /lm\n",
    },
    "fuzz_usage_and_bounded": {
        "fits": b"\x20\x05short",
        "cut": b"\x03\xffa text longer than the buffer",
    },
    "fuzz_device_ids": {
        "pad": b"\x00ACPI\\XYZ0017\0*XYZ0017\0\0\xffACPI\\XYZ0017,*XYZ0017",
        "hid_then_pad": b"\x02HID\\VID_1234&PID_0001\0\0\xffACPI\\XYZ0017\xffACPI\\XYZ0017",
        "single_string": b"\x00ACPI\\VRN0001\0\xffACPI\\VRN0001",
        "unterminated_long": b"\x01ACPI\\" + b"L" * 300 + b"\xff*PNP0F13",
    },
    "fuzz_versions": {
        "older": b"\x00" + b"10.3.201.104\xff10.3.201.105\xff7.0 10.3.201.104",
        "same_spaces": b"\x01" + b" 10. 3.+201.104\xff10.3.201.104\xff10.3.201.104",
        "overflow": b"\x02" + b"2147483648.0.0.0\xff-2147483648.1.2.3\xff" + b"9" * 259,
    },
    "fuzz_dpinst_log": {
        "debug_runs": b"[older run]\r\nInstalled \x1a one\xff\x01\x0f\x08[run 1]\r\n\x01\x0f\x08[run 2]\r\n",
        "interrupted_then_merge": b"history\xff\x03\x0f\x05since\x00\x0f\x05plain\x01\x0f\x04next",
        # Found by this target: a backup whose delete fails after the log was put back.
        "failing_delete": b"history\xff\x01\x01\x04run1\x01\x11\x04run2\x01\x02\x04run3",
        # Found by this target: a log that cannot be replaced after the join.
        "join_then_copy_fails": b"history\xff\x03\x0f\x05\x01\x00\x00\x00c\x65\x00\x07\x05plain\x01",
        "failing_join": b"history\xff\x01\x82\x04run1\x01\x0f\x04run2",
        "failing_rename": b"history\xff\x01\x17\x04run1\x01\x87\x04run2\x01\x0f\x04run3",
    },
}


def main():
    for target, seeds in SEEDS.items():
        folder = os.path.join(HERE, "corpus", target)
        os.makedirs(folder, exist_ok=True)
        for name, data in seeds.items():
            with open(os.path.join(folder, "seed_" + name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
