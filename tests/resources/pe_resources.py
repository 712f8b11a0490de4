"""Reads the resource section of a PE file (32- or 64-bit) and decodes the
resource formats Kivo uses: dialog templates, icon groups and icons, and the
version resource. Standard library only, so the check runs wherever the build
does; every offset is bounds-checked, and a malformed file raises PeError.
"""

import struct
from dataclasses import dataclass, field

RT_ICON = 3
RT_DIALOG = 5
RT_GROUP_ICON = 14
RT_VERSION = 16

DS_SETFONT = 0x40
# Ordinals the dialog manager accepts in place of a control's class name.
CLASS_ORDINALS = {0x80: "BUTTON", 0x81: "EDIT", 0x82: "STATIC", 0x83: "LISTBOX",
                  0x84: "SCROLLBAR", 0x85: "COMBOBOX"}


class PeError(Exception):
    pass


class _Bytes:
    def __init__(self, data, base=0):
        self.data, self.base = data, base

    def unpack(self, fmt, offset):
        size = struct.calcsize(fmt)
        if offset < 0 or offset + size > len(self.data):
            raise PeError(f"read of {size} bytes at {offset + self.base:#x} runs past the end")
        return struct.unpack_from(fmt, self.data, offset)

    def word(self, offset):
        return self.unpack("<H", offset)[0]

    def utf16z(self, offset):
        """A zero-terminated UTF-16 string and the offset after its terminator."""
        chars = []
        while True:
            unit = self.word(offset)
            offset += 2
            if unit == 0:
                return bytes(chars).decode("utf-16-le"), offset
            chars += struct.pack("<H", unit)


@dataclass
class ResourceEntry:
    type: object  # int or str
    name: object
    language: int
    data: bytes
    file_offset: int  # where the data lies in the file
    language_field_offset: int  # where the language id of its directory entry lies


def _sections(pe):
    if pe.unpack("<2s", 0)[0] != b"MZ":
        raise PeError("no MZ header")
    header = pe.unpack("<I", 0x3C)[0]
    if pe.unpack("<4s", header)[0] != b"PE\0\0":
        raise PeError("no PE signature")
    machine, count, _, _, _, optional_size, _ = pe.unpack("<HHIIIHH", header + 4)
    optional = header + 24
    magic = pe.word(optional)
    if magic == 0x10B:
        directories = optional + 96
    elif magic == 0x20B:
        directories = optional + 112
    else:
        raise PeError(f"unknown optional header magic {magic:#x}")
    resource_rva, resource_size = pe.unpack("<II", directories + 2 * 8)
    sections = []
    table = optional + optional_size
    for i in range(count):
        name, virtual_size, rva, raw_size, raw_offset = pe.unpack("<8sIIII", table + 40 * i)
        sections.append((rva, max(virtual_size, raw_size), raw_offset, raw_size))
    return machine, resource_rva, resource_size, sections


def _file_offset(sections, rva, size):
    for start, length, raw_offset, raw_size in sections:
        if start <= rva and rva + size <= start + min(length, raw_size):
            return raw_offset + rva - start
    raise PeError(f"RVA {rva:#x} (+{size}) lies in no section's file data")


def read_resources(data):
    """Every resource of a PE file as ResourceEntry, and its machine type."""
    pe = _Bytes(data)
    machine, root_rva, root_size, sections = _sections(pe)
    if root_rva == 0:
        return machine, []
    root = _file_offset(sections, root_rva, 16)

    def name_of(entry_name):
        if entry_name & 0x80000000:
            offset = root + (entry_name & 0x7FFFFFFF)
            length = pe.word(offset)
            return data[offset + 2:offset + 2 + 2 * length].decode("utf-16-le")
        return entry_name

    def entries(directory):
        named, numbered = pe.unpack("<HH", directory + 12)
        for i in range(named + numbered):
            offset = directory + 16 + 8 * i
            entry_name, target = pe.unpack("<II", offset)
            yield name_of(entry_name), target, offset

    def subdirectory(target):
        if not target & 0x80000000:
            raise PeError("a directory entry points at data one level too early")
        offset = root + (target & 0x7FFFFFFF)
        if offset >= len(data) or offset < root:
            raise PeError("a subdirectory lies outside the file")
        return offset

    found = []
    for type_id, type_target, _ in entries(root):
        for name, name_target, _ in entries(subdirectory(type_target)):
            for language, data_target, entry_offset in entries(subdirectory(name_target)):
                if data_target & 0x80000000:
                    raise PeError("a language entry points at a directory")
                rva, size, _, _ = pe.unpack("<IIII", root + data_target)
                offset = _file_offset(sections, rva, size)
                found.append(ResourceEntry(type_id, name, language,
                                           data[offset:offset + size], offset, entry_offset))
    return machine, found


@dataclass
class DialogItem:
    style: int
    ex_style: int
    x: int
    y: int
    width: int
    height: int
    id: int
    class_name: str
    text: object  # str, or int for an ordinal (the icon of an SS_ICON control)
    creation_data: bytes


@dataclass
class DialogResource:
    style: int
    ex_style: int
    x: int
    y: int
    width: int
    height: int
    menu: object
    class_name: object
    caption: str
    point_size: int
    face: str
    items: list = field(default_factory=list)


def _sz_or_ord(raw, offset):
    first = raw.word(offset)
    if first == 0xFFFF:
        return raw.word(offset + 2), offset + 4
    if first == 0:
        return "", offset + 2
    return raw.utf16z(offset)


def _align4(offset):
    return (offset + 3) & ~3


def parse_dialog(data):
    """A DLGTEMPLATE (the DIALOG form; the extended form is rejected)."""
    raw = _Bytes(data)
    if raw.unpack("<HH", 0) == (1, 0xFFFF):
        raise PeError("an extended dialog template, not the plain one")
    style, ex_style, count, x, y, width, height = raw.unpack("<IIHhhhh", 0)
    offset = 18
    menu, offset = _sz_or_ord(raw, offset)
    class_name, offset = _sz_or_ord(raw, offset)
    caption, offset = raw.utf16z(offset)
    point_size, face = 0, ""
    if style & DS_SETFONT:
        point_size = raw.word(offset)
        face, offset = raw.utf16z(offset + 2)
    dialog = DialogResource(style, ex_style, x, y, width, height, menu, class_name, caption,
                            point_size, face)
    for _ in range(count):
        offset = _align4(offset)
        item_style, item_ex, ix, iy, iw, ih, item_id = raw.unpack("<IIhhhhH", offset)
        offset += 18
        item_class, offset = _sz_or_ord(raw, offset)
        if isinstance(item_class, int):
            item_class = CLASS_ORDINALS.get(item_class, item_class)
        text, offset = _sz_or_ord(raw, offset)
        extra = raw.word(offset)
        creation = data[offset + 2:offset + 2 + extra]
        offset += 2 + extra
        dialog.items.append(DialogItem(item_style, item_ex, ix, iy, iw, ih, item_id, item_class,
                                       text, creation))
    if offset > len(data):
        raise PeError("the dialog's items run past its data")
    return dialog


@dataclass
class GroupIconEntry:
    width: int
    height: int
    colour_count: int
    planes: int
    bit_count: int
    bytes_in_resource: int
    icon_id: int


def parse_group_icon(data):
    raw = _Bytes(data)
    reserved, kind, count = raw.unpack("<HHH", 0)
    if (reserved, kind) != (0, 1):
        raise PeError("not an icon group")
    entries = []
    for i in range(count):
        w, h, colours, _, planes, bits, size, icon_id = raw.unpack("<BBBBHHIH", 6 + 14 * i)
        entries.append(GroupIconEntry(w or 256, h or 256, colours, planes, bits, size, icon_id))
    return entries


@dataclass
class IconImage:
    width: int
    height: int
    bit_count: int
    palette: list  # (r, g, b)
    indices: list  # rows from the top
    mask: list  # rows from the top; True where the background shows


def parse_icon_image(data):
    """A 1-, 4- or 8-bit icon bitmap with its AND mask."""
    raw = _Bytes(data)
    header_size, width, double_height, planes, bits, compression = raw.unpack("<IiiHHI", 0)
    if header_size != 40 or compression != 0 or bits not in (1, 4, 8):
        raise PeError(f"unsupported icon bitmap ({header_size}-byte header, {bits} bits, "
                      f"compression {compression})")
    colours_used = raw.unpack("<I", 32)[0] or 1 << bits
    height = double_height // 2
    palette = [raw.unpack("<BBBB", 40 + 4 * i)[2::-1] for i in range(colours_used)]
    xor_offset = 40 + 4 * colours_used
    xor_stride = (width * bits + 31) // 32 * 4
    and_offset = xor_offset + xor_stride * height
    and_stride = (width + 31) // 32 * 4
    if and_offset + and_stride * height > len(data):
        raise PeError("the icon's bits run past its data")
    indices, mask = [], []
    for y in range(height):
        row_xor = data[xor_offset + xor_stride * y:]
        row_and = data[and_offset + and_stride * y:]
        per_byte = 8 // bits
        indices.append([
            row_xor[x // per_byte] >> (8 - bits - bits * (x % per_byte)) & ((1 << bits) - 1)
            for x in range(width)])
        mask.append([bool(row_and[x // 8] & 0x80 >> (x % 8)) for x in range(width)])
    indices.reverse()
    mask.reverse()
    return IconImage(width, height, bits, [tuple(c) for c in palette], indices, mask)


@dataclass
class VersionResource:
    file_version: tuple
    product_version: tuple
    file_flags_mask: int
    file_flags: int
    file_os: int
    file_type: int
    strings: dict  # block name -> [(name, value)] in order
    translations: list  # (language, code page)


def _version_node(raw, offset):
    """(key, value bytes, value type, children offsets range, end offset) of one node."""
    length, value_length, value_type = raw.unpack("<HHH", offset)
    if length < 6 or offset + length > len(raw.data):
        raise PeError(f"a version node at {offset:#x} has a bad length {length}")
    key, position = raw.utf16z(offset + 6)
    position = _align4(position)
    value_bytes = value_length * 2 if value_type == 1 else value_length
    value = raw.data[position:position + value_bytes]
    children = _align4(position + value_bytes)
    return key, value, value_type, children, offset + length


def _children(raw, start, end):
    offset = start
    while offset < end:
        node = _version_node(raw, offset)
        yield node
        offset = _align4(node[4])


def parse_version(data):
    raw = _Bytes(data)
    key, value, _, children, end = _version_node(raw, 0)
    if key != "VS_VERSION_INFO" or len(value) != 52:
        raise PeError("not a VS_VERSION_INFO resource")
    fixed = struct.unpack("<13I", value)
    if fixed[0] != 0xFEEF04BD:
        raise PeError("bad VS_FIXEDFILEINFO signature")

    def four(ms, ls):
        return (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)

    result = VersionResource(four(fixed[2], fixed[3]), four(fixed[4], fixed[5]), fixed[6],
                             fixed[7], fixed[8], fixed[9], {}, [])
    for key, _, _, start, node_end in _children(raw, children, end):
        if key == "StringFileInfo":
            for block, _, _, block_start, block_end in _children(raw, start, node_end):
                strings = result.strings.setdefault(block, [])
                for name, text, kind, _, _ in _children(raw, block_start, block_end):
                    if kind != 1:
                        raise PeError(f"version string {name} is not text")
                    strings.append((name, text.decode("utf-16-le").rstrip("\0")))
        elif key == "VarFileInfo":
            for name, pairs, _, _, _ in _children(raw, start, node_end):
                if name == "Translation":
                    result.translations += [struct.unpack_from("<HH", pairs, i)
                                            for i in range(0, len(pairs) - 3, 4)]
    return result
