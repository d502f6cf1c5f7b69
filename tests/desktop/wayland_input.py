#!/usr/bin/python3
"""The real tavolix program as a Wayland client of a headless compositor:
sway (the compositor draws the titles and tiles the windows), driven by real
key presses through wtype, the clipboard read by another client (wl-paste);
weston (the program's toolkit draws the title bar), which takes no keys from
outside: the frame's start alone.

    wayland_input.py PROGRAM {sway|weston} SHOTS_FOLDER

Sway refuses to run as root: run as root, the compositors, the program and
every client run as the user tavolix-wl (scripts/setup.sh adds it). The
program's state is read from TAVOLIX_STATE_FILE as in real_input.py; the
screenshots of the tour (grim) are left in SHOTS_FOLDER for a person to look
at.
"""

import json
import os
import pwd
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import real_input as ri  # noqa: E402
from real_input import SKIPPED, SMALL_TREE, Failure, Skip, last_window, make_tree, wait_for  # noqa: E402

USER = "tavolix-wl"
APP_ID = "org.tavolix.Tavolix"
FRAME_TITLE = ri.FRAME_TITLE
CLOCK = ri.TITLE_CLOCK


def user_prefix():
    """What runs a command as the compositor's user."""
    if os.getuid() != 0:
        return []
    try:
        pw = pwd.getpwnam(USER)
    except KeyError:
        raise Skip("sway refuses root and the user %s is missing (scripts/setup.sh adds it)" % USER)
    return ["setpriv", "--reuid=%d" % pw.pw_uid, "--regid=%d" % pw.pw_gid, "--clear-groups", "--"]


def give_to_user(path):
    if os.getuid() != 0:
        return
    pw = pwd.getpwnam(USER)
    for root, dirs, files in os.walk(path):
        for name in [root] + [os.path.join(root, n) for n in dirs + files]:
            os.lchown(name, pw.pw_uid, pw.pw_gid)


is_frame = ri.is_frame


class Sway:
    """A headless sway with one keyboard on its seat, as a desktop has."""

    def __init__(self, work):
        self.work = work
        self.prefix = user_prefix()
        self.procs = []
        runtime = os.path.join(work, "run")
        os.mkdir(runtime, 0o700)
        config = os.path.join(work, "sway.conf")
        with open(config, "w") as f:
            f.write("output HEADLESS-1 resolution 1280x1024\ndefault_border normal\n")
        give_to_user(work)
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "SWAYSOCK")}
        env.update(XDG_RUNTIME_DIR=runtime, WLR_BACKENDS="headless", WLR_RENDERER="pixman",
                   WLR_LIBINPUT_NO_DEVICES="1", HOME=os.path.join(work, "home"))
        log = os.path.join(work, "sway.log")
        sway = subprocess.Popen(self.prefix + ["sway", "-c", config], env=env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=open(log, "w"))
        self.procs.append(sway)

        def sockets():
            if sway.poll() is not None:
                with open(log, errors="replace") as f:
                    raise Skip("sway could not start here: " + " | ".join(f.read().splitlines()[-3:]))
            names = os.listdir(runtime)
            wayland = [n for n in names if re.fullmatch(r"wayland-\d+", n)]
            ipc = [n for n in names if n.startswith("sway-ipc.") and n.endswith(".sock")]
            return (wayland[0], os.path.join(runtime, ipc[0])) if wayland and ipc else None
        try:
            display, ipc = wait_for("sway's sockets", sockets, 30)
        except Failure:
            raise Skip("sway gave no Wayland socket within 30 s")
        self.env = dict(env, WAYLAND_DISPLAY=display, SWAYSOCK=ipc)
        # Keys sent by wtype come from a keyboard of its own, gone when it
        # ends; with no other keyboard the seat would lose its keyboard, and
        # the program its keyboard focus, after every key. This one stays.
        self.procs.append(subprocess.Popen(self.prefix + ["wtype", "-s", "86400000"], env=self.env,
                                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                           stderr=subprocess.DEVNULL))
        wait_for("a keyboard on the seat",
                 lambda: any(dev.get("type") == "keyboard" for seat in self.msg("get_seats")
                             for dev in seat.get("devices", [])), 20)

    def run(self, args, **kw):
        return subprocess.run(self.prefix + args, env=self.env, capture_output=True, **kw)

    def msg(self, kind):
        out = self.run(["swaymsg", "-r", "-t", kind], timeout=20)
        return json.loads(out.stdout) if out.returncode == 0 else []

    def views(self, pid=None):
        """The windows on the screen: sway's nodes with a program."""
        found = []

        def walk(node):
            if node.get("pid") and (pid is None or node["pid"] == pid):
                found.append(node)
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                walk(child)
        walk(self.msg("get_tree") or {})
        return found

    def activate(self, view):
        self.run(["swaymsg", "[con_id=%d] focus" % view["id"]], timeout=20)

    def window_named(self, pid, title):
        return wait_for("a window " + title,
                        lambda: ([v for v in self.views(pid) if v.get("name") == title] or [None])[0])

    def wtype(self, *args):
        with open(os.path.join(self.work, "wtype.log"), "a") as log:
            log.write("%.3f %s\n" % (time.monotonic(), " ".join(args)))
        self.run(["wtype", *args], timeout=60)

    def key(self, *keys):
        """Keys as xdotool names them: "ctrl+a", "shift+Tab", "F2"."""
        for key in keys:
            *mods, name = key.split("+")
            args = []
            for m in mods:
                args += ["-M", m]
            args += ["-k", name]
            for m in reversed(mods):
                args += ["-m", m]
            self.wtype(*args)

    def type(self, text):
        self.wtype("-d", "30", text)

    def screenshot(self, path):
        shot = os.path.join(self.work, "shot.png")
        if self.run(["grim", shot], timeout=60).returncode == 0:
            shutil.copyfile(shot, path)

    def close(self):
        for proc in reversed(self.procs):
            if proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(5)
                except subprocess.TimeoutExpired:
                    proc.kill()


class Weston(Sway):
    """A headless weston with its desktop shell, drawing with pixman (else
    it draws nothing and takes no screenshot); its seat has no keyboard."""

    def __init__(self, work):
        self.work = work
        self.prefix = user_prefix()
        self.procs = []
        runtime = os.path.join(work, "run")
        os.mkdir(runtime, 0o700)
        config = os.path.join(work, "weston.ini")
        with open(config, "w") as f:
            f.write("[core]\nidle-time=0\n[shell]\npanel-position=none\nlocking=false\n")
        give_to_user(work)
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        env.update(XDG_RUNTIME_DIR=runtime, HOME=os.path.join(work, "home"))
        log = os.path.join(work, "weston.log")
        # --debug: the screenshooter is refused without it.
        weston = subprocess.Popen(self.prefix + ["weston", "--backend=headless-backend.so", "--use-pixman",
                                                 "--socket=wayland-1", "--width=1280", "--height=1024",
                                                 "--debug", "-c", config],
                                  env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                  stderr=open(log, "w"))
        self.procs.append(weston)

        def socket():
            if weston.poll() is not None:
                with open(log, errors="replace") as f:
                    raise Skip("weston could not start here: " + " | ".join(f.read().splitlines()[-3:]))
            return os.path.exists(os.path.join(runtime, "wayland-1"))
        try:
            wait_for("weston's socket", socket, 30)
        except Failure:
            raise Skip("weston gave no Wayland socket within 30 s")
        self.env = dict(env, WAYLAND_DISPLAY="wayland-1")

    def screenshot(self, path):
        folder = os.path.join(self.work, "shots")
        os.makedirs(folder, exist_ok=True)
        give_to_user(folder)
        for name in os.listdir(folder):
            os.unlink(os.path.join(folder, name))
        subprocess.run(self.prefix + ["weston-screenshooter"], cwd=folder, env=self.env, capture_output=True,
                       timeout=60)
        taken = os.listdir(folder)
        if taken:
            shutil.copyfile(os.path.join(folder, taken[0]), path)
        return bool(taken)


class Program(ri.Program):
    """The program on sway; reached by the keyboard alone (no pointer)."""

    def __init__(self, desktop, binary, cwd, work, extra_env=None):
        self.desktop = desktop
        self.title = FRAME_TITLE
        self.binary, self.cwd = binary, cwd
        self.state_file = os.path.join(work, "state.txt")
        self.home = os.path.join(work, "home")
        os.makedirs(self.home, exist_ok=True)
        settings = os.path.join(work, "TAVOLIX.INI")
        with open(settings, "w", encoding="utf-8") as f:
            f.write("[Search]\nLastFolder=/\n")
        give_to_user(work)
        env = dict(desktop.env, QT_QPA_PLATFORM="wayland", HOME=self.home,
                   XDG_CONFIG_HOME=os.path.join(self.home, ".config"),
                   XDG_CACHE_HOME=os.path.join(self.home, ".cache"), TAVOLIX_STATE_FILE=self.state_file,
                   TAVOLIX_SETTINGS=settings, ASAN_OPTIONS="detect_leaks=0:abort_on_error=1")
        env.update(extra_env or {})
        self.log_path = os.path.join(work, "program.log")
        self.log = open(self.log_path, "w")
        # setpriv runs the program in its own process: the pid is the program's.
        self.proc = subprocess.Popen(desktop.prefix + [binary], cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                                     stdout=self.log, stderr=subprocess.STDOUT)
        if isinstance(desktop, Weston):
            return
        try:
            self.frame = wait_for("the frame on the screen",
                                  lambda: next(iter(self.desktop.views(self.proc.pid)), None))
            self.wait("the frame is active", is_frame, activate=True)
        except BaseException:
            self.close()
            raise

    def focus_to(self, name):
        """Tab through the frame's controls until `name` has the focus."""
        for _ in range(8):
            if self.state().get("focus") == name:
                return
            before = self.state().get("focus")
            self.desktop.key("Tab")
            try:
                self.wait("the focus to move on from " + str(before),
                          lambda s: s["focus"] != before, timeout=10, quiet=True)
            except Failure:
                pass
        self.wait(name + " has the focus", lambda s: s["focus"] == name, timeout=5)

    def key_box(self):
        self.focus_to("KeyWordEditCB")

    def focus_tree(self):
        self.focus_to("DirectoryListBox2")


def clipboard(d, target=None):
    out = d.run(["wl-paste", "--no-newline"] + (["-t", target] if target else []), timeout=20)
    return out.stdout.decode("utf-8", "replace") if out.returncode == 0 else None


def wayland_warnings(p):
    p.log.flush()
    with open(p.log_path, errors="replace") as f:
        return [line for line in f.read().splitlines() if "qt.qpa.wayland" in line]


def weston_start(d, p, shots):
    """The frame with the title bar its toolkit draws: the clock ticks in the
    title text, the frame keeps the size it wished for, nothing warns."""
    first = p.wait("the clock in the frame's title", lambda s: CLOCK.search(s["frame-title"]))["frame-title"]
    assert CLOCK.sub("", first) == FRAME_TITLE, first
    p.wait("the title's clock ticking", lambda s: s["frame-title"] != first)
    s = p.wait("the frame shown", lambda s: s["frame-state"] == "normal")
    assert s["frame-size"] == "960x768", s["frame-size"]
    # Its seat has no keyboard, so nothing may make it active: the clock's
    # colours tell what the frame is.
    assert s["clock-active"] == ("1" if is_frame(s) else "0"), s
    assert d.screenshot(os.path.join(shots, "1-frame.png")), "weston-screenshooter took no screenshot"
    assert not wayland_warnings(p), wayland_warnings(p)


def tour(d, p, tree, work, shots):
    # The frame: its app id, the tile's size, the clock in its title.
    view = p.frame
    assert view.get("app_id") == APP_ID, view.get("app_id")
    s = p.wait("the frame in the tile's size",
               lambda s: s["frame-size"] == "%dx%d" % (d.views(p.proc.pid)[0]["window_rect"]["width"],
                                                       d.views(p.proc.pid)[0]["window_rect"]["height"]))
    first = wait_for("the clock in the title", lambda: CLOCK.search(d.views(p.proc.pid)[0]["name"]) and
                     d.views(p.proc.pid)[0]["name"])
    wait_for("the title's clock ticking", lambda: d.views(p.proc.pid)[0]["name"] not in ("", first))
    d.screenshot(os.path.join(shots, "1-frame.png"))

    # Every menu of the menu bar opens and closes by the keyboard.
    for letter in "fkosd":
        d.key("alt+" + letter)
        p.wait("the menu of alt+" + letter, lambda s: s["popup"] != "-")
        if letter == "o":
            d.screenshot(os.path.join(shots, "2-menu.png"))
        d.key("Escape")
        p.wait("the menu closed", lambda s: s["popup"] == "-")
    d.key("Escape")  # leaves the menu bar

    # From a key to a result window and on to a saved page.
    ri.case_enter_searches(d, p, tree)
    # The result window's own title bar shows the clock, ticking.
    w = last_window(p.state())
    first = p.wait("the clock on the result window's title bar",
                   lambda s: re.fullmatch(r"\d\d:\d\d:\d\d", s[w + "title-clock"]))[w + "title-clock"]
    p.wait("the result window's clock ticking", lambda s: s[w + "title-clock"] not in ("", first))
    d.screenshot(os.path.join(shots, "3-result-window.png"))
    page = os.path.join(work, "out", "the page.html")
    os.makedirs(os.path.dirname(page))
    give_to_user(os.path.dirname(page))
    d.key("F3")
    p.wait("the save dialog", lambda s: s["focus"] == "fileNameEdit")
    d.screenshot(os.path.join(shots, "3-save-dialog.png"))
    p.type_line(page)
    d.key("Return")
    wait_for("the page on disk", lambda: os.path.exists(page))
    p.wait("the question to view it now", lambda s: s["active"] == "確認")
    d.key("Escape")
    p.wait("the note to view it later", lambda s: s["active"] == "情報")
    d.key("Return")
    p.wait("the frame back", is_frame)
    with open(page, encoding="shift_jis", errors="replace") as f:
        html = f.read()
    for name in ["a &amp; b.gif", "c.gif", "d.gif"]:
        assert name in html, name

    # Select and copy, read by another client.
    s = p.search("*")
    w = last_window(s)
    p.wait("the focus in the list", lambda s: s["focus"] == "ListBox1")
    d.key("ctrl+a")
    p.wait("every hit selected", lambda s: s[w + "selected"] == s[w + "count"] == str(len(SMALL_TREE)))
    d.key("ctrl+c")
    paths = sorted(os.path.join(tree, f) for f in SMALL_TREE)
    wait_for("the paths on the clipboard", lambda: sorted((clipboard(d) or "").split("\n")) == paths, 30)
    uris = (clipboard(d, "text/uri-list") or "").split("\r\n")
    assert "file://%s/a%%20%%26%%20b.gif" % tree in uris, uris
    d.screenshot(os.path.join(shots, "4-selected.png"))

    # Enter opens the selected hit with the desktop's program for its type.
    select_the_text_file(d, p)
    d.key("Return")
    opened = os.path.join(work, "opened.txt")
    wait_for("the file opened by its program",
             lambda: os.path.exists(opened) and open(opened).read() == os.path.join(tree, "readme.txt") + "\n")
    # Sway offers activation tokens: the program came with one.
    with open(os.path.join(work, "token.txt")) as f:
        first_token = f.read()
    assert first_token, "the opened program got no activation token"

    # The context menu's "show in folder": with no file manager on the bus,
    # the folder goes to the desktop's program for folders, with a token of
    # its own.
    d.key("shift+F10")
    p.wait("the hit's context menu", lambda s: s["popup"] != "-")
    d.key("Down", "Down", "Return")
    wait_for("the folder opened by its program",
             lambda: open(opened).read().splitlines()[-1:] in ([tree], [tree + "/"]))
    with open(os.path.join(work, "token.txt")) as f:
        token = f.read()
    assert token and token != first_token, (token, first_token)

    # The filter row, by the keyboard.
    ri.case_filter_row(d, p, tree, work)
    d.screenshot(os.path.join(shots, "5-filter-row.png"))

    # Escape stops a long walk with the hits so far.
    share = StallFs(d, os.path.join(work, "stall"), work, 20000)
    try:
        os.symlink(os.path.join(share.mountpoint, "slow"), os.path.join(tree, "slow"))
        p.choose_base(tree)
        before = int(p.state()["windows"])
        p.key_box()
        d.key("ctrl+a")
        d.type("*.gif")
        d.key("Return")
        p.wait("the result window walking with the list focused",
               lambda s: int(s["windows"]) == before + 1 and s[last_window(s) + "searching"] == "1"
               and s["focus"] == "ListBox1")
        d.screenshot(os.path.join(shots, "6-walking.png"))
        d.key("Escape")
        s = p.wait("the stopped search's window", lambda s: int(s["windows"]) == before + 1 and s["searching"] == "0")
        w = last_window(s)
        assert s[w + "stopped"] == "1", s
        assert 0 < int(s[w + "count"]) < 20000 + len(SMALL_TREE), s[w + "count"]
        assert "（中断）" in s[w + "totals"], s[w + "totals"]
    finally:
        share.close()

    # A maximised result window keeps the clock, ticking.
    ri.case_maximized_clock(d, p, tree, work)
    shutil.copyfile(os.path.join(work, "maximized.png"), os.path.join(shots, "7-maximized.png"))

    # The version box, from the file menu, with its line about the helper's sandbox.
    p.wait("the frame active", is_frame, activate=True)
    d.key("alt+f")
    d.key("a")
    s = p.wait("the version box", lambda s: s["active"] == "ﾊﾞｰｼﾞｮﾝ情報" and s["about-sandbox"] != "-")
    d.screenshot(os.path.join(shots, "8-about.png"))
    d.key("Escape")
    p.wait("the frame back", is_frame)

    # The walk's choices and the exclusions box, by the keyboard.
    ri.case_walk_choices(d, p, tree, work)
    shutil.copyfile(os.path.join(work, "walk_choices.png"), os.path.join(shots, "9-walk-choices.png"))

    # The exit question, Yes, and the program ends.
    # The clock's colours follow the frame's activation.
    p.wait("the clock in the active colours", lambda s: is_frame(s) and s["clock-active"] == "1")
    d.key("ctrl+q")
    p.wait("the exit question, the clock inactive",
           lambda s: s["active"] == "Tavolix ヌバロ" and s["clock-active"] == "0")
    d.screenshot(os.path.join(shots, "10-exit-question.png"))
    d.key("Return")
    assert p.ended(), "the program is still running after Yes"
    assert p.proc.returncode == 0, p.proc.returncode
    assert not wayland_warnings(p), wayland_warnings(p)


def select_the_text_file(d, p):
    """Searches *.txt, which finds readme.txt alone, and selects it."""
    s = p.search("*.txt")
    w = last_window(s)
    p.wait("the focus in the list", lambda s: s["focus"] == "ListBox1")
    d.key("ctrl+a")
    p.wait("the hit selected", lambda s: s[w + "selected"] == "1")


def file_manager_case(d, binary, tree, work, env):
    """With a file manager on the session bus, "show in folder" asks it to
    show the hit itself, with an activation token of the compositor's as the
    startup id, so its window takes the focus; the program for folders is
    not started."""
    fake = os.environ.get("TAVOLIX_FAKE_FILE_MANAGER")
    if not fake:
        print("the file manager on the bus left out: TAVOLIX_FAKE_FILE_MANAGER is not set")
        return
    bus = subprocess.Popen(d.prefix + ["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                           env=d.env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                           stderr=open(os.path.join(work, "dbus.log"), "w"), text=True)
    d.procs.append(bus)
    address = bus.stdout.readline().strip()
    assert address, "the session bus gave no address"
    bus_env = dict(env, DBUS_SESSION_BUS_ADDRESS=address)
    record = os.path.join(work, "showitems.txt")
    manager = subprocess.Popen(d.prefix + [fake, record], env=dict(d.env, DBUS_SESSION_BUS_ADDRESS=address),
                               stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               stderr=open(os.path.join(work, "file_manager.log"), "w"), text=True)
    d.procs.append(manager)
    assert manager.stdout.readline().strip() == "ready", "the file manager did not take its name on the bus"
    opened = os.path.join(work, "opened.txt")
    opened_before = open(opened).read() if os.path.exists(opened) else ""
    p = Program(d, binary, tree, work, bus_env)
    try:
        p.choose_base(tree)
        select_the_text_file(d, p)
        d.key("shift+F10")
        p.wait("the hit's context menu", lambda s: s["popup"] != "-")
        d.key("Down", "Down", "Return")
        wait_for("the file manager asked", lambda: os.path.exists(record) and open(record).read().endswith("\n"))
        with open(record) as f:
            uris, startup_id = f.read().rstrip("\n").split("\t")
        assert uris == "file://%s/readme.txt" % tree, uris
        assert startup_id, "ShowItems came without a startup id"
        assert (open(opened).read() if os.path.exists(opened) else "") == opened_before, \
            "the program for folders was started as well"
    finally:
        p.close()


class StallFs(ri.StallFs):
    """The slow share, open to the program's user: only root may open
    /dev/fuse here, and its mount lets others in by allow_other."""

    def __init__(self, d, mountpoint, work, slow_entries):
        if not os.path.exists("/dev/fuse"):
            raise Skip("no FUSE here: /dev/fuse is missing")
        os.makedirs(mountpoint)
        self.mountpoint = mountpoint
        self.log_path = os.path.join(work, "stall_fs.log")
        others = ["-o", "allow_other"] if d.prefix else []
        self.proc = subprocess.Popen(["/usr/bin/python3", ri.STALL_FS, mountpoint, "--slow-entries", str(slow_entries),
                                      "--lag-dirs", "0"] + others,
                                     stdin=subprocess.DEVNULL, stdout=open(self.log_path, "w"),
                                     stderr=subprocess.STDOUT)
        wait_for("the share mounted", lambda: self.proc.poll() is not None or os.path.ismount(mountpoint), 15)
        if self.proc.poll() is not None:
            with open(self.log_path) as f:
                raise Failure("stall_fs.py ended: " + f.read())


def opener_env(work):
    """A desktop whose program for plain text and for folders writes down what
    it was given, and the activation token it came with."""
    data = os.path.join(work, "data")
    handler = os.path.join(work, "handler.sh")
    with open(handler, "w") as f:
        f.write('#!/bin/sh\nprintf "%%s\\n" "$1" >> "%s"\nprintf "%%s" "$XDG_ACTIVATION_TOKEN" > "%s"\n'
                % (os.path.join(work, "opened.txt"), os.path.join(work, "token.txt")))
    os.chmod(handler, 0o755)
    os.makedirs(os.path.join(data, "applications"))
    with open(os.path.join(data, "applications", "tavolix-test-open.desktop"), "w") as f:
        f.write("[Desktop Entry]\nType=Application\nName=Test opener\nExec=%s %%f\nMimeType=text/plain;inode/directory;\n"
                "NoDisplay=true\n" % handler)
    config = os.path.join(work, "home", ".config")
    os.makedirs(config)
    with open(os.path.join(config, "mimeapps.list"), "w") as f:
        f.write("[Default Applications]\ntext/plain=tavolix-test-open.desktop\n"
                "inode/directory=tavolix-test-open.desktop\n")
    return {"XDG_DATA_HOME": data, "XDG_CURRENT_DESKTOP": "", "DESKTOP_SESSION": ""}


def main():
    if len(sys.argv) != 4 or sys.argv[2] not in ("sway", "weston"):
        print("usage: wayland_input.py PROGRAM {sway|weston} SHOTS_FOLDER", file=sys.stderr)
        return 2
    binary, name, shots = os.path.abspath(sys.argv[1]), sys.argv[2], os.path.abspath(sys.argv[3])
    tools = (["sway", "swaymsg", "wtype", "grim", "wl-paste"] if name == "sway" else
             ["weston", "weston-screenshooter"])
    for tool in tools + ["setpriv"]:
        if not shutil.which(tool):
            print("%s: skipped: %s is missing (scripts/setup.sh installs it)" % (name, tool))
            return SKIPPED
    os.makedirs(shots, exist_ok=True)
    # Letters and digits only: the name is typed into the tree.
    while True:
        work = os.path.join(tempfile.gettempdir(), "tvxwl" + os.urandom(5).hex())
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
        if name == "sway":
            desktop = Sway(work)
            env = opener_env(work)
            program = Program(desktop, binary, tree, work, env)
            tour(desktop, program, tree, work, shots)
            program.close()
            program = None
            file_manager_case(desktop, binary, tree, work, env)
        else:
            desktop = Weston(work)
            program = Program(desktop, binary, tree, work)
            weston_start(desktop, program, shots)
        ok = True
        print("%s: passed; screenshots in %s" % (name, shots))
    except Skip as e:
        print("%s: skipped: %s" % (name, e))
        ok = SKIPPED
    except (Failure, AssertionError) as e:
        print("%s: FAILED: %s" % (name, e), file=sys.stderr)
        if desktop:
            desktop.screenshot(os.path.join(shots, "failure.png"))
        print("logs kept in " + work, file=sys.stderr)
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
