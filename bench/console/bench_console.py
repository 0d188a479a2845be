#!/usr/bin/python3
"""The station console's figures, against sondrel playing a recording of two
stations 50 Hz apart: the first waterfall row after opening the page (in
headless chromium), the time from a tune to the new station's first text on
the terminal's receive link, sondrel's CPU with one page open and without,
and the bytes per second one viewer's stream takes.

usage: bench_console.py SONDREL MAKE_BAND_RECORDING
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

MEASURE_S = 20


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def cpu_share(pid, seconds):
    start_cpu, start = cpu_seconds(pid), time.monotonic()
    time.sleep(seconds)
    return (cpu_seconds(pid) - start_cpu) / (time.monotonic() - start) * 100


def start_sondrel(exe, recording, work):
    port = free_port()
    env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(work, "config"), HOME=work)
    process = subprocess.Popen([exe, "--rx-file", recording, "--port", "0", "--console-port", str(port)],
                               stderr=subprocess.PIPE, env=env, text=True)
    link_port = None
    log = ""
    while not (link_port and "console on" in log):
        line = process.stderr.readline()
        if not line:
            sys.exit("sondrel did not start:\n" + log)
        log += line
        match = re.search(r"listening on 127\.0\.0\.1:(\d+)", line)
        if match:
            link_port = int(match.group(1))
    threading.Thread(target=lambda: process.stderr.read(), daemon=True).start()
    return process, port, link_port


def stream_bytes(port, seconds):
    """Bytes a viewer of /ws receives in `seconds`, handshake left out."""
    with socket.create_connection(("127.0.0.1", port)) as s:
        s.sendall(("GET /ws HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                   "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n" % port).encode())
        s.settimeout(0.5)
        data = b""
        while b"\r\n\r\n" not in data:
            data += s.recv(4096)
        total = len(data) - data.index(b"\r\n\r\n") - 4
        end = time.monotonic() + seconds
        start = time.monotonic()
        while time.monotonic() < end:
            try:
                total += len(s.recv(65536))
            except socket.timeout:
                pass
        return total / (time.monotonic() - start)


def main():
    sondrel_exe, make_band = sys.argv[1], sys.argv[2]
    work = tempfile.mkdtemp(prefix="bench-console-")
    processes = []
    try:
        recording = os.path.join(work, "band.wav")
        subprocess.run([make_band, recording, "120"], check=True)

        # Tune to the first text of the new station, on the receive link.
        sondrel, port, link_port = start_sondrel(sondrel_exe, recording, work)
        processes.append(sondrel)
        receive = socket.create_connection(("127.0.0.1", link_port))
        transmit = socket.create_connection(("127.0.0.1", link_port))
        time.sleep(6)
        receive.settimeout(0.01)
        try:
            while receive.recv(65536):
                pass
        except socket.timeout:
            pass
        request = urllib.request.Request("http://127.0.0.1:%d/api/tune" % port, json.dumps({"hz": 1050}).encode(),
                                         {"Content-Type": "application/json"})
        tuned = time.monotonic()
        urllib.request.urlopen(request).read()
        heard = b""
        first_char = None
        while time.monotonic() - tuned < 20 and b"W1AW" not in heard:
            try:
                data = receive.recv(4096)
            except socket.timeout:
                continue
            if data and first_char is None:
                first_char = time.monotonic() - tuned
            heard += data
        first_call = time.monotonic() - tuned if b"W1AW" in heard else None
        receive.close()
        transmit.close()
        print("tune to 1050 Hz -> first character on the receive link: %s" %
              ("%.2f s" % first_char if first_char is not None else "none in 20 s"))
        print("tune to 1050 Hz -> the new station's call (W1AW) on the receive link: %s" %
              ("%.2f s" % first_call if first_call is not None else "not in 20 s"))

        # CPU without a page, then with one page open; and one viewer's stream.
        time.sleep(1)
        idle = cpu_share(sondrel.pid, MEASURE_S)
        print("sondrel CPU, no page open:  %.2f %% of a core (%d s)" % (idle, MEASURE_S))
        rate = stream_bytes(port, 10)
        print("bytes per second per viewer (/ws): %.0f B/s (%.1f kbit/s)" % (rate, rate * 8 / 1000))

        chromium = shutil.which("chromium") or shutil.which("chromium-browser")
        try:
            from selenium import webdriver
            from selenium.webdriver.chrome.service import Service
        except ImportError:
            webdriver = None
        if not chromium or not webdriver:
            print("first waterfall row, CPU with a page open: not measured (needs chromium, chromium-driver, "
                  "python3-selenium)")
            return 0
        options = webdriver.ChromeOptions()
        for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1400,1000",
                         "--user-data-dir=" + os.path.join(work, "chromium")):
            options.add_argument(argument)
        options.binary_location = chromium
        browser = webdriver.Chrome(service=Service(shutil.which("chromedriver") or "/usr/bin/chromedriver"),
                                   options=options)
        try:
            # Each opening: the page's own clock from navigation start to the first row drawn.
            firsts = []
            for _ in range(5):
                browser.get("http://127.0.0.1:%d/" % port)
                deadline = time.monotonic() + 5
                first = None
                while first is None and time.monotonic() < deadline:
                    first = browser.execute_script("return view.firstRowMs ?? null;")
                    time.sleep(0.05)
                firsts.append(first)
            shown = ", ".join("%.0f" % f if f is not None else "none" for f in firsts)
            print("first waterfall row after opening the page: %s ms (5 openings; goal within 1000 ms)" % shown)
            rows_before = browser.execute_script("return view.rows;")
            open_page = cpu_share(sondrel.pid, MEASURE_S)
            rows = browser.execute_script("return view.rows;") - rows_before
            print("sondrel CPU, one page open: %.2f %% of a core (%+.2f; goal at most +2)" % (open_page,
                                                                                             open_page - idle))
            print("waterfall rows drawn by the page: %.1f a second (goal 10 or more)" % (rows / MEASURE_S))
        finally:
            browser.quit()
        return 0
    finally:
        for process in processes:
            process.kill()
            process.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
