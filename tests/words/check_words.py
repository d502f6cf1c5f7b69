#!/usr/bin/env python3
"""Fails on Japanese text that bypasses the catalogue.

Every C++ file of the product (each top-level folder holding .h or .cpp
files, but tests/, bench/, fuzz/ and build trees) is read; a string literal
holding Japanese (kana, CJK ideographs and punctuation, full- and half-width
forms) must be an argument of tr(), translate(), QT_TR_NOOP() or
QT_TRANSLATE_NOOP() and their kin, where lupdate finds it. The one way out
is a comment "not words:" on the literal's line, for names that are no
words (a font's family name). Comments may hold Japanese freely.

Also fails on a product folder that lupdate doesn't read (the folders given
after --lupdate-folders), since its texts would never reach the catalogue.
"""
import pathlib
import re
import sys

JAPANESE = re.compile("[\u3000-\u303f\u3040-\u30ff\u31f0-\u31ff\u3400-\u4dbf\u4e00-\u9fff\uf900-\ufaff\uff00-\uffef]")
TRANSLATING = {"tr", "translate", "QT_TR_NOOP", "QT_TR_NOOP_UTF8", "QT_TRANSLATE_NOOP", "QT_TRANSLATE_NOOP3",
               "QT_TR_N_NOOP", "QT_TRANSLATE_N_NOOP", "QT_TRANSLATE_N_NOOP3", "qtTrId", "QT_TRID_NOOP"}
NOT_PRODUCT = {"tests", "bench", "fuzz"}
MARK = "not words:"


def literals(text):
    """(line, literal text, enclosing call name) of every string literal."""
    out = []
    calls = []  # the name before each open parenthesis
    last_word = ""
    i, line, n = 0, 1, len(text)
    while i < n:
        c = text[i]
        if c == "\n":
            line += 1
            i += 1
        elif text.startswith("//", i):
            end = text.find("\n", i)
            i = n if end < 0 else end
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            line += text.count("\n", i, end)
            i = end
        elif c == '"' or (c == "R" and text.startswith('R"', i)) or (c in "uUL" and re.match(r'(u8|u|U|L)R?"', text[i:i + 4])):
            m = re.match(r'(u8|u|U|L)?(R)?"', text[i:])
            start_line = line
            if m.group(2):
                delim_end = text.index("(", i + m.end())
                delim = text[i + m.end():delim_end]
                close = text.index(")" + delim + '"', delim_end)
                body = text[delim_end + 1:close]
                end = close + len(delim) + 2
            else:
                j = i + m.end()
                while text[j] != '"':
                    j += 2 if text[j] == "\\" else 1
                body = text[i + m.end():j]
                end = j + 1
            line += text.count("\n", i, end)
            out.append((start_line, body, calls[-1] if calls else ""))
            i = end
            last_word = ""
        elif c == "'" and i > 0 and text[i - 1].isdigit() and text[i + 1:i + 2].isalnum():
            i += 1  # a digit separator (1'000)
        elif c == "'":
            j = i + 1
            while text[j] != "'":
                j += 2 if text[j] == "\\" else 1
            i = j + 1
        elif c.isalpha() or c == "_":
            m = re.match(r"[A-Za-z_0-9]+", text[i:])
            last_word = m.group(0)
            i += m.end()
        elif c == "(":
            calls.append(last_word)
            last_word = ""
            i += 1
        elif c == ")":
            if calls:
                calls.pop()
            last_word = ""
            i += 1
        else:
            if not c.isspace():
                last_word = ""
            i += 1
    return out


def main(root, lupdate_folders):
    root = pathlib.Path(root).resolve()
    problems = []
    folders = sorted(p for p in root.iterdir()
                     if p.is_dir() and not p.name.startswith((".", "build")) and p.name not in NOT_PRODUCT
                     and any(f.suffix in (".h", ".cpp") for f in p.iterdir()))
    for folder in folders:
        files = [f for f in sorted(folder.iterdir()) if f.suffix in (".h", ".cpp")]
        if folder.name not in lupdate_folders and any(JAPANESE.search(f.read_text(encoding="utf-8")) for f in files):
            problems.append(f"{folder.name}/: not among the folders lupdate reads (words/CMakeLists.txt)")
        for f in files:
            text = f.read_text(encoding="utf-8")
            lines = text.split("\n")
            for line, body, call in literals(text):
                if not JAPANESE.search(body) or call in TRANSLATING or MARK in lines[line - 1]:
                    continue
                problems.append(f"{f.relative_to(root)}:{line}: \"{body}\" is not in the catalogue "
                                f"(tr(), translate() or QT_TRANSLATE_NOOP())")
    for p in problems:
        print(p)
    print(f"{len(folders)} folders checked, {len(problems)} texts outside the catalogue")
    return 1 if problems else 0


if __name__ == "__main__":
    args = sys.argv[1:]
    sep = args.index("--lupdate-folders") if "--lupdate-folders" in args else len(args)
    sys.exit(main(args[0], set(args[sep + 1:])))
