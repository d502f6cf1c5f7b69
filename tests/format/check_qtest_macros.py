#!/usr/bin/env python3
"""Fails when a test file uses a QtTest check macro (see CMakeLists.txt)."""
import pathlib
import re
import sys

PATTERN = re.compile(r"\bQ(?:TRY_)?(?:VERIFY|COMPARE)\w*\s*\(")
found = []
for path in sorted(pathlib.Path(sys.argv[1]).rglob("*")):
    if path.suffix not in (".cpp", ".h") or path.name == "TryExpect.h":
        continue
    for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
        if PATTERN.search(line):
            found.append(f"{path}:{number}: {line.strip()}")
if found:
    print("QtTest checks that GoogleTest never sees (use TRY_EXPECT / EXPECT_*):")
    print("\n".join(found))
    sys.exit(1)
