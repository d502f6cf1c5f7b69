#!/usr/bin/env python3
"""Fails when a file includes a header it may not use.

Reads the layer map the build writes (every library and program: its folder,
whether it uses Qt, its files and what it links) and checks each quoted
include of every C++ file in the product folders:

- by folder: a folder includes only itself, resources/ and the folders before
  it in the order of cmake/TavolixLayers.cmake;
- by target: a file includes only headers of its own target and of the
  targets it links, directly or through others;
- a target built without Qt includes no Qt header;
- no two units of a folder include each other, however indirectly (a unit
  is a header and its .cpp; "NameInternal.h" is a private part of Name).

Also fails on a product file that belongs to no target. With --without-gui (a
build without the windows) files of no target are passed over.
"""
import pathlib
import re
import sys



def read_folder_order() -> list:
    """The layers, lowest first, as cmake/TavolixLayers.cmake lists them (one list for both)."""
    cmake = pathlib.Path(__file__).resolve().parents[2] / "cmake" / "TavolixLayers.cmake"
    found = re.search(r"set\(TAVOLIX_FOLDER_ORDER\s+([^)]*?)\s+CACHE", cmake.read_text(encoding="utf-8"))
    if not found:
        sys.exit(f"{cmake}: no TAVOLIX_FOLDER_ORDER")
    return found.group(1).split()


FOLDER_ORDER = read_folder_order()
ALWAYS_ALLOWED = {"resources"}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)


def folder_may_include(folder: str, other: str) -> bool:
    if other == folder or other in ALWAYS_ALLOWED:
        return True
    if folder not in FOLDER_ORDER or other not in FOLDER_ORDER:
        return False
    return FOLDER_ORDER.index(other) < FOLDER_ORDER.index(folder)


def read_map(layer_map: str, root: pathlib.Path):
    """Targets by name (folder, no_qt, links) and the target of every file."""
    targets = {}
    target_of = {}
    for line in pathlib.Path(layer_map).read_text().splitlines():
        if not line.strip():
            continue
        name, folder, no_qt, source_dir, files, links = line.split("\t")
        targets[name] = {"folder": folder, "no_qt": no_qt == "NO_QT",
                         "links": [l for l in links.split(";") if l]}
        for f in files.split(";"):
            p = pathlib.Path(f)
            p = (p if p.is_absolute() else pathlib.Path(source_dir) / p).resolve()
            if p.suffix in (".h", ".cpp") and root in p.parents:
                target_of[p.relative_to(root).as_posix()] = name
    return targets, target_of


def reachable(targets: dict, start: str) -> set:
    seen = {start}
    todo = [start]
    while todo:
        for link in targets[todo.pop()]["links"]:
            # $<LINK_ONLY:x> and the like name x inside.
            name = re.sub(r"^(\$<[A-Z_]+:)+", "", link).rstrip(">")
            if name in targets and name not in seen:
                seen.add(name)
                todo.append(name)
    return seen


def unit_of(path: str) -> str:
    stem = pathlib.PurePosixPath(path).stem
    return stem[: -len("Internal")] if stem.endswith("Internal") and stem != "Internal" else stem


def unit_loops(folder: str, includes: dict) -> list:
    """The loops among a folder's units, each as its sorted unit names."""
    graph = {}
    for rel, names in includes.items():
        unit = unit_of(rel)
        graph.setdefault(unit, set())
        for name in names:
            if name.startswith(folder + "/") and unit_of(name) != unit:
                graph[unit].add(unit_of(name))
                graph.setdefault(unit_of(name), set())
    # Tarjan's strongly connected components; a component of two or more is a loop.
    index, low, stack, on_stack, loops = {}, {}, [], set(), []

    def visit(v):
        index[v] = low[v] = len(index)
        stack.append(v)
        on_stack.add(v)
        for w in sorted(graph[v]):
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on_stack:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            component = []
            while True:
                w = stack.pop()
                on_stack.discard(w)
                component.append(w)
                if w == v:
                    break
            if len(component) > 1:
                loops.append(sorted(component))

    for v in sorted(graph):
        if v not in index:
            visit(v)
    return loops


def problems_of(root: pathlib.Path, targets: dict, target_of: dict, all_built: bool) -> list:
    problems = []
    for target, info in targets.items():
        if info["folder"] not in FOLDER_ORDER and info["folder"] not in ALWAYS_ALLOWED:
            problems.append(f"target {target} lives in {info['folder']}/, which is in no layer")
    for folder in FOLDER_ORDER:
        includes = {}
        for path in sorted((root / folder).glob("*")):
            if path.suffix not in (".h", ".cpp"):
                continue
            rel = path.relative_to(root).as_posix()
            target = target_of.get(rel)
            if target is None:
                # Without the GUI its files are in no target; only the others are checked.
                if all_built:
                    problems.append(f"{rel}: belongs to no library or program")
                continue
            seen = reachable(targets, target)
            found = INCLUDE.findall(path.read_text(encoding="utf-8"))
            includes[rel] = [name for kind, name in found if kind == '"']
            for kind, name in found:
                if kind == "<":
                    if targets[target]["no_qt"] and name.startswith("Q"):
                        problems.append(f"{rel}: {target} is built without Qt and includes <{name}>")
                    continue
                if "/" not in name:
                    continue
                other_folder = name.split("/", 1)[0]
                if not folder_may_include(folder, other_folder):
                    problems.append(f'{rel}: folder {folder}/ may not include "{name}" ({other_folder}/ is not below it)')
                    continue
                owner = target_of.get(name)
                if owner is None:
                    problems.append(f'{rel}: includes "{name}", which is in no target')
                elif owner not in seen:
                    problems.append(f'{rel}: {target} includes "{name}" of {owner}, which it does not link')
        for loop in unit_loops(folder, includes):
            problems.append(f"{folder}/: the units {', '.join(loop)} include each other")
    return problems


def main(layer_map: str, source_root: str, all_built: bool) -> int:
    root = pathlib.Path(source_root).resolve()
    targets, target_of = read_map(layer_map, root)
    problems = problems_of(root, targets, target_of, all_built)
    for p in problems:
        print(p)
    print(f"{len(target_of)} files of {len(targets)} targets checked, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2], "--without-gui" not in sys.argv[3:]))
