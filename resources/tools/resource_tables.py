"""Reads resources/resource_tables.txt and the icon drawing it names.

Both the build's generator and the resource test of the Windows exes read the
tables through this module, so what the programs hold and what the test
expects come from the same lines. Every mistake in the files stops with the
file name and line number: a half-read table would build a wrong dialog.
"""

import re
from dataclasses import dataclass, field
from pathlib import Path

# The dialog manager's own command ids, which resource_ids.h does not repeat.
BUILTIN_IDS = {"IDOK": 1, "IDCANCEL": 2}
STATIC_ID = -1


class TableError(Exception):
    pass


@dataclass
class Control:
    id: int
    class_name: str
    style: int
    x: int
    y: int
    width: int
    height: int
    text: str = ""
    icon: int = 0  # the icon resource an SS_ICON control shows instead of a text


@dataclass
class Dialog:
    id: int
    name: str
    caption: str = ""
    style: int = 0
    rect: tuple = (0, 0, 0, 0)
    font_size: int = 0
    font_face: str = ""
    controls: list = field(default_factory=list)


@dataclass
class Version:
    id: int
    file_version: tuple = ()
    product_version: tuple = ()
    block: str = ""
    values: list = field(default_factory=list)  # (name, text) in order
    translation: tuple = ()


@dataclass
class Manifest:
    id: int
    name: str = ""  # of the program's own assembly identity
    version: str = ""  # four dotted numbers
    description: str = ""
    supported_os: list = field(default_factory=list)  # (GUID in braces, which Windows)
    dependency: tuple = ()  # (assembly name, version, public key token)
    execution_level: str = ""
    dpi_aware: str = ""
    gdi_scaling: str = ""


@dataclass
class IconImage:
    size: int
    rows: list  # size strings of size characters


@dataclass
class Shape:
    kind: str  # rect, polygon, line, dots, clip or unclip
    colour: tuple = ()  # (r, g, b)
    width: float = 0.0  # of a line or dots
    points: list = field(default_factory=list)  # (x, y); a rect or clip: corner, then size


@dataclass
class Drawing:
    size: int  # the side of the square the coordinates span
    shapes: list


@dataclass
class Icon:
    id: int
    palette: list  # 16 (r, g, b)
    characters: dict  # character -> palette index
    transparent: str
    images: list  # IconImage, in the order the icon group lists them
    drawing: Drawing = None

    def index_and_mask(self, image):
        """Palette indices and transparency (True) of each pixel, rows from the top."""
        return [[(self.characters.get(c, 0), c == self.transparent) for c in row]
                for row in image.rows]

    def argb(self, image):
        """0xAARRGGBB of each pixel, rows from the top; transparent pixels are 0."""
        pixels = []
        for row in self.index_and_mask(image):
            for index, transparent in row:
                if transparent:
                    pixels.append(0)
                else:
                    r, g, b = self.palette[index]
                    pixels.append(0xFF000000 | r << 16 | g << 8 | b)
        return pixels


@dataclass
class Tables:
    language: int = 0
    texts: dict = field(default_factory=dict)
    icon: Icon = None
    dialogs: list = field(default_factory=list)
    version: Version = None
    manifest: Manifest = None
    sources: list = field(default_factory=list)  # every file read

    def dialog(self, dialog_id):
        return next((d for d in self.dialogs if d.id == dialog_id), None)


def read_resource_ids(path):
    ids = dict(BUILTIN_IDS)
    for line in Path(path).read_text(encoding="ascii").splitlines():
        match = re.match(r"\s*#define\s+(\w+)\s+(\d+)\s*$", line)
        if match:
            ids[match.group(1)] = int(match.group(2))
    return ids


_TOKEN = re.compile(r'\s*(?:"((?:[^"\\]|\\.)*)"|([^\s"#]+)|(#.*)|(\S))')
_ESCAPES = {"n": "\n", '"': '"', "\\": "\\"}


def _unescape(body, where):
    out, i = [], 0
    while i < len(body):
        c = body[i]
        if c == "\\":
            escaped = body[i + 1]
            if escaped not in _ESCAPES:
                raise TableError(f"{where}: unknown escape \\{escaped}")
            out.append(_ESCAPES[escaped])
            i += 2
        else:
            out.append(c)
            i += 1
    text = "".join(out)
    for ch in text:
        # The texts reach the exe as UTF-16 and the Linux layer as ANSI bytes;
        # ASCII alone reads the same in both without a code page.
        if ch != "\n" and not " " <= ch <= "~":
            raise TableError(f"{where}: {ch!r} is not printable ASCII")
    return text


def _statements(path):
    """(line number, tokens) per statement; a token is ('text', str) or ('word', str)."""
    statements = []
    for number, line in enumerate(Path(path).read_text(encoding="ascii").splitlines(), 1):
        where = f"{path}:{number}"
        tokens, position = [], 0
        while position < len(line) and line[position:].strip():
            match = _TOKEN.match(line, position)
            if match.group(4) is not None:
                raise TableError(f"{where}: unterminated text or stray {match.group(4)!r}")
            if match.group(3) is not None:
                break
            if match.group(1) is not None:
                tokens.append(("text", _unescape(match.group(1), where)))
            else:
                tokens.append(("word", match.group(2)))
            position = match.end()
        if not tokens:
            continue
        if tokens[0][0] == "text":
            if not statements or any(kind != "text" for kind, _ in tokens):
                raise TableError(f"{where}: a continued text must follow a statement")
            joined = "".join(value for _, value in tokens)
            previous = statements[-1][1]
            if previous[-1][0] == "text":
                previous[-1] = ("text", previous[-1][1] + joined)
            else:
                previous.append(("text", joined))
            continue
        statements.append((where, tokens))
    return statements


class _Reader:
    def __init__(self, where, tokens):
        self.where, self.tokens, self.position = where, tokens, 0

    def fail(self, message):
        raise TableError(f"{self.where}: {message}")

    def next(self, what):
        if self.position >= len(self.tokens):
            self.fail(f"{what} missing")
        token = self.tokens[self.position]
        self.position += 1
        return token

    def word(self, what):
        kind, value = self.next(what)
        if kind != "word":
            self.fail(f"{what} expected, not a text")
        return value

    def number(self, what, low, high):
        value = self.word(what)
        try:
            number = int(value, 0)
        except ValueError:
            self.fail(f"{what}: {value!r} is not a number")
        if not low <= number <= high:
            self.fail(f"{what} {number} is outside {low}..{high}")
        return number

    def quoted(self, what):
        kind, value = self.next(what)
        if kind != "text":
            self.fail(f'{what} expected as a "quoted" text')
        return value

    def end(self):
        if self.position != len(self.tokens):
            self.fail(f"unexpected {self.tokens[self.position][1]!r}")


def _resolve_id(reader, ids, what, allow_static=False):
    value = reader.word(what)
    if allow_static and value == "-1":
        return STATIC_ID
    if value in ids:
        return ids[value]
    try:
        number = int(value, 0)
    except ValueError:
        reader.fail(f"{what}: unknown name {value!r}")
    if not 1 <= number <= 0xFFFF:
        reader.fail(f"{what} {number} is outside 1..65535")
    return number


def _text(reader, texts, what):
    kind, value = reader.next(what)
    if kind == "text":
        return value
    if value not in texts:
        reader.fail(f"{what}: no text named {value!r}")
    return texts[value]


def read_icon(path, icon_id):
    palette, characters, transparent, images, drawing = [None] * 16, {}, None, [], None
    statements = iter(_statements(path))
    for where, tokens in statements:
        reader = _Reader(where, tokens)
        keyword = reader.word("keyword")
        if keyword == "palette":
            reader.end()
            for where, tokens in statements:
                entry = _Reader(where, tokens)
                first = entry.word("palette index")
                if first == "end":
                    entry.end()
                    break
                entry.position = 0
                index = entry.number("palette index", 0, 15)
                rgb = entry.word("colour")
                if not re.fullmatch(r"[0-9A-Fa-f]{6}", rgb):
                    entry.fail(f"colour {rgb!r} is not RRGGBB")
                character = entry.word("character")
                if len(character) != 1 or character in characters:
                    entry.fail(f"character {character!r} is not one new character")
                entry.position = len(entry.tokens)  # the rest is the colour's name
                palette[index] = tuple(int(rgb[i:i + 2], 16) for i in (0, 2, 4))
                characters[character] = index
        elif keyword == "transparent":
            transparent = reader.word("transparent character")
            reader.end()
        elif keyword == "image":
            size = reader.number("image size", 1, 256)
            reader.end()
            rows = []
            for where, tokens in statements:
                if tokens == [("word", "end")]:
                    break
                if len(tokens) != 1 or len(tokens[0][1]) != size:
                    raise TableError(f"{where}: a row of the {size}-pixel image needs "
                                     f"{size} characters")
                for c in tokens[0][1]:
                    if c not in characters and c != transparent:
                        raise TableError(f"{where}: {c!r} is neither in the palette nor "
                                         "transparent")
                rows.append(tokens[0][1])
            if len(rows) != size:
                raise TableError(f"{path}: the {size}-pixel image has {len(rows)} rows")
            images.append(IconImage(size, rows))
        elif keyword == "drawing":
            size = reader.number("drawing size", 1, 256)
            reader.end()
            shapes = []
            for where, tokens in statements:
                shape_reader = _Reader(where, tokens)
                if shape_reader.word("shape") == "end":
                    shape_reader.end()
                    break
                shape_reader.position = 0
                shapes.append(_shape(shape_reader, palette, characters))
            else:
                raise TableError(f"{path}: the drawing has no end")
            _check_clips(path, shapes)
            drawing = Drawing(size, shapes)
        else:
            reader.fail(f"unknown keyword {keyword!r}")
    if None in palette:
        raise TableError(f"{path}: the palette needs all 16 colours")
    if transparent is None or transparent in characters:
        raise TableError(f"{path}: a transparent character outside the palette is needed")
    return Icon(icon_id, palette, characters, transparent, images, drawing)


def _coordinate(reader, text, what):
    try:
        value = float(text)
    except ValueError:
        reader.fail(f"{what}: {text!r} is not a number")
    if not -1024 <= value <= 1024:
        reader.fail(f"{what} {value} is outside -1024..1024")
    return value


def _colour(reader, palette, characters):
    character = reader.word("colour")
    if character not in characters or palette[characters[character]] is None:
        reader.fail(f"colour {character!r} is not in the palette above")
    return palette[characters[character]]


def _points(reader, low):
    points = []
    while reader.position < len(reader.tokens):
        text = reader.word("point")
        parts = text.split(",")
        if len(parts) != 2:
            reader.fail(f"point {text!r} is not X,Y")
        points.append(tuple(_coordinate(reader, part, "point") for part in parts))
    if len(points) < low:
        reader.fail(f"{low} points at least are needed")
    return points


def _shape(reader, palette, characters):
    kind = reader.word("shape")
    if kind in ("rect", "clip"):
        numbers = [_coordinate(reader, reader.word(n), n) for n in ("x", "y", "width", "height")]
        if numbers[2] <= 0 or numbers[3] <= 0:
            reader.fail(f"a {kind} needs a positive width and height")
        colour = _colour(reader, palette, characters) if kind == "rect" else ()
        reader.end()
        return Shape(kind, colour, 0.0, [tuple(numbers[:2]), tuple(numbers[2:])])
    if kind == "polygon":
        return Shape(kind, _colour(reader, palette, characters), 0.0, _points(reader, 3))
    if kind in ("line", "dots"):
        colour = _colour(reader, palette, characters)
        width = _coordinate(reader, reader.word("line width"), "line width")
        if width <= 0:
            reader.fail("a line needs a positive width")
        return Shape(kind, colour, width, _points(reader, 2))
    if kind == "unclip":
        reader.end()
        return Shape(kind)
    reader.fail(f"unknown shape {kind!r}")


def _check_clips(path, shapes):
    open_clip = False
    for shape in shapes:
        if shape.kind in ("clip", "unclip"):
            if open_clip == (shape.kind == "clip"):
                raise TableError(f"{path}: clip and unclip must alternate, without nesting")
            open_clip = shape.kind == "clip"
    if open_clip:
        raise TableError(f"{path}: a clip has no unclip")


def read_tables(path, ids_path=None):
    path = Path(path)
    ids_path = Path(ids_path) if ids_path else path.parent / "resource_ids.h"
    ids = read_resource_ids(ids_path)
    tables = Tables(sources=[path, ids_path])
    current = None
    for where, tokens in _statements(path):
        reader = _Reader(where, tokens)
        keyword = reader.word("keyword")
        if keyword == "end":
            if current is None:
                reader.fail("end without a dialog, version or manifest")
            current = None
        elif isinstance(current, Dialog):
            _dialog_statement(reader, keyword, current, ids, tables.texts)
        elif isinstance(current, Version):
            _version_statement(reader, keyword, current, tables.texts)
        elif isinstance(current, Manifest):
            _manifest_statement(reader, keyword, current)
        elif keyword == "language":
            tables.language = reader.number("language", 1, 0xFFFF)
        elif keyword == "text":
            name = reader.word("text name")
            tables.texts[name] = reader.quoted("text")
        elif keyword == "icon":
            icon_id = _resolve_id(reader, ids, "icon id")
            icon_path = path.parent / reader.word("icon file")
            tables.icon = read_icon(icon_path, icon_id)
            tables.sources.append(icon_path)
        elif keyword == "dialog":
            name = reader.word("dialog id")
            reader.position -= 1
            current = Dialog(_resolve_id(reader, ids, "dialog id"), name)
            tables.dialogs.append(current)
        elif keyword == "version":
            current = Version(reader.number("version resource id", 1, 0xFFFF))
            tables.version = current
        elif keyword == "manifest":
            current = Manifest(reader.number("manifest resource id", 1, 0xFFFF))
            tables.manifest = current
        else:
            reader.fail(f"unknown keyword {keyword!r}")
        reader.end()
    if current is not None:
        raise TableError(f"{path}: the last dialog, version or manifest has no end")
    for dialog in tables.dialogs:
        if not dialog.font_face or not dialog.controls:
            raise TableError(f"{path}: dialog {dialog.name} needs a font and controls")
        for control in dialog.controls:
            if control.icon and (tables.icon is None or control.icon != tables.icon.id):
                raise TableError(f"{path}: dialog {dialog.name} shows an icon not defined here")
    if not tables.language or None in (tables.icon, tables.version, tables.manifest):
        raise TableError(f"{path}: language, icon, version and manifest are all needed")
    manifest = tables.manifest
    if not (manifest.name and manifest.supported_os and manifest.dependency and
            manifest.execution_level and manifest.dpi_aware and manifest.gdi_scaling):
        raise TableError(f"{path}: the manifest needs identity, supportedos, dependency, "
                         "executionlevel, dpiaware and gdiscaling")
    return tables


def _dialog_statement(reader, keyword, dialog, ids, texts):
    if keyword == "caption":
        dialog.caption = reader.quoted("caption")
    elif keyword == "style":
        dialog.style = reader.number("style", 0, 0xFFFFFFFF)
    elif keyword == "rect":
        dialog.rect = tuple(reader.number(n, -32768, 32767) for n in ("x", "y", "width", "height"))
    elif keyword == "font":
        dialog.font_size = reader.number("point size", 1, 0xFFFF)
        dialog.font_face = reader.quoted("face name")
    elif keyword == "control":
        control_id = _resolve_id(reader, ids, "control id", allow_static=True)
        class_name = reader.word("class")
        style = reader.number("style", 0, 0xFFFFFFFF)
        x, y, width, height = (reader.number(n, -32768, 32767)
                               for n in ("x", "y", "width", "height"))
        control = Control(control_id, class_name, style, x, y, width, height)
        kind, value = reader.next("text")
        if (kind, value) == ("word", "icon"):
            control.icon = _resolve_id(reader, ids, "icon id")
        else:
            reader.position -= 1
            control.text = _text(reader, texts, "text")
        dialog.controls.append(control)
    else:
        reader.fail(f"unknown dialog keyword {keyword!r}")


def _version_statement(reader, keyword, version, texts):
    if keyword in ("fileversion", "productversion"):
        numbers = tuple(reader.number("version part", 0, 0xFFFF) for _ in range(4))
        if keyword == "fileversion":
            version.file_version = numbers
        else:
            version.product_version = numbers
    elif keyword == "block":
        version.block = reader.quoted("block name")
        if not re.fullmatch(r"[0-9a-fA-F]{8}", version.block):
            reader.fail("a block name is 8 hexadecimal digits")
    elif keyword == "value":
        name = reader.word("value name")
        version.values.append((name, _text(reader, texts, "value")))
    elif keyword == "translation":
        version.translation = (reader.number("language", 0, 0xFFFF),
                               reader.number("code page", 0, 0xFFFF))
    else:
        reader.fail(f"unknown version keyword {keyword!r}")


_ASSEMBLY_VERSION = re.compile(r"\d{1,5}(\.\d{1,5}){3}")
_GUID = re.compile(r"\{[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\}")


def _assembly_version(reader):
    value = reader.word("assembly version")
    if not _ASSEMBLY_VERSION.fullmatch(value):
        reader.fail(f"assembly version {value!r} is not four dotted numbers")
    return value


def _choice(reader, what, choices):
    value = reader.word(what)
    if value not in choices:
        reader.fail(f"{what} {value!r} is none of {', '.join(choices)}")
    return value


def _manifest_statement(reader, keyword, manifest):
    if keyword == "identity":
        manifest.name = reader.quoted("assembly name")
        manifest.version = _assembly_version(reader)
    elif keyword == "description":
        manifest.description = reader.quoted("description")
    elif keyword == "supportedos":
        guid = reader.word("operating system id")
        if not _GUID.fullmatch(guid):
            reader.fail(f"{guid!r} is not a lower-case GUID in braces")
        manifest.supported_os.append((guid, reader.quoted("operating system name")))
    elif keyword == "dependency":
        name = reader.quoted("assembly name")
        version = _assembly_version(reader)
        token = reader.word("public key token")
        if not re.fullmatch(r"[0-9a-f]{16}", token):
            reader.fail(f"public key token {token!r} is not 16 hexadecimal digits")
        manifest.dependency = (name, version, token)
    elif keyword == "executionlevel":
        manifest.execution_level = _choice(reader, "execution level",
                                           ("asInvoker", "highestAvailable",
                                            "requireAdministrator"))
    elif keyword == "dpiaware":
        manifest.dpi_aware = _choice(reader, "dpiaware", ("false", "true", "true/pm"))
    elif keyword == "gdiscaling":
        manifest.gdi_scaling = _choice(reader, "gdiscaling", ("false", "true"))
    else:
        reader.fail(f"unknown manifest keyword {keyword!r}")
