#!/usr/bin/env python3
"""Times `tavolix-page --count DIR '*.gif'` against find and fd on one tree.

Warm cache, several rounds, the tools alternating within each round; prints
median times and the ratios of tavolix-page to each of the others.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time


def run(cmd):
    t0 = time.perf_counter()
    out = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, check=False)
    return time.perf_counter() - t0, out.stdout


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("tree")
    ap.add_argument("--tavolix-page", default=os.path.join(os.path.dirname(__file__), "..", "build-bench", "cli", "tavolix-page"))
    ap.add_argument("--rounds", type=int, default=9)
    a = ap.parse_args()

    fd = shutil.which("fdfind") or shutil.which("fd")
    tools = {
        "tavolix-page": [a.tavolix_page, "--count", a.tree, "*.gif"],
        "find": ["find", a.tree, "-iname", "*.gif"],
    }
    if fd:
        tools["fd -u"] = [fd, "-u", "-g", "*.gif", a.tree]
        tools["fd -u -j1"] = [fd, "-u", "-j1", "-g", "*.gif", a.tree]

    # Same hits, or the race means nothing. find and tavolix-page both skip
    # nothing but tavolix-page leaves dot directories out, so compare with
    # find pruning them.
    _, ours = run(tools["tavolix-page"])
    _, theirs = run(["find", a.tree, "-name", ".*", "-type", "d", "-prune", "-o", "-type", "f", "-iname", "*.gif", "-print"])
    print("tavolix-page:", ours.decode().strip())
    print("find (dot dirs pruned):", len(theirs.splitlines()), "hits")

    times = {k: [] for k in tools}
    for _ in range(2):  # warm the cache
        for cmd in tools.values():
            run(cmd)
    for r in range(a.rounds):
        order = list(tools.items())
        if r % 2:
            order.reverse()
        for name, cmd in order:
            times[name].append(run(cmd)[0])

    med = {k: statistics.median(v) for k, v in times.items()}
    for k, v in med.items():
        print(f"{k:14s} median {v * 1000:8.1f} ms  (min {min(times[k]) * 1000:.1f}, max {max(times[k]) * 1000:.1f})")
    for k in med:
        if k != "tavolix-page":
            print(f"ratio tavolix-page / {k}: {med['tavolix-page'] / med[k]:.3f}")


if __name__ == "__main__":
    sys.exit(main())
