#!/usr/bin/env python3
"""Times the walk's filters against the plain walk of the same key.

For each case, warm cache, alternating:
  plain:    tavolix-page --count DIR KEY
  filtered: tavolix-page --count FILTERS DIR KEY
and prints the medians of wall and CPU time and their ratios. Before timing,
checks that the filtered hits are the plain hits filtered afterwards (sizes
and times from --json; the kinds are left to the unit tests).

The case "keeps all" passes every file through every test of the filter and
drops none, so its ratio is the filters' own cost; the others also show what
dropping hits early (and not stat'ing names the kinds reject) saves.
"""
import argparse
import json
import os
import resource
import statistics
import subprocess
import sys
import tempfile
import time
from datetime import datetime

DAY = 86400
YEAR = 31557600  # as the durations count it


def _epoch(iso):
    return datetime.fromisoformat(iso).timestamp() if iso else None


# name, key, filter arguments, what the filter takes of a --json hit (None:
# not checked here, as the kinds).
CASES = [
    ("keeps all", "*", ["--size", "+0", "--changed-within", "1000y"],
     lambda h, now: h["mtime"] is not None and _epoch(h["mtime"]) >= now - 1000 * YEAR),
    ("size", "*", ["--size", "+4k"], lambda h, now: h["size"] >= 4000),
    ("size and time", "*", ["--size", "+4k", "--size", "-1M", "--changed-within", "3650d",
                            "--changed-before", "1d"],
     lambda h, now: 4000 <= h["size"] <= 1000000 and h["mtime"] is not None and
     now - 3650 * DAY <= _epoch(h["mtime"]) < now - DAY),
    ("kinds", "*", ["--type", "pictures", "--type", "documents"], None),
    ("size, *.gif", "*.gif", ["--size", "+1k"], lambda h, now: h["size"] >= 1000),
]


def run(cmd):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    t0 = time.perf_counter()
    out = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, check=False).stdout
    wall = time.perf_counter() - t0
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime
    return wall, cpu, out


def hits(cmd):
    return [json.loads(line) for line in run(cmd)[2].splitlines() if line]


def main():
    ap = argparse.ArgumentParser()
    here = os.path.dirname(os.path.abspath(__file__))
    ap.add_argument("tree")
    ap.add_argument("--tavolix-page", default=os.path.join(here, "..", "build-bench", "cli", "tavolix-page"))
    ap.add_argument("--threads", help="passed as --threads N")
    ap.add_argument("--rounds", type=int, default=9)
    ap.add_argument("--no-check", action="store_true")
    a = ap.parse_args()

    # No [Search] choices of the user's settings file may take part.
    os.environ["TAVOLIX_SETTINGS"] = os.path.join(tempfile.gettempdir(), "tavolix-bench-none.INI")
    tp = a.tavolix_page
    threads = ["--threads", a.threads] if a.threads else []
    ok = True
    for name, key, extra, takes in CASES:
        if not a.no_check and takes:
            # A moment before the runs: a file changed between would differ.
            now = time.time()
            plain = hits([tp, "--json"] + threads + [a.tree, key])
            filtered = {h["path"] for h in hits([tp, "--json"] + threads + extra + [a.tree, key])}
            wanted = {h["path"] for h in plain if takes(h, now)}
            ok = ok and wanted == filtered
            print(f"{name}: {len(filtered)} of {len(plain)} hits, "
                  f"{'as filtered afterwards' if wanted == filtered else 'DIFFER'}")
        cmds = {"plain": [tp, "--count"] + threads + [a.tree, key],
                "filtered": [tp, "--count"] + threads + extra + [a.tree, key]}
        for cmd in cmds.values():  # warm the cache
            run(cmd)
        wall = {k: [] for k in cmds}
        cpu = {k: [] for k in cmds}
        for r in range(a.rounds):
            order = list(cmds.items())
            if r % 2:
                order.reverse()
            for k, cmd in order:
                w, c, _ = run(cmd)
                wall[k].append(w)
                cpu[k].append(c)
        mw = {k: statistics.median(v) for k, v in wall.items()}
        mc = {k: statistics.median(v) for k, v in cpu.items()}
        print(f"{name} ({key} {' '.join(extra)}):")
        for k in cmds:
            print(f"  {k:9s} wall {mw[k] * 1000:8.1f} ms  cpu {mc[k] * 1000:8.1f} ms")
        print(f"  ratio filtered / plain: wall {mw['filtered'] / mw['plain']:.3f}, "
              f"cpu {mc['filtered'] / mc['plain']:.3f}")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
