#!/usr/bin/env python3
"""Scores a peer's copy of the overs stream over by over, as bench_modem's
Overs() scores ours: text out up to half a second after the next over starts
still belongs to the last one; characters lost at the start of an over are the
errors in its first 16 characters. The peer's copy is timed by when it was read
back (NAME.fldigi-squelch-X.times and .raw, from bench/peer-band.sh), so the over
boundaries are moved on by the peer's delay: the median, over the overs, of
the time from an over's first character being sent to it being read back.
  bench/peer-overs.py DIR/NAME [on|off] [path/to/bench_modem]"""
import os
import statistics
import subprocess
import sys
import tempfile

stem = sys.argv[1]
squelch = sys.argv[2] if len(sys.argv) > 2 else "off"
bench = sys.argv[3] if len(sys.argv) > 3 else os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "build", "bench", "modem", "bench_modem")
HEAD = 16

marks = [line.split() for line in open(stem + ".overs")]
starts = [float(m[0]) for m in marks]
first_done = [float(m[1]) for m in marks]
joined = open(stem + ".txt", encoding="latin-1", newline="").read()
texts, at = [], 0
for m in marks:
    texts.append(joined[at:at + int(m[2])])
    at += int(m[2])
copy = open(f"{stem}.fldigi-squelch-{squelch}.raw", "rb").read()
times = [(float(t), int(n)) for t, n in (line.split() for line in open(f"{stem}.fldigi-squelch-{squelch}.times"))]


def characters(raw):
    """The peer's bytes above 127 come in UTF-8: one character each again."""
    return raw.decode("utf-8", "replace").encode("latin-1", "replace").decode("latin-1")


def count_at(t):
    """Characters read back by time t."""
    n = 0
    for when, count in times:
        if when > t:
            break
        n = count
    return n


def time_of(index):
    """When the character at `index` was first read back."""
    for when, count in times:
        if count > index:
            return when
    return times[-1][0]


def best_start(text, window):
    """Where in `window` the stretch that best matches `text` starts."""
    # Semi-global edit distance: the stretch may start and end anywhere.
    prev = [(0, j) for j in range(len(window) + 1)]
    for i, c in enumerate(text, 1):
        cur = [(i, 0)]
        for j in range(1, len(window) + 1):
            options = [(prev[j - 1][0] + (c != window[j - 1]), prev[j - 1][1]),
                       (prev[j][0] + 1, prev[j][1]), (cur[j - 1][0] + 1, cur[j - 1][1])]
            cur.append(min(options))
        prev = cur
    return min(prev)[1]


delays = []
for k, text in enumerate(texts):
    lo = count_at(starts[k])
    hi = count_at(starts[k + 1] + 3) if k + 1 < len(texts) else len(copy)
    window = copy[lo:hi].decode("latin-1")  # byte for byte: .times counts bytes
    if window:
        delays.append(time_of(lo + best_start(text[:HEAD], window)) - first_done[k])
delay = statistics.median(delays)


def score(sent, copied, head=None):
    with tempfile.TemporaryDirectory() as d:
        open(f"{d}/s", "w", encoding="latin-1", newline="").write(sent)
        open(f"{d}/c", "w", encoding="latin-1", newline="").write(copied)
        out = subprocess.run([bench, "score", f"{d}/s", f"{d}/c"] + ([str(head)] if head else []),
                             check=True, capture_output=True, text=True).stdout
    return int(out.split(":")[1].split()[0])


bounds = [0] + [count_at(s + 0.5 + delay) for s in starts[1:]] + [len(copy)]
errors = lost = 0
for k, text in enumerate(texts):
    decoded = characters(copy[bounds[k]:bounds[k + 1]])
    errors += score(text, decoded)
    lost += score(text[:HEAD], decoded[:HEAD])
sent = sum(len(t) for t in texts)
print(f"peer delay {delay:.2f} s (first characters {min(delays):.2f} to {max(delays):.2f} s);"
      f" CER {100 * errors / sent:.2f}% ({errors} errors in {sent});"
      f" characters lost at the start, per over {lost / len(texts):.2f}")
