#!/usr/bin/env python3
"""What a written page costs a browser:

    page_in_browser.py PAGE PICTURES_DIR [--rounds N] [--scale 2]

Serves the folder that holds both PAGE and PICTURES_DIR on a loopback HTTP
server that counts every byte it sends, opens PAGE in headless Chromium
(through chromedriver, as tests/browser/check_page.py does) with an empty
profile each round, and prints:
  - the first screen: when its last picture arrived and was painted (first
    contentful paint, the pictures in the window), and the bytes pulled until
    then;
  - the whole page scrolled through (lazy pictures load as they come near);
  - those bytes against the bytes of the pictures in PICTURES_DIR;
--scale 2 is a 2x screen (Chromium's device scale factor).
A page with thumbnails is written by `tavolix-page --thumbnails -o PAGE DIR '*.*'`."""
import argparse
import functools
import http.server
import os
import shutil
import statistics
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "browser"))
import check_page  # noqa: E402  (the WebDriver client of the browser test)

PICTURES = (".jpg", ".jpeg", ".jpe", ".jfif", ".png", ".gif", ".webp", ".svg", ".svgz", ".tif", ".tiff", ".bmp",
            ".ico", ".wmf", ".emf", ".pdf", ".tga", ".icns")

# The first screen: first contentful paint and the pictures in the window,
# each done when its response ended; measured from the start of navigation.
FIRST_SCREEN = r"""
const done = arguments[arguments.length - 1];
function inView(i) { const r = i.getBoundingClientRect(); return r.bottom > 0 && r.top < innerHeight; }
function settle() {
  const shown = Array.from(document.images).filter(inView);
  if (document.readyState !== 'complete' || !shown.every(i => i.complete)) { setTimeout(settle, 5); return; }
  requestAnimationFrame(() => requestAnimationFrame(() => {
    const fcp = performance.getEntriesByType('paint').find(p => p.name === 'first-contentful-paint');
    const ends = shown.map(i => {
      const e = performance.getEntriesByName(i.currentSrc)[0];
      return e ? e.responseEnd : 0;
    });
    const nav = performance.getEntriesByType('navigation')[0];
    done({fcp: fcp ? fcp.startTime : 0, pictures: Math.max(0, ...ends), shown: shown.length,
          all: document.images.length, load: nav ? nav.loadEventEnd : 0});
  }));
}
settle();
"""

SCROLL_THROUGH = r"""
const done = arguments[arguments.length - 1];
function step() {
  const pending = Array.from(document.images).filter(i => !i.complete);
  if (pending.length === 0) { done(document.images.length); return; }
  pending[0].scrollIntoView();
  setTimeout(step, 10);
}
step();
"""


class Counting(http.server.SimpleHTTPRequestHandler):
    sent = 0
    lock = threading.Lock()

    def copyfile(self, source, outputfile):
        n = 0
        while True:
            buf = source.read(64 * 1024)
            if not buf:
                break
            outputfile.write(buf)
            n += len(buf)
        with Counting.lock:
            Counting.sent += n

    def log_message(self, *args):
        pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("page")
    parser.add_argument("pictures")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--scale", type=int, default=1)
    args = parser.parse_args()
    page = os.path.abspath(args.page)
    pictures = os.path.abspath(args.pictures)
    root = os.path.commonpath([os.path.dirname(page), pictures])
    originals = sum(os.path.getsize(os.path.join(pictures, f)) for f in os.listdir(pictures)
                    if f.lower().endswith(PICTURES) and os.path.isfile(os.path.join(pictures, f)))
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Counting, directory=root))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    url = f"http://127.0.0.1:{server.server_address[1]}/" + \
        check_page.urllib.parse.quote(os.path.relpath(page, root))
    port = check_page.free_port()
    driver_proc = check_page.subprocess.Popen([check_page.CHROMEDRIVER, f"--port={port}"],
                                              stdout=check_page.subprocess.DEVNULL,
                                              stderr=check_page.subprocess.DEVNULL)
    driver = check_page.WebDriver(port)
    check_page.DEADLINE = time.monotonic() + 600
    firsts, first_bytes, all_bytes = [], [], []
    try:
        driver.wait_ready()
        for _ in range(args.rounds):
            profile = tempfile.mkdtemp(prefix="tavolix-bench-chromium-")
            try:
                driver.start(profile, scale=args.scale, extra=["--window-size=1280,1024"])
                with Counting.lock:
                    Counting.sent = 0
                driver.go(url)
                first = driver.run(FIRST_SCREEN)
                with Counting.lock:
                    first_bytes.append(Counting.sent)
                firsts.append(max(first["fcp"], first["pictures"]))
                driver.run(SCROLL_THROUGH)
                with Counting.lock:
                    all_bytes.append(Counting.sent)
                driver.stop()
            finally:
                shutil.rmtree(profile, ignore_errors=True)
    finally:
        driver.stop()
        driver_proc.terminate()
        driver_proc.wait(timeout=10)
        server.shutdown()

    mib = 1024 * 1024
    print(f"page {os.path.getsize(page) / 1024:.0f} KiB; {first['all']} pictures on it, "
          f"{first['shown']} in the first screen; pictures in {pictures}: {originals / mib:.1f} MiB")
    print(f"first screen complete: median {statistics.median(firsts):.0f} ms, worst {max(firsts):.0f} ms "
          f"over {len(firsts)} rounds (load event {first['load']:.0f} ms in the last)")
    print(f"pulled for the first screen: {statistics.median(first_bytes) / mib:.2f} MiB "
          f"({100 * statistics.median(first_bytes) / originals:.2f} % of the pictures' bytes)")
    print(f"pulled scrolled to the end:  {statistics.median(all_bytes) / mib:.2f} MiB "
          f"({100 * statistics.median(all_bytes) / originals:.2f} % of the pictures' bytes)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
