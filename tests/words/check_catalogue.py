#!/usr/bin/env python3
"""Fails when a catalogue is not complete for the sources as they are.

Runs lupdate, as the target update_translations does, on copies of the
catalogues (the repository's stay untouched) and fails on a text that has no
finished translation (new or unfinished), on one the sources no longer have
(vanished or obsolete), and on anything lupdate warns of (a tr() whose
context it can't tell would never find its translation).

    check_catalogue.py LUPDATE SOURCE_LIST CATALOGUE.ts... -- LUPDATE_OPTIONS...
"""
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

WARNING = re.compile(r"^\S+:\d+: ")


def text_of(element):
    """The element's text, with the characters lupdate writes as <byte value="xd"/>."""
    if element is None:
        return ""
    text = element.text or ""
    for child in element:
        if child.tag == "byte":
            text += chr(int(child.get("value").lstrip("x"), 16))
        text += child.tail or ""
    return text


def check(lupdate, source_list, catalogue, options, workdir):
    copy = pathlib.Path(workdir) / catalogue.name
    shutil.copyfile(catalogue, copy)
    run = subprocess.run([lupdate, *options, "@" + str(source_list), "-ts", str(copy)],
                         capture_output=True, text=True)
    problems = []
    if run.returncode != 0:
        problems.append(f"lupdate failed ({run.returncode}):\n{run.stdout}{run.stderr}")
    for line in (run.stdout + run.stderr).splitlines():
        if WARNING.match(line):
            problems.append(f"lupdate: {line}")
    for context in ET.parse(copy).getroot().iter("context"):
        name = context.findtext("name")
        for message in context.iter("message"):
            source = text_of(message.find("source"))
            translation = message.find("translation")
            kind = translation.get("type", "") if translation is not None else "missing"
            text = text_of(translation)
            if kind in ("vanished", "obsolete"):
                problems.append(f"[{name}] {source!r}: no longer in the sources (run update_translations)")
            elif kind or not text.strip():
                problems.append(f"[{name}] {source!r}: not translated")
    return problems


def main(args):
    sep = args.index("--")
    lupdate, source_list, catalogues, options = args[0], args[1], args[2:sep], args[sep + 1:]
    failed = False
    with tempfile.TemporaryDirectory() as workdir:
        for catalogue in map(pathlib.Path, catalogues):
            problems = check(lupdate, source_list, catalogue, options, workdir)
            for p in problems:
                print(f"{catalogue.name}: {p}")
            print(f"{catalogue.name}: {len(problems)} problems")
            failed = failed or bool(problems)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
