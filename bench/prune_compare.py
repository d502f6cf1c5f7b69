#!/usr/bin/env python3
"""Times pruning a folder during the walk against walking it and filtering
the hits afterwards.

Makes (once) a seeded tree whose node_modules folder holds 90% of the files
and folders (bench/gen_tree twice), then times, warm cache, alternating:
  pruned:   tavolix-page --count --exclude node_modules DIR KEY
  filtered: tavolix-page --null DIR KEY, the hits below node_modules dropped
and prints the medians and their ratio, after checking that both give the
same number of hits.
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time


def pruned(tp, tree, key):
    out = subprocess.run([tp, "--count", "--exclude", "node_modules", tree, key], stdout=subprocess.PIPE,
                         stderr=subprocess.DEVNULL, check=False).stdout
    # " Sorted by : Name → Upword ; Total Files = 1,234 ; Size = ..."
    return int(out.decode().split("Total Files = ")[1].split(" ")[0].replace(",", ""))


def filtered(tp, tree, key):
    out = subprocess.run([tp, "--null", tree, key], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                         check=False).stdout
    return sum(1 for p in out.split(b"\0") if p and b"/node_modules/" not in p)


def main():
    ap = argparse.ArgumentParser()
    here = os.path.dirname(os.path.abspath(__file__))
    ap.add_argument("tree", help="made here when missing")
    ap.add_argument("--tavolix-page", default=os.path.join(here, "..", "build-bench", "cli", "tavolix-page"))
    ap.add_argument("--gen-tree", default=os.path.join(here, "..", "build-bench", "bench", "gen_tree"))
    ap.add_argument("--files", type=int, default=200000)
    ap.add_argument("--dirs", type=int, default=22000)
    ap.add_argument("--key", default="*.gif")
    ap.add_argument("--rounds", type=int, default=9)
    a = ap.parse_args()

    if not os.path.isdir(a.tree):
        os.makedirs(a.tree)
        for part, share, seed in [("node_modules", 0.9, 1), ("src", 0.1, 2)]:
            subprocess.run([a.gen_tree, os.path.join(a.tree, part), str(int(a.files * share)),
                            str(int(a.dirs * share)), str(seed)], check=True)

    # No [Search] choices of the user's settings file may take part.
    os.environ["TAVOLIX_SETTINGS"] = os.path.join(tempfile.gettempdir(), "tavolix-bench-none.INI")
    tp = a.tavolix_page
    hits_pruned, hits_filtered = pruned(tp, a.tree, a.key), filtered(tp, a.tree, a.key)
    print(f"hits outside node_modules: pruned {hits_pruned}, filtered {hits_filtered}"
          f" ({'same' if hits_pruned == hits_filtered else 'DIFFER'})")
    times = {"pruned": [], "filtered": []}
    runs = {"pruned": pruned, "filtered": filtered}
    for _ in range(2):  # warm the cache
        for run in runs.values():
            run(tp, a.tree, a.key)
    for r in range(a.rounds):
        order = list(runs.items())
        if r % 2:
            order.reverse()
        for name, run in order:
            t0 = time.perf_counter()
            run(tp, a.tree, a.key)
            times[name].append(time.perf_counter() - t0)
    med = {k: statistics.median(v) for k, v in times.items()}
    for k, v in med.items():
        print(f"  {k:9s} median {v * 1000:8.1f} ms  (min {min(times[k]) * 1000:.1f}, max {max(times[k]) * 1000:.1f})")
    print(f"  ratio filtered / pruned: {med['filtered'] / med['pruned']:.2f}")
    return 0 if hits_pruned == hits_filtered else 1


if __name__ == "__main__":
    sys.exit(main())
