#!/usr/bin/env python3
"""Fails when a folder of src/ includes a header of a layer above it, or when
any folder but src/platform includes a header of SDL2, OpenGL, assimp or
fontconfig.

    check_layers.py SRC_DIR

The build already refuses most of this (each layer's targets see only the
folders below them); this check also covers headers that every target can
see, such as <GL/gl.h>, and says what is wrong in one list.
"""

import pathlib
import re
import sys

# The engine, bottom up: each layer may include itself and the layers before it.
ENGINE = ["base", "math", "device", "gp", "node", "world", "experiment"]
ALLOWED = {layer: set(ENGINE[: i + 1]) for i, layer in enumerate(ENGINE)}
# Checkpoints and traces sit on the whole engine; the API (a gene, a run) on
# checkpoints; the evolutionary search on the API; the headless runner on all.
ALLOWED["record"] = set(ENGINE) | {"record"}
ALLOWED["api"] = set(ENGINE) | {"record", "api"}
ALLOWED["evolve"] = set(ENGINE) | {"api", "evolve"}
ALLOWED["sim"] = set(ENGINE) | {"record", "api", "evolve", "sim"}
# The window side: the desktop on the drawing interface, the scene on the
# desktop, the shell on everything but the headless runner.
ALLOWED["platform"] = {"base", "math", "device", "platform"}
ALLOWED["render"] = ALLOWED["platform"] | {"render"}
ALLOWED["shell"] = set(ENGINE) | {"record", "api", "platform", "render", "shell"}

# Headers of the libraries only src/platform may use.
DESKTOP_HEADER = re.compile(r"^(SDL[\w.]*|SDL2/.*|GL/.*|assimp/.*|fontconfig/.*|X11/.*)$")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def problems(src):
    found = []
    for folder in sorted(p for p in src.iterdir() if p.is_dir()):
        layer = folder.name
        if layer not in ALLOWED:
            found.append(f"src/{layer}/ is no known layer: add it to {pathlib.Path(__file__).name}")
            continue
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
                elif DESKTOP_HEADER.match(header) and layer != "platform":
                    found.append(f"{where}: only src/platform may include <{header}>")
    return found


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    found = problems(pathlib.Path(sys.argv[1]).resolve())
    for problem in found:
        print(problem)
    if found:
        sys.exit(f"{len(found)} include(s) break the layers")
    print("every include respects the layers")


if __name__ == "__main__":
    main()
