#!/usr/bin/env python3
"""Checks the Windows zip as `make package` makes it, from the built exes.

Usage: check_windows_zip.py TABLES X86_EXE X64_EXE

Runs packaging/make_windows_zip.py into a temp folder and checks what a user
unpacks: the two exes, each in its own folder and for its own machine, the
same bytes as the builds, with the icon, dialogs and version resource of the
resource tables; the version their resource reports equal to the one in the
zip's name; and the readme and the licence, with Windows line ends.
"""

import io
import subprocess
import sys
import tempfile
import zipfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parents[1]
sys.dont_write_bytecode = True
sys.path.insert(0, str(HERE.parent / "resources"))
sys.path.insert(0, str(ROOT / "resources" / "tools"))
import check_exe_resources  # noqa: E402
import pe_resources as pe  # noqa: E402
import resource_tables  # noqa: E402

MACHINES = {"x86": 0x14C, "x64": 0x8664}
SETTINGS_KEY = "HKEY_CURRENT_USER\\Software\\Falvane\\Kivo\\2.0"


def check_exe(name, data, built, machine, version, tables):
    problems = []
    if data != built:
        problems.append(f"{name}: not the built exe")
    try:
        got_machine, _ = pe.read_resources(data)
    except pe.PeError as error:
        return problems + [f"{name}: {error}"]
    if got_machine != machine:
        problems.append(f"{name}: machine {got_machine:#x}, expected {machine:#x}")
    problems += [f"{name}: {p}" for p in check_exe_resources.check(data, tables)]
    # What Explorer's Details tab shows must be the version the download is named for.
    _, entries = pe.read_resources(data)
    for entry in entries:
        if entry.type == pe.RT_VERSION:
            strings = dict(pe.parse_version(entry.data).strings.get(tables.version.block, []))
            for key in ("FileVersion", "ProductVersion"):
                shown = strings.get(key, "").replace(", ", ".")
                if shown != version:
                    problems.append(f"{name}: {key} reads {strings.get(key)!r}, "
                                    f"the zip is named for {version}")
            print(f"{name}: version resource {dict(strings)}")
    return problems


def check_readme(name, data):
    problems = []
    try:
        text = data.decode("ascii")
    except UnicodeDecodeError:
        return [f"{name}: not plain ASCII"]
    if text.count("\n") != text.count("\r\n") or text.count("\r") != text.count("\r\n"):
        problems.append(f"{name}: line ends other than CRLF")
    if not text.endswith("\r\n"):
        problems.append(f"{name}: no line end after the last line")
    if "@" in text:
        problems.append(f"{name}: a placeholder was left unfilled")
    for needed in (SETTINGS_KEY, "regedit /e", "regedit /s", "~/.config/kivo/kivo.reg",
                   f'reg delete "{SETTINGS_KEY}"', "shell:startup"):
        if needed not in text:
            problems.append(f"{name}: does not mention {needed}")
    return problems


def check_licence(name, data):
    # The licence as the source tree has it, with Windows line ends.
    source = (ROOT / "LICENSE").read_text(encoding="ascii").replace("\r\n", "\n")
    if data != source.replace("\n", "\r\n").encode("ascii"):
        return [f"{name}: not the LICENSE of the source tree with CRLF line ends"]
    if not data.startswith(b"MIT License"):
        return [f"{name}: not the MIT licence"]
    return []


def main(argv):
    if len(argv) != 4:
        sys.exit(__doc__)
    tables = resource_tables.read_tables(argv[1])
    builds = {"x86": Path(argv[2]), "x64": Path(argv[3])}
    for path in builds.values():
        if not path.is_file():
            print(f"missing: {path} (build the Windows presets first)")
            return 1
    with tempfile.TemporaryDirectory(prefix="kivo-zip-") as out:
        made = subprocess.run([sys.executable, str(ROOT / "packaging" / "make_windows_zip.py"), out,
                               str(builds["x86"]), str(builds["x64"])],
                              capture_output=True, text=True)
        if made.returncode != 0:
            print(f"make_windows_zip.py failed: {made.stderr}{made.stdout}")
            return 1
        zips = list(Path(out).glob("*.zip"))
        if len(zips) != 1 or str(zips[0]) != made.stdout.strip():
            print(f"expected the one zip it printed ({made.stdout.strip()}), found {zips}")
            return 1
        path = zips[0]
        top = path.name[:-len(".zip")]
        prefix, suffix = "kivo-", "-windows"
        if not (top.startswith(prefix) and top.endswith(suffix)):
            print(f"{path.name}: not named kivo-VERSION-windows.zip")
            return 1
        version = top[len(prefix):-len(suffix)]
        archive = zipfile.ZipFile(io.BytesIO(path.read_bytes()))

    problems = []
    if archive.testzip() is not None:
        problems.append(f"{path.name}: a damaged member: {archive.testzip()}")
    names = sorted(archive.namelist())
    expected = sorted([f"{top}/README.txt", f"{top}/LICENSE.txt"] +
                      [f"{top}/{folder}/kivo.exe" for folder in builds])
    if names != expected:
        problems.append(f"{path.name} holds {names}, expected {expected}")
    for folder, built in builds.items():
        name = f"{top}/{folder}/kivo.exe"
        if name in names:
            problems += check_exe(name, archive.read(name), built.read_bytes(), MACHINES[folder],
                                  version, tables)
    if f"{top}/README.txt" in names:
        problems += check_readme(f"{top}/README.txt", archive.read(f"{top}/README.txt"))
    if f"{top}/LICENSE.txt" in names:
        problems += check_licence(f"{top}/LICENSE.txt", archive.read(f"{top}/LICENSE.txt"))

    for problem in problems:
        print(problem)
    if not problems:
        print(f"{path.name}: {', '.join(names)} as built, version {version}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
