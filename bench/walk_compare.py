#!/usr/bin/env python3
"""Times `tavolix-page --count DIR '*.gif'` against find and fd on one tree.

Warm cache: several rounds, the tools alternating within each round. Cold
(--cold, as root): the page cache is dropped before every single run. Prints
median times and the ratio of tavolix-page to each of the others, and first
checks that the listing of every name is the same bytes on one thread and on
the default threads.
"""
import argparse
import hashlib
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

DROP_CACHES = "/proc/sys/vm/drop_caches"


def run(cmd):
    t0 = time.perf_counter()
    out = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, check=False)
    return time.perf_counter() - t0, out.stdout


def drop_caches():
    os.sync()
    with open(DROP_CACHES, "w") as f:
        f.write("3\n")


def can_drop_caches():
    try:
        drop_caches()
        return True
    except OSError as e:
        print(f"cold runs impossible here: {e}", file=sys.stderr)
        return False


def cpu_of_children():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime


def time_rounds(tools, rounds, before_each=None, cpu=None):
    times = {k: [] for k in tools}
    for r in range(rounds):
        order = list(tools.items())
        if r % 2:
            order.reverse()
        for name, cmd in order:
            if before_each:
                before_each()
            before = cpu_of_children()
            times[name].append(run(cmd)[0])
            if cpu is not None:
                cpu.setdefault(name, []).append(cpu_of_children() - before)
    return times


def report(title, times, ours="tavolix-page"):
    print(f"\n{title}")
    med = {k: statistics.median(v) for k, v in times.items()}
    for k, v in med.items():
        print(f"  {k:26s} median {v * 1000:8.1f} ms  (min {min(times[k]) * 1000:.1f}, max {max(times[k]) * 1000:.1f})")
    for k in med:
        if k != ours:
            print(f"  ratio {ours} / {k}: {med[ours] / med[k]:.3f}")
    return med


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("tree")
    ap.add_argument("--tavolix-page", default=os.path.join(os.path.dirname(__file__), "..", "build-bench", "cli", "tavolix-page"))
    ap.add_argument("--baseline", help="an earlier tavolix-page, timed as 'baseline' (default threads and one)")
    ap.add_argument("--key", default="*.gif")
    ap.add_argument("--rounds", type=int, default=9)
    ap.add_argument("--cold", action="store_true", help="also time with the caches dropped before each run (root)")
    ap.add_argument("--cold-rounds", type=int, default=3)
    a = ap.parse_args()

    fd = shutil.which("fdfind") or shutil.which("fd")
    if not fd:
        print("fd is not installed (Debian: apt-get install fd-find); timing without it", file=sys.stderr)
    tp = a.tavolix_page
    tools = {
        "tavolix-page": [tp, "--count", a.tree, a.key],
        "tavolix-page --threads 1": [tp, "--threads", "1", "--count", a.tree, a.key],
        "find": ["find", a.tree, "-iname", a.key],
    }
    if a.baseline:
        tools["baseline"] = [a.baseline, "--count", a.tree, a.key]
        tools["baseline --threads 1"] = [a.baseline, "--threads", "1", "--count", a.tree, a.key]
    # No [Search] choices of the user's settings file may take part.
    os.environ["TAVOLIX_SETTINGS"] = os.path.join(tempfile.gettempdir(), "tavolix-bench-none.INI")
    if fd:
        tools["fd -u"] = [fd, "-u", "-g", a.key, a.tree]
        tools["fd -u -j1"] = [fd, "-u", "-j1", "-g", a.key, a.tree]
        tools["fd -u -j8"] = [fd, "-u", "-j8", "-g", a.key, a.tree]

    # The same bytes on one thread and on many, or the race means nothing.
    _, one = run([tp, "--threads", "1", a.tree, "*"])
    _, many = run([tp, a.tree, "*"])
    same = one == many
    print(f"listing of '*': {len(one.splitlines())} lines; one thread and default threads "
          f"{'identical' if same else 'DIFFER'} (sha1 {hashlib.sha1(one).hexdigest()[:12]}"
          f"{'' if same else ' vs ' + hashlib.sha1(many).hexdigest()[:12]})")

    # Same hits: tavolix-page leaves dot directories out, so find prunes them.
    _, ours = run(tools["tavolix-page"])
    _, theirs = run(["find", a.tree, "-name", ".*", "-type", "d", "-prune", "-o", "-type", "f", "-iname", a.key, "-print"])
    print("tavolix-page:", ours.decode().strip())
    print("find (dot dirs pruned):", len(theirs.splitlines()), "hits")

    for _ in range(2):  # warm the cache
        for cmd in tools.values():
            run(cmd)
    cpu = {}
    warm = report(f"warm cache, {a.rounds} rounds", time_rounds(tools, a.rounds, cpu=cpu))
    if a.baseline:
        # CPU time (user and system) too: on a machine others share, the
        # wall time moves with their load far more.
        c = {k: statistics.median(v) for k, v in cpu.items()}
        for ours, theirs in [("tavolix-page", "baseline"), ("tavolix-page --threads 1", "baseline --threads 1")]:
            print(f"  ratio {ours} / {theirs}: wall {warm[ours] / warm[theirs]:.3f}, "
                  f"CPU {c[ours] / c[theirs]:.3f} ({c[ours] * 1000:.1f} / {c[theirs] * 1000:.1f} ms)")

    if a.cold and can_drop_caches():
        cold_tools = {k: v for k, v in tools.items() if k != "fd -u -j1"}
        report(f"cold cache (dropped before each run), {a.cold_rounds} rounds",
               time_rounds(cold_tools, a.cold_rounds, before_each=drop_caches))
    return 0 if same else 1


if __name__ == "__main__":
    sys.exit(main())
