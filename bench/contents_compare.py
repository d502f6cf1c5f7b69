#!/usr/bin/env python3
"""Times `tavolix-page --contains TEXT DIR '*'` against `grep -rlF` (and rg
when it is installed) on one tree, warm cache, the tools alternating.

First checks that they find the same set of files, both held to the same
ground: dot folders searched (--hidden-folders), no exclusions, binary files
left out (grep -I), links to files read by neither (grep -r passes them over,
as tavolix-page does), LC_ALL=C; hits below links to folders, which
tavolix-page follows and grep -r does not, are counted apart. Prints median times.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def run(cmd, env):
    t0 = time.perf_counter()
    out = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, check=False, env=env)
    return time.perf_counter() - t0, out.stdout


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("dir", nargs="?", default="/usr/include")
    ap.add_argument("--text", action="append", help="texts to look for (repeatable)")
    ap.add_argument("--regex", action="append", default=[],
                    help="regular expressions to look for (repeatable; grep -E, rg without -F)")
    ap.add_argument("--tavolix-page", default="build-bench/cli/tavolix-page")
    ap.add_argument("--rounds", type=int, default=5)
    args = ap.parse_args()
    texts = args.text or ([] if args.regex else ["EXIT_SUCCESS", "zzqx_not_there"])
    env = dict(os.environ, LC_ALL="C")
    with tempfile.TemporaryDirectory() as tmp:
        settings = os.path.join(tmp, "empty.ini")
        open(settings, "w").close()
        page = [args.tavolix_page, "--settings", settings, "--no-exclude", "--hidden-folders", "--null"]
        rg = shutil.which("rg")
        failed = False
        cases = [(t, False) for t in texts] + [(r, True) for r in args.regex]
        for text, regex in cases:
            if regex:
                tools = {
                    "tavolix-page": page + ["--regex", "--contains", text, args.dir, "*"],
                    "grep -rlE": ["grep", "-rlEI", "--", text, args.dir],
                }
                if rg:
                    tools["rg -l"] = [rg, "-l", "-uuu", "--no-follow", "--", text, args.dir]
            else:
                tools = {
                    "tavolix-page": page + ["--contains", text, args.dir, "*"],
                    "grep -rlF": ["grep", "-rlFI", "--", text, args.dir],
                }
                if rg:
                    tools["rg -lF"] = [rg, "-lF", "-uuu", "--no-follow", "--", text, args.dir]
            sets = {}
            for name, cmd in tools.items():
                _, out = run(cmd, env)
                sep = b"\0" if name == "tavolix-page" else b"\n"
                sets[name] = {p for p in out.split(sep) if p}
            # tavolix-page follows links to folders (each folder once), grep -r
            # does not: hits below such a link are told apart, not counted as a fault.
            ref = sets["tavolix-page"]
            linked = {p for p in ref if os.path.realpath(os.path.dirname(p)) != os.path.abspath(os.path.dirname(p))}
            if linked:
                print(f"{text!r}: {len(linked)} hits of tavolix-page lie below links to folders")
            for name, found in sets.items():
                if found != ref and found != ref - linked:
                    failed = True
                    print(f"{text!r}: {name} finds {len(found)} files, tavolix-page {len(ref)}; "
                          f"only {name}: {sorted(found - ref)[:5]}, only tavolix-page: {sorted(ref - found)[:5]}")
            times = {name: [] for name in tools}
            for _ in range(args.rounds):
                for name, cmd in tools.items():
                    times[name].append(run(cmd, env)[0])
            line = ", ".join(f"{name} {statistics.median(t) * 1000:.0f} ms" for name, t in times.items())
            print(f"{text!r} ({len(ref)} files) in {args.dir}: median of {args.rounds}: {line}")
        return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
