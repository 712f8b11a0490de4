#!/usr/bin/env python3
"""Makes the Windows download: both exes and the readme in one zip.

Usage: make_windows_zip.py OUT_DIR [X86_EXE X64_EXE]

Writes OUT_DIR/kivo-VERSION-windows.zip holding, under kivo-VERSION-windows/,
x86/kivo.exe, x64/kivo.exe, README.txt and LICENSE.txt, and prints its path.
Every member carries the time SOURCE_DATE_EPOCH gives, when it is set, so one
commit makes the same zip each time. VERSION is the
one in project() of the top CMakeLists.txt; the exes default to the builds of
the windows-i686 and windows-x64 presets of this checkout.
"""

import os
import re
import struct
import sys
import time
import zipfile
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
# The folder in the zip, and the PE machine each exe must be built for: a
# swapped pair would put a 64-bit exe where 32-bit Windows looks for its own.
FOLDERS = (("x86", 0x14C), ("x64", 0x8664))


def project_version():
    text = (ROOT / "CMakeLists.txt").read_text()
    found = re.search(r"project\(\s*kivo\s+VERSION\s+([0-9.]+)", text)
    if not found:
        sys.exit("no project(kivo VERSION ...) in CMakeLists.txt")
    return found.group(1)


def pe_machine(data):
    if data[:2] != b"MZ" or len(data) < 0x40:
        return None
    header = struct.unpack_from("<I", data, 0x3C)[0]
    if data[header:header + 4] != b"PE\0\0" or len(data) < header + 6:
        return None
    return struct.unpack_from("<H", data, header + 4)[0]


def windows_text(text):
    # Notepad before Windows 10 shows a file with bare LF line ends as one line.
    return text.replace("\r\n", "\n").replace("\n", "\r\n").encode("ascii")


def readme_text(version):
    text = (ROOT / "packaging" / "README-windows.txt").read_text(encoding="ascii")
    return windows_text(text.replace("@VERSION@", version))


def add(archive, name, data, mode, date_time):
    info = zipfile.ZipInfo(name, date_time)
    info.compress_type = zipfile.ZIP_DEFLATED
    info.create_system = 3  # Unix, so the mode below means something
    info.external_attr = (0o100000 | mode) << 16
    archive.writestr(info, data, compresslevel=9)


def main(argv):
    if len(argv) not in (2, 4):
        sys.exit(__doc__)
    out_dir = Path(argv[1])
    exes = [Path(p) for p in argv[2:]] or [ROOT / "build" / "windows-i686" / "kivo.exe",
                                           ROOT / "build" / "windows-x64" / "kivo.exe"]
    version = project_version()
    top = f"kivo-{version}-windows"
    contents = []
    for (folder, machine), exe in zip(FOLDERS, exes):
        if not exe.is_file():
            sys.exit(f"missing: {exe} (build the Windows presets first)")
        data = exe.read_bytes()
        if pe_machine(data) != machine:
            sys.exit(f"{exe} is not a {folder} Windows exe")
        contents.append((f"{top}/{folder}/kivo.exe", data, 0o755, exe.stat().st_mtime))
    readme = ROOT / "packaging" / "README-windows.txt"
    contents.append((f"{top}/README.txt", readme_text(version), 0o644, readme.stat().st_mtime))
    licence = ROOT / "LICENSE"
    contents.append((f"{top}/LICENSE.txt", windows_text(licence.read_text(encoding="ascii")), 0o644,
                     licence.stat().st_mtime))

    out_dir.mkdir(parents=True, exist_ok=True)
    target = out_dir / f"{top}.zip"
    partial = target.with_name(target.name + ".part")
    with zipfile.ZipFile(partial, "w") as archive:
        epoch = os.environ.get("SOURCE_DATE_EPOCH", "")
        for name, data, mode, mtime in contents:
            add(archive, name, data, mode, _zip_time(int(epoch) if epoch.isdigit() else mtime))
    partial.replace(target)
    print(target)
    return 0


def _zip_time(mtime):
    # Zip times cannot go before 1980. UTC, so the zip does not depend on the
    # time zone of the machine that makes it.
    return max(time.gmtime(mtime)[:6], (1980, 1, 1, 0, 0, 0))


if __name__ == "__main__":
    sys.exit(main(sys.argv))
