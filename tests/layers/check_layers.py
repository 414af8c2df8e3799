#!/usr/bin/env python3
"""Fails when a folder of src/ includes a header of a layer it may not use
(sim and evolve none of world/: they read a run through api), when any folder but src/platform includes a header of SDL2, OpenGL, assimp or
fontconfig, when a layer below the programs includes CLI11 or toml++, or
when a layer's CMake target links other layers than the table
below says.

    check_layers.py SRC_DIR

The build already refuses most of this (each layer's targets see only the
folders of the layers they link); this check also covers headers that every
target can see, such as <GL/gl.h>, says what is wrong in one list, and keeps
the table of layers (also in README.md) and the CMake files saying the same.
"""

import pathlib
import re
import sys

# The layers each layer links, as DEPENDS in src/LAYER/CMakeLists.txt: the
# engine bottom up (math and gp side by side below node), then the records on
# the whole engine, the API (a gene, a run) on the records, the search on the
# API, the command line both programs share on the API, and the headless
# runner on the search and the command line; the window
# side: the desktop on the drawing interface, the scene on the desktop, the
# shell on the scene, the API (a live run is a Run) and the command line, and
# on experiment and record itself, since it draws and steers the run's driver
# and writes its live trace. A layer may include
# itself and every layer it links, directly or through another, but for the
# layers another links privately (PRIVATE): api links the engine so, and a
# layer above it includes an engine layer only when it links that layer itself.
LINKS = {
    "base": set(),
    "math": set(),
    "device": {"math", "base"},
    "gp": {"base"},
    "node": {"gp", "device", "math", "base"},
    "world": {"node"},
    "experiment": {"world"},
    "record": {"experiment"},
    "share": {"record"},
    "api": {"gp", "math", "base", "record", "share"},
    "evolve": {"api", "gp"},
    "cli": {"api"},
    "sim": {"evolve", "api", "cli", "record", "share"},
    "platform": {"device", "math", "base"},
    "render": {"platform"},
    "shell": {"render", "api", "experiment", "record", "cli"},
}


# The layers each layer links as PRIVATE_DEPENDS: hidden from those that link it.
PRIVATE = {"api": {"record", "share"}}


def may_use(layer):
    allowed, todo = {layer}, [layer]
    while todo:
        at = todo.pop()
        hidden = PRIVATE.get(at, set()) if at != layer else set()
        for used in LINKS[at] - hidden:
            if used not in allowed:
                allowed.add(used)
                todo.append(used)
    return allowed


ALLOWED = {layer: may_use(layer) for layer in LINKS}

# Layers that link the engine (a run is made of it) but read a world only
# through api's Run and Frame: they include none of these.
THROUGH_API = {"evolve": {"world"}, "cli": {"world"}, "sim": {"world"}}

# Headers of the libraries only src/platform may use.
DESKTOP_HEADER = re.compile(r"^(SDL[\w.]*|SDL2/.*|GL/.*|assimp/.*|fontconfig/.*|X11/.*)$")
# Headers of the command-line libraries: the programs parse their command
# lines and physics files; the engine takes the values parsed.
COMMAND_LINE_HEADER = re.compile(r"^(CLI/.*|toml\+\+/.*)$")
COMMAND_LINE_LAYERS = {"cli", "sim", "shell"}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
LAYER_CALL = re.compile(r"qm_add_layer\(\s*(\w+)([^)]*)\)", re.S)
KEYWORDS = {"ENGINE", "SOURCES", "DEPENDS", "PRIVATE_DEPENDS"}


def cmake_links(cmake_file):
    """The layer named in the file's qm_add_layer and the layers (qm_*) it
    lists under DEPENDS or PRIVATE_DEPENDS, and those under PRIVATE_DEPENDS
    alone; None when it names none."""
    text = "\n".join(line.split("#", 1)[0] for line in cmake_file.read_text(encoding="utf-8").splitlines())
    match = LAYER_CALL.search(text)
    if not match:
        return None
    name, arguments = match.groups()
    links, hidden, section = set(), set(), None
    for word in arguments.split():
        if word in KEYWORDS:
            section = word
        elif section in ("DEPENDS", "PRIVATE_DEPENDS") and word.startswith("qm_"):
            links.add(word[len("qm_"):])
            if section == "PRIVATE_DEPENDS":
                hidden.add(word[len("qm_"):])
    return name, links, hidden


def link_problems(folder):
    layer = folder.name
    cmake_file = folder / "CMakeLists.txt"
    where = f"src/{layer}/CMakeLists.txt"
    found = cmake_links(cmake_file) if cmake_file.exists() else None
    if found is None:
        return [f"{where}: no qm_add_layer({layer} ...)"]
    name, links, hidden = found
    if name != layer:
        return [f"{where}: qm_add_layer({name} ...) in the folder of {layer}"]
    if links != LINKS[layer]:
        table = ", ".join(sorted(LINKS[layer])) or "no layer"
        cmake = ", ".join(sorted(links)) or "no layer"
        return [f"{where}: qm_{layer} links {cmake}; {pathlib.Path(__file__).name} says {table}"]
    if hidden != PRIVATE.get(layer, set()):
        table = ", ".join(sorted(PRIVATE.get(layer, set()))) or "no layer"
        cmake = ", ".join(sorted(hidden)) or "no layer"
        return [f"{where}: qm_{layer} links {cmake} privately; {pathlib.Path(__file__).name} says {table}"]
    return []


def problems(src):
    found = []
    for folder in sorted(p for p in src.iterdir() if p.is_dir()):
        layer = folder.name
        if layer not in ALLOWED:
            found.append(f"src/{layer}/ is no known layer: add it to {pathlib.Path(__file__).name}")
            continue
        found += link_problems(folder)
        for path in sorted(folder.rglob("*")):
            if path.suffix not in (".h", ".hpp", ".cpp"):
                continue
            for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                quote, header = match.groups()
                where = f"{path.relative_to(src.parent)}:{number}"
                if quote == '"':
                    used = header.split("/", 1)[0] if "/" in header else None
                    if used is None:
                        found.append(f'{where}: include "{header}" by its folder ("{layer}/{header}")')
                    elif used not in ALLOWED[layer]:
                        found.append(f'{where}: {layer} may not include "{header}" ({used} is not below it)')
                    elif used in THROUGH_API.get(layer, ()):
                        found.append(f'{where}: {layer} reads a world through api (Run::View), not "{header}"')
                elif DESKTOP_HEADER.match(header) and layer != "platform":
                    found.append(f"{where}: only src/platform may include <{header}>")
                elif COMMAND_LINE_HEADER.match(header) and layer not in COMMAND_LINE_LAYERS:
                    found.append(f"{where}: only the programs' layers (cli, sim, shell) may include <{header}>")
    return found


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    found = problems(pathlib.Path(sys.argv[1]).resolve())
    for problem in found:
        print(problem)
    if found:
        sys.exit(f"{len(found)} problem(s) with the layers")
    print("every include and every link respects the layers")


if __name__ == "__main__":
    main()
