#!/usr/bin/env python3
"""Fails when a file includes a header of a layer it may not use.

Reads the layer map the build writes (layer, folder and files of every
library and program) and checks each quoted include of every C++ file in the
product folders. Also fails on a product file that belongs to no target, and on
a Qt include in a GUI-free layer. With --without-gui (a build without the
windows) files of no target are passed over.
"""
import pathlib
import re
import sys

GUI_FREE = {"platform", "search", "pictures", "thumbs", "results", "app"}
MAY_USE = {
    "platform": set(),
    "search": {"platform"},
    "pictures": {"platform", "search"},
    "thumbs": {"platform"},
    "results": {"platform", "search", "pictures", "thumbs"},
    "app": {"platform", "search", "pictures", "thumbs", "results"},
    "words": {"platform", "search", "pictures", "thumbs", "results", "app"},
    "cli": {"platform", "search", "pictures", "thumbs", "results", "app", "words"},
    "resources": set(),
    "ui": {"platform"},
    "search-gui": {"platform", "search", "ui"},
    "pictures-gui": {"platform", "search", "pictures"},
    "thumbs-gui": {"platform", "search", "pictures", "pictures-gui", "thumbs"},
    "results-gui": {"platform", "search", "search-gui", "pictures", "pictures-gui", "thumbs", "results", "ui",
                    "words"},
    "dirtree": {"platform", "ui"},
    "app-gui": {"platform", "search", "search-gui", "pictures", "pictures-gui", "thumbs", "results", "results-gui",
                "ui", "dirtree", "app", "words"},
}
PRODUCT_FOLDERS = ["platform", "search", "pictures", "thumbs", "results", "ui", "dirtree", "app", "words", "cli"]
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)


def main(layer_map: str, source_root: str, all_built: bool) -> int:
    root = pathlib.Path(source_root).resolve()
    layer_of = {}
    for line in pathlib.Path(layer_map).read_text().splitlines():
        if not line.strip():
            continue
        layer, folder, files = line.split("\t")
        for f in files.split(";"):
            p = pathlib.Path(f)
            p = (p if p.is_absolute() else pathlib.Path(folder) / p).resolve()
            if p.suffix in (".h", ".cpp") and root in p.parents:
                layer_of[p.relative_to(root).as_posix()] = layer

    problems = []
    for folder in PRODUCT_FOLDERS:
        for path in sorted((root / folder).glob("*")):
            if path.suffix not in (".h", ".cpp"):
                continue
            rel = path.relative_to(root).as_posix()
            layer = layer_of.get(rel)
            if layer is None:
                # Without the GUI its files are in no target; only the others are checked.
                if all_built:
                    problems.append(f"{rel}: belongs to no library or program")
                continue
            for kind, name in INCLUDE.findall(path.read_text(encoding="utf-8")):
                if kind == "<":
                    if layer in GUI_FREE and name.startswith("Q"):
                        problems.append(f"{rel}: GUI-free layer {layer} includes <{name}>")
                    continue
                target = layer_of.get(name)
                if target is None:
                    if "/" in name:
                        problems.append(f'{rel}: includes "{name}", which is in no layer')
                    continue
                if target != layer and target not in MAY_USE[layer]:
                    problems.append(f'{rel}: {layer} may not include "{name}" ({target})')
    for p in problems:
        print(p)
    print(f"{len(layer_of)} files checked, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2], "--without-gui" not in sys.argv[3:]))
