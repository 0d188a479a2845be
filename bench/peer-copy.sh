#!/usr/bin/env bash
# Checks that a peer PSK31 program (fldigi) copies our transmitter exactly:
# `sondrel encode` makes a transmission, a private PulseAudio server plays it
# into a null sink whose monitor the peer listens to, and the peer's received
# text is read back over its XML-RPC interface. Runs in real time.
# The peer runs as bench/peer-session.sh sets it up. Its window is widened so
# that the receive pane, which XML-RPC reads back as wrapped, holds the whole
# line.
# Needs: fldigi, pulseaudio, pulseaudio-utils, xvfb, xdotool, python3, a built sondrel.
#   bench/peer-copy.sh [path/to/sondrel]
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
SONDREL="${1:-$ROOT/build/analyzer/sondrel}"
# shellcheck source=bench/peer-session.sh
source "$ROOT/bench/peer-session.sh"

TEXT='CQ CQ de SONDREL: the quick brown fox jumps over the lazy dog 0123456789 73'
printf '%s\n' "$TEXT" | "$SONDREL" encode --if 1500 --rate 8000 -o "$WORK/ours.wav"

peer_start

python3 - "$PORT" "$WORK/ours.wav" "$TEXT" <<'PY'
import os, subprocess, sys, time
port, wav, text = sys.argv[1], sys.argv[2], sys.argv[3]
sys.path.insert(0, os.environ["PEER_BENCH_DIR"])
from peer_link import connect  # noqa: E402
peer = connect(port)
peer.modem.set_by_name("BPSK31")
peer.modem.set_carrier(1500)
peer.main.set_afc(True)
peer.main.set_squelch(False)
start = peer.text.get_rx_length()
subprocess.run(["paplay", "-d", "air", wav], check=True)
time.sleep(2)
copied = peer.text.get_rx(start, peer.text.get_rx_length() - start)
copied = copied.data.decode("latin-1") if hasattr(copied, "data") else str(copied)
print("peer copied:", repr(copied))
sys.exit(0 if text in copied else "the peer did not copy the text exactly")
PY
