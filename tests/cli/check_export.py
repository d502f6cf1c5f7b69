#!/usr/bin/env python3
"""Runs the real tavolix-page --csv and --json over hostile file names and
reads the output back with Python's csv and json modules: every field must
come back as the file system has it. On a terminal the default lines show
control characters as escapes, while --null, --csv and --json stay exact.

Usage: check_export.py TAVOLIX_PAGE
"""
import base64
import csv
import io
import json
import os
import pty
import subprocess
import sys
import tempfile
import tty
from datetime import datetime, timezone

PAGE = sys.argv[1]

NAMES = [
    b"a,b.gif",
    b'q"u"ote.gif',
    b"cr\rx.gif",
    b"lf\nx.gif",
    b"crlf\r\n.gif",
    b"esc\x1b[2Jred.gif",
    "evil\u202egpj.gif".encode(),
    b"#hash.gif",
    b"%25pct.gif",
    b" space .gif",
    b"back\\slash\ttab.gif",
    "日本語の名前.gif".encode(),
    b"bad\xff\xfe.gif",
    b"cut\xe6\x97.gif",  # a Japanese character cut short
    b".hidden.gif",
    b"sub, dir/\"nested\"\n.gif",
]
# Even seconds: the records keep the time to two seconds. One winter and
# one summer time, so a zone with daylight saving shows both offsets.
WINTER = 1705312244  # 2024-01-15 09:50:44 UTC
SUMMER = 1721030402  # 2024-07-15 08:00:02 UTC

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


def run(args, tz):
    env = dict(os.environ, TZ=tz, LC_ALL="C.UTF-8")
    return subprocess.run([PAGE] + args, capture_output=True, env=env)


def run_on_terminal(args, tz):
    """The output of a run whose standard output is a terminal (raw: the
    bytes as written)."""
    master, slave = pty.openpty()
    tty.setraw(slave)
    env = dict(os.environ, TZ=tz, LC_ALL="C.UTF-8")
    proc = subprocess.Popen([PAGE] + args, stdout=slave, stderr=subprocess.DEVNULL, env=env)
    os.close(slave)
    out = b""
    while True:
        try:
            chunk = os.read(master, 65536)
        except OSError:  # EIO: the program has closed the terminal
            break
        if not chunk:
            break
        out += chunk
    proc.wait()
    os.close(master)
    return proc.returncode, out


def check_terminal(root, hits):
    code, lines = run_on_terminal([root, "*.gif"], "Asia/Tokyo")
    check(code == 0, "terminal: exit %d" % code)
    rows = lines.split(b"\n")[:-1]
    check(len(rows) == len(hits), "terminal: %d lines for %d hits" % (len(rows), len(hits)))
    for row in rows:
        check(all(c >= 0x20 or c == 0x09 for c in row), "terminal: raw control byte in %r" % row)
        check(b"\xe2\x80\xae" not in row, "terminal: raw override in %r" % row)
    for shown in (b"crlf\\u000D\\u000A.gif\t", b"esc\\u001B[2Jred.gif\t", b"evil\\u202Egpj.gif\t"):
        check(any(shown in row for row in rows), "terminal: %r not shown" % shown)
    piped = run([root, "*.gif"], "Asia/Tokyo").stdout
    check(b"/crlf\r\n.gif\t" in piped, "piped lines are not exact")
    for form in ("--null", "--csv", "--json"):
        code, out = run_on_terminal([form, root, "*.gif"], "Asia/Tokyo")
        check(out == run([form, root, "*.gif"], "Asia/Tokyo").stdout, "%s differs on a terminal" % form)


def expected_hits(root):
    hits = {}
    for dirpath, _, files in os.walk(root):
        for f in files:
            if f.endswith(b".gif"):
                p = os.path.join(dirpath, f)
                hits[p] = os.lstat(p)
    return hits


def local_offset(epoch, tz):
    env = dict(os.environ, TZ=tz)
    out = subprocess.run(["date", "-d", "@%d" % epoch, "+%:z"], capture_output=True, env=env)
    return out.stdout.decode().strip()


def check_time(text, st, tz, where):
    moment = datetime.fromisoformat(text)
    check(moment == datetime.fromtimestamp(st.st_mtime - st.st_mtime % 2, tz=timezone.utc),
          "%s: time %s is not the file's" % (where, text))
    check(text.endswith(local_offset(int(st.st_mtime), tz)), "%s: time %s has not the local offset" % (where, text))


def attr_letters(name, st):
    import stat
    s = ""
    if not stat.S_ISREG(st.st_mode):
        s += "S"
    if name.startswith(b"."):
        s += "H"
    if not st.st_mode & stat.S_IWUSR:
        s += "R"
    return s


def null_order(root, args, tz):
    out = run(["--null"] + args + [root, "*.gif"], tz).stdout
    return [p for p in out.split(b"\0") if p]


def parse_csv(data):
    text = data.decode("utf-8", "surrogateescape")
    rows = list(csv.reader(io.StringIO(text, newline=""), strict=True))
    return [[f.encode("utf-8", "surrogateescape") for f in row] for row in rows]


def check_csv(root, hits, args, tz):
    r = run(["--csv"] + args + [root, "*.gif"], tz)
    where = "csv %s %s" % (args, tz)
    check(r.returncode == 0, "%s: exit %d" % (where, r.returncode))
    check(r.stdout.endswith(b"\r\n"), where + ": rows not ended by CR LF")
    rows = parse_csv(r.stdout)
    check(rows[0] == [b"path", b"name", b"directory", b"size", b"time", b"attributes"], where + ": header")
    check([row[0] for row in rows[1:]] == null_order(root, args, tz), where + ": not in display order")
    for path, name, directory, size, time, attr in rows[1:]:
        st = hits.get(path)
        check(st is not None, "%s: %r is no hit" % (where, path))
        if st is None:
            continue
        check(directory + name == path and os.path.basename(path) == name, "%s: %r name/dir" % (where, path))
        check(size == str(st.st_size).encode(), "%s: %r size %r" % (where, path, size))
        check_time(time.decode(), st, tz, where)
        check(attr.decode() == attr_letters(name, st), "%s: %r attributes %r" % (where, path, attr))
    return [row[0] for row in rows[1:]]


def check_json(root, hits, args, tz):
    r = run(["--json"] + args + [root, "*.gif"], tz)
    where = "json %s %s" % (args, tz)
    check(r.returncode == 0, "%s: exit %d" % (where, r.returncode))
    r.stdout.decode("utf-8")  # all of it is UTF-8
    objs = [json.loads(line) for line in r.stdout.split(b"\n") if line]
    paths = []
    for o in objs:
        raw = o["path"].encode()
        if "path_bytes" in o:
            raw = base64.b64decode(o["path_bytes"], validate=True)
            check(o["path"] == raw.decode("utf-8", "replace"), "%s: best-effort text %r" % (where, o["path"]))
        else:
            raw.decode("utf-8")
        paths.append(raw)
        st = hits.get(raw)
        check(st is not None, "%s: %r is no hit" % (where, raw))
        if st is None:
            continue
        name = os.path.basename(raw)
        check(o["name"] == name.decode("utf-8", "replace"), "%s: %r name" % (where, raw))
        check(o["dir"] + o["name"] == o["path"], "%s: %r dir" % (where, raw))
        check(o["size"] == st.st_size, "%s: %r size" % (where, raw))
        check_time(o["mtime"], st, tz, where)
        check(o["attr"] == attr_letters(name, st), "%s: %r attr" % (where, raw))
        check(o["hidden"] == ("H" in o["attr"]) and o["system"] == ("S" in o["attr"]),
              "%s: %r hidden/system" % (where, raw))
    check(paths == null_order(root, args, tz), where + ": not in display order")
    return paths


def main():
    with tempfile.TemporaryDirectory() as tmp:
        root = os.path.join(tmp.encode(), b"hits")
        for i, n in enumerate(NAMES):
            p = os.path.join(root, n)
            os.makedirs(os.path.dirname(p), exist_ok=True)
            with open(p, "wb") as f:
                f.write(b"x" * (i * 7))
            os.utime(p, (WINTER, WINTER if i % 2 else SUMMER))
        os.chmod(os.path.join(root, b"#hash.gif"), 0o444)
        fifo = os.path.join(root, b"pipe,\"fifo\".gif")
        os.mkfifo(fifo)
        os.utime(fifo, (SUMMER, SUMMER))
        hits = expected_hits(root)

        for tz in ["Asia/Tokyo", "Europe/Berlin"]:
            csv_all = check_csv(root, hits, [], tz)
            check(sorted(csv_all) == sorted(hits), "csv %s: not every hit" % tz)
            json_all = check_json(root, hits, [], tz)
            check(json_all == csv_all, "json and csv differ in order (%s)" % tz)
        check_terminal(root, hits)
        by_size = check_csv(root, hits, ["--sort", "size"], "Asia/Tokyo")
        sizes = [hits[p].st_size for p in by_size]
        check(sizes == sorted(sizes), "--sort size is not by size")
        down = check_json(root, hits, ["--sort", "size", "--down"], "Asia/Tokyo")
        check(down == by_size[::-1], "--down does not reverse")
        shown = check_csv(root, hits, ["--hide-hidden-system"], "Asia/Tokyo")
        check(sorted(shown) == sorted(p for p in hits if b"/." not in p and p != fifo),
              "--hide-hidden-system shows %r" % shown)
        check(check_json(root, hits, ["--hide-hidden-system"], "Asia/Tokyo") == shown,
              "json --hide-hidden-system")

        # No hits: exit 1, the header alone (a valid, empty table), no lines.
        r = run(["--csv", root, "*.none"], "Asia/Tokyo")
        check(r.returncode == 1 and parse_csv(r.stdout) == [[b"path", b"name", b"directory", b"size", b"time",
                                                             b"attributes"]], "csv without hits: %r" % (r,))
        r = run(["--json", root, "*.none"], "Asia/Tokyo")
        check(r.returncode == 1 and r.stdout == b"", "json without hits: %r" % (r,))
        for bad in (["--csv", "--json"], ["--json", "--null"], ["--csv", "--count"]):
            r = run(bad + [root, "*.gif"], "Asia/Tokyo")
            check(r.returncode == 2 and r.stdout == b"", "%s: exit %d" % (bad, r.returncode))
        r = run(["--json", os.path.join(root, b"missing"), "*.gif"], "Asia/Tokyo")
        check(r.returncode == 2 and r.stdout == b"", "json on a missing directory: exit %d" % r.returncode)

    for f in failures:
        print("FAIL:", f)
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
