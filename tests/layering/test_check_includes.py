#!/usr/bin/env python3
"""The include check finds each kind of break, and passes a tree that keeps the rules."""
import pathlib
import sys
import tempfile
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).parent))
import check_includes  # noqa: E402


class CheckIncludes(unittest.TestCase):
    def tree(self, files: dict, targets: list) -> list:
        with tempfile.TemporaryDirectory() as d:
            root = pathlib.Path(d).resolve()
            for rel, text in files.items():
                (root / rel).parent.mkdir(parents=True, exist_ok=True)
                (root / rel).write_text(text)
            lines = []
            for name, folder, no_qt, sources, links in targets:
                lines.append("\t".join([name, folder, "NO_QT" if no_qt else "-", str(root / folder),
                                        ";".join(sources), ";".join(links)]))
            (root / "layers.txt").write_text("\n".join(lines) + "\n")
            targets_, target_of = check_includes.read_map(str(root / "layers.txt"), root)
            return check_includes.problems_of(root, targets_, target_of, True)

    TARGETS = [
        ("t_platform", "platform", True, ["P.h"], []),
        ("t_search", "search", True, ["S.h", "S.cpp", "SInternal.h", "T.h"], ["t_platform"]),
        ("t_search_gui", "search", False, ["Box.h"], ["t_search", "Qt6::Widgets"]),
        ("t_pages", "pages", True, ["Pg.cpp"], ["$<LINK_ONLY:t_search>"]),
    ]

    def test_a_tree_that_keeps_the_rules_passes(self):
        files = {"platform/P.h": "", "search/S.h": '#include "platform/P.h"\n',
                 "search/S.cpp": '#include "search/S.h"\n#include "search/SInternal.h"\n',
                 "search/SInternal.h": '#include "search/S.h"\n', "search/T.h": '#include "search/S.h"\n',
                 "search/Box.h": "#include <QWidget>\n#include \"search/S.h\"\n",
                 "pages/Pg.cpp": '#include "platform/P.h"\n#include "search/S.h"\n'}
        self.assertEqual(self.tree(files, self.TARGETS), [])

    def test_each_break_is_named(self):
        cases = {
            "a folder reaching up": {"platform/P.h": '#include "search/S.h"\n'},
            "a target reaching a header it does not link": {"pages/Pg.cpp": '#include "search/Box.h"\n'},
            "Qt in a target built without it": {"search/S.cpp": "#include <QString>\n"},
            "units including each other": {"search/S.cpp": '#include "search/T.h"\n',
                                           "search/T.h": '#include "search/S.h"\n'},
        }
        for what, broken in cases.items():
            with self.subTest(what):
                files = {"platform/P.h": "", "search/S.h": "", "search/S.cpp": "", "search/Box.h": "",
                         "pages/Pg.cpp": ""}
                files.update(broken)
                self.assertEqual(len(self.tree(files, self.TARGETS)), 1, what)

    def test_a_file_of_no_target_is_named(self):
        files = {"platform/P.h": "", "platform/Stray.cpp": "", "search/S.h": "", "search/S.cpp": "",
                 "search/Box.h": "", "pages/Pg.cpp": ""}
        self.assertEqual(len(self.tree(files, self.TARGETS)), 1)


if __name__ == "__main__":
    unittest.main()
