#!/usr/bin/env python3
"""Checks that Kivo's folders use one another only downwards.

Usage: check_layering.py ROOT [--objects SOURCE_DIR OBJECT_LIST]...

Three checks, all against the table below:
- every #include "..." of the product's sources names a file its folder may
  include;
- every call between the built objects goes from a folder to one it may use,
  so a function declared by hand to get round the includes is caught too
  (OBJECT_LIST is a ;-separated list of one library's object files, compiled
  from SOURCE_DIR, a folder relative to ROOT);
- no circle of calls joins more than two files of platform/linux, and no two
  files of app/ call each other.
Prints every breach, one a line, and exits 1 when there is any.
"""

import os
import re
import subprocess
import sys
from pathlib import Path

# Who may use whom. A key is a folder; an entry is a folder when it ends in
# "/" (its own files, not the folders under it), otherwise the start of a file
# name, so "app/app_state." is that header and the code behind it. A folder
# may always use its own files. The Linux layer, bottom to top: text; the
# readings and the store on text; and on the window side the X session,
# windows and messages, drawing, menus and dialogs, and the process entry.
LINUX = "platform/linux/"
LINUX_BASE = ["platform/", "resources/", LINUX + "text/"]
X11 = LINUX_BASE + [LINUX + "x11/"]
WINDOWS = X11 + [LINUX + "windows/"]
DRAWING = WINDOWS + [LINUX + "drawing/"]
MENUS_DIALOGS = DRAWING + [LINUX + "menus_dialogs/"]

MAY_USE = {
    "platform/": [],
    "platform/win32/": ["platform/"],
    "resources/": ["platform/"],
    LINUX + "text/": ["platform/", "resources/"],
    LINUX + "readings/": LINUX_BASE,
    LINUX + "store/": LINUX_BASE,
    LINUX + "x11/": LINUX_BASE,
    LINUX + "windows/": X11,
    LINUX + "drawing/": WINDOWS,
    LINUX + "menus_dialogs/": DRAWING,
    LINUX + "entry/": MENUS_DIALOGS + [LINUX + "readings/", LINUX + "store/"],
    "settings/": ["platform/"],
    "measure/": ["platform/"],
    "display/": ["platform/", "measure/", "settings/", "app/app_state."],
    "dialogs/": ["platform/", "settings/", "display/", "app/app_state."],
    "app/": ["platform/", "resources/", "settings/", "measure/", "display/", "dialogs/"],
}

# Where the core meets the Linux layer it is linked with: the Windows calls
# the platform headers declare. Any other call from the core into the layer
# bypasses those headers.
PLATFORM_HEADERS = "platform/*.h"

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)
SOURCE_SUFFIXES = (".h", ".cpp", ".c")


def folder_of(path):
    return path.rsplit("/", 1)[0] + "/" if "/" in path else ""


def may_use(user, used):
    folder = folder_of(user)
    if folder not in MAY_USE:
        return True  # tests, bench, tools: free to use anything
    if folder_of(used) == folder:
        return True
    for entry in MAY_USE[folder]:
        if entry.endswith("/") and folder_of(used) == entry:
            return True
        if not entry.endswith("/") and used.startswith(entry):
            return True
    return False


def product_sources(root):
    tops = sorted({folder.split("/")[0] for folder in MAY_USE})
    for top in tops:
        for path in sorted((root / top).rglob("*")):
            if path.suffix in SOURCE_SUFFIXES:
                yield path.relative_to(root).as_posix()


def include_breaches(root):
    unknown = set()
    for user in product_sources(root):
        if folder_of(user) not in MAY_USE and folder_of(user) not in unknown:
            unknown.add(folder_of(user))
            yield f"folder: {folder_of(user)} is not in the layering table"
        for included in INCLUDE.findall((root / user).read_text(errors="replace")):
            if not may_use(user, included):
                yield f"include: {user} includes {included}"


def platform_calls(root):
    names = set()
    for header in root.glob(PLATFORM_HEADERS):
        names.update(re.findall(r"\b([A-Za-z_]\w*)\s*\(", header.read_text()))
    return names


def symbols(object_file, *options):
    listing = subprocess.run(["nm", "-P", *options, object_file], check=True,
                             capture_output=True, text=True).stdout
    for line in listing.splitlines():
        name, kind = line.split()[:2]
        yield name, kind


# Template instances and inline functions are defined, weakly, by every object
# that uses them; only a strong definition says where a function lives.
def strong_definitions(object_file):
    return {name for name, kind in symbols(object_file, "--defined-only", "--extern-only")
            if kind not in "WwVvu"}


def demangled(names):
    listing = subprocess.run(["c++filt"], input="\n".join(names), check=True,
                             capture_output=True, text=True).stdout
    return dict(zip(names, listing.splitlines()))


def object_sources(arguments):
    """Maps each object file to its source, relative to ROOT."""
    sources = {}
    for source_dir, object_list in zip(arguments[0::2], arguments[1::2]):
        for object_file in filter(None, object_list.split(";")):
            inside = object_file.split(".dir/", 1)[1]
            source = os.path.normpath(os.path.join(source_dir, inside[: -len(".o")]))
            sources[object_file] = source
    return sources


def call_graph(sources):
    """Which source calls which, and through which function."""
    definer = {}
    for object_file, source in sources.items():
        for name in strong_definitions(object_file):
            definer[name] = source
    calls = {}
    for object_file, user in sources.items():
        for name, _ in symbols(object_file, "--undefined-only"):
            if name in definer and definer[name] != user:
                calls.setdefault((user, definer[name]), []).append(name)
    return calls


def is_platform_call(user, definer, name, platform_names):
    return (not user.startswith(LINUX) and definer.startswith(LINUX) and
            name.split("(")[0] in platform_names)


def call_breaches(calls, platform_names):
    shown = demangled(sorted({name for names in calls.values() for name in names}))
    for (user, definer), names in sorted(calls.items()):
        for name in sorted(shown[n] for n in names):
            if may_use(user, definer) or is_platform_call(user, definer, name, platform_names):
                continue
            yield f"call: {user} calls {name} in {definer}"


def circles(calls):
    """The strongly connected parts of the call graph (Tarjan), as sorted lists."""
    edges = {}
    for user, definer in calls:
        edges.setdefault(user, set()).add(definer)
        edges.setdefault(definer, set())
    index, low, stack, on_stack, found = {}, {}, [], set(), []

    def visit(node):
        index[node] = low[node] = len(index)
        stack.append(node)
        on_stack.add(node)
        for following in sorted(edges[node]):
            if following not in index:
                visit(following)
                low[node] = min(low[node], low[following])
            elif following in on_stack:
                low[node] = min(low[node], index[following])
        if low[node] == index[node]:
            part = []
            while not part or part[-1] != node:
                part.append(stack.pop())
                on_stack.discard(part[-1])
            if len(part) > 1:
                found.append(sorted(part))

    sys.setrecursionlimit(10000)
    for node in sorted(edges):
        if node not in index:
            visit(node)
    return sorted(found)


def circle_breaches(calls):
    for part in circles(calls):
        linux = [source for source in part if source.startswith(LINUX)]
        app = [source for source in part if source.startswith("app/")]
        if len(linux) > 2:
            yield f"circle: {len(linux)} files of {LINUX} call each other: {' '.join(linux)}"
        elif len(linux) == 2:
            print(f"note: a pair that calls each other: {' '.join(linux)}")
        if len(app) > 1:
            yield f"circle: files of app/ call each other: {' '.join(app)}"


def main(arguments):
    if len(arguments) % 3 != 1 or any(flag != "--objects" for flag in arguments[1::3]):
        sys.exit(__doc__)
    root = Path(arguments[0])
    sources = object_sources([a for i, a in enumerate(arguments[1:]) if i % 3 != 0])
    if len(arguments) > 1 and not sources:
        sys.exit("no object files given: the calls would go unchecked")
    breaches = list(include_breaches(root))
    calls = call_graph(sources)
    breaches += call_breaches(calls, platform_calls(root))
    breaches += circle_breaches(calls)
    for breach in breaches:
        print(breach)
    print(f"{len(breaches)} breaches of the layering")
    return 1 if breaches else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
