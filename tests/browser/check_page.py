#!/usr/bin/env python3
"""Opens a written page in headless Chromium (through chromedriver's WebDriver
protocol, standard library only) from file:// and from a loopback HTTP server,
and checks that every image loads, every link reaches the file it names and
the Japanese texts read right. Usage: check_page.py EXPECT.json"""

import functools
import http.server
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.error
import urllib.parse
import urllib.request

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = shutil.which("chromedriver") or "/usr/bin/chromedriver"
DEADLINE = time.monotonic() + 90

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


class WebDriver:
    def __init__(self, port):
        self.base = f"http://127.0.0.1:{port}"
        self.session = None

    def call(self, method, path, body=None, timeout=30):
        data = None if body is None else json.dumps(body).encode()
        req = urllib.request.Request(self.base + path, data=data, method=method,
                                     headers={"Content-Type": "application/json"})
        try:
            with urllib.request.urlopen(req, timeout=timeout) as r:
                return json.loads(r.read() or b"{}").get("value")
        except urllib.error.HTTPError as e:
            raise RuntimeError(f"{method} {path}: {e.read().decode(errors='replace')[:500]}")

    def wait_ready(self):
        while time.monotonic() < DEADLINE:
            try:
                if self.call("GET", "/status", timeout=2).get("ready"):
                    return
            except (OSError, RuntimeError):
                pass
            time.sleep(0.05)
        raise RuntimeError("chromedriver did not start")

    def start(self, profile, scale=1, extra=()):
        args = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                "--disable-background-networking", "--disable-component-update", "--disable-sync",
                f"--user-data-dir={profile}", f"--force-device-scale-factor={scale}", *extra]
        caps = {"capabilities": {"alwaysMatch": {
            "browserName": "chrome",
            "goog:chromeOptions": {"binary": CHROMIUM, "args": args}}}}
        self.session = self.call("POST", "/session", caps, timeout=60)["sessionId"]

    def go(self, url):
        self.call("POST", f"/session/{self.session}/url", {"url": url})

    def run(self, script):
        return self.call("POST", f"/session/{self.session}/execute/async", {"script": script, "args": []})

    def stop(self):
        if self.session:
            try:
                self.call("DELETE", f"/session/{self.session}", timeout=10)
            except (OSError, RuntimeError):
                pass


# Waits for every image to settle (scrolling a lazy one into view), then
# reports what the page shows.
COLLECT = r"""
const done = arguments[arguments.length - 1];
function report() {
  done({
    charset: document.characterSet,
    title: document.title,
    headings: Array.from(document.querySelectorAll('h2')).map(h => h.textContent),
    images: Array.from(document.images).map(i => {
      const a = i.closest('a');
      return {src: i.src, current: i.currentSrc, alt: i.getAttribute('alt'), width: i.naturalWidth,
        height: i.naturalHeight, shownWidth: i.width, shownHeight: i.height,
        loading: i.getAttribute('loading'), srcset: i.getAttribute('srcset'), link: a ? a.href : null,
        after: a ? (a.nextSibling ? a.nextSibling.textContent : '')
                 : (i.nextSibling ? i.nextSibling.textContent : '')};
    }),
    links: Array.from(document.links).filter(a => !a.querySelector('img'))
      .map(a => ({href: a.href, text: a.textContent})),
  });
}
function settle() {
  const pending = Array.from(document.images).filter(i => !i.complete);
  if (document.readyState === 'complete' && pending.length === 0) report();
  else {
    if (pending.length) pending[0].scrollIntoView();
    setTimeout(settle, 20);
  }
}
settle();
"""


def path_of(url):
    return urllib.parse.unquote_to_bytes(urllib.parse.urlsplit(url).path)


def verify(page, expect, mode, http_root):
    root = expect["root"]
    items = expect["items"]
    check(page["charset"] == "UTF-8", f"{mode}: character set {page['charset']}")
    check(page["title"] == expect["title"], f"{mode}: title {page['title']!r}")
    check(page["headings"] == expect["headings"], f"{mode}: headings {page['headings']!r}")
    want_images = [i for i in items if i["image"]]
    want_links = [i for i in items if not i["image"]]
    check(len(page["images"]) == len(want_images), f"{mode}: {len(page['images'])} images")
    check(len(page["links"]) == len(want_links), f"{mode}: {len(page['links'])} links")

    def reaches(url, item):
        rel = item["rel"]
        if item.get("network"):
            check(url == item["network"], f"{mode}: {rel}: network link {url}, not {item['network']}")
            return
        if mode.startswith("file"):
            check(url.startswith("file://"), f"file: {rel}: not a file URL: {url}")
            check(path_of(url) == item["full"].encode(), f"file: {rel}: resolves to {path_of(url)!r}")
        else:
            check(path_of(url) == ("/" + rel).encode(), f"http: {rel}: resolves to {path_of(url)!r}")
            try:
                with urllib.request.urlopen(url, timeout=10) as r:
                    body = r.read()
                with open(os.path.join(root, rel), "rb") as f:
                    check(body == f.read(), f"http: {rel}: other bytes than the file")
            except OSError as e:
                check(False, f"http: {rel}: fetch of {url} failed: {e}")

    thumbs = expect.get("thumbnails")
    for got, item in zip(page["images"], want_images):
        rel = item["rel"]
        check(got["alt"] == item["full"], f"{mode}: alt {got['alt']!r}")
        check(got["after"].startswith(item["name"] + " :  "), f"{mode}: text after image {got['after']!r}")
        if not thumbs:
            check(got["width"] > 0 or item.get("network"), f"{mode}: image {rel} did not load")
            reaches(got["src"], item)
            continue
        # A thumbnail from the folder beside the page, shown at its own size
        # (twice that on a 2x screen), linked to its picture.
        folder = expect["page"].rsplit(".", 1)[0] + ".files/"
        check(path_of(got["src"]).endswith(b".jpg") or path_of(got["src"]).endswith(b".png"),
              f"{mode}: {rel}: thumbnail {got['src']}")
        check(folder.encode() in path_of(got["src"]), f"{mode}: {rel}: thumbnail not beside the page")
        check(got["loading"] == "lazy", f"{mode}: {rel}: loading {got['loading']!r}")
        check(0 < max(got["shownWidth"], got["shownHeight"]) <= 256, f"{mode}: {rel}: shown {got['shownWidth']}")
        doubled = mode == "file 2x" and item.get("double")
        # A 2x file counts half its pixels; rounded on its own, a side may be
        # a pixel off.
        check(abs(got["width"] - got["shownWidth"]) <= 1 and abs(got["height"] - got["shownHeight"]) <= 1,
              f"{mode}: {rel}: {got['width']}x{got['height']} pixels for {got['shownWidth']}x{got['shownHeight']}")
        check(bool(got["srcset"]) == bool(item.get("double")), f"{mode}: {rel}: srcset {got['srcset']!r}")
        check(got["current"].endswith("-2x.jpg") or got["current"].endswith("-2x.png") if doubled
              else got["current"] == got["src"], f"{mode}: {rel}: shows {got['current']}")
        if got["link"] is None:
            check(False, f"{mode}: {rel}: thumbnail without a link")
        else:
            reaches(got["link"], item)
    for got, item in zip(page["links"], want_links):
        check(got["text"] == item["full"], f"{mode}: link text {got['text']!r}")
        reaches(got["href"], item)


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        expect = json.load(f)
    root = expect["root"]
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Quiet, directory=root))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    profile = tempfile.mkdtemp(prefix="tavolix-chromium-")
    port = free_port()
    driver_proc = subprocess.Popen([CHROMEDRIVER, f"--port={port}"], stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
    driver = WebDriver(port)
    try:
        driver.wait_ready()
        driver.start(profile)
        page_file = os.path.join(root, expect["page"])
        urls = {
            "file": "file://" + urllib.parse.quote(page_file),
            "http": f"http://127.0.0.1:{server.server_address[1]}/" + urllib.parse.quote(expect["page"]),
        }
        for mode, url in urls.items():
            driver.go(url)
            verify(driver.run(COLLECT), expect, mode, root)
        if expect.get("thumbnails"):
            # A 2x screen takes the thumbnails' 2x files.
            driver.stop()
            driver.start(profile + "-2x", scale=2)
            driver.go(urls["file"])
            verify(driver.run(COLLECT), expect, "file 2x", root)
    finally:
        driver.stop()
        shutil.rmtree(profile + "-2x", ignore_errors=True)
        driver_proc.terminate()
        try:
            driver_proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            driver_proc.kill()
        server.shutdown()
        server.server_close()
        shutil.rmtree(profile, ignore_errors=True)

    images = sum(1 for i in expect["items"] if i["image"])
    links = len(expect["items"]) - images
    for f in failures:
        print("FAIL", f, file=sys.stderr)
    print(f"browser check: {images} images, {links} links, file:// and http://: "
          f"{'ok' if not failures else str(len(failures)) + ' failures'}", file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
