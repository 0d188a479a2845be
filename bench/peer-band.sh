#!/usr/bin/env bash
# Scores a peer PSK31 program (fldigi) on the very signals our receiver is
# benchmarked on: `BENCH_WAV_DIR=DIR bench_modem band` writes each condition's
# received samples (NAME.wav) and sent text (NAME.txt); this plays each file in
# real time into the peer (BPSK31, tuned to the bench's IF, AFC on), reads back
# what it printed from the start of the file to 2 s after its end, and scores
# that with `bench_modem score`, as our copy is scored.
# The peer runs headless as bench/peer-session.sh sets it up: a private
# PulseAudio null sink whose monitor it listens to, a virtual X display, XML-RPC.
# Beside each file it leaves NAME.fldigi-squelch-{on,off}.txt (the copy, one
# byte a character), .raw (the bytes as read back) and .times (seconds after
# the play started, bytes read back so far), from which bench/peer-overs.py
# cuts the overs stream's copy over by over.
# Needs: fldigi, pulseaudio, pulseaudio-utils, xvfb, xdotool, python3, a built bench_modem.
#   bench/peer-band.sh DIR [NAME...]      (every NAME.wav in DIR when none given)
# Environment: PEER_SQUELCH=off|on (off), PEER_IF=Hz (1000, the bench's IF),
#   BENCH_MODEM=path/to/bench_modem.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
DIR="$(cd "$1" && pwd)"
shift
BENCH_MODEM="${BENCH_MODEM:-$ROOT/build/bench/modem/bench_modem}"
SQUELCH="${PEER_SQUELCH:-off}"
IF="${PEER_IF:-1000}"
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
    for wav in "$DIR"/*.wav; do names+=("$(basename "$wav" .wav)"); done
fi
# shellcheck source=bench/peer-session.sh
source "$ROOT/bench/peer-session.sh"
# The sink at the files' own rate: nothing is resampled on the way in.
peer_start rate=8000 channels=1

python3 - "$PORT" "$DIR" "$SQUELCH" "$IF" "$BENCH_MODEM" "${names[@]}" <<'PY'
import os, subprocess, sys, time, wave
port, folder, squelch, carrier, bench = sys.argv[1:6]
names = sys.argv[6:]
sys.path.insert(0, os.environ["PEER_BENCH_DIR"])
from peer_link import connect  # noqa: E402
peer = connect(port)
peer.modem.set_by_name("BPSK31")
peer.main.set_afc(True)
peer.main.set_squelch(squelch == "on")
print(f"fldigi {peer.fldigi.version()}, BPSK31 at {carrier} Hz, AFC on, squelch {squelch}"
      f" (level {peer.main.get_squelch_level()})", flush=True)

def received(start, end):
    got = peer.text.get_rx(start, end - start)
    return got.data if hasattr(got, "data") else str(got).encode("latin-1", "replace")


def characters(raw):
    """The peer hands bytes above 127 on in UTF-8: one character each again."""
    return raw.decode("utf-8", "replace").encode("latin-1", "replace")


print(f"{'condition':<44} | fldigi CER | played s | wall s", flush=True)
for name in names:
    wav = f"{folder}/{name}.wav"
    with wave.open(wav) as w:
        seconds = w.getnframes() / w.getframerate()
    peer.modem.set_carrier(int(carrier))  # AFC moved it on the last file
    time.sleep(1)
    start = peer.text.get_rx_length()
    began = time.monotonic()
    play = subprocess.Popen(["paplay", "-d", "air", wav])
    times = []
    while True:
        now = time.monotonic() - began
        times.append((now, peer.text.get_rx_length() - start))
        if play.poll() is not None and now > seconds + 2:
            break
        time.sleep(0.2)
    if play.returncode:
        sys.exit(f"paplay failed on {wav}")
    wall = time.monotonic() - began
    copied = received(start, start + times[-1][1])
    out = f"{folder}/{name}.fldigi-squelch-{squelch}"
    with open(out + ".raw", "wb") as f:  # what .times counts
        f.write(copied)
    with open(out + ".txt", "wb") as f:
        f.write(characters(copied))
    with open(out + ".times", "w") as f:
        f.writelines(f"{t:.2f} {n}\n" for t, n in times)
    score = subprocess.run([bench, "score", f"{folder}/{name}.txt", out + ".txt"],
                           check=True, capture_output=True, text=True).stdout.strip()
    print(f"{name:<44} | {score} | {seconds:.0f} | {wall:.0f}", flush=True)
PY
