#!/usr/bin/env python3
"""Checks the icon files the build generated for the Linux desktop.

Usage: check_icon_images.py TABLES GENERATED_FOLDER

- kivo-16.png and kivo-32.png are the icon images as drawn, pixel for pixel.
- kivo.svg is well-formed SVG spanning the drawing's square.
- kivo-48.png, kivo-64.png and kivo-128.png have their size and show the same
  icon as the 32-pixel image: wherever that image is one colour over a whole
  3 x 3 block of pixels, the rendered image has that colour at the block's
  centre. Edges are left out, where the drawing is smooth and the pixels are
  not; so are a few places where the drawing follows the graph's line more
  loosely than the pixels do.
"""

import struct
import sys
import xml.etree.ElementTree as ElementTree
import zlib
from pathlib import Path

HERE = Path(__file__).resolve().parent
# Nothing compiled may land beside the sources.
sys.dont_write_bytecode = True
sys.path.insert(0, str(HERE.parents[1] / "resources" / "tools"))
import resource_tables  # noqa: E402

RENDERED_SIZES = (48, 64, 128)
# How far a rendered colour may stray, per channel, from the drawn one.
TOLERANCE = 40
# Blocks where the drawing may differ from the 32-pixel image, at most.
ALLOWED_DIFFERENCES = 0.02


class PngError(Exception):
    pass


def _paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def read_png(data):
    """(width, height, rows of (r, g, b, a)) of an 8-bit RGBA PNG."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise PngError("no PNG signature")
    position, header, compressed = 8, None, b""
    while position + 8 <= len(data):
        length, kind = struct.unpack_from(">I4s", data, position)
        body = data[position + 8:position + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            compressed += body
        position += 12 + length
    if header is None:
        raise PngError("no IHDR chunk")
    width, height, depth, colour_type, _, _, interlace = header
    if (depth, colour_type, interlace) != (8, 6, 0):
        raise PngError(f"depth {depth}, colour type {colour_type}, interlace {interlace}: "
                       "expected 8-bit RGBA, not interlaced")
    raw = zlib.decompress(compressed)
    stride = width * 4
    if len(raw) != height * (stride + 1):
        raise PngError(f"{len(raw)} bytes of pixels, expected {height * (stride + 1)}")
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - 4] if i >= 4 else 0
            up = previous[i]
            corner = previous[i - 4] if i >= 4 else 0
            predictor = (0, left, up, (left + up) // 2, _paeth(left, up, corner))[kind]
            line[i] = (line[i] + predictor) & 0xFF
        rows.append([tuple(line[x * 4:x * 4 + 4]) for x in range(width)])
        previous = line
    return width, height, rows


def _argb_rows(icon, image):
    pixels = icon.argb(image)
    return [[(p >> 16 & 0xFF, p >> 8 & 0xFF, p & 0xFF, p >> 24 & 0xFF)
             for p in pixels[y * image.size:(y + 1) * image.size]] for y in range(image.size)]


def _check_drawn(icon, folder, problems):
    for image in icon.images:
        name = f"kivo-{image.size}.png"
        width, height, rows = read_png((folder / name).read_bytes())
        if (width, height) != (image.size, image.size) or rows != _argb_rows(icon, image):
            problems.append(f"{name}: not the {image.size}-pixel image as drawn")


def _check_svg(drawing, folder, problems):
    root = ElementTree.parse(folder / "kivo.svg").getroot()
    if root.tag != "{http://www.w3.org/2000/svg}svg":
        problems.append(f"kivo.svg: root element {root.tag}, expected svg")
    view = f"0 0 {drawing.size} {drawing.size}"
    if root.get("viewBox") != view:
        problems.append(f"kivo.svg: viewBox {root.get('viewBox')!r}, expected {view!r}")


def _uniform_blocks(rows):
    """(x, y, colour) of each pixel whose 3 x 3 neighbourhood is all one colour."""
    size = len(rows)
    for y in range(1, size - 1):
        for x in range(1, size - 1):
            colour = rows[y][x]
            if all(rows[y + dy][x + dx] == colour for dy in (-1, 0, 1) for dx in (-1, 0, 1)):
                yield x, y, colour


def _close(got, want):
    if want[3] == 0:
        return got[3] < TOLERANCE  # transparent in the image: nothing drawn there
    return all(abs(g - w) <= TOLERANCE for g, w in zip(got, want))


def _check_rendered(icon, folder, problems):
    reference = next((image for image in icon.images if image.size == icon.drawing.size), None)
    if reference is None:
        problems.append(f"no {icon.drawing.size}-pixel image to compare the drawing with")
        return
    blocks = list(_uniform_blocks(_argb_rows(icon, reference)))
    for size in RENDERED_SIZES:
        name = f"kivo-{size}.png"
        try:
            width, height, rows = read_png((folder / name).read_bytes())
        except (OSError, PngError, zlib.error) as error:
            problems.append(f"{name}: {error}")
            continue
        if (width, height) != (size, size):
            problems.append(f"{name}: {width} x {height}, expected {size} x {size}")
            continue
        scale = size / reference.size
        differences = []
        for x, y, colour in blocks:
            got = rows[int((y + 0.5) * scale)][int((x + 0.5) * scale)]
            if not _close(got, colour):
                differences.append(f"({x}, {y}) is {got}, expected {colour}")
        if len(differences) > ALLOWED_DIFFERENCES * len(blocks):
            problems.append(f"{name}: {len(differences)} of {len(blocks)} blocks differ from "
                            f"the {reference.size}-pixel image: {'; '.join(differences)}")
        else:
            print(f"{name}: {len(blocks) - len(differences)} of {len(blocks)} blocks match the "
                  f"{reference.size}-pixel image")


def check(tables, folder):
    problems = []
    icon = tables.icon
    try:
        _check_drawn(icon, folder, problems)
        if icon.drawing is None:
            return problems + ["the icon has no drawing"]
        _check_svg(icon.drawing, folder, problems)
    except (OSError, PngError, zlib.error, ElementTree.ParseError) as error:
        return problems + [str(error)]
    _check_rendered(icon, folder, problems)
    return problems


def main(argv):
    if len(argv) != 3:
        sys.exit(__doc__)
    problems = check(resource_tables.read_tables(argv[1]), Path(argv[2]))
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
