#!/usr/bin/env python3
"""Shows that check_exe_resources.py notices wrong resources, not just absent ones.

Usage: check_detects_faults.py TABLES EXE

Each case changes a copy of a built exe in one place, the way a slip in a
table or a resource compiler would (a style bit, a blank, a language, an
icon size or pixel, a font size, a version string or number, a manifest
setting), and expects the check to report exactly that. The unchanged exe
must pass.
"""

import struct
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
# Nothing compiled may land beside the sources.
sys.dont_write_bytecode = True
sys.path.insert(0, str(HERE))
import check_exe_resources as checker  # noqa: E402
import pe_resources as pe  # noqa: E402


def utf16(text):
    return text.encode("utf-16-le")


def replace_once(data, start, end, old, new):
    """data with old replaced by new (same length) inside data[start:end]."""
    assert len(old) == len(new)
    position = data.find(old, start, end)
    if position < 0:
        raise LookupError(f"{old!r} not found")
    if data.find(old, position + 1, end) >= 0:
        raise LookupError(f"{old!r} found twice")
    return data[:position] + new + data[position + len(old):]


def main(argv):
    if len(argv) != 3:
        sys.exit(__doc__)
    tables = checker.resource_tables.read_tables(argv[1])
    if not Path(argv[2]).is_file():
        print(f"missing: {argv[2]} (build the Windows presets first)")
        return 1
    original = Path(argv[2]).read_bytes()
    _, entries = pe.read_resources(original)

    def entry(kind, name):
        return next(e for e in entries if e.type == kind and e.name == name)

    def within(kind, name, old, new):
        found = entry(kind, name)
        start = found.file_offset
        return lambda data: replace_once(data, start, start + len(found.data), old, new)

    def language_of(kind, name, language):
        offset = entry(kind, name).language_field_offset
        return lambda data: data[:offset] + struct.pack("<I", language) + data[offset + 4:]

    def icon_pixel(size, byte):
        group = pe.parse_group_icon(entry(pe.RT_GROUP_ICON, tables.icon.id).data)
        icon_id = next(member.icon_id for member in group if member.width == size)
        offset = entry(pe.RT_ICON, icon_id).file_offset + byte
        return lambda data: data[:offset] + bytes([data[offset] ^ 0x11]) + data[offset + 1:]

    setup, about = 103, 104
    cases = [
        ("the refresh field without ES_NUMBER",
         within(pe.RT_DIALOG, setup, struct.pack("<I", 0x50812000), struct.pack("<I", 0x50810000)),
         "dialog 103 (IDD_SETUP) control 4: style"),
        ("one blank instead of two in paragraph C",
         within(pe.RT_DIALOG, about, utf16("information.  If"), utf16("information. xIf")),
         "dialog 104 (IDD_ABOUT) control 11: text"),
        ("a line feed lost in paragraph A",
         within(pe.RT_DIALOG, about, utf16("enjoy!\n\n"), utf16("enjoy!\n ")),
         "dialog 104 (IDD_ABOUT) control 6: text"),
        ("the About dialog in German",
         language_of(pe.RT_DIALOG, about, 1031),
         "dialog 104 (IDD_ABOUT): languages [1031]"),
        ("a font of 9 points",
         within(pe.RT_DIALOG, setup, struct.pack("<H", 8) + utf16("MS Sans"),
                struct.pack("<H", 9) + utf16("MS Sans")),
         "dialog 103 (IDD_SETUP): point_size 9"),
        ("the Setup caption changed",
         within(pe.RT_DIALOG, setup, utf16("Kivo Setup"), utf16("Kivo Setuq")),
         "dialog 103 (IDD_SETUP): caption"),
        ("the icon control showing icon 102",
         within(pe.RT_DIALOG, about, struct.pack("<HH", 0xFFFF, 101),
                struct.pack("<HH", 0xFFFF, 102)),
         "dialog 104 (IDD_ABOUT) control 3: text 102"),
        ("the 32 x 32 image listed one byte short",
         within(pe.RT_GROUP_ICON, tables.icon.id, struct.pack("<I", 744), struct.pack("<I", 743)),
         "icon group 101 image 1: (width, height, colours, planes, bits, bytes)"),
        ("one pixel of the 16 x 16 image changed",
         icon_pixel(16, 40 + 64 + 8 * 8 + 3),
         "icon group 101 image 2: pixel"),
        ("the file description misspelt",
         within(pe.RT_VERSION, tables.version.id, utf16("monitor\0"), utf16("monitur\0")),
         "version resource 1: strings"),
        ("a digit of the Windows 7 id changed",
         within(checker.RT_MANIFEST, 1, b"{35138b9a-5d96", b"{35138b9a-5d97"),
         "manifest 1: supported systems"),
        ("common controls of version 5",
         within(checker.RT_MANIFEST, 1, b'version="6.0.0.0"', b'version="5.0.0.0"'),
         "manifest 1: dependency"),
        ("elevation asked for",
         within(checker.RT_MANIFEST, 1, b'"asInvoker"', b'"elevated!"'),
         "manifest 1: execution level ('elevated!', 'false')"),
        ("GDI scaling in a namespace Windows does not read",
         within(checker.RT_MANIFEST, 1, b"SMI/2017/", b"SMI/2016/"),
         "manifest 1: gdiScaling None"),
        ("DPI awareness declared",
         within(checker.RT_MANIFEST, 1, b">false</dpiAware>", b">true </dpiAware>"),
         "manifest 1: dpiAware 'true'"),
        ("a manifest that is not well-formed",
         within(checker.RT_MANIFEST, 1, b"</windowsSettings>", b"</windowsSettingz>"),
         "manifest 1: not well-formed XML"),
        ("file version 1.0.0.2",
         within(pe.RT_VERSION, tables.version.id, struct.pack("<4I", 0x10000, 1, 0x10000, 1),
                struct.pack("<4I", 0x10000, 2, 0x10000, 1)),
         "version resource 1: file version (1, 0, 0, 2)"),
    ]

    failures = 0
    problems = checker.check(original, tables)
    if problems:
        print(f"the unchanged exe fails the check: {problems}")
        failures += 1
    for name, change, expected in cases:
        try:
            problems = checker.check(change(original), tables)
        except LookupError as error:
            print(f"FAIL {name}: could not make the change ({error})")
            failures += 1
            continue
        if any(problem.startswith(expected) for problem in problems):
            print(f"ok   {name}: {next(p for p in problems if p.startswith(expected))}")
        else:
            print(f"FAIL {name}: expected a problem starting {expected!r}, got {problems}")
            failures += 1
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
