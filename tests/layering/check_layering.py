#!/usr/bin/env python3
"""Fails when a product folder includes a header from a folder above it or beside it.

The layers, bottom first; a folder may include its own headers and those of any layer
below its own, never one of its own layer's other folders nor one above:

    host, log            the game's records and entry points; the log file
    settings, aimpoint   the tunables; the aim-point table
    targeting            the lock, the scan, the commands, the geometry
    ui                   the marker menu
    patches, tracking    the changes to the game's code; the per-frame update
    plugin               the script extender's entry points, the switch-on

Usage: check_layering.py SOURCE_DIR
"""
import pathlib
import re
import sys

LAYERS = [
    ["host", "log"],
    ["settings", "aimpoint"],
    ["targeting"],
    ["ui"],
    ["patches", "tracking"],
    ["plugin"],
]
LAYER_OF = {folder: level for level, folders in enumerate(LAYERS) for folder in folders}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^/"]+)/[^"]+"', re.MULTILINE)


def violations(root):
    found = []
    for folder, level in LAYER_OF.items():
        for path in sorted((root / folder).rglob("*")):
            if path.suffix not in (".h", ".cpp", ".S"):
                continue
            for match in INCLUDE.finditer(path.read_text(encoding="utf-8", errors="replace")):
                target = match.group(1)
                if target == folder or target not in LAYER_OF:
                    continue
                if LAYER_OF[target] >= level:
                    where = "above" if LAYER_OF[target] > level else "beside"
                    line = path.read_text(encoding="utf-8", errors="replace")[: match.start()].count("\n") + 1
                    found.append(f"{path.relative_to(root)}:{line}: includes {target}/, which is {where} {folder}/")
    return found


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    root = pathlib.Path(sys.argv[1])
    missing = [folder for folder in LAYER_OF if not (root / folder).is_dir()]
    if missing:
        print("check_layering: no such folder: " + ", ".join(missing), file=sys.stderr)
        return 2
    found = violations(root)
    for line in found:
        print(line)
    if found:
        print(f"check_layering: {len(found)} include(s) reach up or across the layers")
        return 1
    print("check_layering: every include reaches down")
    return 0


if __name__ == "__main__":
    sys.exit(main())
