#!/usr/bin/python3
"""The real tavolix program on an X server of its own (Xvfb, with the openbox
window manager), driven by real key presses and clicks through xdotool.

    real_input.py PROGRAM CASE

The program writes what it shows to the file named by TAVOLIX_STATE_FILE
("name=value" lines, replaced whole on every change); the cases wait on that
file, on windows appearing and on files on disk, never on fixed sleeps.
"""

import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import urllib.parse
import zlib

TIMEOUT = float(os.environ.get("TAVOLIX_DESKTOP_TIMEOUT", "60"))
# ctest's SKIP_RETURN_CODE: what a case needs is missing on this machine.
SKIPPED = 77
STALL_FS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support", "stall_fs.py")
FRAME_TITLE = " Tavolix ヌバロ"
# Where the compositor draws the title, the frame's title ends in the clock.
TITLE_CLOCK = re.compile(r"  \d\d:\d\d:\d\d$")
PROGRESS_TITLE = "一生懸命検索しています。しばらくお待ち下さい。"


def is_frame(s):
    return TITLE_CLOCK.sub("", s.get("active", "")) == FRAME_TITLE


class Failure(Exception):
    pass


class Skip(Exception):
    pass


def wait_for(what, condition, timeout=TIMEOUT):
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure("timed out waiting for " + what)
        time.sleep(0.05)


class Desktop:
    """Xvfb on a free display number, a window manager, xdotool."""

    def __init__(self, work):
        self.work = work
        self.procs = []
        # Rarely, on a busy machine, openbox never takes the display (seen
        # with other X servers starting at the same time): start afresh.
        for attempt in range(3):
            try:
                self.start()
                return
            except Failure:
                self.close()  # a failed start leaves no server behind
                self.procs = []
                if attempt == 2:
                    raise
            except BaseException:
                self.close()
                raise

    def start(self):
        work = self.work
        read_fd, write_fd = os.pipe()
        xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
            pass_fds=(write_fd,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=open(os.path.join(work, "xvfb.log"), "w"))
        self.procs.append(xvfb)
        os.close(write_fd)
        number = b""
        with os.fdopen(read_fd, "rb") as pipe:
            while not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    raise Failure("Xvfb gave no display number")
                number += chunk
        self.display = ":" + number.decode().strip()
        self.env = dict(os.environ, DISPLAY=self.display)
        self.env.pop("WAYLAND_DISPLAY", None)
        wm = subprocess.Popen(["openbox", "--sm-disable"], env=self.env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=open(os.path.join(work, "wm.log"), "w"))
        self.procs.append(wm)
        wait_for("the window manager", lambda: self.root_property("_NET_SUPPORTING_WM_CHECK"), timeout=20)

    def root_property(self, name):
        out = subprocess.run(["xprop", "-root", name], env=self.env, capture_output=True, text=True)
        return out.returncode == 0 and "window id" in out.stdout

    def xdo(self, *args):
        with open(os.path.join(self.work, "xdotool.log"), "a") as log:
            log.write("%.3f %s\n" % (time.monotonic(), " ".join(args)))
        out = subprocess.run(["xdotool", *args], env=self.env, capture_output=True, text=True)
        return out.stdout.strip()

    def windows(self, pid, title, shown=True):
        """The shown windows (or all with `shown` false) of a process with
        exactly this title. Titles are compared here: xdotool's own regular
        expressions miss non-ASCII text in some locales."""
        out = self.xdo("search", *(["--onlyvisible"] if shown else []), "--pid", str(pid), "--name", "")
        found = []
        for window in out.split():
            name = subprocess.run(["xdotool", "getwindowname", window], env=self.env, capture_output=True)
            if name.stdout.decode("utf-8", "replace").rstrip("\n") == title:
                found.append(window)
        return found

    def window_named(self, pid, title, timeout=TIMEOUT):
        return wait_for("a window " + title, lambda: (self.windows(pid, title) or [None])[0], timeout)

    def managed_window_named(self, pid, title):
        """The window of that title the window manager has taken on, shown or
        minimized."""
        def managed(window):
            out = subprocess.run(["xprop", "-id", window, "WM_STATE"], env=self.env, capture_output=True, text=True)
            return "window state" in out.stdout
        return wait_for("a window " + title,
                        lambda: ([w for w in self.windows(pid, title, shown=False) if managed(w)] or [None])[0])

    def activate(self, window):
        self.xdo("windowactivate", "--sync", window)

    def key(self, *keys):
        self.xdo("key", "--clearmodifiers", *keys)

    def type(self, text):
        self.xdo("type", "--delay", "30", text)

    def click(self, window, x, y):
        self.xdo("mousemove", "--window", window, str(x), str(y))
        self.xdo("click", "1")

    def outer_geometry(self, window):
        """x, y, width, height of a window with the window manager's frame,
        as the X server has them."""
        info = subprocess.run(["xwininfo", "-id", window], env=self.env, capture_output=True, text=True).stdout
        field = {}
        for line in info.splitlines():
            key, _, value = line.strip().partition(":")
            field[key] = value.strip()
        extents = subprocess.run(["xprop", "-id", window, "_NET_FRAME_EXTENTS"], env=self.env,
                                 capture_output=True, text=True).stdout
        left, right, top, bottom = ([int(v) for v in extents.split("=")[1].split(",")] if "=" in extents
                                    else [0, 0, 0, 0])
        return (int(field["Absolute upper-left X"]) - left, int(field["Absolute upper-left Y"]) - top,
                int(field["Width"]) + left + right, int(field["Height"]) + top + bottom)

    def screenshot(self, path):
        subprocess.run(["import", "-window", "root", path], env=self.env, capture_output=True)

    def close(self):
        for proc in reversed(self.procs):
            if proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(5)
                except subprocess.TimeoutExpired:
                    proc.kill()


class Program:
    def __init__(self, desktop, binary, cwd, work, extra_env=None, title=FRAME_TITLE, first_start=False):
        """Unless `first_start`, a program started before that last searched
        "/": its tree stands on the root volume, as choose_base expects."""
        self.desktop = desktop
        self.title = title
        self.binary, self.cwd = binary, cwd
        self.state_file = os.path.join(work, "state.txt")
        home = os.path.join(work, "home")
        self.home = home
        os.makedirs(home, exist_ok=True)
        settings = os.path.join(work, "TAVOLIX.INI")
        if not first_start and not os.path.exists(settings):
            with open(settings, "w", encoding="utf-8") as f:
                f.write("[Search]\nLastFolder=/\n")
        env = dict(desktop.env, QT_QPA_PLATFORM="xcb", HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
                   XDG_CACHE_HOME=os.path.join(home, ".cache"), TAVOLIX_STATE_FILE=self.state_file, TAVOLIX_SETTINGS=settings)
        # Leaks are the unit tests' business; here libraries of the X server
        # connection would be counted at exit.
        env["ASAN_OPTIONS"] = "detect_leaks=0:abort_on_error=1"
        env.update(extra_env or {})
        self.log = open(os.path.join(work, "program.log"), "w")
        self.proc = subprocess.Popen([binary], cwd=cwd, env=env, stdin=subprocess.DEVNULL, stdout=self.log,
                                     stderr=subprocess.STDOUT)
        try:
            self.frame = desktop.managed_window_named(self.proc.pid, title)
            self.wait("the frame is active", lambda s: s.get("active") == title, activate=True)
        except BaseException:
            self.close()  # a failed start leaves no program behind
            raise

    def state(self):
        try:
            with open(self.state_file, encoding="utf-8") as f:
                text = f.read()
        except FileNotFoundError:
            return {}
        pairs = dict(line.split("=", 1) for line in text.splitlines() if "=" in line)
        return pairs if pairs.get("end") == "1" else {}

    def wait(self, what, condition, timeout=TIMEOUT, activate=False, quiet=False):
        def check():
            if self.proc.poll() is not None:
                raise Failure("the program ended (%s) while waiting for %s" % (self.proc.returncode, what))
            # The window manager may not have taken the window on yet: ask
            # again each time round.
            if activate:
                self.desktop.activate(self.frame if activate is True else activate)
            s = self.state()
            return s if s and condition(s) else None
        try:
            return wait_for(what, check, timeout)
        except Failure:
            if not quiet:
                print("last state:\n" + "\n".join("  %s=%s" % kv for kv in self.state().items()),
                      file=sys.stderr)
            raise

    def exit_question(self):
        """Alt+F4 on the frame, through the window manager, and the exit
        question it brings. Just after the start openbox has been seen to drop
        that first key (nothing reached the program: no box, the frame still
        active); as a person would, it is pressed again only then."""
        d = self.desktop
        d.key("alt+F4")
        try:
            return d.window_named(self.proc.pid, "Tavolix ヌバロ", timeout=10)
        except Failure:
            s = self.state()
            if self.proc.poll() is not None or not is_frame(s) or s.get("popup") != "-":
                raise
        print("alt+F4 pressed again: the first reached nothing", file=sys.stderr)
        d.key("alt+F4")
        return d.window_named(self.proc.pid, "Tavolix ヌバロ")

    def type_line(self, text):
        """Types into the focused line and reads it back before it is sent, as
        a person looks before pressing Return: xdotool may lose the first key
        of a character it has to map first, and the line is typed again."""
        for attempt in range(3):
            if attempt:
                self.desktop.key("ctrl+a")
            self.desktop.type(text)
            try:
                return self.wait("the line to hold %r" % text, lambda s: s.get("focus-text") == text, timeout=3,
                                 quiet=attempt < 2)
            except Failure:
                if attempt == 2:
                    raise
                print("typed again: the line held %r" % self.state().get("focus-text"), file=sys.stderr)

    def key_box(self):
        # The key box sits at the left of the bar below the menu row.
        self.desktop.click(self.frame, 60, 37)
        self.wait("the key box has the focus", lambda s: s["focus"] == "KeyWordEditCB")

    def focus_tree(self):
        self.desktop.activate(self.frame)
        self.desktop.click(self.frame, 100, 300)
        self.wait("the tree has the focus", lambda s: s["focus"] == "DirectoryListBox2")

    def choose_base(self, path, root="/"):
        """Picks a directory in the tree as a person does: Home, then each
        name typed and opened with the right arrow. `root` is the tree's top
        (the volume, or the home folder)."""
        self.focus_tree()
        self.desktop.key("Home")
        top = root.rstrip("/") + "/"
        self.wait("the root is chosen", lambda s: s["base"] == top)
        if root != "/":
            path = os.path.relpath(path, root)
        sofar = "" if root == "/" else root.rstrip("/")
        last_typed = 0.0
        for name in [p for p in path.split("/") if p]:
            sofar += "/" + name
            self.desktop.key("Right")
            # Typed names find only the subdirectories already listed.
            self.wait("the tree open below " + (sofar.rsplit("/", 1)[0] or "/"),
                      lambda s: int(s["tree-open"]) > 0 or s["base"] != (sofar.rsplit("/", 1)[0] or "/"))
            # Keys typed within the tree's search interval (400 ms) of the last
            # name would be added to it: the one fixed pause, as a person makes.
            time.sleep(max(0.0, last_typed + 0.5 - time.monotonic()))
            for attempt in range(3):
                self.desktop.type(name)
                last_typed = time.monotonic()
                try:
                    self.wait("the tree on " + sofar, lambda s, want=sofar: s["base"] == want,
                              timeout=TIMEOUT if attempt == 2 else 1.5, quiet=attempt < 2)
                    break
                except Failure:
                    if attempt == 2:
                        raise
                    print("typing %r into the tree again" % name, file=sys.stderr)

    def search(self, key):
        before = int(self.state()["windows"])
        self.key_box()
        self.desktop.key("ctrl+a")
        self.desktop.type(key)
        self.wait("the key box reads " + key, lambda s: s["key"] == key)
        self.desktop.key("Return")
        return self.wait("a new result window", lambda s: int(s["windows"]) == before + 1 and s["searching"] == "0")

    def ended(self, timeout=TIMEOUT):
        try:
            self.proc.wait(timeout)
            return True
        except subprocess.TimeoutExpired:
            return False

    def close(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
        self.log.close()


def make_tree(root, files):
    for relative in files:
        path = os.path.join(root, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(b"GIF89a" if path.endswith(".gif") else b"text")


class StallFs:
    """tests/support/stall_fs.py mounted at `mountpoint`: a share whose
    folders dead/ and hang/ stop answering."""

    def __init__(self, mountpoint, work, slow_entries, lag_dirs=0):
        if not os.path.exists("/dev/fuse"):
            raise Skip("no FUSE here: /dev/fuse is missing")
        if subprocess.run(["/usr/bin/python3", "-c", "import fuse"], capture_output=True).returncode != 0:
            raise Skip("python3-fuse is missing (scripts/setup.sh installs it)")
        os.makedirs(mountpoint)
        self.mountpoint = mountpoint
        self.log_path = os.path.join(work, "stall_fs.log")
        self.proc = subprocess.Popen(
            ["/usr/bin/python3", STALL_FS, mountpoint, "--slow-entries", str(slow_entries), "--lag-dirs",
             str(lag_dirs)],
            stdin=subprocess.DEVNULL, stdout=open(self.log_path, "w"), stderr=subprocess.STDOUT)
        wait_for("the share mounted", lambda: self.proc.poll() is not None or os.path.ismount(mountpoint), 15)
        if self.proc.poll() is not None:
            with open(self.log_path) as f:
                raise Failure("stall_fs.py ended: " + f.read())

    def release(self):
        with open(os.path.join(self.mountpoint, "release"), "w") as f:
            f.write("1")

    def close(self):
        # A dead server fails every call still waiting on it.
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        subprocess.run(["fusermount", "-u", "-z", self.mountpoint], capture_output=True)


CLOCK_GAPS = []


def watch_clock(p, what, condition, limit=1.5):
    """Waits for `condition` while the frame's clock goes on: it must never
    stand still for `limit` seconds (the window's thread is never held)."""
    last, since = None, None

    def check(s):
        nonlocal last, since
        now = time.monotonic()
        if s["clock"] != last:
            if since is not None:
                CLOCK_GAPS.append(now - since)
            last, since = s["clock"], now
        if since is not None and now - since > limit:
            raise Failure("the clock stood still for %.1f s while waiting for %s" % (now - since, what))
        return condition(s)
    return p.wait(what, check)


SMALL_TREE = ["a & b.gif", "c.gif", "notes.html", "page.htm", "readme.txt", "sub/d.gif", "sub/e.jpg"]


def last_window(s):
    return "window.%d." % (int(s["windows"]) - 1)


# ---- the cases


def case_enter_searches(d, p, tree):
    """Enter in the key box starts the search with the key typed."""
    p.choose_base(tree)
    s = p.search("*.gif")
    w = last_window(s)
    assert s[w + "key"] == "*.gif", s[w + "key"]
    assert s[w + "title"] == " 検索ディレクトリ = %s , 指定キー = *.gif" % tree, s[w + "title"]
    assert s[w + "names"].split("|") == ["a & b.gif", "c.gif", "d.gif"], s[w + "names"]
    assert s["history"] == "*.gif", s["history"]


def case_typed_key_is_searched(d, p, tree):
    """After a "*.gif" search, "*" is searched as "*" (no completion), and the
    editing keys edit the key box; the window commands have Shift with them."""
    p.choose_base(tree)
    p.search("*.gif")
    s = p.search("*")
    w = last_window(s)
    assert s[w + "key"] == "*", s[w + "key"]
    assert s[w + "count"] == str(len(SMALL_TREE)), s[w + "count"]
    # Maximized by Ctrl+M from the list; Ctrl+X in the key box cuts the text
    # and leaves the window maximized (elsewhere it would restore it).
    d.key("ctrl+m")
    p.wait("the result window maximized", lambda s: s[w + "state"] == "maximized")
    p.key_box()
    d.key("ctrl+a")
    d.key("ctrl+x")
    p.wait("the key box cut", lambda s: s["key"] == "")
    d.key("ctrl+v")
    p.wait("the key pasted back", lambda s: s["key"] == "*")
    assert p.state()[w + "state"] == "maximized"
    d.key("ctrl+a")
    d.key("ctrl+c")
    d.key("End")
    d.key("ctrl+v")
    p.wait("the copied key pasted", lambda s: s["key"] == "**")
    assert p.state()[w + "state"] == "maximized"
    d.click(p.frame, 700, 500)  # into the result list: the window command has Shift with it
    p.wait("the focus in the list", lambda s: s["focus"] == "ListBox1")
    d.key("ctrl+shift+x")
    p.wait("the window restored by Ctrl+Shift+X", lambda s: s[w + "state"] == "normal")


def case_save_page(d, p, tree, work):
    """F3 in a result window, through the save dialog, to a page on disk."""
    p.choose_base(tree)
    p.search("*.gif")
    page = os.path.join(work, "out dir", "the page.html")
    os.makedirs(os.path.dirname(page))
    d.key("F3")
    p.wait("the save dialog", lambda s: s["focus"] == "fileNameEdit")
    p.type_line(page)
    d.key("Return")
    wait_for("the page on disk", lambda: os.path.exists(page))
    p.wait("the question to view it now", lambda s: s["active"] == "確認")
    d.key("Escape")  # No: don't start a browser
    p.wait("the note to view it later", lambda s: s["active"] == "情報")
    d.key("Return")
    p.wait("the frame back", is_frame, activate=True)
    with open(page, encoding="shift_jis", errors="replace") as f:
        html = f.read()
    for name in ["a &amp; b.gif", "c.gif", "d.gif"]:
        assert name in html, name
    with open(os.path.join(work, "TAVOLIX.INI"), encoding="shift_jis", errors="replace") as f:
        assert "the page.html" in f.read()


def case_maximized_clock(d, p, tree, work):
    """The clock stays visible while a result window is maximized, and ticks."""
    p.choose_base(tree)
    s = p.search("*.gif")
    w = last_window(s)
    d.key("ctrl+m")
    s = p.wait("the result window maximized", lambda s: s[w + "state"] == "maximized")
    assert s["clock-visible"] == "1", s
    first = s["clock"]
    p.wait("the clock ticking", lambda s: s["clock"] != first and s["clock-visible"] == "1")
    d.screenshot(os.path.join(work, "maximized.png"))


def case_stop_walk(d, p, tree, work):
    """The result window shows at once while the walk runs: Escape in its
    list stops the walk with the hits so far in order, F4 closes it while it
    walks; quitting during a walk stops it and exits."""
    # A walk of minutes: a share folder of 20,000 hits, each looked at in a
    # millisecond. (Links to a few folders no longer make one: each folder is
    # walked once.)
    total = 20000 + len(SMALL_TREE)
    share = StallFs(os.path.join(work, "stall"), work, 20000)
    try:
        os.symlink(os.path.join(share.mountpoint, "slow"), os.path.join(tree, "slow"))
        p.choose_base(tree)
        for how in ["Escape", "F4"]:
            before = int(p.state()["windows"])
            p.key_box()
            d.key("ctrl+a")
            d.type("*.gif")
            d.key("Return")
            s = p.wait("the result window walking with the list focused",
                       lambda s: int(s["windows"]) == before + 1 and s["searching"] == "1"
                       and s[last_window(s) + "searching"] == "1" and s["focus"] == "ListBox1")
            d.key(how)
            if how == "F4":
                p.wait("the walking window closed", lambda s: int(s["windows"]) == before and s["searching"] == "0")
                continue
            s = p.wait("the stopped search's window",
                       lambda s: int(s["windows"]) == before + 1 and s["searching"] == "0")
            w = last_window(s)
            assert s[w + "stopped"] == "1" and s[w + "searching"] == "0", s
            count = int(s[w + "count"])
            assert 0 < count < total, count
            assert "（中断）" in s[w + "totals"], s[w + "totals"]
            names = s[w + "names"].split("|")
            assert names == sorted(names), names
            assert not d.windows(p.proc.pid, PROGRESS_TITLE)
        # Quit during a walk: the exit question, Yes, and the program ends.
        p.key_box()
        d.key("Return")
        p.wait("a walk running", lambda s: s["searching"] == "1")
        p.wait("the frame active", is_frame, activate=True)
        d.key("alt+F4")
        box = d.window_named(p.proc.pid, "Tavolix ヌバロ")
        p.wait("the exit question active", lambda s: s["active"] == "Tavolix ヌバロ", activate=box)
        d.key("Return")
        assert p.ended(), "the program is still running after Yes during a walk"
        assert p.proc.returncode == 0, p.proc.returncode
    finally:
        share.close()


def case_lagging_share(d, p, tree, work):
    """A share whose folders take 0.4 s each to list: the hits found in it
    show in the result window while it is walked; when the walk ends they
    are in order, and Ctrl+R searches again in the same window."""
    share = StallFs(os.path.join(work, "stall"), work, 10, lag_dirs=30)
    try:
        os.symlink(os.path.join(share.mountpoint, "lag"), os.path.join(tree, "share"))
        p.choose_base(tree)
        before = int(p.state()["windows"])
        p.key_box()
        d.key("ctrl+a")
        d.type("*.gif")
        p.wait("the key box reads *.gif", lambda s: s["key"] == "*.gif")
        d.key("Return")

        def share_hits(s):
            return [n for n in s[last_window(s) + "names"].split("|") if n.startswith("h")]

        s = p.wait("hits of the share shown while it is walked",
                   lambda s: int(s["windows"]) == before + 1 and s["searching"] == "1"
                   and s[last_window(s) + "searching"] == "1" and len(share_hits(s)) > 0)
        d.screenshot(os.path.join(work, "walking.png"))
        s = p.wait("the walk's end", lambda s: s["searching"] == "0")
        w = last_window(s)
        assert s[w + "count"] == str(30 + 3), s[w + "count"]
        names = s[w + "names"].split("|")
        assert names == sorted(names, key=str.lower), names
        assert s[w + "stopped"] == "0", s
        # Ctrl+R: the same search again, in the same window.
        p.wait("the list has the focus", lambda s: s["focus"] == "ListBox1", activate=True)
        d.key("ctrl+r")
        p.wait("the search running again", lambda s: s[last_window(s) + "searching"] == "1")
        s = p.wait("the second walk's end", lambda s: s["searching"] == "0")
        assert int(s["windows"]) == before + 1, s["windows"]
        assert s[last_window(s) + "count"] == str(30 + 3), s
    finally:
        share.close()


def case_walk_choices(d, p, tree, work):
    """A search counts the dot folder it left out on the line below the status
    bar; in 検索ｵﾌﾟｼｮﾝ (&S), by the keyboard, dot folders are searched from then
    on and a folder is excluded in the box, both kept in the settings file."""
    make_tree(tree, [".config/app/x.gif", "node_modules/pkg/y.gif"])
    settings = os.path.join(work, "TAVOLIX.INI")

    def settings_hold(line):
        return lambda: os.path.exists(settings) and line in open(settings, encoding="utf-8").read().splitlines()

    p.choose_base(tree)
    s = p.search("*.gif")
    w = last_window(s)
    assert s[w + "notsearched"] == "検索しなかったフォルダ 1 （ ドットで始まる名前 1 ）", s[w + "notsearched"]
    before = s[w + "names"].split("|")
    assert "y.gif" in before and "x.gif" not in before, before
    p.wait("the frame active", is_frame, activate=True)
    d.key("alt+s")
    d.key("h")
    wait_for("HiddenFolders=1 in the settings file", settings_hold("HiddenFolders=1"), timeout=5)
    d.key("alt+s")
    d.key("e")
    box = d.window_named(p.proc.pid, "除外するフォルダ")
    p.wait("the exclusions box active", lambda s: s["active"] == "除外するフォルダ", activate=box)
    d.type("node_modules")
    d.key("Tab")
    d.key("space")
    wait_for("Exclude=node_modules in the settings file", settings_hold("Exclude=node_modules"), timeout=5)
    # The box is gone and the frame has its focus back (on Wayland that comes
    # when the compositor hands it back) before the keys go on.
    p.wait("the frame back with a focus", lambda s: is_frame(s) and s["focus"] != "-", activate=True)
    s = p.search("*.gif")
    w = last_window(s)
    after = s[w + "names"].split("|")
    assert "x.gif" in after and "y.gif" not in after, after
    assert s[w + "notsearched"] == "検索しなかったフォルダ 1 （ 除外 1 ）", s[w + "notsearched"]
    d.screenshot(os.path.join(work, "walk_choices.png"))


def case_stalled_share(d, p, tree, work):
    """A search whose subtree holds a share folder that never answers: the
    window keeps working (the clock ticks, F5 hides and shows the bars),
    Escape stops the search with the hits found so far and tells the folder
    as not answering, and quitting closes every window at once."""
    share = StallFs(os.path.join(work, "stall"), work, 2000)
    try:
        os.symlink(share.mountpoint, os.path.join(tree, "share"))
        p.choose_base(tree)
        before = int(p.state()["windows"])
        p.key_box()
        d.key("ctrl+a")
        d.type("*.gif")
        p.wait("the key box reads *.gif", lambda s: s["key"] == "*.gif")
        d.key("Return")
        p.wait("the walk waiting on the dead folder",
               lambda s: s["searching"] == "1" and int(s["windows"]) == before + 1)
        # The window's thread never waits on the share: the clock goes on
        # and a command of the frame works.
        s = p.wait("the frame active", is_frame, activate=True)
        first = s["clock"]
        watch_clock(p, "the clock ticking during the walk", lambda s: s["clock"] != first and s["searching"] == "1")
        d.screenshot(os.path.join(work, "walking.png"))
        d.key("F5")
        p.wait("the bars hidden by F5 during the walk", lambda s: s["bars-visible"] == "0", timeout=3)
        d.key("F5")
        p.wait("the bars back", lambda s: s["bars-visible"] == "1", timeout=3)
        d.click(p.frame, 500, 300)  # into the result window's list
        p.wait("the list has the focus", lambda s: s["focus"] == "ListBox1")
        pressed = time.monotonic()
        d.key("Escape")
        s = p.wait("the stopped search's window",
                   lambda s: int(s["windows"]) == before + 1 and s["searching"] == "0", timeout=5)
        print("Escape to the stopped window in the state file: %.0f ms (polls included)"
              % ((time.monotonic() - pressed) * 1000))
        w = last_window(s)
        assert s[w + "stopped"] == "1", s
        names = s[w + "names"].split("|")
        assert "a.gif" in names and "a & b.gif" in names, names
        assert "応答なし 1" in s[w + "unread"], s[w + "unread"]
        d.screenshot(os.path.join(work, "stalled.png"))
        # Quit while the walk is stuck in the kernel: every window goes at once.
        p.wait("the frame active", is_frame, activate=True)
        d.key("alt+F4")
        box = d.window_named(p.proc.pid, "Tavolix ヌバロ")
        p.wait("the exit question active", lambda s: s["active"] == "Tavolix ヌバロ", activate=box)
        answered = time.monotonic()
        d.key("Return")
        # The process itself may have to wait for the kernel to hand its
        # stuck thread back; its windows go at once.
        wait_for("every window closed", lambda: not d.windows(p.proc.pid, FRAME_TITLE)
                 and not d.windows(p.proc.pid, "Tavolix ヌバロ"), timeout=3)
        print("Yes to every window closed: %.0f ms" % ((time.monotonic() - answered) * 1000))
        share.close()  # the server gone, the kernel fails the stuck calls
        assert p.ended(10), "the program is still running after its windows closed"
        assert p.proc.returncode == 0, p.proc.returncode
    finally:
        share.close()


def case_focus_after_program_switch(d, p, tree, work):
    """Coming back from another program leaves the focus where it was."""
    p.choose_base(tree)
    p.search("*.gif")
    other = subprocess.Popen(["xmessage", "-title", "another program", "another program"], env=d.env,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        window = wait_for("the other program", lambda: (d.xdo("search", "--onlyvisible", "--pid",
                                                                str(other.pid), "--name", "another") or None))
        window = window.split()[0]
        for focus in ["KeyWordEditCB", "DirectoryListBox2"]:
            if focus == "KeyWordEditCB":
                p.key_box()
            else:
                d.click(p.frame, 100, 300)
                p.wait("the tree has the focus", lambda s: s["focus"] == focus)
            d.activate(window)
            p.wait("the other program active", lambda s: s["active"] == "-")
            d.activate(p.frame)
            p.wait("the frame active again", is_frame)
            # Activation handlers run with the activation; give them a turn.
            time.sleep(0.5)
            s = p.state()
            assert s["focus"] == focus, "focus moved from %s to %s" % (focus, s["focus"])
    finally:
        other.terminate()
        other.wait(5)


def case_exit_question(d, p, tree, work):
    """Escape in the exit question keeps the program; closing the question by
    its title bar (Alt+F4 through the window manager) lets it end."""
    box = p.exit_question()
    p.wait("the exit question active", lambda s: s["active"] == "Tavolix ヌバロ", activate=box)
    d.key("Escape")
    p.wait("the frame back", is_frame, activate=True)
    assert p.proc.poll() is None
    d.key("alt+F4")
    box = d.window_named(p.proc.pid, "Tavolix ヌバロ")
    p.wait("the exit question active", lambda s: s["active"] == "Tavolix ヌバロ", activate=box)
    d.key("alt+F4")
    assert p.ended(), "the program is still running after its exit question was closed"


def case_no_hit_closes(d, p, tree, work):
    """A search that finds nothing closes as any result window closes: the
    hidden bars come back and the tree has the focus."""
    p.choose_base(tree)
    p.key_box()
    d.key("ctrl+a")
    d.type("*.none")
    p.wait("the key box reads *.none", lambda s: s["key"] == "*.none")
    d.key("F5")
    p.wait("the bars hidden", lambda s: s["bars-visible"] == "0")
    d.key("F2")
    p.wait("the no-hit note", lambda s: s["active"] == "情報")
    d.key("Return")
    s = p.wait("the frame back", is_frame, activate=True)
    assert s["windows"] == "0", s["windows"]
    p.wait("the bars back and the tree focused",
           lambda s: s["bars-visible"] == "1" and s["focus"] == "DirectoryListBox2")


def case_dead_share_tree(d, p, tree, work):
    """A share mounted after the start shows when the selector opens; on it
    the tree marks the folders that don't answer while the window goes on;
    a wheel over the selector without focus chooses nothing; quitting closes
    the window while threads still wait on the share."""
    share = StallFs(os.path.join(work, "home", "share"), work, 3000)
    try:
        d.click(p.frame, 100, 300)
        p.wait("the tree has the focus", lambda s: s["focus"] == "DirectoryListBox2")
        d.key("Tab")
        p.wait("the selector has the focus", lambda s: s["focus"] == "DriveComboBox1")
        d.key("alt+Down")  # opens the list, which is read again
        p.wait("the selector's list open", lambda s: s["selector-open"] == "1")
        d.key("End")
        d.key("Return")
        p.wait("the share chosen", lambda s: s["drive"] == share.mountpoint)
        s = watch_clock(p, "dead/ and hang/ marked as not answering",
                        lambda s: {"dead:2", "hang:2"} <= set(s["tree-waiting"].split("|")))
        assert "ok:" not in s["tree-waiting"], s["tree-waiting"]
        d.screenshot(os.path.join(work, "dead_share.png"))
        # The bars still come and go.
        d.key("F5")
        watch_clock(p, "the bars hidden", lambda s: s["bars-visible"] == "0")
        d.key("F5")
        watch_clock(p, "the bars back", lambda s: s["bars-visible"] == "1")
        # The rest of the share works: ok/ chosen and opened with keys.
        d.click(p.frame, 100, 300)
        p.wait("the tree has the focus", lambda s: s["focus"] == "DirectoryListBox2")
        d.key("Home")
        p.wait("the share's root chosen", lambda s: s["base"] == share.mountpoint + "/")
        d.type("ok")
        watch_clock(p, "ok/ chosen", lambda s: s["base"] == share.mountpoint + "/ok")
        d.key("Right")
        watch_clock(p, "ok/ open", lambda s: s["tree-open"] == "1")
        # A wheel step over the selector, the focus in the tree: no other volume.
        x, y = p.state()["selector-at"].split(",")
        d.xdo("mousemove", "--window", p.frame, x, y)
        d.xdo("click", "4")
        d.key("Down")  # handled after the wheel
        s = p.wait("ok/sub chosen", lambda s: s["base"] == share.mountpoint + "/ok/sub")
        assert s["drive"] == share.mountpoint, s["drive"]
        assert s["focus"] == "DirectoryListBox2", s["focus"]
        # Quit while dead/ and hang/ still hold their threads.
        d.key("alt+F4")
        box = d.window_named(p.proc.pid, "Tavolix ヌバロ")
        p.wait("the exit question active", lambda s: s["active"] == "Tavolix ヌバロ", activate=box)
        d.key("Return")
        wait_for("the frame closed", lambda: not d.windows(p.proc.pid, FRAME_TITLE), 3)
        share.release()
        assert p.ended(), "the program is still running once the share let its threads go"
        print("the clock's longest step: %.2f s" % max(CLOCK_GAPS, default=0))
    finally:
        share.close()


def case_no_hit_keeps_window_menu(d, p, tree, work):
    """A search without hits while a result window is open leaves the window
    menu and its shortcuts to that window."""
    p.choose_base(tree)
    s = p.search("*.gif")
    w = last_window(s)
    assert s["window-menu"] == "1", s["window-menu"]
    p.key_box()
    d.key("ctrl+a")
    d.type("*.none")
    p.wait("the key box reads *.none", lambda s: s["key"] == "*.none")
    d.key("Return")
    p.wait("the no-hit note", lambda s: s["active"] == "情報")
    d.key("Return")
    s = p.wait("the frame back", is_frame, activate=True)
    assert s["windows"] == "1", s["windows"]
    assert s["window-menu"] == "1", "the window menu was disabled"
    d.key("ctrl+m")
    p.wait("the window maximized by Ctrl+M", lambda s: s[w + "state"] == "maximized")


def case_keyboard_selection_status(d, p, tree, work):
    """Moving the selection with the arrow keys shows the hit's path in the
    frame's status bar, as a click does."""
    p.choose_base(tree)
    s = p.search("*.gif")
    p.wait("the focus in the list", lambda s: s["focus"] == "ListBox1", activate=True)
    d.key("End")
    p.wait("the last hit in the status bar", lambda s: s["status"] == " %s/sub/d.gif" % tree)
    d.key("Home")
    p.wait("the first hit in the status bar", lambda s: s["status"] == " %s/a & b.gif" % tree)


def focus_list(d, p):
    d.click(p.frame, 700, 500)
    p.wait("the focus in the list", lambda s: s["focus"] == "ListBox1")


def clipboard(d, target=None):
    """What another program reads from the clipboard."""
    out = subprocess.run(["xclip", "-o", "-selection", "clipboard"] + (["-t", target] if target else []),
                         env=d.env, capture_output=True, timeout=20)
    return out.stdout.decode("utf-8", "replace") if out.returncode == 0 else None


def case_select_copy(d, p, tree, work):
    """Ctrl+A selects every hit and Ctrl+C copies their paths: a line each as
    text, and as a list of URIs for file managers, read by another program."""
    p.choose_base(tree)
    s = p.search("*")
    w = last_window(s)
    count = int(s[w + "count"])
    focus_list(d, p)
    d.key("ctrl+a")
    p.wait("every hit selected", lambda s: s[w + "selected"] == str(count))
    d.key("ctrl+c")
    paths = sorted(os.path.join(tree, f) for f in SMALL_TREE)
    wait_for("the paths on the clipboard", lambda: sorted((clipboard(d) or "").split("\n")) == paths, 20)
    uris = clipboard(d, "text/uri-list").split("\r\n")
    assert uris[-1] == "" and len(uris) == count + 1, uris
    assert "file://%s/a%%20%%26%%20b.gif" % tree in uris, uris
    assert s[w + "state"] == p.state()[w + "state"], "the window moved"


def case_enter_opens(d, p, tree, work):
    """Enter opens the selected hit with the desktop's program for its type: a
    handler of the test's own, the default for plain text in a private
    XDG_DATA_HOME, writes down what it was given."""
    p.close()
    data = os.path.join(work, "data")
    handler = os.path.join(work, "handler.sh")
    opened = os.path.join(work, "opened.txt")
    with open(handler, "w") as f:
        f.write('#!/bin/sh\nprintf "%%s\\n" "$1" >> "%s"\n' % opened)
    os.chmod(handler, 0o755)
    os.makedirs(os.path.join(data, "applications"))
    with open(os.path.join(data, "applications", "tavolix-test-open.desktop"), "w") as f:
        f.write("[Desktop Entry]\nType=Application\nName=Test opener\nExec=%s %%f\nMimeType=text/plain;\n"
                "NoDisplay=true\n" % handler)
    config = os.path.join(work, "opener", "home", ".config")
    os.makedirs(config)
    with open(os.path.join(config, "mimeapps.list"), "w") as f:
        f.write("[Default Applications]\ntext/plain=tavolix-test-open.desktop\n")
    q = Program(d, p.binary, tree, os.path.join(work, "opener"),
                {"XDG_DATA_HOME": data, "XDG_CURRENT_DESKTOP": "", "DESKTOP_SESSION": ""})
    try:
        q.choose_base(tree)
        s = q.search("*.txt")
        assert s[last_window(s) + "names"] == "readme.txt", s
        focus_list(d, q)
        d.key("ctrl+a")
        q.wait("the hit selected", lambda s: s[last_window(s) + "selected"] == "1")
        d.key("Return")
        wait_for("the file opened by its program",
                 lambda: os.path.exists(opened) and open(opened).read() == os.path.join(tree, "readme.txt") + "\n")
    finally:
        q.close()


def case_tab_leaves_list(d, p, tree, work):
    """Tab and Shift+Tab go on from the result list to the frame's controls."""
    p.choose_base(tree)
    p.search("*.gif")
    for key in ["Tab", "shift+Tab"]:
        focus_list(d, p)
        d.key(key)
        p.wait(key + " out of the list", lambda s: s["focus"] not in ("ListBox1", "DetailsView1", "-"))


def case_details_view(d, p, tree, work):
    """F7 shows the hits one a row with folder, size, date and type; the view
    is kept for new windows."""
    p.choose_base(tree)
    s = p.search("*.gif")
    w = last_window(s)
    assert s[w + "view"] == "grid", s[w + "view"]
    focus_list(d, p)
    d.key("F7")
    s = p.wait("the details view", lambda s: s[w + "view"] == "details" and s["focus"] == "DetailsView1")
    assert len(s[w + "columns"].split("|")) == 5, s[w + "columns"]
    d.screenshot(os.path.join(work, "details.png"))
    with open(os.path.join(work, "TAVOLIX.INI"), encoding="utf-8") as f:
        assert "Details=1" in f.read()
    s = p.search("*.htm*")
    assert s[last_window(s) + "view"] == "details", s


def case_frame_placement(d, p, tree, work):
    """The frame is three quarters of the screen with its borders, centred,
    when it first stands in the normal state: at start, and after a start
    minimized or maximized once it is restored."""
    placed = (160, 128, 960, 768)  # on the 1280 x 1024 screen

    def check_placed(program, how):
        try:
            wait_for("the frame placed " + how, lambda: d.outer_geometry(program.frame) == placed, timeout=10)
        except Failure:
            print("frame at %s" % (d.outer_geometry(program.frame),), file=sys.stderr)
            raise

    check_placed(p, "at start")
    p.close()
    for cmd in ["7", "3"]:
        sub = os.path.join(work, "start" + cmd)
        os.mkdir(sub)
        # Started minimized, the frame is restored by its activation.
        q = Program(d, p.binary, p.cwd, sub, {"TAVOLIX_SHOWCMD": cmd})
        try:
            if cmd == "3":
                assert q.state()["frame-state"] == "maximized", q.state()["frame-state"]
                # A double click on the title bar restores it (openbox).
                d.xdo("mousemove", "640", "8")
                d.xdo("click", "--repeat", "2", "--delay", "80", "1")
                q.wait("the frame restored", lambda s: s["frame-state"] == "normal")
            check_placed(q, "after the show command " + cmd)
        finally:
            q.close()


def make_pictures(folder):
    """Photos made by ImageMagick, wallpapers of another project (Debian's
    desktop-base), a picture that claims 400 million pixels, a page that
    is no picture and an SVG that names a red picture outside its folder and
    a FIFO; returns how many of them are pictures that can be made."""
    os.makedirs(folder)
    private = os.path.join(os.path.dirname(folder), "private")
    os.makedirs(private, exist_ok=True)
    subprocess.run(["convert", "-size", "64x64", "xc:red", os.path.join(private, "secret.png")], check=True)
    os.mkfifo(os.path.join(private, "pipe.png"))
    with open(os.path.join(folder, "outside.svg"), "w") as f:
        f.write('<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" '
                'width="200" height="100"><rect width="200" height="100" fill="white"/>'
                '<image width="100" height="100" xlink:href="%s"/>'
                '<image x="100" width="100" height="100" xlink:href="%s"/></svg>\n'
                % (os.path.join(private, "secret.png"), os.path.join(private, "pipe.png")))
    made = []
    for name, size, kind in [("photo 1.jpg", "1600x900", "plasma:red-blue"), ("写真 #2.png", "900x1600", "gradient:green-yellow"),
                             ("three.webp", "400x300", "plasma:"), ("four.tif", "300x200", "gradient:blue-white")]:
        made.append(subprocess.Popen(["convert", "-size", size, kind, os.path.join(folder, name)]))
    for p in made:
        p.wait()
    count = len(made)
    wallpapers = "/usr/share/desktop-base/emerald-theme/wallpaper/contents/images"
    for name in ["1920x1080.svg", "3840x2160.svg"]:
        if os.path.exists(os.path.join(wallpapers, name)):
            shutil.copy(os.path.join(wallpapers, name), os.path.join(folder, "emerald " + name))
            count += 1
    # 20000 x 20000 grey zeros: refused, never decoded.
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    row = bytes(20001)
    z = zlib.compressobj(1)
    idat = b"".join(z.compress(row) for _ in range(20000)) + z.flush()
    with open(os.path.join(folder, "bomb.png"), "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 20000, 20000, 8, 0, 0, 0, 0))
                + chunk(b"IDAT", idat) + chunk(b"IEND", b""))
    with open(os.path.join(folder, "fake.jpg"), "w") as f:
        f.write("<html>not a picture</html>")
    return count + 1  # outside.svg


def has_red(picture):
    """True when some pixel of the picture is clearly red (ImageMagick)."""
    out = subprocess.run(["convert", picture, "-fx", "r>0.7&&g<0.3&&b<0.3", "-format", "%[fx:maxima]", "info:"],
                         capture_output=True, text=True, check=True).stdout
    return float(out) > 0


def case_pictures_view(d, p, tree, work):
    """F6 turns the pictures view on: today's pictures (photos, wallpapers)
    arrive one by one while the window keeps working, hostile files show
    their names, the choice is kept for new windows and the thumbnails are
    in the desktops' shared cache."""
    pictures = os.path.join(tree, "pictures")
    count = make_pictures(pictures)
    p.choose_base(pictures)
    s = p.search("*.*")
    w = last_window(s)
    assert s[w + "pictures"] == "0", s
    d.click(p.frame, 700, 500)
    p.wait("the focus in the list", lambda s: s["focus"] == "ListBox1")
    d.key("F6")
    s = p.wait("every picture made", lambda s: s[w + "pictures"] == "1" and int(s[w + "pictures-ready"]) >= count)
    d.screenshot(os.path.join(work, "pictures.png"))
    with open(os.path.join(work, "TAVOLIX.INI"), encoding="utf-8") as f:
        settings = f.read()
    assert "[View]" in settings and "Pictures=1" in settings, settings
    # Pictures of the medium size are drawn from the large thumbnails.
    cache = os.path.join(work, "home", ".cache", "thumbnails", "large")
    assert len(os.listdir(cache)) >= count, os.listdir(cache)
    assert len(os.listdir(os.path.join(work, "home", ".cache", "thumbnails", "fail"))) == 1
    # A new window starts with pictures; F6 there turns them off again.
    s = p.search("*.png")
    w2 = last_window(s)
    assert s[w2 + "pictures"] == "1", s
    d.click(p.frame, 700, 500)
    p.wait("the focus in the new list", lambda s: s["focus"] == "ListBox1")
    d.key("F6")
    p.wait("pictures off in the new window", lambda s: s[w2 + "pictures"] == "0" and s[w + "pictures"] == "1")


def case_languages(d, p, tree, work):
    """The language follows the locale: an English one gets the English frame,
    result window and boxes; a Japanese one the Japanese, with the toolkit's
    save dialog in Japanese too (C, as in the other cases, is Japanese)."""
    p.close()
    english = Program(d, p.binary, tree, os.path.join(work, "en"), {"LC_ALL": "", "LANG": "en_US.UTF-8"},
                      title=" Tavolix")
    try:
        english.choose_base(tree)
        assert english.state()["label"] == "Search in = " + tree, english.state()["label"]
        s = english.search("*.gif")
        w = last_window(s)
        assert s[w + "title"] == " Directory = %s , Key = *.gif" % tree, s[w + "title"]
        assert s[w + "totals"].startswith(" Sorted by : Name → Ascending ; Total Files = 3"), s[w + "totals"]
        d.key("F3")
        english.wait("the save dialog", lambda s: s["active"] == "Save As" and s["focus"] == "fileNameEdit")
        english.type_line(os.path.join(work, "page.html"))
        d.key("Return")
        english.wait("the question in English", lambda s: s["active"] == "Confirm")
        d.key("Escape")
        english.wait("the note in English", lambda s: s["active"] == "Information")
        d.key("Return")
    finally:
        english.close()
    with open(os.path.join(work, "page.html"), encoding="utf-8") as f:
        html = f.read()
    assert "<H2>Search key  =  *.gif</H2>" in html, html[:600]

    japanese = Program(d, p.binary, tree, os.path.join(work, "ja"), {"LC_ALL": "", "LANG": "ja_JP.UTF-8"})
    try:
        japanese.choose_base(tree)
        japanese.search("*.gif")
        d.key("F3")
        japanese.wait("the save dialog in Japanese", lambda s: s["active"] == "名前を付けて保存")
        d.key("Escape")
    finally:
        japanese.close()


def case_picture_grid(d, p, tree, work):
    """In a German session with summer time: the pictures grid fills a
    maximised window, Ctrl+plus makes its pictures larger (fewer columns),
    the size is kept, and the status bar writes a date with its year in four
    digits in the locale's order."""
    p.close()
    pictures = os.path.join(tree, "pictures")
    make_pictures(pictures)
    # 8 December 2026, 13:05 in Berlin (winter time: UTC+1).
    stamp = 1796731500
    os.utime(os.path.join(pictures, "bomb.png"), (stamp, stamp))
    german = Program(d, p.binary, tree, os.path.join(work, "de"),
                     {"LC_ALL": "", "LANG": "de_DE.UTF-8", "TZ": "Europe/Berlin"}, title=" Tavolix")
    try:
        german.choose_base(pictures)
        s = german.search("*.*")
        w = last_window(s)
        d.click(german.frame, 700, 500)
        german.wait("the focus in the list", lambda s: s["focus"] == "ListBox1")
        hits = s[w + "count"]
        d.key("End")
        german.wait("the last hit selected", lambda s: s[w + "status"].startswith(f"{hits} / {hits}"))
        d.key("Home")
        german.wait("the first hit's date in the status bar", lambda s: "08.12.2026 13:05" in s[w + "status"])
        d.key("ctrl+m")
        german.wait("the window maximized", lambda s: s[w + "state"] == "maximized")
        d.key("F6")
        s = german.wait("the pictures grid", lambda s: s[w + "pictures"] == "1" and s[w + "picture-size"] == "160")
        medium = int(s[w + "grid"].split("x")[0])
        assert medium > 2, s[w + "grid"]
        d.key("ctrl+plus")
        s = german.wait("larger pictures", lambda s: s[w + "picture-size"] == "256")
        german.wait("fewer columns", lambda s: int(s[w + "grid"].split("x")[0]) < medium)
        d.screenshot(os.path.join(work, "picture_grid.png"))
        with open(os.path.join(work, "de", "TAVOLIX.INI"), encoding="utf-8") as f:
            assert "PictureSize=256" in f.read()
    finally:
        german.close()


def case_page_thumbnails(d, p, tree, work):
    """The page with thumbnails, chosen in the result window's menu and kept
    for new windows: F3 writes it with the folder of thumbnails beside it,
    each picture a thumbnail linked to its file, the window working on."""
    pictures = os.path.join(tree, "pictures")
    count = make_pictures(pictures)
    p.choose_base(pictures)
    s = p.search("*.*")
    w = last_window(s)
    assert s[w + "page-thumbnails"] == "0", s
    d.click(p.frame, 700, 500)
    p.wait("the focus in the list", lambda s: s["focus"] == "ListBox1")
    d.key("alt+o")
    p.wait("the page menu open", lambda s: s["popup"] == "検索・作成＆保存 (&O)")
    d.key("t")
    p.wait("pages with thumbnails chosen", lambda s: s[w + "page-thumbnails"] == "1")
    page = os.path.join(work, "out dir", "写真 & <a>.html")
    os.makedirs(os.path.dirname(page))
    d.key("F3")
    p.wait("the save dialog", lambda s: s["focus"] == "fileNameEdit")
    p.type_line(page)
    d.key("Return")
    p.wait("the question to view it now", lambda s: s["active"] == "確認")
    d.key("Escape")  # No: don't start a browser
    p.wait("the note to view it later", lambda s: s["active"] == "情報")
    d.key("Return")
    p.wait("the frame back", is_frame, activate=True)
    with open(page, encoding="utf-8", errors="replace") as f:
        html = f.read()
    folder = os.path.join(work, "out dir", "写真 & <a>.files")
    thumbs = [n for n in os.listdir(folder) if not n.endswith("-2x.jpg") and not n.endswith("-2x.png")
              and not n.startswith(".")]
    assert len(thumbs) == count, (thumbs, count)
    assert html.count(' loading="lazy" decoding="async" ALT=') == count, html
    # The SVG's thumbnail holds nothing of the picture it names outside itself.
    at = html.index("outside.svg")
    source = re.search(r'SRC="([^"]+)"', html[at:]).group(1)
    shown = os.path.join(work, "out dir", urllib.parse.unquote(source))
    assert os.path.exists(shown) and not has_red(shown), shown
    assert html.count("%26%20%3Ca%3E.files/") >= count, html
    with open(os.path.join(work, "TAVOLIX.INI"), encoding="utf-8") as f:
        assert "PageThumbnails=1" in f.read()
    s = p.search("*.png")
    assert s[last_window(s) + "page-thumbnails"] == "1", s


def quit_by_keys(d, p):
    """Alt+F4 and Enter (Yes) in the exit question, as a person quits (F4
    would close the active result window)."""
    p.desktop.activate(p.frame)
    box = p.exit_question()
    p.wait("the exit question active", lambda s: s["active"] == "Tavolix ヌバロ", activate=box)
    d.key("Return")
    assert p.ended(), "the program is still running after Yes to its exit question"


def case_restart_remembers(d, p, tree, work):
    """The very first start is in the home folder, the selector's first
    entry. After two searches in a folder below it, the tree widened by its
    splitter and the filter row shown, a restart brings back the folder, the
    last key, the history, the tree's width and the filter row."""
    p.close()
    sub = os.path.join(work, "first")
    home = os.path.join(sub, "home")
    make_tree(os.path.join(home, "Pictures"), ["a.gif", "b.txt", "2024/c.gif"])
    q = Program(d, p.binary, tree, sub, first_start=True)
    try:
        s = q.wait("the tree on the home folder", lambda s: s["base"] == home + "/")
        assert s["drives"].split("|")[0] == "ホーム （ %s ）" % home, s["drives"]
        pictures = os.path.join(home, "Pictures")
        q.choose_base(pictures, root=home)
        q.search("*.txt")
        q.search("*.gif")
        s = q.state()
        width = int(s["tree-width"])
        x, y = (int(v) for v in s["splitter-at"].split(","))
        d.activate(q.frame)
        d.xdo("mousemove", "--window", q.frame, str(x), str(y))
        d.xdo("mousedown", "1")
        for _ in range(4):
            d.xdo("mousemove_relative", "--", "20", "0")
        d.xdo("mouseup", "1")
        q.wait("the tree widened", lambda s: int(s["tree-width"]) >= width + 60)
        d.key("F8")
        # Read after the drag's last move: the width the program goes with.
        wider = q.wait("the filter row shown", lambda s: s["filter-row"] == "1")["tree-width"]
        d.screenshot(os.path.join(work, "before_restart.png"))
        quit_by_keys(d, q)
    finally:
        q.close()
    os.remove(q.state_file)  # what the last run showed must not pass for the next
    q = Program(d, p.binary, tree, sub)
    try:
        s = q.wait("the tree on the folder searched last", lambda s: s["base"] == pictures)
        assert s["key"] == "*.gif", s["key"]
        assert s["history"] == "*.txt|*.gif", s["history"]
        assert s["tree-width"] == wider, (s["tree-width"], wider)
        assert s["filter-row"] == "1", s["filter-row"]
        d.screenshot(os.path.join(work, "after_restart.png"))
    finally:
        q.close()


def case_filter_row(d, p, tree, work):
    """F8 shows the filter row: a kind chosen from its menu by the keyboard
    and a least size typed narrow the next search, whose title tells them;
    F8 again hides the row, and the search after finds everything. The row
    is kept in the settings file."""
    p.choose_base(tree)
    p.desktop.activate(p.frame)
    d.key("F8")
    p.wait("the filter row with the focus on its kinds",
           lambda s: s["filter-row"] == "1" and s["focus"] == "KindButton")
    d.key("space")
    p.wait("the kinds' menu open", lambda s: s["popup"] != "-")
    d.key("Down")
    d.key("Return")
    p.wait("pictures chosen", lambda s: s["filter"] == "種類 = 画像")
    d.key("Tab")
    p.wait("the least size has the focus", lambda s: s["focus"] == "MinSizeEdit")
    p.type_line("5")
    s = p.search("*")
    w = last_window(s)
    assert s[w + "title"].endswith("（ 種類 = 画像 ， 5 以上 ）"), s[w + "title"]
    # e.jpg is a picture of four bytes; the text files are no pictures.
    assert sorted(s[w + "names"].split("|")) == ["a & b.gif", "c.gif", "d.gif"], s[w + "names"]
    p.desktop.activate(p.frame)
    d.key("F8")
    p.wait("the filter row hidden", lambda s: s["filter-row"] == "0")
    s = p.search("*")
    w = last_window(s)
    assert s[w + "count"] == str(len(SMALL_TREE)), s[w + "count"]
    with open(os.path.join(work, "TAVOLIX.INI"), encoding="utf-8") as f:
        kept = f.read().splitlines()
    for line in ["FilterRow=0", "Kinds=pictures", "MinSize=5"]:
        assert line in kept, (line, kept)


CASES = {
    "languages": case_languages,
    "enter_searches": case_enter_searches,
    "typed_key_is_searched": case_typed_key_is_searched,
    "save_page": case_save_page,
    "page_thumbnails": case_page_thumbnails,
    "maximized_clock": case_maximized_clock,
    "stop_walk": case_stop_walk,
    "focus_after_program_switch": case_focus_after_program_switch,
    "exit_question": case_exit_question,
    "no_hit_closes": case_no_hit_closes,
    "dead_share_tree": case_dead_share_tree,
    "stalled_share": case_stalled_share,
    "lagging_share": case_lagging_share,
    "walk_choices": case_walk_choices,
    "no_hit_keeps_window_menu": case_no_hit_keeps_window_menu,
    "keyboard_selection_status": case_keyboard_selection_status,
    "frame_placement": case_frame_placement,
    "pictures_view": case_pictures_view,
    "select_copy": case_select_copy,
    "enter_opens": case_enter_opens,
    "tab_leaves_list": case_tab_leaves_list,
    "details_view": case_details_view,
    "picture_grid": case_picture_grid,
    "restart_remembers": case_restart_remembers,
    "filter_row": case_filter_row,
}


def main():
    if len(sys.argv) != 3 or sys.argv[2] not in CASES:
        print("usage: real_input.py PROGRAM {%s}" % "|".join(CASES), file=sys.stderr)
        return 2
    binary, name = os.path.abspath(sys.argv[1]), sys.argv[2]
    for tool in ["Xvfb", "xdotool", "openbox", "xprop", "xmessage", "xwininfo", "xclip"]:
        if not shutil.which(tool):
            print("%s is missing (scripts/setup.sh installs it)" % tool, file=sys.stderr)
            return 1
    # Letters and digits only: the name is typed into the tree, where "-"
    # would collapse a branch.
    base = tempfile.gettempdir()
    while True:
        work = os.path.join(base, "tvxdesk" + os.urandom(5).hex())
        try:
            os.mkdir(work)
            break
        except FileExistsError:
            continue
    tree = os.path.join(work, "tree")
    make_tree(tree, SMALL_TREE)
    desktop = program = None
    ok = False
    try:
        desktop = Desktop(work)
        program = Program(desktop, binary, tree, work)
        case = CASES[name]
        if case.__code__.co_argcount == 3:
            case(desktop, program, tree)
        else:
            case(desktop, program, tree, work)
        ok = True
        print("%s: passed" % name)
    except Skip as e:
        print("%s: skipped: %s" % (name, e))
        ok = SKIPPED
    except (Failure, AssertionError) as e:
        print("%s: FAILED: %s" % (name, e), file=sys.stderr)
        if desktop:
            shot = os.path.join(work, "failure.png")
            desktop.screenshot(shot)
            print("screenshot and logs kept in " + work, file=sys.stderr)
    finally:
        if program:
            program.close()
        if desktop:
            desktop.close()
        if ok and not os.environ.get("TAVOLIX_DESKTOP_KEEP"):
            shutil.rmtree(work, ignore_errors=True)
    return SKIPPED if ok == SKIPPED else 0 if ok else 1


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *a: sys.exit(1))
    sys.exit(main())
