#!/usr/bin/env python3
"""Checks the resources inside built Windows exes against the resource tables.

Usage: check_exe_resources.py TABLES EXE...

The tables are the file the build generated the resource script and the Linux
dialog data from, read with the same reader, so a difference here means the
exe does not show what the Linux build shows (or what the tables say). The
exe side is decoded from the PE file itself, not from the generated script:
this checks what windres and the linker made of it.
"""

import sys
import xml.etree.ElementTree as ElementTree
from pathlib import Path

HERE = Path(__file__).resolve().parent
# Nothing compiled may land beside the sources.
sys.dont_write_bytecode = True
sys.path.insert(0, str(HERE))
sys.path.insert(0, str(HERE.parents[1] / "resources" / "tools"))
import pe_resources as pe  # noqa: E402
import resource_tables  # noqa: E402

VFT_APP = 1
RT_MANIFEST = 24

# Windows reads each manifest setting only in its own namespace; in any other
# the setting is silently ignored, so the check looks for these exact names.
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPATIBILITY = "{urn:schemas-microsoft-com:compatibility.v1}"
SETTINGS_2005 = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"
SETTINGS_2017 = "{http://schemas.microsoft.com/SMI/2017/WindowsSettings}"


def icon_image_bytes(size):
    """A 4-bit icon image: header, 16-colour table, colour bits, mask bits."""
    return 40 + 16 * 4 + (size * 4 + 31) // 32 * 4 * size + (size + 31) // 32 * 4 * size


def check(data, tables):
    """Every difference between the exe's resources and the tables, as text."""
    problems = []
    try:
        _, entries = pe.read_resources(data)
    except pe.PeError as error:
        return [f"unreadable resources: {error}"]

    def lookup(kind, name, what):
        found = [e for e in entries if e.type == kind and e.name == name]
        if not found:
            problems.append(f"{what}: missing")
            return None
        languages = sorted(e.language for e in found)
        if languages != [tables.language]:
            problems.append(f"{what}: languages {languages}, expected [{tables.language}]")
        match = [e for e in found if e.language == tables.language]
        return match[0] if match else None

    try:
        _check_icon(tables, lookup, problems)
        _check_dialogs(tables, entries, lookup, problems)
        _check_version(tables, lookup, problems)
        _check_manifest(tables, lookup, problems)
    except pe.PeError as error:
        problems.append(f"malformed resource: {error}")
    return problems


def _check_icon(tables, lookup, problems):
    icon = tables.icon
    group = lookup(pe.RT_GROUP_ICON, icon.id, f"icon group {icon.id}")
    if group is None:
        return
    members = pe.parse_group_icon(group.data)
    if len(members) != len(icon.images):
        problems.append(f"icon group {icon.id}: {len(members)} images, "
                        f"expected {len(icon.images)}")
    for number, (member, image) in enumerate(zip(members, icon.images), 1):
        what = f"icon group {icon.id} image {number}"
        size = image.size
        expected = (size, size, 16, 1, 4, icon_image_bytes(size))
        actual = (member.width, member.height, member.colour_count, member.planes,
                  member.bit_count, member.bytes_in_resource)
        if actual != expected:
            problems.append(f"{what}: (width, height, colours, planes, bits, bytes) {actual}, "
                            f"expected {expected}")
        entry = lookup(pe.RT_ICON, member.icon_id, f"{what} (icon {member.icon_id})")
        if entry is None:
            continue
        if len(entry.data) != icon_image_bytes(size):
            problems.append(f"{what}: {len(entry.data)} bytes, expected {icon_image_bytes(size)}")
        bitmap = pe.parse_icon_image(entry.data)
        if (bitmap.width, bitmap.height, bitmap.bit_count) != (size, size, 4):
            problems.append(f"{what}: {bitmap.width}x{bitmap.height} at {bitmap.bit_count} "
                            f"bits, expected {size}x{size} at 4")
            continue
        if bitmap.palette != icon.palette:
            problems.append(f"{what}: colour table {bitmap.palette}, expected {icon.palette}")
        for y, row in enumerate(icon.index_and_mask(image)):
            for x, (index, transparent) in enumerate(row):
                # Behind the mask the colour bits must be black, or the
                # background would be inverted rather than shown.
                want = (0 if transparent else index, transparent)
                got = (bitmap.indices[y][x], bitmap.mask[y][x])
                if got != want:
                    problems.append(f"{what}: pixel ({x}, {y}) is (index, masked) {got}, "
                                    f"expected {want}")


def _check_dialogs(tables, entries, lookup, problems):
    dialog_ids = sorted({e.name for e in entries if e.type == pe.RT_DIALOG}, key=str)
    expected_ids = sorted((d.id for d in tables.dialogs), key=str)
    if dialog_ids != expected_ids:
        problems.append(f"dialog templates {dialog_ids}, expected {expected_ids}")
    for dialog in tables.dialogs:
        what = f"dialog {dialog.id} ({dialog.name})"
        entry = lookup(pe.RT_DIALOG, dialog.id, what)
        if entry is None:
            continue
        built = pe.parse_dialog(entry.data)
        expected = dict(style=dialog.style, ex_style=0, rect=dialog.rect, menu="",
                        class_name="", caption=dialog.caption, point_size=dialog.font_size,
                        face=dialog.font_face, controls=len(dialog.controls))
        actual = dict(style=built.style, ex_style=built.ex_style,
                      rect=(built.x, built.y, built.width, built.height), menu=built.menu,
                      class_name=built.class_name, caption=built.caption,
                      point_size=built.point_size, face=built.face, controls=len(built.items))
        for key in expected:
            if actual[key] != expected[key]:
                problems.append(f"{what}: {key} {_show(actual[key])}, "
                                f"expected {_show(expected[key])}")
        for number, (item, control) in enumerate(zip(built.items, dialog.controls), 1):
            want = dict(id=control.id & 0xFFFF, class_name=control.class_name.upper(),
                        style=control.style, ex_style=0,
                        rect=(control.x, control.y, control.width, control.height),
                        text=control.icon if control.icon else control.text, creation_data=b"")
            class_name = item.class_name
            got = dict(id=item.id,
                       class_name=class_name.upper() if isinstance(class_name, str)
                       else class_name,
                       style=item.style, ex_style=item.ex_style,
                       rect=(item.x, item.y, item.width, item.height), text=item.text,
                       creation_data=item.creation_data)
            for key in want:
                if got[key] != want[key]:
                    problems.append(f"{what} control {number}: {key} {_show(got[key])}, "
                                    f"expected {_show(want[key])}")


def _check_version(tables, lookup, problems):
    version = tables.version
    what = f"version resource {version.id}"
    entry = lookup(pe.RT_VERSION, version.id, what)
    if entry is None:
        return
    built = pe.parse_version(entry.data)
    checks = [
        ("file version", built.file_version, version.file_version),
        ("product version", built.product_version, version.product_version),
        ("file type", built.file_type, VFT_APP),
        ("string blocks", list(built.strings), [version.block]),
        ("strings", built.strings.get(version.block), version.values),
        ("translations", built.translations, [version.translation]),
    ]
    for name, got, want in checks:
        if got != want:
            problems.append(f"{what}: {name} {got!r}, expected {want!r}")


def manifest_settings(xml):
    """What a manifest declares, by the names Windows looks for; None where absent."""
    root = ElementTree.fromstring(xml)

    def attributes(path, *names):
        element = root.find(path)
        return None if element is None else tuple(element.get(name) for name in names)

    def text(path):
        element = root.find(path)
        return None if element is None else (element.text or "").strip()

    dependency = f"{ASM_V1}dependency/{ASM_V1}dependentAssembly/{ASM_V1}assemblyIdentity"
    level = (f"{ASM_V3}trustInfo/{ASM_V3}security/{ASM_V3}requestedPrivileges/"
             f"{ASM_V3}requestedExecutionLevel")
    settings = f"{ASM_V3}application/{ASM_V3}windowsSettings/"
    return {
        "root": (root.tag, root.get("manifestVersion")),
        "identity": attributes(f"{ASM_V1}assemblyIdentity", "type", "name", "version"),
        "description": text(f"{ASM_V1}description"),
        "dependency": attributes(dependency, "type", "name", "version", "publicKeyToken",
                                 "processorArchitecture", "language"),
        "execution level": attributes(level, "level", "uiAccess"),
        "supported systems": [e.get("Id") for e in root.findall(
            f"{COMPATIBILITY}compatibility/{COMPATIBILITY}application/{COMPATIBILITY}supportedOS")],
        "dpiAware": text(f"{settings}{SETTINGS_2005}dpiAware"),
        "gdiScaling": text(f"{settings}{SETTINGS_2017}gdiScaling"),
    }


def _check_manifest(tables, lookup, problems):
    manifest = tables.manifest
    what = f"manifest {manifest.id}"
    entry = lookup(RT_MANIFEST, manifest.id, what)
    if entry is None:
        return
    try:
        got = manifest_settings(entry.data)
    except ElementTree.ParseError as error:
        problems.append(f"{what}: not well-formed XML ({error})")
        return
    name, version, token = manifest.dependency
    want = {
        "root": (f"{ASM_V1}assembly", "1.0"),
        "identity": ("win32", manifest.name, manifest.version),
        "description": manifest.description,
        "dependency": ("win32", name, version, token, "*", "*"),
        "execution level": (manifest.execution_level, "false"),
        "supported systems": [guid for guid, _ in manifest.supported_os],
        "dpiAware": manifest.dpi_aware,
        "gdiScaling": manifest.gdi_scaling,
    }
    for key in want:
        if got[key] != want[key]:
            problems.append(f"{what}: {key} {got[key]!r}, expected {want[key]!r}")


def _show(value):
    return f"0x{value:08X}" if isinstance(value, int) and value > 0xFFFF else repr(value)


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    tables = resource_tables.read_tables(argv[1])
    status = 0
    for exe in argv[2:]:
        path = Path(exe)
        if not path.is_file():
            print(f"missing: {exe} (build the Windows presets first)")
            status = 1
            continue
        problems = check(path.read_bytes(), tables)
        for problem in problems:
            print(f"{exe}: {problem}")
        if problems:
            status = 1
        else:
            dialogs = ", ".join(str(d.id) for d in tables.dialogs)
            print(f"{exe}: icon group {tables.icon.id}, dialogs {dialogs}, version "
                  f"resource {tables.version.id} and manifest {tables.manifest.id} match "
                  f"{argv[1]}")
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv))
