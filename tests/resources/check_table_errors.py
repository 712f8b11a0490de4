#!/usr/bin/env python3
"""Shows that a slip in the manifest or the icon's drawing stops the build
with the file and line, rather than building a wrong exe or icon.

Usage: check_table_errors.py TABLES

Each case copies the tables, the icon and the ids into a temp folder, changes
one line and expects the reader's error to name the place and the fault. The
unchanged copy must read.
"""

import shutil
import sys
import tempfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
# Nothing compiled may land beside the sources.
sys.dont_write_bytecode = True
sys.path.insert(0, str(HERE.parents[1] / "resources" / "tools"))
import resource_tables  # noqa: E402

TABLES, ICON = "resource_tables.txt", "app_icon.txt"

CASES = [
    ("DPI awareness neither false nor true", TABLES, "  dpiaware false", "  dpiaware maybe",
     "resource_tables.txt:{line}: dpiaware 'maybe' is none of"),
    ("an operating system id in capitals", TABLES,
     '  supportedos {35138b9a-5d96-4fbd-8e2d-a2440225f93a} "Windows 7"',
     '  supportedos {35138B9A-5D96-4FBD-8E2D-A2440225F93A} "Windows 7"',
     "resource_tables.txt:{line}: '{35138B9A-5D96-4FBD-8E2D-A2440225F93A}' is not a lower-case"),
    ("an assembly version of three numbers", TABLES, '  identity "Falvane.Kivo" 2.0.0.1',
     '  identity "Falvane.Kivo" 2.0.1', "resource_tables.txt:{line}: assembly version '2.0.1'"),
    ("the manifest without GDI scaling", TABLES, "  gdiscaling true", "",
     "the manifest needs identity"),
    ("a manifest of id 0", TABLES, "manifest 1", "manifest 0",
     "resource_tables.txt:{line}: manifest resource id 0 is outside 1..65535"),
    ("a shape in a colour outside the palette", ICON, "  rect 19 25 9 2 k",
     "  rect 19 25 9 2 X", "app_icon.txt:{line}: colour 'X' is not in the palette"),
    ("a rectangle without width", ICON, "  rect 3 25 16 2 G", "  rect 3 25 0 2 G",
     "app_icon.txt:{line}: a rect needs a positive width"),
    ("a point without its comma", ICON, "    dots g 0.5 3,8.5 28,8.5",
     "    dots g 0.5 3;8.5 28,8.5", "app_icon.txt:{line}: point '3;8.5' is not X,Y"),
    ("a clip never ended", ICON, "  unclip", "", "a clip has no unclip"),
    ("an unknown shape", ICON, "  rect 3 25 16 2 G", "  circle 3 25 16 G",
     "app_icon.txt:{line}: unknown shape 'circle'"),
]


def copy_sources(tables, folder):
    for name in (TABLES, ICON, "resource_ids.h"):
        shutil.copy(tables.parent / name, folder / name)


def change_line(path, old, new):
    """Replaces the one line equal to old; returns its number."""
    lines = path.read_text(encoding="ascii").split("\n")
    numbers = [i for i, line in enumerate(lines) if line == old]
    if len(numbers) != 1:
        raise LookupError(f"{old!r} is on {len(numbers)} lines of {path.name}, expected one")
    lines[numbers[0]] = new
    path.write_text("\n".join(lines), encoding="ascii")
    return numbers[0] + 1


def main(argv):
    if len(argv) != 2:
        sys.exit(__doc__)
    tables = Path(argv[1]).resolve()
    failures = 0
    with tempfile.TemporaryDirectory() as temp:
        folder = Path(temp)
        copy_sources(tables, folder)
        try:
            resource_tables.read_tables(folder / TABLES)
        except resource_tables.TableError as error:
            print(f"FAIL the unchanged tables do not read: {error}")
            failures += 1
        for name, file_name, old, new, expected in CASES:
            copy_sources(tables, folder)
            try:
                line = change_line(folder / file_name, old, new)
            except LookupError as error:
                print(f"FAIL {name}: could not make the change ({error})")
                failures += 1
                continue
            expected = expected.replace("{line}", str(line))
            try:
                resource_tables.read_tables(folder / TABLES)
                message = "read without an error"
            except resource_tables.TableError as error:
                message = str(error)
            if expected in message:
                print(f"ok   {name}: {message}")
            else:
                print(f"FAIL {name}: expected {expected!r} in {message!r}")
                failures += 1
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
