#!/usr/bin/python3
"""A FUSE file system whose folders stop answering, as a hard-mounted share
whose server died. Runs in the foreground until killed.

    stall_fs.py MOUNTPOINT [--slow-entries N] [--slow-delay-us D] [--lag-dirs L]

Layout:
  ok/            a.gif, b.txt, sub/c.gif: answers like any folder
  dead/          stat and opendir answer; reading its entries never returns
  deadfile.bmp   stat answers (1000 bytes); open never returns
  hang/stuck/    hang/ lists stuck, but stat of hang/stuck never returns
  slow/          N files f00000.gif ...; each stat takes D microseconds
  lag/           only with L > 0: folders d00 ... each holding hNN.gif; each
                 folder takes 0.4 s to list
  release        writing to it lets every blocked call fail with EIO

Killing the server makes the kernel fail every pending call; detach the
mount afterwards (fusermount -u -z MOUNTPOINT).
"""

import errno
import stat
import sys
import threading
import time

import fuse

fuse.fuse_python_api = (0, 2)

RELEASED = threading.Event()
GIF = b"GIF89a\x01\x00\x01\x00\x00\x00\x00;"
FILES = {
    "/ok/a.gif": GIF,
    "/ok/b.txt": b"text\n",
    "/ok/sub/c.gif": GIF,
}
DIRS = {
    "/": ["ok", "dead", "deadfile.bmp", "hang", "slow", "release"],
    "/ok": ["a.gif", "b.txt", "sub"],
    "/ok/sub": ["c.gif"],
    "/dead": [],
    "/hang": ["stuck"],
    "/hang/stuck": [],
}
MTIME = 1_700_000_000


def stall():
    """Blocks until released, then fails the call."""
    RELEASED.wait()
    return -errno.EIO


class Stat(fuse.Stat):
    def __init__(self, mode, size=0, nlink=1):
        super().__init__()
        self.st_mode = mode
        self.st_nlink = nlink
        self.st_size = size
        self.st_uid = 0
        self.st_gid = 0
        self.st_atime = self.st_mtime = self.st_ctime = MTIME


class StallFs(fuse.Fuse):
    def __init__(self, *args, **kwargs):
        super().__init__(*args, **kwargs)
        self.slow_entries = 20000
        self.slow_delay_us = 1000
        self.lag_dirs = 0

    def lag_folder(self, path):
        """The number of a lag/dNN folder, or -1."""
        if not path.startswith("/lag/d") or len(path) != len("/lag/d00"):
            return -1
        try:
            n = int(path[len("/lag/d"):])
        except ValueError:
            return -1
        return n if 0 <= n < self.lag_dirs else -1

    def lag_file(self, path):
        folder, _, name = path.rpartition("/")
        n = self.lag_folder(folder)
        return n >= 0 and name == "h%02d.gif" % n

    def slow_name(self, i):
        return "f%05d.gif" % i

    def is_slow_file(self, path):
        if not path.startswith("/slow/"):
            return False
        name = path[len("/slow/"):]
        if not (name.startswith("f") and name.endswith(".gif") and len(name) == 10):
            return False
        try:
            return 0 <= int(name[1:6]) < self.slow_entries
        except ValueError:
            return False

    def getattr(self, path):
        if path == "/hang/stuck":
            return stall()
        if path in DIRS or path == "/slow" or (self.lag_dirs and path == "/lag") or self.lag_folder(path) >= 0:
            return Stat(stat.S_IFDIR | 0o755, nlink=2)
        if self.lag_file(path):
            return Stat(stat.S_IFREG | 0o644, len(GIF))
        if path in FILES:
            return Stat(stat.S_IFREG | 0o644, len(FILES[path]))
        if path == "/deadfile.bmp":
            return Stat(stat.S_IFREG | 0o644, 1000)
        if path == "/release":
            return Stat(stat.S_IFREG | 0o666, 0)
        if self.is_slow_file(path):
            time.sleep(self.slow_delay_us / 1e6)
            return Stat(stat.S_IFREG | 0o644, len(GIF))
        return -errno.ENOENT

    def readdir(self, path, offset):
        if path == "/dead":
            return stall()
        if path == "/slow":
            names = [self.slow_name(i) for i in range(self.slow_entries)]
        elif path == "/" and self.lag_dirs:
            names = DIRS[path] + ["lag"]
        elif path == "/lag" and self.lag_dirs:
            names = ["d%02d" % i for i in range(self.lag_dirs)]
        elif self.lag_folder(path) >= 0:
            time.sleep(0.4)
            names = ["h%02d.gif" % self.lag_folder(path)]
        elif path in DIRS:
            names = DIRS[path]
        else:
            return -errno.ENOENT
        return [fuse.Direntry(name) for name in [".", ".."] + names]

    def open(self, path, flags):
        if path == "/deadfile.bmp":
            return stall()
        if path in FILES:
            if flags & 3:  # O_WRONLY or O_RDWR
                return -errno.EACCES
            return 0
        if path == "/release":
            return 0
        if self.is_slow_file(path) or self.lag_file(path):
            return 0
        return -errno.ENOENT

    def read(self, path, size, offset):
        data = FILES.get(path)
        if data is None and (self.is_slow_file(path) or self.lag_file(path)):
            data = GIF
        if data is None:
            return -errno.EIO
        return data[offset:offset + size]

    def write(self, path, buf, offset):
        if path != "/release":
            return -errno.EACCES
        RELEASED.set()
        return len(buf)

    def truncate(self, path, size):
        return 0 if path == "/release" else -errno.EACCES


def main():
    server = StallFs(version="%prog " + fuse.__version__, usage=__doc__, dash_s_do="setsingle")
    server.parser.add_option(mountopt="slow_entries", metavar="N", default=20000)
    server.parser.add_option(mountopt="slow_delay_us", metavar="D", default=1000)
    server.parser.add_option(mountopt="lag_dirs", metavar="L", default=0)
    # Accept the plain --slow-entries / --slow-delay-us forms too.
    argv = []
    args = iter(sys.argv[1:])
    for a in args:
        if a in ("--slow-entries", "--slow-delay-us", "--lag-dirs"):
            argv += ["-o", "%s=%s" % (a[2:].replace("-", "_"), next(args))]
        else:
            argv.append(a)
    sys.argv = [sys.argv[0]] + argv + ["-f"]
    server.parse(values=server, errex=1)
    server.slow_entries = int(server.slow_entries)
    server.slow_delay_us = int(server.slow_delay_us)
    server.lag_dirs = int(server.lag_dirs)
    server.multithreaded = True
    server.main()


if __name__ == "__main__":
    main()
