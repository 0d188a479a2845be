#!/usr/bin/python3
"""The station console in a real browser (headless chromium through
chromedriver) against sondrel playing two stations 50 Hz apart: the page lists
both and draws the waterfall, a click on the weaker one's trace tunes to it and
the terminal's receive link then carries its text, the arrow keys step the
tuning, and every control has an accessible name.

usage: console_browser.py SONDREL MAKE_BAND_RECORDING
Exit status 77 (skipped) only when chromium is not installed.
"""

import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

SKIP = 77
FIND_S = 25
WAIT_S = 10


def fail(message):
    print("FAIL: " + message, flush=True)
    sys.exit(1)


def wait_for(what, predicate, seconds, seen=None):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        result = predicate()
        if result:
            return result
        time.sleep(0.2)
    fail("timed out waiting for " + what + (": %r" % seen() if seen else ""))


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Terminal:
    """The terminal's two links; what the receive link carries is kept."""

    def __init__(self, port):
        self.receive = socket.create_connection(("127.0.0.1", port))
        self.transmit = socket.create_connection(("127.0.0.1", port))
        self.heard = b""
        self.lock = threading.Lock()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        while True:
            try:
                data = self.receive.recv(4096)
            except OSError:
                return
            if not data:
                return
            with self.lock:
                self.heard += data

    def take(self):
        with self.lock:
            heard, self.heard = self.heard, b""
        return heard

    def close(self):
        self.receive.close()
        self.transmit.close()


def main():
    sondrel_exe, make_band = sys.argv[1], sys.argv[2]
    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    if not chromium:
        print("SKIP: chromium is not installed", flush=True)
        return SKIP
    try:
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
        from selenium.webdriver.common.action_chains import ActionChains
        from selenium.webdriver.common.keys import Keys
        from selenium.common.exceptions import StaleElementReferenceException
    except ImportError:
        fail("chromium is there but python3-selenium is not: install it")
    driver_exe = shutil.which("chromedriver") or "/usr/bin/chromedriver"
    if not os.path.exists(driver_exe):
        fail("chromium is there but chromedriver is not: install chromium-driver")

    work = tempfile.mkdtemp(prefix="console-browser-")
    sondrel = None
    browser = None
    terminal = None
    try:
        recording = os.path.join(work, "band.wav")
        subprocess.run([make_band, recording, "60"], check=True)
        env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(work, "config"), HOME=work)
        console_port = free_port()
        sondrel = subprocess.Popen(
            [sondrel_exe, "--rx-file", recording, "--port", "0", "--console-port", str(console_port)],
            stderr=subprocess.PIPE, env=env, text=True)
        log = ""
        link_port = None
        deadline = time.monotonic() + WAIT_S
        while time.monotonic() < deadline and not (link_port and "console on" in log):
            line = sondrel.stderr.readline()
            if not line:
                break
            log += line
            match = re.search(r"listening on 127\.0\.0\.1:(\d+)", line)
            if match:
                link_port = int(match.group(1))
        if not link_port or "console on" not in log:
            fail("sondrel did not start:\n" + log)
        logged = []
        threading.Thread(target=lambda: logged.extend(iter(sondrel.stderr.readline, "")), daemon=True).start()
        terminal = Terminal(link_port)
        base = "http://127.0.0.1:%d" % console_port

        options = webdriver.ChromeOptions()
        for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                         "--window-size=1400,1000",
                         "--user-data-dir=" + os.path.join(work, "chromium")):
            options.add_argument(argument)
        options.binary_location = chromium
        browser = webdriver.Chrome(service=Service(driver_exe), options=options)
        # A loaded machine starts a browser slowly; the page itself is small.
        browser.set_page_load_timeout(60)
        browser.set_script_timeout(60)
        opened = time.monotonic()
        browser.get(base + "/")

        def listed():
            rows = browser.execute_script(
                "return Array.from(document.querySelectorAll('#signals tbody tr'))"
                ".map(r => [Number(r.dataset.hz), r.cells[1].textContent, r.cells[3].textContent]);")
            strong = [r for r in rows if abs(r[0] - 1000) < 5]
            weak = [r for r in rows if abs(r[0] - 1050) < 5]
            return (strong[0], weak[0]) if strong and weak else None

        strong, weak = wait_for("both stations in the table", listed, FIND_S)
        print("listed after %.1f s: %s and %s" % (time.monotonic() - opened, strong[:2], weak[:2]))
        if not float(strong[1]) > float(weak[1]):
            fail("the stronger station's S/N is not the higher: %s %s" % (strong, weak))

        def drawn():
            lit = browser.execute_script(
                "const c = document.getElementById('waterfall');"
                "const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;"
                "let lit = 0; for (let i = 0; i < d.length; i += 4) if (d[i] + d[i + 1] + d[i + 2] > 0) lit++;"
                "return lit / c.width;")
            return lit >= 20 and lit

        print("waterfall rows drawn: %.0f" % wait_for("20 rows of waterfall", drawn, WAIT_S))

        # Click the weaker station's trace, a few rows into the waterfall.
        markers = browser.find_element("id", "markers")
        top_hz = float(markers.get_attribute("aria-valuemax"))
        width = markers.size["width"]
        x = weak[0] / top_hz * width - width / 2
        ActionChains(browser).move_to_element_with_offset(markers, int(round(x)), 40).click().perform()
        status = lambda: json.load(urllib.request.urlopen(base + "/api/status", timeout=WAIT_S))
        tuned = wait_for("the receiver on the weaker station", lambda: abs(status()["rx_hz"] - weak[0]) < 3 and status(),
                         WAIT_S)
        if abs(tuned["tx_hz"] - tuned["rx_hz"]) > 0.05:
            fail("the transmitter did not follow: %s" % tuned)
        terminal.take()
        copied = b""

        def copies_weak():
            nonlocal copied
            copied += terminal.take()
            return copied.count(b"W1AW") >= 3

        wait_for("the weaker station's text on the receive link", copies_weak, FIND_S,
                 lambda: "%r; status %s; sondrel: %s" % (copied, status(), "".join(logged)))
        after = copied[copied.index(b"W1AW"):]
        if b"DL2ABC" in after:
            fail("the receive link still carries the stronger station: %r" % after)
        print("receive link after the click: %r" % copied[-80:])

        # The arrow keys step the tuning by 1 Hz, with Shift by 10 Hz.
        before = status()["rx_hz"]
        markers.send_keys(Keys.ARROW_RIGHT)
        wait_for("a 1 Hz step", lambda: abs(status()["rx_hz"] - (before + 1)) < 0.05, WAIT_S)
        markers.send_keys(Keys.SHIFT, Keys.ARROW_LEFT)
        wait_for("a 10 Hz step", lambda: abs(status()["rx_hz"] - (before - 9)) < 0.05, WAIT_S)

        # Every control, as the accessibility tree names it.
        # The signal table is redrawn as stations come and go, so a pass that
        # meets a control already replaced starts again.
        for attempt in range(5):
            try:
                unnamed = []
                controls = browser.find_elements("css selector", "input, button, select, textarea, [role=slider], meter")
                for control in controls:
                    if not (control.accessible_name or "").strip():
                        unnamed.append(control.get_attribute("outerHTML")[:80])
                break
            except StaleElementReferenceException:
                if attempt == 4:
                    raise
        if unnamed:
            fail("controls without an accessible name: %s" % unnamed)
        live = browser.find_element("id", "rx-text")
        if live.get_attribute("aria-live") != "polite" or not live.accessible_name:
            fail("the tuned text is not a named live region")
        if not browser.find_elements("css selector", "table#signals caption, table#signals th[scope=col]"):
            fail("the signal table has no caption or column headers")
        print("named controls: %d" % len(controls))
        print("PASS")
        return 0
    finally:
        if browser:
            browser.quit()
        if terminal:
            terminal.close()
        if sondrel:
            sondrel.kill()
            sondrel.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
