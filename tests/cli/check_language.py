#!/usr/bin/env python3
"""The real tavolix-page picks its language from the environment as gettext
does: its page, its list of saved pages and its messages about the settings
file are Japanese under a Japanese locale and under C (LANGUAGE ignored
there), English under any other language without a catalogue of its own.

    check_language.py TAVOLIX-PAGE
"""
import os
import subprocess
import sys
import tempfile

JAPANESE = {"page": "編集結果</TITLE>", "saved": "\t 検索ベース = ", "error": " を読み込めません ("}
ENGLISH = {"page": " Search Results</TITLE>", "saved": "\t Searched in = ", "error": "tavolix-page: Cannot read "}
CASES = [
    ({"LC_ALL": "C.UTF-8"}, JAPANESE),
    ({"LC_ALL": "C.UTF-8", "LANGUAGE": "en"}, JAPANESE),
    ({"LANG": "ja_JP.UTF-8"}, JAPANESE),
    ({"LANG": "en_US.UTF-8"}, ENGLISH),
    ({"LANG": "de_DE.UTF-8"}, ENGLISH),
    ({"LANG": "en_US.UTF-8", "LC_MESSAGES": "ja_JP.UTF-8"}, JAPANESE),
    ({"LANG": "en_US.UTF-8", "LANGUAGE": "fr:ja"}, JAPANESE),
    ({"LANG": "ja_JP.UTF-8", "LANGUAGE": "en"}, ENGLISH),
]


def main(program):
    failures = 0
    with tempfile.TemporaryDirectory() as work:
        tree = os.path.join(work, "tree")
        os.makedirs(tree)
        with open(os.path.join(tree, "a.txt"), "w") as f:
            f.write("x")
        for n, (locale, want) in enumerate(CASES):
            env = {"PATH": "/usr/bin:/bin", "HOME": work, "TZ": "UTC", **locale}
            settings = os.path.join(work, "T%d.INI" % n)
            page = os.path.join(work, "p%d.html" % n)
            runs = {
                "page": [program, "-o", page, "--settings", settings, tree, "*.txt"],
                "saved": [program, "--saved", "--settings", settings],
                "error": [program, "--saved", "--settings", tree],
            }
            seen = {}
            for what, args in runs.items():
                run = subprocess.run(args, env=env, capture_output=True, timeout=60)
                seen[what] = (run.stdout + run.stderr).decode("utf-8", "replace")
            seen["page"] = open(page, encoding="utf-8").read() if os.path.exists(page) else ""
            for what, text in want.items():
                if text not in seen[what]:
                    print("%s: %s lacks %r:\n%s" % (locale, what, text, seen[what]))
                    failures += 1
    print("%d cases, %d failures" % (len(CASES), failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
